// The song's history: every kind of edit undone and redone leaves the song byte for byte as
// it was (through a native save), the modified state follows the saved step, and the
// history keeps to its bounds while holding only what changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "support/native_song.h"
#include "support/scratch_dir.h"
#include "tracker/instrument_operations.h"
#include "tracker/keyboard_input.h"
#include "tracker/sample_slot_operations.h"
#include "tracker/tracker_instance.h"

namespace {

class Song_History_Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        Tracker_Instance::init_keyboard();
        Editor::set_default_octave(4);
        build_rich_song(ti->song);
        ti->history.clear();
        ti->history.set_merge_window(std::chrono::milliseconds(0));
    }

    // The song as a native file holds it.
    std::string saved() {
        std::string path = dir.file("song.wm");
        EXPECT_EQ(ti->file_format_manager.save_module(path.c_str()), 0);
        return Scratch_Dir::read(path);
    }

    Song_History& history() { return ti->history; }

    Keyboard_Input keys;
    Scratch_Dir dir;
    std::unique_ptr<Tracker_Instance> ti = std::make_unique<Tracker_Instance>();
};

// A sample editor and slot operations wired to the song as the sample page wires them.
struct Sample_Tools {
    explicit Sample_Tools(Tracker_Instance& ti)
        : players(&ti.player, &ti.keyboard), slots(&ti.song, &ti.file_format_manager, &players) {
        editor.link_to_players(&players);
        editor.link_to_history(&ti.history);
        slots.set_history(&ti.history);
    }
    Sample_Edit_Player_Link players;
    Sample_Editor editor;
    Sample_Slot_Operations slots;
};

// What a page's editors do under the recording lock: one edit of the target.
void edit_under_lock(Song_History& history, const std::string& description, Song_History::Recording_Lock::Watch watch,
                     const std::function<void()>& change) {
    Song_History::Recording_Lock lock(&history);
    lock.set_target(description, 0, std::move(watch));
    Mutex_Lock_Guard guard(&lock);
    change();
}

// Files the edits read, in a folder that outlives each case.
std::string scratch_file(const std::string& name) {
    static Scratch_Dir files;
    return files.file(name);
}

struct Edit_Case {
    const char* name;
    std::function<void(Tracker_Instance&)> edit;
};

