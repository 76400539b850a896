#include <gtest/gtest.h>

#include "common/components/data/audio_thread_log.h"
#include "support/player_fixture.h"

namespace {

class Player_Notes : public Player_Fixture {
protected:
    void play_rows(int rows) { ticks(6 * rows); }
    void start() { player.play_start_pattern(0); }
};

TEST_F(Player_Notes, FourMappedLayersStartFourVoicesUnmappedNone) {
    for (int layer = 1; layer < 4; layer++) make_instrument(0, 0, layer);
    song.instrument[0].layers[3].sample_table[50] = 99;  // no sample for note 50 on layer 3
    put(0, 0, cell(48, 0));
    put(1, 0, cell(50, 0));
    start();
    ticks(1);
    EXPECT_EQ(voices_on(0), 4);
    EXPECT_EQ(voices_on(1), 3);
    EXPECT_EQ(foreground(1, 3), nullptr);
}

TEST_F(Player_Notes, NoteWithoutInstrumentNeedsAnEarlierOne) {
    put(0, 0, cell(48));
    put(1, 0, cell(48, 0, 20));
    put(1, 1, cell(55));  // same instrument, volume kept
    start();
    ticks(1);
    EXPECT_EQ(voices_on(0), 0);
    ticks(6);
    ASSERT_NE(foreground(1), nullptr);
    EXPECT_EQ(foreground(1)->get_note(), 55);
    EXPECT_EQ(channel(1).slot[0].base_volume, 20);
}

// An instrument number alone: ignored by old native songs; IT takes it for the next notes and
// applies the default volume of its sample for the last note; XM also resets the pan to that
// sample's and starts the envelopes and fade-out again. None of them restarts the sample.
TEST_F(Player_Notes, InstrumentWithoutNoteUnderEachRule) {
    using V = Playback_Rules;
    make_sample(1, 100, true);
    song.sample[0].def_volume = 40;
    song.sample[1].def_volume = 30;
    song.sample[1].def_panning_active = true;
    song.sample[1].def_panning = 16;
    Instrument::Layer& first = song.instrument[0].layers[0];
    first.volume_fadeout = 64;
    first.volume_envelope.add_node_at_offset(0, 64);
    first.volume_envelope.add_node_at_offset(100, 64);
    first.volume_envelope.set_enabled(true);
    first.volume_envelope.set_loop_enabled(true);  // so that the key-off fades
    first.volume_envelope.set_loop_begin(0);
    first.volume_envelope.set_loop_end(1);
    make_instrument(1, 1);
    put(0, 0, cell(48, 0, 20, 'X', 200));
    put(0, 1, cell(NOTE_OFF));
    put(0, 2, cell(EMPTY_FIELD, 1));
    put(0, 3, cell(55));
    struct Case {
        int rule;
        int volume;  // after the lone instrument
        int pan;
        int envelope_position;
        Sample* next_sample;
    };
    song.variables.rules.instrument_swaps_sample = false;  // the lone number's own rule alone
    for (Case c : {Case{V::INSTRUMENT_WITHOUT_NOTE_IGNORED, 20, 200, 13, &song.sample[0]},
                   Case{V::INSTRUMENT_WITHOUT_NOTE_SETS_VOLUME, 30, 200, 13, &song.sample[1]},
                   Case{V::INSTRUMENT_WITHOUT_NOTE_RETRIGGERS, 30, 16 * 255 / 64, 1, &song.sample[1]}}) {
        SCOPED_TRACE(c.rule);
        song.variables.rules.instrument_without_note = c.rule;
        start();
        play_rows(2);
        Voice_Control* voice = foreground(0);
        ASSERT_NE(voice, nullptr);
        size_t started = mixer.allocated.size();
        ticks(1);
        EXPECT_EQ(mixer.allocated.size(), started);
        EXPECT_EQ(foreground(0), voice);
        EXPECT_EQ(voice->get_sample(), &song.sample[0]);
        EXPECT_EQ(channel(0).slot[0].base_volume, c.volume);
        EXPECT_EQ(voice->get_pan(), c.pan);
        EXPECT_EQ(voice->get_volume_envelope().position, c.envelope_position);
        bool revived = c.rule == V::INSTRUMENT_WITHOUT_NOTE_RETRIGGERS;
        EXPECT_EQ(voice->get_note_off_flags(), revived ? 0 : NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING);
        EXPECT_EQ(voice->get_fadeout(), song.variables.rules.fadeout_scale - (revived ? 0 : 7 * 64));
        ticks(6);
        ASSERT_NE(foreground(0), nullptr);
        EXPECT_EQ(foreground(0)->get_sample(), c.next_sample);
        EXPECT_EQ(channel(0).slot[0].base_volume, c.volume);  // a note without instrument keeps it
        player.play_stop();
    }
}

// A sample offset at or past the end of a looped sample: XM silences the note, IT starts it
// anyway; an offset inside the sample plays under both rules.
TEST_F(Player_Notes, OffsetPastTheEndUnderEachRule) {
    make_sample(1, 100, true);
    make_instrument(1, 1);
    put(0, 0, cell(48, 1, EMPTY_FIELD, 'O', 1));  // frame 256 of 100
    put(1, 0, cell(48, 1, EMPTY_FIELD, 'O', 0));
    for (bool cuts : {false, true}) {
        SCOPED_TRACE(cuts);
        song.variables.rules.offset_past_end_cuts_note = cuts;
        start();
        ticks(2);
        EXPECT_EQ(voices_on(0), cuts ? 0 : 1);
        EXPECT_EQ(voices_on(1), 1);
        player.play_stop();
    }
}

// A cut (^^^ on row 1, or SC2 there) ends the note under the rule: what follows on row 2 (a
// volume, a lone instrument, a retrigger) finds nothing to bring back, and a slide to a note
// starts that note afresh. Without the rule the cut only silences, and a volume revives it.
TEST_F(Player_Notes, NoteCutEndsTheNoteUnderItsRule) {
    struct Case {
        const char* what;
        Note cut, after;
        bool sounds_with_rule, sounds_without;
    };
    const std::vector<Case> cases = {
        {"volume", cell(NOTE_CUT), cell(EMPTY_FIELD, EMPTY_FIELD, 64), false, true},
        {"lone instrument", cell(NOTE_CUT), cell(EMPTY_FIELD, 0), false, true},
        {"retrigger", cell(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 'S', 0xC2), cell(EMPTY_FIELD, EMPTY_FIELD, 64, 'Q', 0x02),
         false, true},
        {"slide to a note", cell(NOTE_CUT), cell(50, 0, EMPTY_FIELD, 'G', 0x01), true, true},
    };
    for (const Case& c : cases) {
        for (bool rule : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (rule ? " (cut ends the note)" : " (cut silences)"));
            song.variables.rules.note_cut_ends_note = rule;
            song.variables.rules.portamento_restarts_ended_note = rule;
            put(0, 0, cell(48, 0));
            put(0, 1, c.cut);
            put(0, 2, c.after);
            start();
            play_rows(2);
            EXPECT_EQ(foreground(0) != nullptr, !rule);
            ticks(6);
            const bool sounds = foreground(0) && played_volume() > 0;
            EXPECT_EQ(sounds, rule ? c.sounds_with_rule : c.sounds_without);
            if (rule && sounds) {
                EXPECT_EQ(played_period(), linear_period(50));  // afresh, not slid to
            }
        }
    }
}

