#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/shared_dir.h"
#include "tracker/audio_components.h"
#include "tracker/tracker_instance.h"

// Engine state on the corpus files whose names say what they exercise, tick by tick.
namespace {

using Position = std::pair<int, int>;  // pattern, row

class Feature_File : public testing::Test {
protected:
    bool load(const std::string& name) {
        const std::string path = shared_dir() + "/corpus/features/" + name;
        if (!std::filesystem::exists(path)) return false;
        EXPECT_EQ(ti.file_format_manager.load_module(path.c_str()), Loader::SUCCESS);
        ti.mixer.set_mix_frequency(44100.0f);
        ti.mixer.process_callback.clear();  // ticks are driven by hand below
        ti.player.play_start_song();
        return true;
    }

    // The rows played, in order: the start, then where each row sends the player next
    // (B and C change the pattern and row on the row's first tick).
    std::vector<Position> rows_played(int max_rows) {
        std::vector<Position> rows{{ti.player.get_current_pattern(), ti.player.get_current_row()}};
        for (int t = 0; t < 100 * max_rows && (int)rows.size() < max_rows; t++) {
            ti.player.handle_tick();
            if (ti.player.reached_end_of_song() || ti.player.get_play_mode() == Player_Data::PLAY_NOTHING) break;
            if (ti.player.get_tick_counter() == 1)
                rows.push_back({ti.player.get_current_pattern(), ti.player.get_current_row()});
        }
        return rows;
    }

    static std::vector<Position> span(int pattern, int first, int last) {
        std::vector<Position> out;
        for (int r = first; r <= last; r++) out.push_back({pattern, r});
        return out;
    }

    Audio_Components components;
    Tracker_Instance ti;
};

#define LOAD_OR_SKIP(name) \
    if (!load(name)) GTEST_SKIP() << "module corpus not found under " << shared_dir()

TEST_F(Feature_File, PatternJumpWithBreakInTheSameRow) {
    LOAD_OR_SKIP("pattern_jump_it_break.it");
    // B01 on row 3; B02 with C04 on row 3; C04 then B03 on row 7 (the jump's order at the
    // break's row, whichever comes first in IT); C00 on row 7 of the last order ends the song.
    std::vector<Position> expected;
    for (auto part : {span(0, 0, 3), span(1, 0, 3), span(2, 4, 7), span(3, 4, 7)})
        expected.insert(expected.end(), part.begin(), part.end());
    expected.push_back({0, 0});  // where the song would go on: back to the start
    EXPECT_EQ(rows_played(40), expected);
    EXPECT_TRUE(ti.player.reached_end_of_song());
}

TEST_F(Feature_File, BreakAfterJumpInTheSameRowGoesToTheJumpsOrder) {
    LOAD_OR_SKIP("pattern_jump_it_samepos.it");
    // Row 0: B00 then C0B: order 0 again, at row 11; going back to the first order is the
    // song looping.
    EXPECT_EQ(rows_played(40), (std::vector<Position>{{0, 0}, {0, 11}}));
    EXPECT_TRUE(ti.player.reached_end_of_song());
}

TEST_F(Feature_File, BreakToARowOfTheNextPattern) {
    LOAD_OR_SKIP("break_to_row.it");
    std::vector<Position> rows = rows_played(200);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[1], Position(1, 16));  // C10 is row 16
    EXPECT_EQ(rows.back(), Position(1, 63));
    EXPECT_EQ(rows.size(), 1u + 48u);  // row 0 of the first pattern, then rows 16..63
}

TEST_F(Feature_File, NoteDelayedPastItsRowNeitherSoundsNorTriggersTheNewNoteAction) {
    LOAD_OR_SKIP("it_note_delay_nna.it");
    auto foreground_notes = [&]() {
        std::vector<int> notes;
        for (Voice_Control* v : ti.player.get_voice_list())
            if (v->is_foreground()) notes.push_back(v->get_note());
        return notes;
    };
    ti.player.handle_tick();
    const int speed = ti.player.get_speed();
    ASSERT_EQ(speed, 2);  // so the SD3 of row 1 lies beyond its row
    ti.player.handle_tick();
    EXPECT_EQ(foreground_notes(), std::vector<int>{60});
    // Row 1: C-6 with SD3 is dropped; row 0's note plays on alone.
    for (int t = 0; t < speed; t++) {
        ti.player.handle_tick();
        EXPECT_EQ(foreground_notes(), std::vector<int>{60}) << "tick " << t;
        EXPECT_EQ(ti.player.get_voice_list().size(), 1u);
    }
    // Row 2 strikes C-5 again; row 4 cuts it.
    ti.player.handle_tick();
    EXPECT_EQ(foreground_notes(), std::vector<int>{60});
    for (int t = 1; t < 3 * speed + 1; t++) ti.player.handle_tick();
    for (Voice_Control* v : ti.player.get_voice_list())
        EXPECT_TRUE(v->is_killed() || v->get_played_volume() == 0) << "note " << (int)v->get_note();
}

}  // namespace