const Edit_Case edit_cases[] = {
    {"typed notes",
     [](Tracker_Instance& ti) {
         ti.editor.cursor_goto_pattern(5);
         ti.editor.set_cursor(2, 3, 0);
         ti.editor.press_key_at_cursor('q');
     }},
    {"typed instrument digits in one cell",
     [](Tracker_Instance& ti) {
         ti.editor.set_cursor(1, 1, 2);
         ti.editor.press_key_at_cursor('4');
         ti.editor.press_key_at_cursor('2');
     }},
    {"block raise pressed twice",
     [](Tracker_Instance& ti) {
         ti.editor.cursor_goto_pattern(0);
         ti.editor.set_selection(0, 0, 3, 20);
         ti.editor.selection_raise();
         ti.editor.selection_raise();
     }},
    {"paste inserting",
     [](Tracker_Instance& ti) {
         ti.editor.cursor_goto_pattern(1);
         ti.editor.set_selection(0, 0, 1, 7);
         ti.editor.selection_copy();
         ti.editor.set_cursor(4, 10, 0);
         ti.editor.selection_paste_insert();
     }},
    {"row deleted",
     [](Tracker_Instance& ti) {
         ti.editor.set_cursor(0, 2, 0);
         ti.editor.cursor_delete();
     }},
    {"order digits",
     [](Tracker_Instance& ti) {
         ti.editor.set_orderlist_cursor(3, 0);
         for (int digit : {0, 4, 2}) ti.editor.orderlist_insert_value(digit);
     }},
    {"order inserted",
     [](Tracker_Instance& ti) {
         ti.editor.set_orderlist_cursor(1, 0);
         ti.editor.orderlist_insert();
     }},
    {"channel soloed", [](Tracker_Instance& ti) { ti.editor.channel_solo_toggle(3); }},
    {"variables through a page",
     [](Tracker_Instance& ti) {
         edit_under_lock(ti.history, "Variables", [](Song_History::Step& s) { s.watch_variables(); }, [&] {
             ti.song.variables.name_prop.set("Renamed");
             ti.song.initial_variables.tempo_prop.set(180);
             ti.song.initial_variables.channel[7].pan_prop.set(3);
         });
     }},
    {"sample effect on a selection",
     [](Tracker_Instance& ti) {
         Sample_Tools tools(ti);
         tools.editor.set_sample(ti.song.get_sample(1));
         tools.editor.get_selection()->set_point_1(20);
         tools.editor.get_selection()->set_point_2(80);
         tools.editor.get_selection()->set_active(true);
         tools.editor.apply_effect(0);  // Reverse
     }},
    {"sample depth toggled",
     [](Tracker_Instance& ti) {
         Sample_Tools tools(ti);
         tools.editor.set_sample(ti.song.get_sample(3));
         tools.editor.apply_effect(7);  // Toggle 16/8bits
     }},
    {"sample sign toggled",
     [](Tracker_Instance& ti) {
         Sample_Tools tools(ti);
         tools.editor.set_sample(ti.song.get_sample(5));
         tools.editor.get_selection()->set_point_1(3);
         tools.editor.get_selection()->set_point_2(9);
         tools.editor.get_selection()->set_active(true);
         tools.editor.apply_effect(6);  // the whole sample, whatever the selection
     }},
    {"frames cut",
     [](Tracker_Instance& ti) {
         Sample_Tools tools(ti);
         tools.editor.set_sample(ti.song.get_sample(1));
         tools.editor.get_selection()->set_point_1(30);
         tools.editor.get_selection()->set_point_2(90);
         tools.editor.get_selection()->set_active(true);
         tools.editor.frame_cut();
     }},
    {"frames pasted",
     [](Tracker_Instance& ti) {
         Sample_Tools tools(ti);
         tools.editor.set_sample(ti.song.get_sample(1));
         tools.editor.get_selection()->set_point_1(10);
         tools.editor.get_selection()->set_point_2(40);
         tools.editor.get_selection()->set_active(true);
         tools.editor.frame_copy();
         tools.editor.get_selection()->set_point_2(150);
         tools.editor.frame_paste();
     }},
    {"sample format settings",
     [](Tracker_Instance& ti) {
         edit_under_lock(ti.history, "Sample", [](Song_History::Step& s) { s.watch_sample_settings(1); }, [&] {
             ti.song.sample[1].data.set_c5_freq(12345);
             ti.song.sample[1].data.set_loop_begin(7);
             ti.song.sample[1].def_volume_prop.set(11);
         });
     }},
    {"sample slot deleted", [](Tracker_Instance& ti) { Sample_Tools(ti).slots.remove(3); }},
    {"sample slot pasted over another",
     [](Tracker_Instance& ti) {
         Sample_Tools tools(ti);
         Sample clipboard;
         tools.slots.copy(1, clipboard);
         tools.slots.paste(5, clipboard);
     }},
    {"envelope points and loop",
     [](Tracker_Instance& ti) {
         edit_under_lock(ti.history, "Instrument", [](Song_History::Step& s) { s.watch_instrument(3); }, [&] {
             Envelope& envelope = ti.song.instrument[3].layers[1].volume_envelope;
             envelope.add_node_at_offset(7, 20);
             envelope.set_loop_enabled(true);
             envelope.set_loop_end(1);
         });
     }},
    {"note/sample table and properties",
     [](Tracker_Instance& ti) {
         edit_under_lock(ti.history, "Instrument", [](Song_History::Step& s) { s.watch_instrument(0); }, [&] {
             Instrument::Layer& layer = ti.song.instrument[0].layers[2];
             layer.sample_table[60] = 9;
             layer.note_table[61] = 12;
             layer.volume_fadeout_prop.set(99);
             layer.nna_type = 3;
         });
     }},
    {"sample file loaded over a slot",
     [](Tracker_Instance& ti) {
         std::string file = scratch_file("loaded.wav");
         ASSERT_EQ(Sample_Tools(ti).slots.save(file.c_str(), 1), 0);
         ASSERT_EQ(Sample_Tools(ti).slots.load(file.c_str(), 3), Loader::SUCCESS);
     }},
    {"instrument file loaded, its samples into free slots",
     [](Tracker_Instance& ti) {
         std::string file = scratch_file("loaded.wi");
         Instrument_Operations operations(ti);
         ASSERT_EQ(operations.save_instrument(file, 3), 0);
         ASSERT_EQ(operations.load_instrument(file, 7), Loader::SUCCESS);
     }},
    {"instrument deleted with its samples",
     [](Tracker_Instance& ti) { Instrument_Operations(ti).delete_instrument_with_samples(3); }},
    {"instrument pasted", [](Tracker_Instance& ti) {
         Instrument_Operations operations(ti);
         operations.copy_instrument(0);
         operations.paste_instrument(6);
     }},
};

