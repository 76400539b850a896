#include <gtest/gtest.h>

#include "loaders/loader_mod.h"
#include "support/player_fixture.h"
#include "trackercore/tables.h"

namespace {

class Player_Effects : public Player_Fixture {
protected:
    // Plays row 0 (note 48, instrument 0 and the given cell fields on channel 0) and row 1
    // (the second effect), returning the probe after each of the 12 ticks.
    std::vector<int> run(Note row0, Note row1, const std::function<int()>& probe, int count = 12) {
        put(0, 0, row0);
        put(0, 1, row1);
        player.play_start_pattern(0);
        return trace(count, probe);
    }
    int base_volume() { return channel(0).slot[0].base_volume; }
    int volume() { return channel(0).slot[0].volume; }
    int period() { return channel(0).slot[0].period; }
    int pan() { return channel(0).slot[0].pan; }
};

using V = std::vector<int>;

TEST_F(Player_Effects, VolumeSlidesNormalFineAndMemory) {
    EXPECT_EQ(run(cell(48, 0, 32, 'D', 0x20), effect('D', 0), [&] { return base_volume(); }),
              (V{32, 34, 36, 38, 40, 42, 42, 44, 46, 48, 50, 52}));
    EXPECT_EQ(run(cell(48, 0, 32, 'D', 0x3F), effect('D', 0xF2), [&] { return base_volume(); }, 8),
              (V{35, 35, 35, 35, 35, 35, 33, 33}));
    // D0F and DF0 are normal slides by 15, not fine ones.
    EXPECT_EQ(run(cell(48, 0, 60, 'D', 0x0F), effect('D', 0xF0), [&] { return base_volume(); }, 8),
              (V{60, 45, 30, 15, 0, 0, 0, 15}));
}

// ST3.00's fast slides against the usual ones: D, K and L slide on the row's first tick too,
// fine slides as before. Values from the reference's trace of an ST3.00 file.
TEST_F(Player_Effects, FastVolumeSlidesRule) {
    struct Case {
        const char* what;
        Note row0;
        V usual, fast;
    };
    const std::vector<Case> cases = {
        {"down", cell(48, 0, 32, 'D', 0x04), V{32, 28, 24, 20, 16, 12}, V{28, 24, 20, 16, 12, 8}},
        {"up beside a vibrato", cell(48, 0, 32, 'K', 0x40), V{32, 36, 40, 44, 48, 52}, V{36, 40, 44, 48, 52, 56}},
        {"beside a slide to a note", cell(48, 0, 32, 'L', 0x04), V{32, 28, 24, 20, 16, 12}, V{28, 24, 20, 16, 12, 8}},
        {"fine", cell(48, 0, 32, 'D', 0xF4), V{28, 28, 28, 28, 28, 28}, V{28, 28, 28, 28, 28, 28}},
    };
    for (const Case& c : cases) {
        for (bool fast : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (fast ? " (fast)" : ""));
            song.variables.rules.fast_volume_slides = fast;
            EXPECT_EQ(run(c.row0, effect('D', 0x00), [&] { return base_volume(); }, 6), fast ? c.fast : c.usual);
        }
    }
}

TEST_F(Player_Effects, PitchSlidesShareMemoryAndHoldAtTheEnds) {
    const int p = linear_period(48);
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'E', 0x02), effect('F', 0), [&] { return period(); }, 8),
              (V{p, p + 8, p + 16, p + 24, p + 32, p + 40, p + 40, p + 32}));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'F', 0xF3), effect('E', 0xE5), [&] { return period(); }, 8),
              (V{p - 12, p - 12, p - 12, p - 12, p - 12, p - 12, p - 7, p - 7}));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'E', 0xFF), effect('E', 0xFF), [&] { return period(); }, 8).back(),
              p + 120);
    // Sliding down past the lowest period stops there instead of wrapping round.
    song.get_initial_variables()->speed = 80;
    std::vector<int> low = run(cell(48, 0, EMPTY_FIELD, 'E', 0xDF), effect('E', 0xDF), [&] { return period(); }, 80);
    EXPECT_EQ(low.back(), 65535);
    EXPECT_EQ(played_period(), Voice_Control::MAX_PERIOD);
}

TEST_F(Player_Effects, SlideToNoteMovesTheSoundingVoice) {
    put(0, 0, cell(48, 0));
    put(0, 1, cell(49, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x04));  // 16 period units a tick
    put(0, 2, effect('G', 0));
    player.play_start_pattern(0);
    ticks(6);
    Voice_Control* voice = foreground(0);
    std::vector<int> periods = trace(12, [&] { return played_period(); });
    const int from = linear_period(48), to = linear_period(49);
    EXPECT_EQ(periods, (V{from, from - 16, from - 32, from - 48, to, to, to, to, to, to, to, to}));
    EXPECT_EQ(foreground(0), voice);  // no restart
    EXPECT_EQ(mixer.allocated.size(), 1u);
    EXPECT_EQ(voice->get_note(), 49);
}

TEST_F(Player_Effects, SlideToNoteWithoutEarlierNotePlaysAtOnce) {
    put(0, 0, cell(60, 0, EMPTY_FIELD, 'G', 0x01));
    player.play_start_pattern(0);
    ticks(3);
    EXPECT_EQ(played_period(), linear_period(60));
    EXPECT_EQ(mixer.allocated.size(), 1u);
}

TEST_F(Player_Effects, SlideToNoteWithOtherSampleRestartsAndSlides) {
    make_sample(1, 500, true);
    make_instrument(1, 1);
    song.instrument[0].layers[0].nna_type = NNA_CONTINUE;
    put(0, 0, cell(48, 0));
    put(0, 1, cell(60, 1, EMPTY_FIELD, 'G', 0x10));
    player.play_start_pattern(0);
    ticks(7);
    EXPECT_EQ(mixer.allocated.size(), 2u);
    EXPECT_EQ(foreground(0)->get_sample(), &song.sample[1]);
    EXPECT_EQ(played_period(), linear_period(48));  // starts from the sounding pitch
    ticks(1);
    EXPECT_EQ(played_period(), linear_period(48) - 64);
}

// A slide to a note after the sounding sample has run out: IT and S3M strike the new note
// afresh; without the rule there is nothing left to slide, and nothing sounds.
TEST_F(Player_Effects, SlideToNoteAfterTheSampleEnded) {
    make_sample(1, 20, false);
    make_instrument(1, 1);
    for (bool rule : {true, false}) {
        SCOPED_TRACE(rule);
        song.variables.rules.portamento_restarts_ended_note = rule;
        put(0, 0, cell(48, 1));
        put(0, 2, cell(50, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x01));
        player.play_start_pattern(0);
        ticks(2);
        // The recording mixer renders nothing: play the voice past its 20 frames here.
        ASSERT_NE(foreground(0), nullptr);
        Tracker_Voice& sounding = foreground(0)->get_voice();
        sounding.set_mix_frequency(44100);
        std::vector<int> block(2 * 1024);
        sounding.mix(1024, block.data());
        ticks(10);
        ASSERT_EQ(foreground(0), nullptr);
        ticks(1);
        EXPECT_EQ(played_period(), rule ? linear_period(50) : -1);
    }
}