TEST_F(Player_Notes, NoteOffFadesWithoutOrWithLoopingEnvelopeAndReleasesSustain) {
    Instrument::Layer& plain = song.instrument[0].layers[0];
    plain.volume_fadeout = 128;
    Instrument::Layer& looping = make_instrument(1, 0);
    looping.volume_envelope.reset();
    looping.volume_envelope.add_node_at_offset(0, 64);
    looping.volume_envelope.add_node_at_offset(4, 32);
    looping.volume_envelope.set_enabled(true);
    looping.volume_envelope.set_loop_enabled(true);
    looping.volume_envelope.set_loop_begin(0);
    looping.volume_envelope.set_loop_end(1);
    Instrument::Layer& sustained = make_instrument(2, 0);
    sustained.volume_envelope.reset();
    sustained.volume_envelope.add_node_at_offset(0, 64);
    sustained.volume_envelope.add_node_at_offset(2, 64);
    sustained.volume_envelope.add_node_at_offset(50, 0);
    sustained.volume_envelope.set_enabled(true);
    sustained.volume_envelope.set_sustain_loop_enabled(true);
    sustained.volume_envelope.set_sustain_loop_begin(1);
    sustained.volume_envelope.set_sustain_loop_end(1);
    for (int c = 0; c < 3; c++) {
        put(c, 0, cell(48, c));
        put(c, 1, cell(NOTE_OFF));
    }
    // The rate counts against the format's scale: old native files 512, IT 1024, XM 2048.
    for (int scale : {512, 1024, 2048}) {
        SCOPED_TRACE(scale);
        song.variables.rules.fadeout_scale = scale;
        start();
        play_rows(1);
        ticks(1);
        EXPECT_EQ(foreground(0)->get_note_off_flags(), NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING);
        EXPECT_EQ(foreground(1)->get_note_off_flags(), NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING);
        EXPECT_EQ(foreground(2)->get_note_off_flags(), NOTE_OFF_KEY_RELEASED);
        Voice_Control* plain_voice = foreground(0);
        EXPECT_EQ(plain_voice->get_fadeout(), scale - 128);
        ticks(scale / 256);  // half way: half as loud as the unfaded note
        EXPECT_EQ(plain_voice->get_played_volume(), 48 * 256 / 2);
        ticks(scale / 256 - 1);
        EXPECT_EQ(plain_voice->get_fadeout(), 0);
        EXPECT_EQ(voices_on(0), 1);
        ticks(1);
        EXPECT_EQ(voices_on(0), 0);
        player.play_stop();
    }
}

// IT's note fade: the note fades at the layer's rate while its envelope keeps the sustain loop.
TEST_F(Player_Notes, NoteFadeFadesAndKeepsTheSustain) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.volume_fadeout = 256;
    layer.volume_envelope.add_node_at_offset(0, 64);
    layer.volume_envelope.add_node_at_offset(2, 64);
    layer.volume_envelope.add_node_at_offset(50, 0);
    layer.volume_envelope.set_enabled(true);
    layer.volume_envelope.set_sustain_loop_enabled(true);
    layer.volume_envelope.set_sustain_loop_begin(1);
    layer.volume_envelope.set_sustain_loop_end(1);
    put(0, 0, cell(48, 0));
    put(0, 1, cell(NOTE_FADE));
    start();
    play_rows(1);
    Voice_Control* voice = foreground(0);
    ASSERT_NE(voice, nullptr);
    std::vector<int> fade = trace(4, [&] { return voice->get_fadeout(); });
    EXPECT_EQ(fade, (std::vector<int>{768, 512, 256, 0}));
    EXPECT_EQ(voice->get_note_off_flags(), NOTE_OFF_FADING);
    EXPECT_LE(voice->get_volume_envelope().position, 2);  // still in the sustain loop
    ticks(1);
    EXPECT_EQ(voices_on(0), 0);
}

