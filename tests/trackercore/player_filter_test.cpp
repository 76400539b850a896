#include <gtest/gtest.h>

#include "support/player_fixture.h"

namespace {

using V = std::vector<int>;

class Player_Filter : public Player_Fixture {
protected:
    // Row 0 holds a note and the first command, row 1 the second; the probe is read after each
    // of the two rows' twelve ticks.
    V run(Note row0, Note row1, const std::function<int()>& probe) {
        put(0, 0, row0);
        put(0, 1, row1);
        player.play_start_pattern(0);
        return trace(12, probe);
    }
    static Note smooth(int parameter) {
        Note n = effect('Z', parameter);
        n.command = COMMAND_SMOOTH_MACRO;
        return n;
    }
    int cutoff() { return channel(0).slot[0].filter.cutoff; }
    int resonance() { return channel(0).slot[0].filter.resonance; }
};

// Only the filter messages of the song's macros sound: SFx picks the parametered macro that
// Z00..Z7F feed, Z80..ZFF send their fixed ones, and anything else changes nothing.
TEST_F(Player_Filter, MacrosSetTheFilterFromTheSongsConfiguration) {
    struct Case {
        const char* what;
        Note row0, row1;
        int cutoff, resonance;  // after both rows
    };
    const Case cases[] = {
        {"SF0 sets the cutoff", cell(48, 0, EMPTY_FIELD, 'S', 0xF0), effect('Z', 0x20), 64, 0},
        {"SF1 feeds the resonance", cell(48, 0, EMPTY_FIELD, 'S', 0xF1), effect('Z', 0x20), 255, 0x20},
        {"SF2 is empty", cell(48, 0, EMPTY_FIELD, 'S', 0xF2), effect('Z', 0x20), 255, 0},
        {"fixed macro with its own value", cell(48, 0), effect('Z', 0x90), 0x30 * 2, 0},
        {"fixed resonance as the default has it", cell(48, 0), effect('Z', 0x84), 255, 32},
        {"real MIDI is ignored", cell(48, 0), effect('Z', 0x91), 255, 0},
        {"a value past 127 is ignored", cell(48, 0), effect('Z', 0x92), 255, 0},
        {"F0F002 (filter mode) is ignored", cell(48, 0), effect('Z', 0x93), 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Midi_Config& config = song.variables.midi_config;
        config = Midi_Config::default_config();
        config.set_text(Midi_Config::FIRST_PARAMETERED + 1, "F0 F0 01 z");
        config.set_text(Midi_Config::FIRST_FIXED + 0x10, "F0F00030");
        config.set_text(Midi_Config::FIRST_FIXED + 0x11, "9c n v");
        config.set_text(Midi_Config::FIRST_FIXED + 0x12, "F0F00090");
        config.set_text(Midi_Config::FIRST_FIXED + 0x13, "F0F00201");
        run(c.row0, c.row1, [] { return 0; });
        EXPECT_EQ(cutoff(), c.cutoff);
        EXPECT_EQ(resonance(), c.resonance);
    }
}

// \xx slides from the present value toward the macro's, a share of what is left each tick,
// and reaches it on the row's last tick (as the reference's renders of such slides show).
TEST_F(Player_Filter, SmoothMacroSlidesOverTheRow) {
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'Z', 0x00), smooth(0x40), [&] { return cutoff(); }),
              (V{0, 0, 0, 0, 0, 0, 20, 40, 62, 84, 106, 128}));
    // Downward, and on the resonance once SF1 makes Z00..Z7F feed it.
    song.variables.midi_config.set_text(Midi_Config::FIRST_PARAMETERED + 1, "F0F001z");
    put(0, 2, smooth(0x00));
    put(0, 3, effect('Z', 0x10));
    EXPECT_EQ(run(cell(48, 0, EMPTY_FIELD, 'S', 0xF1), smooth(0x7F), [&] { return resonance(); }),
              (V{0, 0, 0, 0, 0, 0, 21, 42, 63, 84, 105, 127}));
    EXPECT_EQ(trace(7, [&] { return resonance(); }), (V{106, 85, 64, 43, 22, 0, 16}));
    EXPECT_EQ(cutoff(), 255);  // the resonance macro leaves the cutoff alone
}

// IT: a slide to a note keeps the playing note's filter, whether or not it names an instrument
// with filter defaults; older native songs took the instrument's. Instrument 0 sets cutoff 40,
// instrument 1 cutoff 90 with resonance 100.
TEST_F(Player_Filter, SlideToNoteKeepsThePlayingFilter) {
    make_instrument(1, 0);
    for (int i : {0, 1}) {
        Instrument::Layer& layer = song.instrument[i].layers[0];
        layer.pitch_use_default_cutoff = layer.pitch_use_default_Q = true;
        layer.pitch_default_cutoff = i == 0 ? 40 : 90;
        layer.pitch_default_Q = i == 0 ? 0 : 100;
    }
    struct Case {
        const char* what;
        Note row1;
        int it_cutoff, it_resonance, old_cutoff, old_resonance;
    };
    const Case cases[] = {
        {"G with another instrument", cell(60, 1, EMPTY_FIELD, 'G', 0x10), 80, 0, 180, 127},
        {"volume-column G", cell(60, 1, 193 + 3), 80, 0, 180, 127},
        {"G alone", cell(60, EMPTY_FIELD, EMPTY_FIELD, 'G', 0x10), 80, 0, 80, 0},
        {"a plain note", cell(60, 1), 180, 100, 180, 127},
    };
    for (const Case& c : cases) {
        for (bool it : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (it ? " (IT)" : " (old)"));
            song.variables.rules.it_filters = it;
            run(cell(48, 0), c.row1, [] { return 0; });
            EXPECT_EQ(cutoff(), it ? c.it_cutoff : c.old_cutoff);
            EXPECT_EQ(resonance(), it ? c.it_resonance : c.old_resonance);
        }
    }
}

// IT: the top cutoff without resonance is no setting for a filter that is already on; it keeps
// sounding as it was last set (Z40 then Z7F sounds as Z40, as the reference plays it). Below
// the top the filter follows again. Older native songs opened it.
TEST_F(Player_Filter, TopCutoffLeavesAFilterThatIsOnAsItWas) {
    for (bool it : {true, false}) {
        SCOPED_TRACE(it ? "IT" : "old");
        song.variables.rules.it_filters = it;
        put(0, 2, effect('Z', 0x7E));
        run(cell(48, 0, EMPTY_FIELD, 'Z', 0x40), effect('Z', 0x7F), [] { return 0; });
        const Filter_Control after_top = foreground(0)->get_filter();
        ticks(6);
        const Filter_Control below_top = foreground(0)->get_filter();
        player.play_start_pattern(0);
        ticks(6);
        const Filter_Control set = foreground(0)->get_filter();
        EXPECT_EQ(after_top.is_active(), it);
        const bool kept = after_top.a0 == set.a0 && after_top.b0 == set.b0 && after_top.b1 == set.b1;
        EXPECT_EQ(kept, it);
        EXPECT_TRUE(below_top.is_active());
        EXPECT_NE(below_top.a0, set.a0);
    }
}

}  // namespace