TEST_F(Player_Effects, VolumeColumnSlideToNoteUsesItsSpeedTable) {
    put(0, 0, cell(48, 0));
    put(0, 1, cell(50, EMPTY_FIELD, 193 + 3));  // speed 8: 32 units a tick
    player.play_start_pattern(0);
    ticks(8);
    EXPECT_EQ(played_period(), linear_period(48) - 32);
    EXPECT_EQ(channel(0).portamento_speed, 8);
}

TEST_F(Player_Effects, CompatibleGxxSwitchLeavesSlidesAlone) {
    for (bool compatible : {false, true}) {
        song.variables.rules.compatible_gxx = compatible;
        put(0, 0, cell(48, 0, EMPTY_FIELD, 'E', 0x10));
        put(0, 1, cell(50, EMPTY_FIELD, EMPTY_FIELD, 'G', 0));
        player.play_start_pattern(0);
        ticks(8);
        EXPECT_EQ(channel(0).portamento_speed, 0) << compatible;
        EXPECT_EQ(channel(0).pitch_slide_memory, 0x10) << compatible;
        EXPECT_EQ(played_period(), linear_period(48) + 5 * 64) << compatible;
    }
}

TEST_F(Player_Effects, VibratoDepthPositionAndOldEffects) {
    // Speed 4 x 4 = 16 a tick: table index advances 4 a tick.
    V normal = run(cell(48, 0, EMPTY_FIELD, 'H', 0x48), effect('H', 0), [&] { return period() - linear_period(48); }, 8);
    EXPECT_EQ(normal, (V{0, 97 * 8 / 256 * 4, 180 * 8 / 256 * 4, 235 * 8 / 256 * 4, 255 * 8 / 256 * 4,
                         235 * 8 / 256 * 4, 180 * 8 / 256 * 4, 97 * 8 / 256 * 4}));
    song.variables.rules.old_effects = true;
    V old = run(cell(48, 0, EMPTY_FIELD, 'H', 0x48), effect('H', 0), [&] { return period() - linear_period(48); }, 8);
    // Double depth, and the position holds on each row tick.
    EXPECT_EQ(old, (V{0, 0, 97 * 8 / 128 * 4, 180 * 8 / 128 * 4, 235 * 8 / 128 * 4, 255 * 8 / 128 * 4,
                      235 * 8 / 128 * 4, 235 * 8 / 128 * 4}));
}

TEST_F(Player_Effects, FineVibratoAndExternalVibratos) {
    V fine = run(cell(48, 0, EMPTY_FIELD, 'U', 0x48), effect('U', 0), [&] { return period() - linear_period(48); }, 3);
    EXPECT_EQ(fine, (V{0, 97 * 8 / 256, 180 * 8 / 256}));
    player.set_force_external_vibratos(true);
    V external = run(cell(48, 0, EMPTY_FIELD, 'H', 0x48), effect('H', 0), [&] { return period() - linear_period(48); }, 3);
    EXPECT_EQ(external, (V{0, 0, 0}));
    EXPECT_EQ(channel(0).vibrato_depth, 8);
}

TEST_F(Player_Effects, VibratoWaveformsAndVolumeColumnVibrato) {
    put(0, 0, cell(48, 0, EMPTY_FIELD, 'S', 0x31));  // square
    put(1, 0, cell(48, 0, 203 + 4, 'H', 0x40));    // volume-column depth 4
    put(0, 1, effect('H', 0x44));
    put(1, 1, cell(EMPTY_FIELD, EMPTY_FIELD, 203 + 4, 'H', 0));
    player.play_start_pattern(0);
    ticks(7);
    EXPECT_EQ(channel(0).vibrato_waveform, 1);
    EXPECT_EQ(period() - linear_period(48), 255 * 4 / 256 * 4);
    EXPECT_EQ(channel(1).vibrato_depth, 4);
    EXPECT_NE(channel(1).slot[0].period, linear_period(48));
    ticks(6);  // no vibrato on row 2: the pitch returns
    EXPECT_EQ(period(), linear_period(48));
    EXPECT_EQ(channel(1).slot[0].period, linear_period(48));
}

TEST_F(Player_Effects, TremorAlternatesAndTremoloSwings) {
    EXPECT_EQ(run(cell(48, 0, 40, 'I', 0x21), effect('I', 0), [&] { return volume(); }),
              (V{40, 40, 0, 40, 40, 0, 40, 40, 0, 40, 40, 0}));
    V tremolo = run(cell(48, 0, 40, 'R', 0x48), effect('R', 0), [&] { return volume(); }, 5);
    EXPECT_EQ(tremolo, (V{40, 40 + 97 * 8 / 128, 40 + 180 * 8 / 128, 40 + 235 * 8 / 128, 40 + 255 * 8 / 128}));
    put(0, 0, cell(48, 0, 40, 'S', 0x42));  // tremolo square
    put(0, 1, effect('R', 0x48));
    player.play_start_pattern(0);
    ticks(7);
    EXPECT_EQ(volume(), 40 + 255 * 8 / 128);
}

TEST_F(Player_Effects, ArpeggioLinearAndAmiga) {
    const int p = linear_period(48);
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'J', 0x47), effect('J', 0), [&] { return period(); }, 6),
              (V{p, p - 4 * 64, p - 7 * 64, p, p - 4 * 64, p - 7 * 64}));
    song.variables.rules.use_linear_slides = false;
    V amiga = run(cell(48, 0, EMPTY_FIELD, 'J', 0x47), effect('J', 0), [&] { return period(); }, 3);
    EXPECT_EQ(amiga, (V{(int)get_period(96, 0, false), (int)get_period(104, 0, false), (int)get_period(110, 0, false)}));
}

// The FT2 modulation rule against the IT one, cell for cell: rows 0 and 1 of channel 0, then
// the probe after each tick (speed 6 unless given). Values from the per-tick traces of the
// reference player on tests/data/behaviour/xm_*.xm.
TEST_F(Player_Effects, Ft2ModulationRule) {
    const int p = linear_period(48);
    auto pitch = [&] { return period() - p; };
    auto level = [&] { return volume(); };
    struct Case {
        const char* what;
        Note row0, row1;
        std::function<int()> probe;
        int speed, from;  // trace from this tick
        V it, ft2;
    };
    const std::vector<Case> cases = {
        // Twice IT's depth, truncated once; the position holds on each row's first tick.
        {"vibrato", cell(48, 0, EMPTY_FIELD, 'H', 0x48), effect('H', 0), pitch, 6, 0,
         V{0, 12, 20, 28, 28, 28, 20, 12, 0, -12, -20, -28}, V{0, 0, 24, 45, 58, 63, 58, 58, 45, 24, 0, -24}},
        {"tremolo", cell(48, 0, 40, 'R', 0x48), effect('R', 0), level, 6, 0, V{40, 46, 51, 54, 55, 54},
         V{40, 40, 52, 62, 64, 64}},
        // The ramp turns by the vibrato's position (0 here), not the tremolo's.
        {"tremolo ramp", cell(48, 0, 40, 'S', 0x41), effect('R', 0x88), level, 6, 6, V{40, 44, 48, 52, 25, 29},
         V{40, 40, 48, 56, 64, 40}},
        // The step comes from the ticks left in the row; past 16 of them from the vibrato table.
        {"arpeggio", cell(48, 0, EMPTY_FIELD, 'J', 0x47), effect('J', 0), pitch, 6, 0,
         V{0, -256, -448, 0, -256, -448}, V{0, -448, -256, 0, -448, -256}},
        {"arpeggio, long row", cell(48, 0, EMPTY_FIELD, 'J', 0x47), effect('J', 0), pitch, 20, 0,
         V{0, -256, -448, 0, -256, -448, 0, -256}, V{0, -448, -448, -448, 0, 0, -448, -256}},
        // Phases of x + 1 and y + 1 ticks, counted across rows; the row tick holds the volume.
        {"tremor", cell(48, 0, 40, 'I', 0x21), effect('I', 0), level, 6, 0,
         V{40, 40, 0, 40, 40, 0, 40, 40, 0, 40, 40, 0}, V{40, 40, 40, 40, 0, 0, 0, 40, 40, 40, 0, 0}},
        // The volume column's vibrato speed and a depth past IT's column.
        {"volume-column vibrato", cell(48, 0, VOLUME_VIBRATO_SPEED + 6),
         cell(EMPTY_FIELD, EMPTY_FIELD, VOLUME_VIBRATO_DEPTH + 12), pitch, 6, 6, V{0, 24, 44, 44, 32, 8},
         V{0, 0, 52, 88, 93, 67}},
    };
    for (const Case& c : cases) {
        for (bool ft2 : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (ft2 ? " (FT2)" : " (IT)"));
            song.variables.rules.ft2_modulation = ft2;
            song.get_initial_variables()->speed = c.speed;
            const V& expected = ft2 ? c.ft2 : c.it;
            put(0, 0, c.row0);
            put(0, 1, c.row1);
            player.play_start_pattern(0);
            ticks(c.from);
            EXPECT_EQ(trace((int)expected.size(), c.probe), expected);
        }
    }
}