// XM: key-off silences a note without a volume envelope at once; with one, whether it loops
// or holds a sustain, the sustain is released and the fade starts.
TEST_F(Player_Notes, KeyOffUnderTheXmRule) {
    song.variables.rules.key_off_cuts_without_envelope = true;
    song.instrument[0].layers[0].volume_fadeout = 128;
    for (int c = 1; c < 3; c++) {
        Instrument::Layer& layer = make_instrument(c, 0);
        layer.volume_envelope.reset();
        layer.volume_envelope.add_node_at_offset(0, 64);
        layer.volume_envelope.add_node_at_offset(20, 64);
        layer.volume_envelope.set_enabled(true);
        if (c == 1) layer.volume_envelope.set_loop_enabled(true);
        if (c == 2) layer.volume_envelope.set_sustain_loop_enabled(true);
    }
    for (int c = 0; c < 3; c++) {
        put(c, 0, cell(48, c));
        put(c, 1, cell(NOTE_OFF));
    }
    start();
    play_rows(1);
    ticks(1);
    EXPECT_EQ(foreground(0)->get_note_off_flags(), NOTE_OFF_KEY_RELEASED);
    EXPECT_EQ(foreground(0)->get_played_volume(), 0);
    for (int c = 1; c < 3; c++) {
        EXPECT_EQ(foreground(c)->get_note_off_flags(), NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING);
        EXPECT_GT(foreground(c)->get_played_volume(), 0);
    }
}

// XM: an instrument beside a key-off gives the note back its sample's volume, not its pan; the
// key stays released.
TEST_F(Player_Notes, XmKeyOffWithAnInstrumentTakesTheSampleDefaults) {
    song.variables.rules.key_off_cuts_without_envelope = true;
    song.sample[0].def_volume = 50;
    song.sample[0].def_panning_active = true;
    song.sample[0].def_panning = 16;
    put(0, 0, cell(48, 0, 20, 'X', 0xFF));
    put(0, 1, cell(NOTE_OFF, 0));
    put(1, 0, cell(48, 0, 20, 'X', 0xFF));
    put(1, 1, cell(NOTE_OFF));
    start();
    play_rows(1);
    ticks(1);
    EXPECT_EQ(channel(0).slot[0].base_volume, 50);
    EXPECT_EQ(channel(0).slot[0].pan, 0xFF);
    EXPECT_NE(channel(0).slot[0].note_off_flags & NOTE_OFF_KEY_RELEASED, 0);
    EXPECT_EQ(channel(1).slot[0].base_volume, 0);
    EXPECT_EQ(channel(1).slot[0].pan, 0xFF);
}

// FT2's note delay: the volume column's slide runs from the row's first tick rather than
// waiting for the note; a delayed key-off keeps the key pressed and gives back the sample's
// volume where an envelope shapes the note.
TEST_F(Player_Notes, Ft2NoteDelayRule) {
    song.variables.rules.key_off_cuts_without_envelope = true;
    Instrument::Layer& enveloped = make_instrument(1, 0);
    enveloped.volume_envelope.reset();
    enveloped.volume_envelope.add_node_at_offset(0, 64);
    enveloped.volume_envelope.add_node_at_offset(20, 64);
    enveloped.volume_envelope.set_enabled(true);
    auto volume = [&] { return (int)channel(0).slot[0].base_volume; };
    auto volume_and_key = [&] { return channel(0).slot[0].base_volume * 10 + channel(0).slot[0].note_off_flags; };
    struct Case {
        const char* what;
        Note row0, row1;
        std::function<int()> probe;
        std::vector<int> it, ft2;  // ticks 0..5 of row 1
    };
    const int slide_down_2 = 65 + 3 * 10 + 2;
    const std::vector<Case> cases = {
        {"volume-column slide", cell(48, 0, 32), cell(EMPTY_FIELD, EMPTY_FIELD, slide_down_2, 'S', 0xD3), volume,
         {32, 32, 32, 30, 28, 26}, {32, 30, 28, 26, 24, 22}},
        {"key-off", cell(48, 1, 32), cell(NOTE_OFF, EMPTY_FIELD, EMPTY_FIELD, 'S', 0xD2), volume_and_key,
         {320, 320, 323, 323, 323, 323}, {320, 320, 640, 640, 640, 640}},
    };
    for (const Case& c : cases) {
        for (bool ft2 : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (ft2 ? " (FT2)" : " (IT)"));
            song.variables.rules.ft2_note_delay = ft2;
            put(0, 0, c.row0);
            put(0, 1, c.row1);
            start();
            play_rows(1);
            EXPECT_EQ(trace(6, c.probe), ft2 ? c.ft2 : c.it);
        }
    }
}

// IT fades a note out once its volume envelope has run to its end; FT2 only on a key-off.
TEST_F(Player_Notes, EnvelopeEndFadesRule) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.volume_fadeout = 128;
    layer.volume_envelope.reset();
    layer.volume_envelope.add_node_at_offset(0, 64);
    layer.volume_envelope.add_node_at_offset(2, 64);
    layer.volume_envelope.set_enabled(true);
    song.variables.rules.fadeout_scale = 1024;
    for (bool fades : {false, true}) {
        SCOPED_TRACE(fades);
        song.variables.rules.envelope_end_fades = fades;
        put(0, 0, cell(48, 0));
        start();
        ticks(6);
        ASSERT_NE(foreground(0), nullptr);
        EXPECT_EQ(foreground(0)->get_note_off_flags() & NOTE_OFF_FADING, fades ? NOTE_OFF_FADING : 0);
        if (fades)
            EXPECT_LT(foreground(0)->get_fadeout(), 1024);
        else
            EXPECT_EQ(foreground(0)->get_fadeout(), 1024);
    }
}