TEST_F(Song_History_Test, EveryKindOfEditUndoesAndRedoesToTheSameFile) {
    const std::string original = saved();
    for (const Edit_Case& edit : edit_cases) {
        SCOPED_TRACE(edit.name);
        edit.edit(*ti);
        const std::string edited = saved();
        ASSERT_TRUE(edited != original) << "the edit changed nothing";
        EXPECT_EQ(history().get_undo_count(), 1);
        EXPECT_TRUE(history().is_modified());

        EXPECT_NE(history().undo(), 0);
        EXPECT_TRUE(saved() == original);
        EXPECT_FALSE(history().is_modified());

        EXPECT_NE(history().redo(), 0);
        EXPECT_TRUE(saved() == edited);
        EXPECT_TRUE(history().is_modified());

        history().undo();
        ASSERT_TRUE(saved() == original);
        history().clear();
    }
}

TEST_F(Song_History_Test, ModifiedFollowsTheSavedStep) {
    struct Row {
        const char* action;
        std::function<void()> act;
        bool modified;
    };
    auto type = [this](char key) {
        ti->editor.set_cursor(9, 9, 0);
        ti->editor.press_key_at_cursor(key);
    };
    const Row rows[] = {
        {"a note typed", [&] { type('q'); }, true},
        {"undone", [&] { history().undo(); }, false},
        {"redone", [&] { history().redo(); }, true},
        {"saved", [&] { history().mark_saved(); }, false},
        {"the same cell typed again is a step of its own after a save", [&] { type('w'); }, true},
        {"undone to the save", [&] { history().undo(); }, false},
        {"undone past the save", [&] { history().undo(); }, true},
        {"a new edit drops the saved step's redo", [&] { type('e'); }, true},
        {"undone again", [&] { history().undo(); }, true},
        {"saved again", [&] { history().mark_saved(); }, false},
        {"a change that cannot be undone", [&] { history().mark_modified(); }, true},
        {"undo cannot take that back", [&] { history().undo(), history().redo(); }, true},
        {"loaded", [&] { history().clear(); }, false},
        {"nothing to undo", [&] { EXPECT_EQ(history().undo(), 0); }, false},
    };
    for (const Row& row : rows) {
        row.act();
        EXPECT_EQ(history().is_modified(), row.modified) << row.action;
    }
}

TEST_F(Song_History_Test, RunsMergeButEditsThatChangeNothingAreNotSteps) {
    ti->editor.cursor_goto_pattern(9);  // moving is no edit
    ti->editor.set_selection(0, 0, 0, 3);
    ti->editor.selection_copy();
    ti->editor.channel_mute_toggle(5);  // and back: a run that ends where it began
    ti->editor.channel_mute_toggle(5);
    EXPECT_EQ(history().get_undo_count(), 0);
    EXPECT_FALSE(history().is_modified());

    // Raising the same note again is one step; a run of the same description and cell merges.
    ti->editor.set_cursor(0, 0, 0);
    ti->editor.press_key_at_cursor('q');
    ti->editor.set_cursor(0, 0, 0);
    ti->editor.perform_raise_at_cursor();
    ti->editor.perform_raise_at_cursor();
    EXPECT_EQ(history().get_undo_count(), 2);
    EXPECT_EQ(history().get_undo_description(0), "Raise note");
    EXPECT_EQ(history().get_undo_pattern(0), 9);

    // Edits under a page's lock within the merge window are one step (a drag, a spin); one
    // that comes back to where the run began leaves no step at all.
    auto set_tempo = [this](int tempo) {
        edit_under_lock(history(), "Variables", [](Song_History::Step& s) { s.watch_variables(); },
                        [&] { ti->song.initial_variables.tempo_prop.set(tempo); });
    };
    const int start = ti->song.initial_variables.tempo;
    history().set_merge_window(std::chrono::hours(1));
    for (int tempo : {100, 110, 120}) set_tempo(tempo);
    EXPECT_EQ(history().get_undo_count(), 3);
    set_tempo(start);
    EXPECT_EQ(history().get_undo_count(), 2);
    set_tempo(100);
    history().set_merge_window(std::chrono::milliseconds(0));
    set_tempo(130);
    EXPECT_EQ(history().get_undo_count(), 4);
    history().undo();
    EXPECT_EQ(ti->song.initial_variables.tempo, 100);
    history().undo();
    EXPECT_EQ(ti->song.initial_variables.tempo, start);
}