// Glissando against its rule: a slide up by G, down by the column's slide, up again at 8 units a
// tick and on across a row. FT2 sounds the nearest semitone (the lower one halfway), IT the one at
// the pitch or above; either way the slide goes on underneath. Values (period against note 48,
// ticks 6..29) from the reference's traces of tests/data/behaviour/xm_glissando.xm and it_glissando.it.
TEST_F(Player_Effects, GlissandoRule) {
    using F = Playback_Rules::Format;
    const int p = linear_period(48);
    const V smooth{0, -20, -40, -60, -80, -100, -100, -36, 28, 92, 128, 128,
                   128, 96, 64, 32, 0, -32, -32, -64, -96, -128, -160, -192};
    struct Case {
        const char* what;
        F format;
        int glissando;
        V expected;
    };
    const std::vector<Case> cases = {
        {"FT2", F::XM, 0x11, V{0, 0, -64, -64, -64, -128, -128, -64, 0, 64, 128, 128,
                               128, 128, 64, 64, 0, 0, 0, -64, -64, -128, -128, -192}},
        {"IT", F::IT, 0x11, V{0, -64, -64, -64, -128, -128, -128, -64, 0, 64, 128, 128,
                              128, 64, 64, 0, 0, -64, -64, -64, -128, -128, -192, -192}},
        {"off", F::XM, 0x10, smooth},
        {"older native songs", F::OLD_NATIVE, 0x11, smooth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        song.variables.rules = Playback_Rules::of_format(c.format);
        put(0, 0, cell(48, 0, EMPTY_FIELD, 'S', c.glissando));
        put(0, 1, cell(51, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x05));
        put(0, 2, cell(46, EMPTY_FIELD, 197));  // the column's slide by 64 a tick
        put(0, 3, cell(51, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x08));
        put(0, 4, effect('G', 0));
        player.play_start_pattern(0);
        ticks(6);
        EXPECT_EQ(trace(24, [&] { return period() - p; }), c.expected);
    }
}

// E5x tunes the note on its row from the untuned pitch, the sample's own finetune (-40 here)
// left out; any later note plays at the sample's again, and a slide aims at the E5x tuning.
// Values (period against note 48 on each row's second tick) from the reference's trace of
// tests/data/behaviour/xm_finetune_e5.xm.
TEST_F(Player_Effects, FinetuneCommandTunesItsRowsNote) {
    auto tuned = [](int note, int instrument, int x) {
        Note n = cell(note, instrument);
        n.command = COMMAND_FT2_FINETUNE;
        n.parameter = (unsigned char)x;
        return n;
    };
    song.variables.rules = Playback_Rules::of_format(Playback_Rules::Format::XM);
    song.sample[0].finetune = -40;
    const std::vector<Note> rows = {cell(48, 0), tuned(48, 0, 0xF), cell(48, 0), tuned(48, 0, 0x0),
                                    tuned(48, EMPTY_FIELD, 0x4), cell(49, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x40),
                                    cell(48)};
    for (int r = 0; r < (int)rows.size(); r++) put(0, r, rows[r]);
    player.play_start_pattern(0);
    V second_ticks;
    for (int r = 0; r < (int)rows.size(); r++) {
        ticks(2);
        second_ticks.push_back(period() - linear_period(48));
        ticks(4);
    }
    EXPECT_EQ(second_ticks, (V{0, -76, 0, 44, 12, -52, 0}));
}

// ST3's one memory against IT's memory per effect: row 0 sets a value, row 1 recalls it with
// zero. Values from the reference player's traces of tests/data/behaviour/s3m_shared_memory.s3m.
TEST_F(Player_Effects, SharedEffectMemoryRule) {
    const int p = linear_period(48);
    auto pitch = [&] { return period() - p; };
    auto level = [&] { return base_volume(); };
    struct Case {
        const char* what;
        Note row0, row1;
        std::function<int()> probe;
        V it, st3;  // ticks 6..11: row 1
    };
    const std::vector<Case> cases = {
        {"pitch slide after a volume slide", cell(48, 0, 32, 'D', 0x01), effect('E', 0), pitch, V{0, 0, 0, 0, 0, 0},
         V{0, 4, 8, 12, 16, 20}},
        {"volume slide after a pitch slide", cell(48, 0, 32, 'E', 0x02), effect('D', 0), level,
         V{32, 32, 32, 32, 32, 32}, V{32, 30, 28, 26, 24, 22}},
        // Any effect sets it, even one that never recalls it.
        {"volume slide after a vibrato", cell(48, 0, 32, 'H', 0x42), effect('D', 0), level, V{32, 32, 32, 32, 32, 32},
         V{32, 30, 28, 26, 24, 22}},
        {"arpeggio after a volume slide", cell(48, 0, 32, 'D', 0x42), effect('J', 0), pitch, V{0, 0, 0, 0, 0, 0},
         V{0, -256, -128, 0, -256, -128}},
        // With both digits set the slide goes down.
        {"volume slide of two digits", cell(48, 0, 32), effect('D', 0x42), level, V{32, 32, 32, 32, 32, 32},
         V{32, 30, 28, 26, 24, 22}},
    };
    for (const Case& c : cases) {
        for (bool st3 : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (st3 ? " (ST3)" : " (IT)"));
            song.variables.rules.shared_effect_memory = st3;
            put(0, 0, c.row0);
            put(0, 1, c.row1);
            player.play_start_pattern(0);
            ticks(6);
            EXPECT_EQ(trace(6, c.probe), st3 ? c.st3 : c.it);
        }
    }
}