TEST_F(Player_Notes, OldVoiceGetsTheNewNoteAction) {
    for (int action : {NNA_CUT, NNA_CONTINUE, NNA_NOTE_OFF, NNA_NOTE_FADE}) {
        SCOPED_TRACE(action);
        Instrument::Layer& layer = song.instrument[0].layers[0];
        layer.nna_type = action;
        layer.volume_fadeout = 64;
        put(0, 0, cell(48, 0));
        put(0, 1, cell(50, 0));
        start();
        play_rows(1);
        Voice_Control* first = foreground(0);
        ticks(1);
        Voice_Control* second = foreground(0);
        ASSERT_NE(second, first);
        EXPECT_EQ(second->get_note(), 50);
        EXPECT_EQ(second->get_voice().get_priority(), 3);
        bool first_alive = mixer.holds(&first->get_voice());
        switch (action) {
            case NNA_CUT: EXPECT_FALSE(first_alive); break;
            case NNA_CONTINUE:
                ASSERT_TRUE(first_alive);
                EXPECT_EQ(first->get_note_off_flags(), 0);
                EXPECT_EQ(first->get_voice().get_priority(), 2);
                EXPECT_EQ(first->get_note(), 48);
                break;
            case NNA_NOTE_OFF:
                ASSERT_TRUE(first_alive);
                EXPECT_EQ(first->get_note_off_flags(), NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING);
                break;
            case NNA_NOTE_FADE:
                ASSERT_TRUE(first_alive);
                EXPECT_EQ(first->get_note_off_flags(), NOTE_OFF_FADING);
                EXPECT_LT(first->get_fadeout(), song.variables.rules.fadeout_scale);
                break;
        }
    }
}

// A note the layer maps to no sample starts nothing and leaves the sounding voice alone, whatever
// its new-note action; in a song without instruments (the rule) it cuts the sounding note.
TEST_F(Player_Notes, NoteWithoutSampleLeavesTheSoundingNoteAlone) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.sample_table[50] = 99;
    layer.volume_fadeout = 64;
    struct Case {
        int action;
        char command;
        bool cuts_rule, alive;
    };
    for (Case c : {Case{NNA_CUT, 0, false, true}, Case{NNA_NOTE_FADE, 0, false, true},
                   Case{NNA_CONTINUE, 0, false, true}, Case{NNA_CUT, 'G', false, true}, Case{NNA_CONTINUE, 0, true, false},
                   Case{NNA_CUT, 'G', true, true}}) {
        SCOPED_TRACE(testing::Message() << c.action << " " << c.command << (c.cuts_rule ? " (cuts)" : ""));
        layer.nna_type = c.action;
        song.variables.rules.unmapped_note_cuts = c.cuts_rule;
        put(0, 0, cell(48, 0));
        put(0, 1, cell(50, 0, EMPTY_FIELD, c.command, 4));
        start();
        play_rows(1);
        Voice_Control* first = foreground(0);
        ASSERT_NE(first, nullptr);
        size_t started = mixer.allocated.size();
        ticks(1);
        EXPECT_EQ(mixer.allocated.size(), started);
        EXPECT_EQ(mixer.holds(&first->get_voice()), c.alive);
        EXPECT_EQ(foreground(0), c.alive ? first : nullptr);
        if (c.alive) {
            EXPECT_EQ(first->get_note_off_flags() & NOTE_OFF_FADING, 0);
        }
        player.play_stop();
    }
}

TEST_F(Player_Notes, DuplicateNoteCheckCutsSameNoteOnly) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.nna_type = NNA_CONTINUE;
    layer.dc_type = DCT_NOTE;
    layer.dc_action = DCA_CUT;
    put(0, 0, cell(48, 0));
    put(0, 1, cell(50, 0));  // a different note rings on
    put(0, 2, cell(48, 0));  // the same note: the first is silenced at once
    start();
    play_rows(1);
    ticks(1);
    EXPECT_EQ(voices_on(0), 2);
    ticks(5);
    ticks(1);
    EXPECT_EQ(voices_on(0), 2);  // notes 50 and the new 48
    for (Voice_Control* v : player.get_voice_list()) EXPECT_TRUE(v->get_note() == 50 || v->get_voice().get_priority() == 3);
}

TEST_F(Player_Notes, DuplicateChecksBySampleAndInstrument) {
    make_sample(1, 100, true);
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.nna_type = NNA_CONTINUE;
    layer.dc_type = DCT_SAMPLE;
    layer.dc_action = DCA_NOTE_OFF;
    layer.sample_table[60] = 1;
    put(0, 0, cell(48, 0));
    put(0, 1, cell(60, 0));  // other sample: untouched
    put(0, 2, cell(50, 0));  // sample 0 again: the note-48 voice is released
    start();
    play_rows(2);
    ticks(1);
    ASSERT_EQ(voices_on(0), 3);
    const auto& list = player.get_voice_list();
    EXPECT_EQ(list[0]->get_note_off_flags(), NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING);
    EXPECT_EQ(list[1]->get_note_off_flags(), 0);

    layer.dc_type = DCT_INSTRUMENT;
    layer.dc_action = DCA_NOTE_FADE;
    put(0, 3, cell(70, 0));
    ticks(5 + 6);
    for (size_t i = 0; i + 1 < list.size(); i++) EXPECT_TRUE(list[i]->get_note_off_flags() & NOTE_OFF_FADING);
    EXPECT_EQ(list.back()->get_note_off_flags(), 0);
}