TEST_F(Song_History_Test, TheHundredAndFirstStepDropsTheOldest) {
    auto type_in_row = [this](int row) {
        ti->editor.set_cursor(0, row % 64, 0);
        ti->editor.cursor_goto_pattern(10 + row / 64);
        ti->editor.press_key_at_cursor('q');
    };
    type_in_row(0);
    const std::string after_first = saved();
    for (int row = 1; row <= Song_History::MAX_STEPS; row++) type_in_row(row);
    EXPECT_EQ(history().get_undo_count(), Song_History::MAX_STEPS);
    while (history().can_undo()) history().undo();
    EXPECT_TRUE(saved() == after_first);
    EXPECT_TRUE(history().is_modified());  // the loaded state is out of reach
}

// A sample of ten million 16-bit frames.
void fill_big_sample(Sample& sample) {
    const int frames = 10'000'000;
    auto* block = static_cast<std::int16_t*>(std::malloc((size_t)frames * 2));
    for (int i = 0; i < frames; i++) block[i] = (std::int16_t)(i * 7919);
    sample.reset(true);
    sample.data.set_data_ptr(block, frames, true);
    sample.in_use = true;
}

TEST_F(Song_History_Test, ABigSampleEditKeepsOnlyTheFramesItChanged) {
    fill_big_sample(ti->song.sample[20]);
    Sample_Data& data = ti->song.sample[20].data;
    std::vector<std::int16_t> before(static_cast<std::int16_t*>(data.get_data_ptr()),
                                     static_cast<std::int16_t*>(data.get_data_ptr()) + data.get_size());
    Sample_Tools tools(*ti);
    tools.editor.set_sample(&ti->song.sample[20]);
    Selection* selection = tools.editor.get_selection();
    selection->set_point_1(5'000'000);
    selection->set_point_2(5'000'999);
    selection->set_active(true);

    struct Row {
        const char* edit;
        std::function<void()> apply;
        size_t most_bytes;  // two copies of the changed frames, and the step's own fields
    };
    const Row rows[] = {
        {"reverse 1001 frames", [&] { tools.editor.apply_effect(0); }, 2 * 2002 + 16384},
        {"cut 1000 frames", [&] { tools.editor.frame_cut(); }, 2000 + 16384},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.edit);
        history().clear();
        selection->set_point_1(5'000'000);
        selection->set_point_2(5'001'000);
        selection->set_active(true);
        row.apply();
        ASSERT_EQ(history().get_undo_count(), 1);
        EXPECT_LE(history().get_byte_size(), row.most_bytes);
        history().undo();
        ASSERT_EQ(data.get_size(), (int)before.size());
        EXPECT_EQ(std::memcmp(data.get_data_ptr(), before.data(), before.size() * 2), 0);
    }
}

TEST_F(Song_History_Test, MemoryBoundDropsTheOldestBigSteps) {
    fill_big_sample(ti->song.sample[20]);
    Sample_Tools tools(*ti);
    Sample clipboard;
    tools.slots.copy(20, clipboard);
    history().clear();
    // Each deletion and each paste keeps 20 MB of frames.
    for (int i = 0; i < 8; i++) {
        tools.slots.remove(20);
        tools.slots.paste(20, clipboard);
    }
    EXPECT_LE(history().get_byte_size(), Song_History::MAX_BYTES);
    EXPECT_LT(history().get_undo_count(), 16);
    EXPECT_GE(history().get_undo_count(), 10);
    // What is left still undoes.
    history().undo();
    EXPECT_FALSE(ti->song.sample[20].in_use);
}

}  // namespace