// FT2's tone portamento against IT's, values from the reference's per-tick traces.
TEST_F(Player_Effects, Ft2TonePortamentoRule) {
    make_sample(1, 500, true);
    make_instrument(1, 1);
    song.sample[0].def_volume = 50;
    song.sample[1].def_volume = 20;
    const int p = linear_period(48);
    auto pitch = [&] { return period() - p; };
    // The note's volume times ten, plus one while the first sample plays on.
    auto sample_and_volume = [&] {
        return base_volume() * 10 + (foreground(0) && foreground(0)->get_sample() == &song.sample[0] ? 1 : 0);
    };
    auto offset = [&] { return channel(0).sample_offset_low; };
    struct Case {
        const char* what;
        std::vector<Note> rows;
        std::function<int()> probe;
        int from;  // trace from this tick
        V it, ft2;
    };
    const std::vector<Case> cases = {
        {"a note struck plainly keeps the target",
         {cell(48, 0), cell(52, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x08), cell(48, 0), effect('G', 0)}, pitch, 18,
         V{0, 0, 0, 0, 0, 0}, V{0, -32, -64, -96, -128, -160}},
        // Once the target was reached the slide only goes down to it: from above it is there at once.
        {"the direction outlives the target",
         {cell(48, 0), cell(52, EMPTY_FIELD, EMPTY_FIELD, 'G', 0xFF), cell(48, 0), effect('G', 0x08)}, pitch, 18,
         V{0, 0, 0, 0, 0, 0}, V{0, -256, -256, -256, -256, -256}},
        {"an instrument beside it keeps the playing sample",
         {cell(48, 0, 40), cell(52, 1, EMPTY_FIELD, 'G', 0x04)}, sample_and_volume, 6, V{200, 200}, V{501, 501}},
        {"an offset beside the column's slide is ignored",
         {cell(48, 0), cell(52, EMPTY_FIELD, 193 + 3, 'O', 0x10)}, offset, 6, V{0x1000}, V{0}},
    };
    for (const Case& c : cases) {
        for (bool ft2 : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (ft2 ? " (FT2)" : " (IT)"));
            song.variables.rules.ft2_tone_portamento = ft2;
            song.get_pattern(0)->clear();
            for (int row = 0; row < (int)c.rows.size(); row++) put(0, row, c.rows[row]);
            player.play_start_pattern(0);
            ticks(c.from);
            const V& expected = ft2 ? c.ft2 : c.it;
            EXPECT_EQ(trace((int)expected.size(), c.probe), expected);
        }
    }
}

// ProTracker's offset against IT's: where each row's note starts. The reference player's render
// of tests/data/behaviour/mod_offset_accumulates.mod starts the first five so.
TEST_F(Player_Effects, ProtrackerOffsetRule) {
    const std::vector<Note> rows = {cell(48, 0, EMPTY_FIELD, 'O', 8), cell(48, EMPTY_FIELD, EMPTY_FIELD, 'O', 8),
                                    cell(48, 0, EMPTY_FIELD, 'O', 8), cell(48), cell(48, 0),
                                    effect('O', 0x10),  // alone: moves the start once
                                    cell(48), cell(48, EMPTY_FIELD, EMPTY_FIELD, 'O', 0x10),
                                    cell(48, EMPTY_FIELD, EMPTY_FIELD, 'O', 0x01),  // past the end: silent
                                    cell(48, 0)};
    const V it{2048, 2048, 2048, 0, 0, 0, 0, 4096, 256, 0},
        protracker{2048, 6144, 2048, 4096, 0, 0, 4096, 8192, 10256, 0};
    for (int r = 0; r < (int)rows.size(); r++) put(0, r, rows[(size_t)r]);
    for (bool pt : {false, true}) {
        SCOPED_TRACE(pt ? "ProTracker" : "IT");
        song.variables.rules.protracker_offset = pt;
        player.play_start_pattern(0);
        V starts;
        for (size_t r = 0; r < rows.size(); r++) {
            ticks(1);
            starts.push_back(foreground(0)->get_voice().get_current_sample_pos());
            ticks(5);
        }
        EXPECT_EQ(starts, pt ? protracker : it);
    }
}

// ST3's period limits against the plain 16-bit hold: C-8 slid up by 64 a tick, as in
// tests/data/behaviour/s3m_period_limit.s3m, where the reference holds the pitch at period 64
// and then stops the note (-1 here).
TEST_F(Player_Effects, St3PeriodLimitsRule) {
    song.variables.rules.use_linear_slides = false;
    const int p = (int)get_period(96 * 2, 0, false);
    for (bool st3 : {false, true}) {
        SCOPED_TRACE(st3 ? "ST3" : "IT");
        song.variables.rules.st3_period_limits = st3;
        V periods = run(cell(96, 0, EMPTY_FIELD, 'F', 0x10), effect('F', 0x10),
                        [&] { return channel(0).slot[0].cut ? -1 : period(); }, 4);
        EXPECT_EQ(periods, st3 ? (V{p, 64, -1, -1}) : (V{p, p - 64, 1, 1}));
    }
}

TEST_F(Player_Effects, VibratoAndPortamentoWithVolumeSlide) {
    V k = run(cell(48, 0, 30, 'H', 0x48), effect('K', 0x01), [&] { return base_volume() * 1000 + period() - linear_period(48); }, 8);
    EXPECT_EQ(k[6], 30 * 1000 + 180 * 8 / 256 * 4);  // row tick: vibrato goes on, no slide
    EXPECT_EQ(k[7], 29 * 1000 + 97 * 8 / 256 * 4);
    put(0, 0, cell(48, 0, 30));
    put(0, 1, cell(50, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x02));
    put(0, 2, effect('L', 0x10));
    player.play_start_pattern(0);
    ticks(12 + 2);
    EXPECT_EQ(base_volume(), 31);
    EXPECT_EQ(played_period(), linear_period(48) - 6 * 8);
}

TEST_F(Player_Effects, ChannelAndGlobalVolumes) {
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'M', 0x50), effect('N', 0x02), [&] { return (int)channel(0).channel_volume; }, 9),
              (V{64, 64, 64, 64, 64, 64, 62, 60, 58}));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'M', 0x20), effect('N', 0xF4), [&] { return (int)channel(0).channel_volume; }, 8),
              (V{32, 32, 32, 32, 32, 32, 28, 28}));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'V', 0x90), effect('W', 0x0A), [&] { return player.get_global_volume(); }, 8),
              (V{128, 128, 128, 128, 128, 128, 128, 118}));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'V', 0x10), effect('W', 0x3F), [&] { return player.get_global_volume(); }, 8),
              (V{16, 16, 16, 16, 16, 16, 19, 19}));
    EXPECT_EQ(played_volume(), (int)(((int64_t)512 * 64 * 256 * 48 * 19 * 64) >> 28));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'V', 0x40), effect('V', 0x81), [&] { return player.get_global_volume(); }, 8),
              (V{64, 64, 64, 64, 64, 64, 64, 64}));
    // XM counts global volume 0..64: each step of its slide is two of ours.
    song.variables.rules.global_volume_slide_step = 2;
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'V', 0x90), effect('W', 0x0A), [&] { return player.get_global_volume(); }, 8),
              (V{128, 128, 128, 128, 128, 128, 128, 108}));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'V', 0x10), effect('W', 0x3F), [&] { return player.get_global_volume(); }, 8),
              (V{16, 16, 16, 16, 16, 16, 22, 22}));
}