TEST_F(Player_Notes, VolumeColumnVolumesAndPans) {
    put(0, 0, cell(48, 0, 64));
    put(1, 0, cell(48, 0, 128));
    put(2, 0, cell(48, 0, 192));
    put(3, 0, cell(48, 0, 160));
    put(4, 0, cell(48, 0, 125));
    start();
    ticks(1);
    EXPECT_EQ(channel(0).slot[0].base_volume, 64);
    EXPECT_EQ(channel(1).slot[0].pan, 0);
    EXPECT_EQ(channel(2).slot[0].pan, 255);
    EXPECT_EQ(channel(3).slot[0].pan, 127);
    EXPECT_EQ(channel(4).slot[0].pan, 0);  // just left of the range: held at the edge
}

TEST_F(Player_Notes, SampleAndLayerDefaultPans) {
    song.sample[0].def_panning_active = true;
    song.sample[0].def_panning = 64;
    put(0, 0, cell(48, 0));
    start();
    ticks(1);
    EXPECT_EQ(channel(0).slot[0].pan, 255);
    song.sample[0].def_panning_active = false;
    song.instrument[0].layers[0].pan_use_default = true;
    song.instrument[0].layers[0].pan_default = 0;
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(channel(0).slot[0].pan, 0);
}

TEST_F(Player_Notes, PitchPanSeparationAndRandomPanStayInRangeAndSpareSurround) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.pitch_separation = 32;
    layer.pitch_center = 0;
    layer.pan_random = 64;
    song.get_initial_variables()->channel[1].surround = true;
    for (int row = 0; row < 16; row++) {
        put(0, row, cell(row * 7, 0));
        put(1, row, cell(row * 7, 0));
    }
    start();
    for (int row = 0; row < 16; row++) {
        ticks(6);
        EXPECT_GE(channel(0).slot[0].pan, 0);
        EXPECT_LE(channel(0).slot[0].pan, 255);
        EXPECT_EQ(channel(1).slot[0].pan, 512);
    }
    EXPECT_EQ(played_pan(1), 512);
}

// Pitch/pan separation: an eighth of a 0..64 pan step per semitone from the centre note, on
// the channel's pan, unless a pan command on the row sets it. Values from the reference's
// render of an instrument with separation 16 around C-5 (a 12-semitone move is 24 of 64).
TEST_F(Player_Notes, PitchPanSeparationMovesThePanByTheNote) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.pitch_separation = 16;
    layer.pitch_center = 60;
    const int twelve = 12 * 16 * 255 / (8 * 64);
    struct Case {
        const char* what;
        Note row0, row1;
        int pan;  // after row 1
    };
    const std::vector<Case> cases = {
        {"an octave up", cell(60, 0, EMPTY_FIELD, 'X', 0x80), cell(72, 0), 0x80 + twelve},
        {"an octave down", cell(60, 0, EMPTY_FIELD, 'X', 0x80), cell(48, 0), 0x80 - twelve},
        {"a pan command beside the note", cell(60, 0), cell(72, 0, EMPTY_FIELD, 'X', 0x00), 0},
        {"from a pan set before", cell(60, 0, EMPTY_FIELD, 'X', 0x00), cell(72, 0), twelve},
        {"held at the edge", cell(60, 0, EMPTY_FIELD, 'X', 0xF0), cell(72, 0), 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        put(0, 0, c.row0);
        put(0, 1, c.row1);
        start();
        play_rows(2);
        EXPECT_EQ(channel(0).slot[0].pan, c.pan);
    }
}

TEST_F(Player_Notes, RandomVolumeLowersFinalVolume) {
    song.instrument[0].layers[0].volume_random = 50;
    put(0, 0, cell(48, 0));
    start();
    ticks(1);
    int variation = channel(0).slot[0].volume_variation;
    EXPECT_GT(variation, 50);
    EXPECT_LE(variation, 100);
    EXPECT_EQ(channel(0).slot[0].final_volume, 256 * variation / 100);
}

TEST_F(Player_Notes, NoteDelayKeepsTheOldNoteUntilTheNewOneStarts) {
    put(0, 0, cell(48, 0));
    put(0, 1, cell(50, 0, EMPTY_FIELD, 'S', 0xD3));
    start();
    play_rows(1);
    Voice_Control* first = foreground(0);
    std::vector<int> notes = trace(6, [&] { return (int)foreground(0)->get_note(); });
    EXPECT_EQ(notes, (std::vector<int>{48, 48, 48, 50, 50, 50}));
    EXPECT_FALSE(mixer.holds(&first->get_voice()));  // cut when the delayed note started
    EXPECT_EQ(first->get_played_period(), 0);        // pooled and reset
}

