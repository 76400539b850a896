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