TEST_F(Player_Effects, SampleOffsetStartsTheVoiceThere) {
    put(0, 0, cell(48, 0, EMPTY_FIELD, 'O', 0x10));
    put(0, 1, cell(48, 0, EMPTY_FIELD, 'S', 0xA0));
    put(1, 1, cell(48, 0, EMPTY_FIELD, 'O', 0));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(foreground(0)->get_voice().get_current_sample_pos(), 0x1000);
    ticks(6);
    EXPECT_EQ(foreground(0)->get_voice().get_current_sample_pos(), 0x1000);  // high 0, low kept
    EXPECT_EQ(channel(1).sample_offset, 0);                                 // nothing remembered there
}

TEST_F(Player_Effects, PanSlidesSetPansSurroundAndPanbrello) {
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'X', 0x80), effect('P', 0x02), [&] { return pan(); }, 8),
              (V{128, 128, 128, 128, 128, 128, 136, 144}));
    EXPECT_EQ(channel(0).channel_pan, 144);
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'S', 0x91), effect('P', 0xF1), [&] { return pan(); }, 8),
              (V{512, 512, 512, 512, 512, 512, 128 + 4, 132}));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'S', 0x84), effect('S', 0x8F), [&] { return pan(); }, 7),
              (V{64, 64, 64, 64, 64, 64, 255}));
    V panbrello = run(cell(48, 0, EMPTY_FIELD, 'Y', 0x4F), effect('Y', 0), [&] { return pan(); }, 3);
    EXPECT_EQ(panbrello, (V{127, 127 + (Player_Data::panbrello_table[4] * 15 / 15) * 2,
                            127 + (Player_Data::panbrello_table[8] * 15 / 15) * 2}));
}

TEST_F(Player_Effects, RetriggerRestartsOnItsTicksAndChangesVolume) {
    put(0, 0, cell(48, 0, 32, 'Q', 0x13));  // -1 every 3 ticks
    player.play_start_pattern(0);
    ticks(6);
    EXPECT_EQ(mixer.started_on(0).size(), 1u);
    EXPECT_EQ(mixer.started_on(3).size(), 1u);
    EXPECT_EQ(mixer.allocated.size(), 2u);
    EXPECT_EQ(base_volume(), 31);
    // The replaced voice stops rather than piling up.
    EXPECT_EQ(voices_on(0), 1);
    EXPECT_EQ(mixer.voices.size(), 1u);
}

TEST_F(Player_Effects, RetriggerVolumeSteps) {
    const int expected[16] = {40, 39, 38, 36, 32, 24, 26, 20, 40, 41, 42, 44, 48, 56, 60, 64};
    for (int step = 0; step < 16; step++) {
        put(0, 0, cell(48, 0, 40, 'Q', step * 16 + 1));
        player.play_start_pattern(0);
        ticks(2);
        EXPECT_EQ(base_volume(), expected[step]) << step;
    }
}

// FT2's retriggers against IT's: the ticks on which a voice starts over the first two rows.
// Values from the reference's renders of tests/data/behaviour/xm_retrigger_*.xm.
TEST_F(Player_Effects, Ft2RetriggerRule) {
    struct Case {
        const char* what;
        Note row0, row1;
        V it, ft2;
    };
    const std::vector<Case> cases = {
        // E93: every third tick of each row, never its first.
        {"E9y", cell(48, 0, EMPTY_FIELD, 'Q', 0x03), effect('Q', 0x03), V{0, 3, 6, 9}, V{0, 3, 9}},
        {"E90 strikes once on the first tick", cell(48, 0), effect('Q', 0x00), V{0}, V{0, 6}},
        // R83: the count takes in the note's tick and runs on across rows.
        {"Rxy", cell(48, 0, EMPTY_FIELD, 'Q', 0x83), effect('Q', 0x83), V{0, 3, 6, 9}, V{0, 2, 5, 8, 11}},
        {"Rxy beside a column volume", cell(48, 0, EMPTY_FIELD, 'Q', 0x83), cell(EMPTY_FIELD, EMPTY_FIELD, 32, 'Q', 0x83),
         V{0, 3, 6, 9}, V{0, 2, 5, 9}},
    };
    for (const Case& c : cases) {
        for (bool ft2 : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (ft2 ? " (FT2)" : " (IT)"));
            song.variables.rules.ft2_retrigger = ft2;
            mixer.allocated.clear();
            put(0, 0, c.row0);
            put(0, 1, c.row1);
            player.play_start_pattern(0);
            const int first = mixer.tick;
            ticks(12);
            V started;
            for (const Recording_Mixer::Voice_Event& e : mixer.allocated) started.push_back(e.tick - first);
            EXPECT_EQ(started, ft2 ? c.ft2 : c.it);
        }
    }
}

// FT2's tremor left in its off phase keeps the channel silent after the command, through a
// volume, until an instrument number. Values from the reference's trace of
// tests/data/behaviour/xm_tremor_silence.xm.
TEST_F(Player_Effects, Ft2TremorSilenceOutlastsTheCommand) {
    song.sample[0].def_volume = 64;
    song.variables.rules.instrument_without_note = Playback_Rules::INSTRUMENT_WITHOUT_NOTE_RETRIGGERS;
    put(0, 0, cell(48, 0, 64, 'I', 0x11));
    put(0, 1, effect('I', 0x10));
    put(0, 3, cell(EMPTY_FIELD, EMPTY_FIELD, 32));
    put(0, 4, cell(EMPTY_FIELD, 0));
    const V it = {64, 0, 64, 0, 64, 0, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
                  32, 32, 32, 32, 32, 32, 64, 64, 64, 64, 64, 64};
    const V ft2 = {64, 64, 64, 0, 0, 64, 64, 64, 0, 64, 64, 0, 0, 0, 0, 0, 0, 0,
                   0, 0, 0, 0, 0, 0, 64, 64, 64, 64, 64, 64};
    for (bool rule : {false, true}) {
        SCOPED_TRACE(rule ? "FT2" : "IT");
        song.variables.rules.ft2_modulation = rule;
        player.play_start_pattern(0);
        EXPECT_EQ(trace(30, [&] { return volume(); }), rule ? ft2 : it);
    }
}

// ProTracker's slide target outlives a note struck plainly, and is forgotten once reached.
// Values from the reference's trace of tests/data/behaviour/mod_portamento_target.mod.
TEST_F(Player_Effects, ProTrackerPortamentoRule) {
    const int p48 = linear_period(48), p52 = linear_period(52);
    struct Case {
        const char* what;
        std::vector<Note> rows;
        V it, protracker;  // row 3
    };
    const std::vector<Case> cases = {
        {"the target outlives a plain note",
         {cell(48, 0), cell(55, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x02), cell(52, EMPTY_FIELD), effect('G', 0)},
         V{p52, p52, p52, p52, p52, p52}, V{p52, p52 - 8, p52 - 16, p52 - 24, p52 - 32, p52 - 40}},
        {"a reached target is forgotten",
         {cell(48, 0), cell(50, EMPTY_FIELD, EMPTY_FIELD, 'G', 0xFF), cell(48, EMPTY_FIELD), effect('G', 0x02)},
         V{p48, p48, p48, p48, p48, p48}, V{p48, p48, p48, p48, p48, p48}},
    };
    for (const Case& c : cases) {
        for (bool rule : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (rule ? " (ProTracker)" : " (IT)"));
            song.variables.rules.protracker_portamento = rule;
            song.get_pattern(0)->clear();
            for (int row = 0; row < (int)c.rows.size(); row++) put(0, row, c.rows[row]);
            player.play_start_pattern(0);
            ticks(18);
            EXPECT_EQ(trace(6, [&] { return period(); }), rule ? c.protracker : c.it);
        }
    }
}