// A note delay holds back the note, the instrument and the volume column alike: until it is
// up the channel plays on as before.
TEST_F(Player_Notes, NoteDelayHoldsBackTheWholeCell) {
    auto note_and_volume = [&] { return foreground(0)->get_note() * 100 + channel(0).slot[0].base_volume; };
    auto cut = [&] { return (int)channel(0).slot[0].cut; };
    auto volume = [&] { return (int)channel(0).slot[0].base_volume; };
    auto released = [&] { return channel(0).slot[0].note_off_flags != 0 ? 1 : 0; };
    struct Case {
        const char* what;
        Note row1;
        std::function<int()> probe;
        std::vector<int> expected;  // ticks 0..5 of row 1
    };
    const std::vector<Case> cases = {
        {"note, instrument and volume", cell(50, 0, 20, 'S', 0xD3), note_and_volume, {4840, 4840, 4840, 5020, 5020, 5020}},
        {"note cut", cell(NOTE_CUT, EMPTY_FIELD, EMPTY_FIELD, 'S', 0xD2), cut, {0, 0, 1, 1, 1, 1}},
        {"volume alone", cell(EMPTY_FIELD, EMPTY_FIELD, 10, 'S', 0xD2), volume, {40, 40, 10, 10, 10, 10}},
        {"key-off", cell(NOTE_OFF, EMPTY_FIELD, EMPTY_FIELD, 'S', 0xD4), released, {0, 0, 0, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        put(0, 0, cell(48, 0, 40));
        put(0, 1, c.row1);
        start();
        play_rows(1);
        EXPECT_EQ(trace(6, c.probe), c.expected);
    }
}

// S0x (XM's Kxx) releases the key on tick x; a note beside it starts first.
TEST_F(Player_Notes, KeyOffCommandActsOnItsTick) {
    song.variables.rules.key_off_cuts_without_envelope = true;
    auto probe = [&] { return foreground(0)->get_note() * 100 + channel(0).slot[0].note_off_flags; };
    put(0, 0, cell(48, 0, 40));
    put(0, 1, cell(50, EMPTY_FIELD, EMPTY_FIELD, 'S', 0x03));
    start();
    play_rows(1);
    EXPECT_EQ(trace(6, probe), (std::vector<int>{5000, 5000, 5000, 5001, 5001, 5001}));
    EXPECT_EQ(channel(0).slot[0].base_volume, 0);  // no envelope: silent
}

// SEx plays the row again without its notes, but a delayed note is struck on each repetition.
TEST_F(Player_Notes, DelayedNoteIsStruckAgainOnEachRepetitionOfTheRow) {
    put(0, 0, cell(48, 0));
    put(0, 1, cell(50, 0, EMPTY_FIELD, 'S', 0xD2));
    put(1, 1, effect('S', 0xE1));
    start();
    play_rows(1);
    std::vector<int> struck;
    for (int t = 0; t < 12; t++) {
        Voice_Control* before = foreground(0);
        ticks(1);
        struck.push_back(foreground(0) != before ? 1 : 0);
    }
    EXPECT_EQ(struck, (std::vector<int>{0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(Player_Notes, DelayBeyondTheRowDropsTheNoteButNotLaterOnes) {
    put(0, 0, cell(48, 0, EMPTY_FIELD, 'S', 0xD9));
    put(0, 1, cell(50, 0));
    start();
    play_rows(1);
    EXPECT_EQ(voices_on(0), 0);
    ticks(1);
    ASSERT_EQ(voices_on(0), 1);
    EXPECT_EQ(foreground(0)->get_note(), 50);
}

// ProTracker plays a note delayed past its row on the next row's first tick; a note of that
// row still wins. The other players drop it.
TEST_F(Player_Notes, LateNoteDelayRule) {
    auto note = [&] { return foreground(0) ? (int)foreground(0)->get_note() : -1; };
    for (bool plays : {false, true}) {
        for (bool next_has_note : {false, true}) {
            SCOPED_TRACE(std::string(plays ? "next row" : "dropped") + (next_has_note ? ", note below" : ""));
            song.variables.rules.late_note_delay_plays_next_row = plays;
            put(0, 0, cell(48, 0));
            put(0, 1, cell(50, 0, EMPTY_FIELD, 'S', 0xD9));
            put(0, 2, next_has_note ? cell(52, 0) : Note());
            start();
            play_rows(1);
            std::vector<int> notes = trace(7, note);
            const int on_row_2 = next_has_note ? 52 : plays ? 50 : 48;
            EXPECT_EQ(notes, (std::vector<int>{48, 48, 48, 48, 48, 48, on_row_2}));
        }
    }
}

TEST_F(Player_Notes, UndefinedInstrumentIsReportedAndIgnored) {
    Audio_Thread_Log::flush();
    Audio_Thread_Log::forget_repeats();
    testing::internal::CaptureStdout();
    player.process_new_instrument(2, 120);
    EXPECT_GT(Audio_Thread_Log::flush(), 0);  // held back on the audio thread until now
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Error: trackercore/player_data_notes:61: warning: track 2 attempted to play an undefined instrument:", 0), 0u);
    EXPECT_EQ(channel(2).instrument, nullptr);
}

}  // namespace

// An envelope with its carry flag goes on from where the channel's last note of the same
// instrument had got to; one without restarts, and so does every envelope of another instrument.
TEST_F(Player_Notes, CarriedEnvelopesGoOnFromTheLastNote) {
    auto shape = [](Instrument::Layer& layer, bool carry_pan) {
        layer.nna_type = NNA_NOTE_OFF;
        for (Envelope* e : {&layer.volume_envelope, &layer.panning_envelope}) {
            e->reset();
            e->add_node_at_offset(0, 0);
            e->add_node_at_offset(100, 32);
            e->set_enabled(true);
        }
        layer.panning_envelope.set_carry_enabled(carry_pan);
    };
    shape(song.instrument[0].layers[0], true);
    shape(make_instrument(1, 0), true);
    shape(make_instrument(2, 0), false);
    struct Case {
        int second_instrument;
        int pan_position, volume_position;  // of the second note after its first tick
    };
    for (Case c : {Case{0, 7, 1}, Case{1, 1, 1}, Case{2, 1, 1}}) {
        SCOPED_TRACE(c.second_instrument);
        int first = c.second_instrument == 2 ? 2 : 0;
        put(0, 0, cell(48, first));
        put(0, 1, cell(50, c.second_instrument));
        start();
        play_rows(1);
        Voice_Control* old_voice = foreground(0);
        ticks(1);
        Voice_Control* voice = foreground(0);
        ASSERT_NE(voice, old_voice);
        EXPECT_EQ(voice->get_pan_envelope().position, c.pan_position);
        EXPECT_EQ(voice->get_volume_envelope().position, c.volume_position);
        EXPECT_EQ(old_voice->get_pan_envelope().position, 7);  // the old note goes on by itself
        player.play_stop();
    }
}

// Compatible Gxx: a slide with an instrument number strikes the key again (key-off, fade-out and
// envelopes start afresh) while the sounding voice slides on; without the switch, or without the
// instrument, the released note goes on fading.
TEST_F(Player_Notes, CompatibleGxxInstrumentStrikesTheKeyAgain) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.volume_fadeout = 64;
    layer.volume_envelope.add_node_at_offset(0, 64);
    layer.volume_envelope.add_node_at_offset(100, 64);
    layer.volume_envelope.set_enabled(true);
    layer.volume_envelope.set_loop_enabled(true);
    layer.volume_envelope.set_loop_end(1);
    struct Case {
        bool compatible;
        int instrument;
        bool struck;
    };
    for (Case c : {Case{true, 0, true}, Case{true, EMPTY_FIELD, false}, Case{false, 0, false}}) {
        SCOPED_TRACE(testing::Message() << c.compatible << " " << c.instrument);
        song.variables.rules.compatible_gxx = c.compatible;
        put(0, 0, cell(48, 0));
        put(0, 1, cell(NOTE_OFF));
        put(0, 2, cell(50, c.instrument, EMPTY_FIELD, 'G', 0x10));
        start();
        play_rows(2);
        Voice_Control* voice = foreground(0);
        ASSERT_NE(voice, nullptr);
        ticks(1);
        ASSERT_EQ(foreground(0), voice);
        EXPECT_EQ(voice->get_note_off_flags(), c.struck ? 0 : NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING);
        EXPECT_EQ(voice->get_volume_envelope().position, c.struck ? 1 : 13);
        EXPECT_EQ(voice->get_fadeout(), song.variables.rules.fadeout_scale - (c.struck ? 0 : 7 * 64));
        player.play_stop();
    }
}

// An instrument number alone: under its rule it strikes again a note that has ended, but
// not one a note cut ended; under another (IT) it strikes the last note again with the sample it
// maps that note to. Elsewhere the sounding sample plays on (or nothing sounds).
TEST_F(Player_Notes, LoneInstrumentStrikesAnEndedNoteOrSwapsTheSample) {
    make_sample(1, 10000, true);
    make_sample(2, 10000, true);
    make_instrument(1, 1).volume_fadeout = 1024;  // a released note ends within a tick
    make_instrument(2, 2);
    struct Case {
        const char* what;
        int first_instrument;
        int between;  // row 1: key-off (the note fades out at once), cut or nothing
        bool restart, swap;
        Sample* playing;  // after the lone instrument 2 on row 2, or none
    };
    for (Case c : {Case{"ended, restarted", 1, NOTE_OFF, true, false, &song.sample[2]},
                   Case{"ended, rule off", 1, NOTE_OFF, false, false, nullptr},
                   Case{"cut", 0, NOTE_CUT, true, false, nullptr},
                   Case{"sounding, swapped", 0, EMPTY_FIELD, true, true, &song.sample[2]},
                   Case{"sounding, kept", 0, EMPTY_FIELD, true, false, &song.sample[0]}}) {
        SCOPED_TRACE(c.what);
        song.variables.rules.instrument_restarts_ended_note = c.restart;
        song.variables.rules.instrument_swaps_sample = c.swap;
        put(0, 0, cell(48, c.first_instrument));
        put(0, 1, cell(c.between));
        put(0, 2, cell(EMPTY_FIELD, 2));
        start();
        play_rows(2);
        ticks(1);
        Voice_Control* voice = foreground(0);
        EXPECT_EQ(voice ? voice->get_sample() : nullptr, c.playing);
        if (voice) {
            EXPECT_EQ(voice->get_note(), 48);
        }
        EXPECT_EQ(voices_on(0), c.playing ? 1 : 0);
        player.play_stop();
    }
}

// An instrument number before any note gives the next note without one that instrument's
// sample volume (it would otherwise start silent); an old native song ignores the number.
TEST_F(Player_Notes, LoneInstrumentBeforeAnyNoteGivesTheNextNoteItsVolume) {
    using V = Playback_Rules;
    song.sample[0].def_volume = 40;
    put(0, 0, cell(EMPTY_FIELD, 0));
    put(0, 1, cell(48));
    for (int rule : {V::INSTRUMENT_WITHOUT_NOTE_SETS_VOLUME, V::INSTRUMENT_WITHOUT_NOTE_IGNORED}) {
        SCOPED_TRACE(rule);
        song.variables.rules.instrument_without_note = rule;
        start();
        play_rows(1);
        ticks(1);
        if (rule == V::INSTRUMENT_WITHOUT_NOTE_IGNORED) {
            EXPECT_EQ(voices_on(0), 0);
        } else {
            ASSERT_NE(foreground(0), nullptr);
            EXPECT_EQ(channel(0).slot[0].base_volume, 40);
        }
        player.play_stop();
    }
}

// A slide to a note in the volume column beside an offset moves the sliding voice to the offset;
// without the offset it plays on where it was.
TEST_F(Player_Notes, OffsetBesideSlideMovesTheSlidingVoice) {
    const int slide = 193 + 4;  // volume-column slide to note
    for (bool offset : {true, false}) {
        SCOPED_TRACE(offset);
        put(0, 0, cell(48, 0));
        put(0, 1, offset ? cell(50, EMPTY_FIELD, slide, 'O', 0x10) : cell(50, EMPTY_FIELD, slide));
        start();
        play_rows(1);
        Voice_Control* voice = foreground(0);
        ASSERT_NE(voice, nullptr);
        int before = voice->get_voice().get_current_sample_pos();
        ticks(1);
        ASSERT_EQ(foreground(0), voice);
        EXPECT_EQ(voice->get_voice().get_current_sample_pos(), offset ? 0x1000 : before);
        player.play_stop();
    }
}

// A slide to a note its instrument maps to another sample swaps the sample in place: the old
// voice is not kept on by the new-note action, as it is for a note struck without the slide.
TEST_F(Player_Notes, SlideThatSwapsTheSampleLeavesNoBackgroundVoice) {
    make_sample(1, 10000, true);
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.nna_type = NNA_CONTINUE;
    for (int n = 50; n < NOTE_COUNT; n++) layer.sample_table[n] = 1;
    for (bool slide : {true, false}) {
        SCOPED_TRACE(slide);
        put(0, 0, cell(48, 0));
        put(0, 1, slide ? cell(50, 0, EMPTY_FIELD, 'G', 0x10) : cell(50, 0));
        start();
        play_rows(1);
        ticks(1);
        ASSERT_NE(foreground(0), nullptr);
        EXPECT_EQ(foreground(0)->get_sample(), &song.sample[1]);
        EXPECT_EQ(voices_on(0), slide ? 1 : 2);
        player.play_stop();
    }
}

TEST_F(Player_Notes, NoteAfterACutNoteCrossfadesWhereCutsAreShort) {
    // A legato line: each note cuts the one before (new-note action cut). Where cuts take the
    // short declick the new note rises against the tail; elsewhere it starts at once.
    song.instrument[0].layers[0].nna_type = NNA_CUT;
    put(0, 0, cell(48, 0));
    put(0, 1, cell(50, 0));
    put(0, 2, cell(NOTE_CUT));
    put(0, 3, cell(53, 0));  // nothing sounds to fade against
    for (bool short_cut : {true, false}) {
        SCOPED_TRACE(short_cut);
        song.variables.rules.short_cut_declick = short_cut;
        player.play_start_pattern(0);
        std::vector<bool> crossfades;
        for (int row = 0; row < 4; row++) {
            ticks(1);
            if (row != 2) crossfades.push_back(foreground(0)->get_voice().has_crossfade());
            ticks(5);
        }
        EXPECT_EQ(crossfades, (std::vector<bool>{false, short_cut, false}));
    }
}

// A slide to a note whose instrument plays another sample (an octave up, half as loud): IT
// swaps to it at the pitch the slide had got to; with compatible Gxx the sounding sample slides
// on and the number gives back its own volume. Either way a later G goes on sliding. Values
// from the reference's traces of tests/data/behaviour/it_gxx_sample_swap*.it.
TEST_F(Player_Notes, SlideToAnotherSampleUnderCompatibleGxx) {
    make_sample(1, 10000, true);
    song.sample[1].data.set_c5_freq(16726 * 2);
    song.sample[0].def_volume = 64;
    song.sample[1].def_volume = 32;
    make_instrument(1, 1);
    put(0, 0, cell(60, 0, 16));
    put(0, 1, cell(62, 1, EMPTY_FIELD, 'G', 0x04));
    put(0, 2, effect('G', 0));
    struct Case {
        bool compatible;
        Sample* playing;
        int volume;
        int period_shift;  // at the swap, in linear period units
    };
    for (Case c : {Case{false, &song.sample[1], 32, 768}, Case{true, &song.sample[0], 64, 0}}) {
        SCOPED_TRACE(c.compatible);
        song.variables.rules.compatible_gxx = c.compatible;
        start();
        play_rows(1);
        ASSERT_NE(foreground(0), nullptr);
        const int period = foreground(0)->get_period();
        ticks(1);
        ASSERT_NE(foreground(0), nullptr);
        EXPECT_EQ(foreground(0)->get_sample(), c.playing);
        EXPECT_EQ(foreground(0)->get_period(), period + c.period_shift);
        EXPECT_EQ(channel(0).slot[0].base_volume, c.volume);
        EXPECT_EQ(voices_on(0), 1);
        ticks(7);
        ASSERT_NE(foreground(0), nullptr);
        EXPECT_EQ(foreground(0)->get_sample(), c.playing);
        EXPECT_EQ(foreground(0)->get_period(), period + c.period_shift - 6 * 16);
        player.play_stop();
    }
}

// A lone instrument number under IT's old effects starts the envelopes again; otherwise they
// go on. Values from the reference's traces of tests/data/behaviour/it_lone_instrument*.it.
TEST_F(Player_Notes, LoneInstrumentRestartsEnvelopesUnderOldEffects) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    layer.volume_envelope.add_node_at_offset(0, 64);
    layer.volume_envelope.add_node_at_offset(100, 16);
    layer.volume_envelope.set_enabled(true);
    put(0, 0, cell(60, 0, 48));
    put(0, 1, cell(EMPTY_FIELD, 0));
    for (bool old_effects : {true, false}) {
        SCOPED_TRACE(old_effects);
        song.variables.rules.old_effects = old_effects;
        start();
        play_rows(1);
        Voice_Control* voice = foreground(0);
        ticks(1);
        ASSERT_EQ(foreground(0), voice);
        EXPECT_EQ(voice->get_volume_envelope().position, old_effects ? 1 : 7);
        EXPECT_EQ(channel(0).slot[0].base_volume, 64);
        player.play_stop();
    }
}