// A MOD's slides count Amiga periods: 1xx, 2xx and 3xx move ProTracker's period (here C-3,
// 214) by xx a tick, whatever the octave the loader gives its notes, and sound at its pitch.
TEST_F(Player_Effects, ProTrackerSlidesMoveByAmigaPeriods) {
    song.variables.rules = Playback_Rules::of_format(Playback_Rules::Format::MOD);
    song.sample[0].data.set_c5_freq(Loader_MOD::finetune_to_c5(0));
    const int c3 = Loader_MOD::period_to_note(214), g3 = Loader_MOD::period_to_note(143);
    struct Case {
        const char* what;
        Note row1;
        std::vector<double> amiga;  // ticks 1..5 of row 1
    };
    const std::vector<Case> cases = {
        {"down", effect('E', 0x02), {216, 218, 220, 222, 224}},
        {"up", effect('F', 0x03), {211, 208, 205, 202, 199}},
        {"to a note", cell(g3, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x04), {210, 206, 202, 198, 194}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        put(0, 0, cell(c3, 0));
        put(0, 1, c.row1);
        player.play_start_pattern(0);
        ticks(8);
        const double start = get_period((unsigned short)(c3 * 2), 0, false);
        for (double amiga : c.amiga) {
            EXPECT_NEAR(played_period() / start, amiga / 214, 0.002);
            // At the PAL Amiga's rate: its clock over the period.
            EXPECT_NEAR(foreground(0)->get_played_frequency() / (3546895.0 / amiga), 1.0, 0.002);
            ticks(1);
        }
    }
}

// A cut that ends the note leaves its volume for a later note without an instrument; one
// that only silences takes the volume.
TEST_F(Player_Effects, NoteCutAfterTicks) {
    auto probe = [&] { return base_volume() * 10 + channel(0).slot[0].cut; };
    for (bool ends : {false, true}) {
        SCOPED_TRACE(ends);
        song.variables.rules.note_cut_ends_note = ends;
        const V after_three = ends ? V{400, 400, 400, 401, 401, 401} : V{400, 400, 400, 0, 0, 0};
        const V at_once = ends ? V{401} : V{0};
        EXPECT_EQ(run(cell(48, 0, 40, 'S', 0xC3), effect('S', 0), probe, 6), after_three);
        EXPECT_EQ(run(cell(48, 0, 40, 'S', 0xC0), effect('S', 0), probe, 1), at_once);
    }
}

TEST_F(Player_Effects, SZeroRepeatsTheLastSCommand) {
    put(0, 0, cell(48, 0, EMPTY_FIELD, 'S', 0x84));
    put(0, 1, effect('X', 0x00));
    put(0, 2, effect('S', 0x00));
    player.play_start_pattern(0);
    ticks(13);
    EXPECT_EQ(pan(), 64);
}

TEST_F(Player_Effects, PastNoteActionsTouchOnlyBackgroundVoices) {
    song.instrument[0].layers[0].nna_type = NNA_CONTINUE;
    song.instrument[0].layers[0].volume_fadeout = 16;
    put(0, 0, cell(48, 0));
    put(0, 1, cell(50, 0));
    put(0, 2, effect('S', 0x72));  // fade the background
    put(0, 3, effect('S', 0x70));  // cut it
    player.play_start_pattern(0);
    ticks(6 * 2);
    ticks(1);
    ASSERT_EQ(voices_on(0), 2);
    Voice_Control* background = player.get_voice_list()[0];
    EXPECT_EQ(background->get_note_off_flags(), NOTE_OFF_FADING);
    EXPECT_EQ(foreground(0)->get_note_off_flags(), 0);
    ticks(6);
    EXPECT_EQ(voices_on(0), 1);
    EXPECT_EQ(foreground(0)->get_note(), 50);
}

TEST_F(Player_Effects, NewNoteActionOverrideAppliesToTheCurrentNote) {
    // The layer cuts, but S74 lets this note continue when the next arrives.
    put(0, 0, cell(48, 0, EMPTY_FIELD, 'S', 0x74));
    put(0, 1, cell(50, 0));
    put(0, 2, cell(52, 0, EMPTY_FIELD, 'S', 0x75));
    put(0, 3, cell(53, 0));
    player.play_start_pattern(0);
    ticks(6 + 1);
    EXPECT_EQ(voices_on(0), 2);
    ticks(5 + 1);
    EXPECT_EQ(voices_on(0), 2);  // note 50 used the layer's cut
    ticks(5 + 1);
    ASSERT_EQ(voices_on(0), 3);
    EXPECT_EQ(player.get_voice_list()[1]->get_note(), 52);
    EXPECT_TRUE(player.get_voice_list()[1]->get_note_off_flags() & NOTE_OFF_KEY_RELEASED);
}

TEST_F(Player_Effects, EnvelopeSwitchesTurnEnvelopesOffAndOn) {
    Envelope& envelope = song.instrument[0].layers[0].volume_envelope;
    envelope.set_node_offset(1, 20, 0);
    envelope.set_enabled(true);
    put(0, 0, cell(48, 0, EMPTY_FIELD, 'S', 0x77));
    put(0, 1, effect('S', 0x78));
    player.play_start_pattern(0);
    ticks(2);
    EXPECT_EQ(foreground(0)->get_volume_envelope().value, 64);
    EXPECT_FALSE(foreground(0)->get_volume_envelope().enabled);
    ticks(6);
    EXPECT_TRUE(foreground(0)->get_volume_envelope().enabled);
    EXPECT_LT(foreground(0)->get_volume_envelope().value, 64);
}

TEST_F(Player_Effects, ItFiltersRule) {
    // Z and instrument filter defaults, as IT takes them and as older native songs did. The
    // open test is the note's: cutoff 127 (254) without resonance plays unfiltered.
    struct Case {
        const char* what;
        Note cell;
        bool layer_defaults;  // the instrument sets cutoff 100 and resonance 100
        int it_cutoff, it_resonance;
        bool it_active;
        int old_cutoff, old_resonance;
        bool old_active;
    };
    const Case cases[] = {
        {"Z40", cell(48, 0, EMPTY_FIELD, 'Z', 0x40), false, 128, 0, true, 128, 0, true},
        {"Z41", cell(48, 0, EMPTY_FIELD, 'Z', 0x41), false, 130, 0, true, 131, 0, true},
        {"Z7F", cell(48, 0, EMPTY_FIELD, 'Z', 0x7F), false, 254, 0, false, 255, 0, false},
        {"Z8F", cell(48, 0, EMPTY_FIELD, 'Z', 0x8F), false, 255, 120, true, 255, 127, false},
        {"Z84", cell(48, 0, EMPTY_FIELD, 'Z', 0x84), false, 255, 32, true, 255, 64, false},
        {"instrument", cell(48, 0), true, 200, 100, true, 200, 127, true},
    };
    for (const Case& c : cases) {
        for (bool it : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (it ? " (IT)" : " (old)"));
            song.variables.rules.it_filters = it;
            Instrument::Layer& layer = song.instrument[0].layers[0];
            layer.pitch_use_default_cutoff = layer.pitch_use_default_Q = c.layer_defaults;
            layer.pitch_default_cutoff = layer.pitch_default_Q = 100;
            put(0, 0, c.cell);
            player.play_start_pattern(0);
            ticks(1);
            EXPECT_EQ(channel(0).slot[0].filter.cutoff, it ? c.it_cutoff : c.old_cutoff);
            EXPECT_EQ(channel(0).slot[0].filter.resonance, it ? c.it_resonance : c.old_resonance);
            EXPECT_EQ(foreground(0)->get_filter().is_active(), it ? c.it_active : c.old_active);
        }
    }
    player.set_filters_enabled(false);
    ticks(1);
    EXPECT_EQ(foreground(0)->filters_enabled, 0);
}

TEST_F(Player_Effects, SpeedEffect) {
    put(0, 0, effect('A', 3));
    put(0, 1, effect('A', 0));     // ignored
    put(0, 2, effect('A', 0x83));  // the whole byte: a speed of 131
    player.play_start_pattern(0);
    ticks(3);
    EXPECT_EQ(player.get_current_row(), 1);
    ticks(3);
    EXPECT_EQ(player.get_current_row(), 2);
    EXPECT_EQ(player.get_speed(), 3);
    ticks(3);
    EXPECT_EQ(player.get_speed(), 0x83);
}

TEST_F(Player_Effects, VolumeColumnSlidesShareTheirMemory) {
    // C2 slides up 2 a tick; a later D0 recalls the 2 and slides down.
    EXPECT_EQ(run(cell(48, 0, 85 + 2), cell(EMPTY_FIELD, EMPTY_FIELD, 95), [&] { return base_volume(); }, 8),
              (V{64, 64, 64, 64, 64, 64, 64, 62}));
    EXPECT_EQ(run(cell(48, 0, 65 + 3), cell(EMPTY_FIELD, EMPTY_FIELD, 75), [&] { return base_volume(); }, 7),
              (V{64, 64, 64, 64, 64, 64, 61}));
    // XM's column slides down by 10..15.
    EXPECT_EQ(run(cell(48, 0, 64), cell(EMPTY_FIELD, EMPTY_FIELD, VOLUME_SLIDE_DOWN_DEEP + 2), [&] { return base_volume(); }, 9),
              (V{64, 64, 64, 64, 64, 64, 64, 52, 40}));
    // With nothing remembered, a fine slide by 0 does nothing (it once read as D0F or DF0).
    EXPECT_EQ(run(cell(48, 0, 40, 'D', 0), cell(EMPTY_FIELD, EMPTY_FIELD, 65), [&] { return base_volume(); }, 9),
              (V{40, 40, 40, 40, 40, 40, 40, 40, 40}));
    EXPECT_EQ(run(cell(48, 0, 40, 'D', 0), cell(EMPTY_FIELD, EMPTY_FIELD, 75), [&] { return base_volume(); }, 9),
              (V{40, 40, 40, 40, 40, 40, 40, 40, 40}));
}

TEST_F(Player_Effects, VolumeColumnPitchSlidesUseTheEffectMemory) {
    const int p = linear_period(48);
    EXPECT_EQ(run(cell(48, 0, 105 + 2), cell(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 'F', 0), [&] { return period(); }, 8),
              (V{p, p + 32, p + 64, p + 96, p + 128, p + 160, p + 160, p + 128}));
}

// A row that SE3 plays four times, at speed 3: IT, S3M and MOD start each pass with a first tick
// (fine slides act again), FT2 only the first (its later passes slide on every tick); IT's
// volume column slides finely once. Values as the reference plays them.
TEST_F(Player_Effects, RepeatedRowFirstTickRules) {
    song.get_initial_variables()->speed = 3;
    struct Case {
        const char* what;
        Note row1;
        bool first_ticks, volume_column_once;
        int volume;
    };
    const Note fine_up = effect('D', 0x4F), slide_up = effect('D', 0x20);
    const Note column_fine_up = cell(EMPTY_FIELD, EMPTY_FIELD, 65 + 4);
    const Case cases[] = {
        {"D4F, each pass", fine_up, true, true, 16 + 4 * 4},
        {"D4F, first pass only", fine_up, false, true, 16 + 4},
        {"D20, each pass", slide_up, true, true, 16 + 2 * 2 * 4},
        {"D20, first pass only", slide_up, false, true, 16 + 2 * (2 + 3 * 3)},
        {"volume column a4, once", column_fine_up, true, true, 16 + 4},
        {"volume column a4, each pass", column_fine_up, true, false, 16 + 4 * 4},
        {"volume column a4, first pass only", column_fine_up, false, false, 16 + 4},
    };
    put(1, 1, effect('S', 0xE3));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        song.variables.rules.repeats_start_on_first_tick = c.first_ticks;
        song.variables.rules.volume_column_fine_slides_once = c.volume_column_once;
        EXPECT_EQ(run(cell(48, 0, 16), c.row1, [&] { return base_volume(); }, 3 + 12).back(), c.volume);
    }
}

// ST3 and ProTracker step an arpeggio on through a repeated row; IT starts it again with each
// pass. At speed 5 the second pass's first tick is the row's sixth: step 2 or step 0.
TEST_F(Player_Effects, ArpeggioThroughRepeatsRule) {
    song.get_initial_variables()->speed = 5;
    put(1, 0, effect('S', 0xE1));
    for (bool through : {false, true}) {
        SCOPED_TRACE(through);
        song.variables.rules.arpeggio_runs_through_repeats = through;
        const V periods = run(cell(48, 0, 32, 'J', 0x47), effect('J', 0x47), [&] { return period(); }, 10);
        EXPECT_NE(periods[0], periods[2]);
        EXPECT_EQ(periods[5], through ? periods[2] : periods[0]);
        EXPECT_EQ(periods[6], through ? periods[0] : periods[1]);
    }
}

// FT2's effect memories against IT's: values from the reference's per-tick traces of small XM
// files (1xx, 2xx, E1x, E2x, X1x, X2x, the column's slides, EAx and EBx).
TEST_F(Player_Effects, Ft2EffectMemoriesRule) {
    const int p = linear_period(48);
    auto pitch = [&] { return period() - p; };
    auto level = [&] { return base_volume(); };
    const char fine_volume = (char)('A' + COMMAND_FT2_FINE_VOLUME_SLIDE);
    auto column = [](int volume) { return cell(EMPTY_FIELD, EMPTY_FIELD, volume); };
    struct Case {
        const char* what;
        std::vector<Note> rows;
        std::function<int()> probe;
        V it, ft2;  // the last row's six ticks
    };
    const std::vector<Case> cases = {
        {"200 after 108", {cell(48, 0, EMPTY_FIELD, 'F', 0x08), effect('E', 0)}, pitch,
         V{-160, -128, -96, -64, -32, 0}, V{-160, -160, -160, -160, -160, -160}},
        {"100 after 108 and E12", {cell(48, 0, EMPTY_FIELD, 'F', 0x08), effect('F', 0xF2), effect('F', 0)}, pitch,
         V{-176, -176, -176, -176, -176, -176}, V{-168, -200, -232, -264, -296, -328}},
        {"E10 after E13 and 108", {cell(48, 0, EMPTY_FIELD, 'F', 0xF3), effect('F', 0x08), effect('F', 0xF0)}, pitch,
         V{-172, -172, -172, -172, -172, -172}, V{-184, -184, -184, -184, -184, -184}},
        {"X20 after X23 and E22", {cell(48, 0, EMPTY_FIELD, 'E', 0xE3), effect('E', 0xF2), effect('E', 0xE0)}, pitch,
         V{11, 11, 11, 11, 11, 11}, V{14, 14, 14, 14, 14, 14}},
        // A column slide of 0 recalls nothing; one with a depth is what A00 recalls.
        {"column slide 0, then A00", {cell(48, 0, 32), column(95 + 2), column(95), effect('D', 0)}, level,
         V{12, 12, 12, 12, 12, 12}, V{22, 20, 18, 16, 14, 12}},
        // The column's fine slides feed EAx's memory, and recall nothing with 0.
        {"column fine 3, fine 0, then EA0", {cell(48, 0, 32), column(65 + 3), column(65), effect(fine_volume, 0xA0)},
         level, V{38, 38, 38, 38, 38, 38}, V{38, 38, 38, 38, 38, 38}},
        {"column fine 0 alone", {cell(48, 0, 32), column(65)}, level, V{32, 32, 32, 32, 32, 32},
         V{32, 32, 32, 32, 32, 32}},
    };
    for (const Case& c : cases) {
        for (bool ft2 : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (ft2 ? " (FT2)" : " (IT)"));
            song.variables.rules.ft2_effect_memories = ft2;
            for (size_t row = 0; row < c.rows.size(); row++) put(0, (int)row, c.rows[row]);
            player.play_start_pattern(0);
            ticks(6 * ((int)c.rows.size() - 1));
            EXPECT_EQ(trace(6, c.probe), ft2 ? c.ft2 : c.it);
            for (size_t row = 0; row < c.rows.size(); row++) put(0, (int)row, Note());
        }
    }
}

// XM's EAx and EBx: each direction keeps its own memory, apart from Axy's; EBF slides down.
TEST_F(Player_Effects, Ft2FineVolumeSlidesKeepTheirOwnMemories) {
    const char fine_volume = (char)('A' + COMMAND_FT2_FINE_VOLUME_SLIDE);
    put(0, 0, cell(48, 0, 32, fine_volume, 0xA4));
    put(0, 1, effect(fine_volume, 0xB0));
    put(0, 2, effect(fine_volume, 0xA0));
    put(0, 3, effect('D', 0));
    put(0, 4, effect(fine_volume, 0xBF));
    player.play_start_pattern(0);
    std::vector<int> rows;
    for (int row = 0; row < 5; row++) {
        ticks(6);
        rows.push_back(base_volume());
    }
    EXPECT_EQ(rows, (V{36, 36, 40, 40, 25}));
}

// XM's Lxx moves the volume envelope on to tick xx, the pan envelope only where the volume
// envelope's sustain is on; a position at or past a loop's end no longer loops (the reference
// rises on after L0C on a loop over ticks 0..12 where a loop back would start loud).
TEST_F(Player_Effects, Ft2EnvelopePosition) {
    Instrument::Layer& layer = song.instrument[0].layers[0];
    for (Envelope* envelope : {&layer.volume_envelope, &layer.panning_envelope}) {
        envelope->reset();
        envelope->add_node_at_offset(0, envelope == &layer.volume_envelope ? 64 : 0);
        envelope->add_node_at_offset(12, 0);
        envelope->add_node_at_offset(84, 20);
        envelope->set_enabled(true);
        envelope->set_loop_begin(0);
        envelope->set_loop_end(1);
        envelope->set_loop_enabled(true);
    }
    const char position = (char)('A' + COMMAND_FT2_ENVELOPE_POSITION);
    struct Case {
        const char* what;
        int parameter;
        bool sustain;
        int volume_position, pan_position;  // after six ticks
    };
    const std::vector<Case> cases = {
        {"inside the loop", 0x05, false, 11, 6},
        {"at the loop's end", 0x0C, false, 18, 6},
        {"past the loop", 0x20, false, 38, 6},
        {"past the envelope's end", 0xF0, false, 84, 6},
        {"pan follows with the volume sustain on", 0x20, true, 38, 38},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        layer.volume_envelope.set_sustain_loop_enabled(c.sustain);
        layer.volume_envelope.set_sustain_loop_begin(2);
        layer.volume_envelope.set_sustain_loop_end(2);
        put(0, 0, cell(48, 0, EMPTY_FIELD, position, c.parameter));
        player.play_start_pattern(0);
        ticks(6);
        ASSERT_NE(foreground(0), nullptr);
        EXPECT_EQ(foreground(0)->get_volume_envelope().position, c.volume_position);
        EXPECT_EQ(foreground(0)->get_pan_envelope().position, c.pan_position);
    }
}

// The column's slide to a note and G share one speed: each recalls what the other set (the
// reference slides a loaded XM the same way: M0 after 308, 300 after M4).
TEST_F(Player_Effects, ColumnAndEffectSlidesToNoteShareTheSpeed) {
    const int low = linear_period(48), high = linear_period(53);
    put(0, 0, cell(48, 0));
    put(0, 1, cell(53, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x08));
    put(0, 2, cell(48, EMPTY_FIELD, 193));      // speed 0: G's 8 recalled
    put(0, 3, cell(53, EMPTY_FIELD, 193 + 4));  // 16
    put(0, 4, cell(48, EMPTY_FIELD, EMPTY_FIELD, 'G', 0));
    player.play_start_pattern(0);
    ASSERT_EQ(low - high, 320);
    ticks(12);
    EXPECT_EQ(trace(14, [&] { return period() - low; }),
              (V{-160, -128, -96, -64, -32, 0, 0, -64, -128, -192, -256, -320, -320, -256}));
}

}  // namespace

// MOD notes sound at the whole-number periods of ProTracker's table (the PAL clock over the
// period), where the tempered periods lie up to a few cents off; an arpeggio's steps too.
// Without the rule the tempered period plays.
TEST_F(Player_Effects, AmigaPeriodTableRule) {
    struct Case {
        const char* what;
        int finetune;
        int written;      // the period in the file
        int arpeggio;     // J beside the note; tick 1 plays its first step
        double sounding;  // the Amiga period heard on tick 1
    };
    const std::vector<Case> cases = {
        {"C-1", 0, 856, 0, 856},
        {"E-1, a period under the tempered 679.4", 0, 678, 0, 678},
        {"F#-2, under the tempered 302.6", 0, 302, 0, 302},
        {"B-3, under the tempered 113.3", 0, 113, 0, 113},
        {"an arpeggio's major third from C-3, over the tempered 169.9", 0, 214, 0x40, 170},
        {"C-1 at finetune -8", 8, 856, 0, 907},
        {"C-1 at finetune 5", 5, 856, 0, 826},
    };
    for (const Case& c : cases) {
        for (bool rule : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (rule ? " (table)" : " (tempered)"));
            song.variables.rules = Playback_Rules::of_format(Playback_Rules::Format::MOD);
            song.variables.rules.amiga_period_table = rule;
            song.sample[0].data.set_c5_freq(Loader_MOD::finetune_to_c5(c.finetune));
            const int note = Loader_MOD::period_to_note(c.written);
            const int step = c.arpeggio >> 4;
            song.get_pattern(0)->clear();
            put(0, 0, c.arpeggio ? cell(note, 0, EMPTY_FIELD, 'J', c.arpeggio) : cell(note, 0));
            player.play_start_pattern(0);
            ticks(2);
            ASSERT_NE(foreground(0), nullptr);
            if (rule)
                EXPECT_NEAR(foreground(0)->get_played_frequency() / (3546895.0 / c.sounding), 1.0, 0.0003);
            else
                EXPECT_EQ(played_period(), (int)get_period((unsigned short)((note + step) * 2), 0, false));
        }
    }
}
