#include <cstdlib>
#include <memory>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

TEST(CmdEditDemo, SavesASongBuiltByTheEditor) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string out = dir.file("demo.wm");
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " edit-demo " + out + " > /dev/null";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    auto ti = std::make_unique<Tracker_Instance>();
    ASSERT_EQ(ti->file_format_manager.load_module(out.c_str()), Loader::SUCCESS);
    Song& song = ti->song;
    EXPECT_EQ(song.variables.name, "Edit demo");
    EXPECT_EQ(song.get_order(0), 0);
    EXPECT_EQ(song.get_order(2), 1);
    EXPECT_EQ(song.get_used_orders_amount(), 3);

    Pattern& first = song.pattern[0];
    EXPECT_EQ(first.get_note(0, 0).note, 60);  // C-5 typed with "z"
    EXPECT_EQ(first.get_note(0, 0).instrument, 0);
    EXPECT_EQ(first.get_note(0, 0).volume, 48);
    EXPECT_EQ(first.get_note(0, 24).note, NOTE_OFF);
    EXPECT_EQ(first.get_note(1, 16).note, 43);  // G-3
    EXPECT_EQ(first.get_note(2, 0).command, 0);
    EXPECT_EQ(first.get_note(2, 0).parameter, 4);
    EXPECT_EQ(first.get_note(0, 32).note, 61);  // the copy, raised
    EXPECT_EQ(first.get_note(1, 56).note, 44);

    Pattern& second = song.pattern[1];
    EXPECT_EQ(second.get_note(0, 8).note, 64);  // row 4 doubled to row 8
    EXPECT_EQ(second.get_note(0, 62).volume, 8);
    EXPECT_EQ(second.get_note(0, 31).volume, 64 + (8 - 64) * 31 / 62);

    Sample_Data& data = song.sample[0].data;
    EXPECT_EQ(data.get_size(), 256);
    EXPECT_EQ(data.get_c5_freq(), 16744);
    EXPECT_TRUE(data.is_loop_enabled());
    EXPECT_EQ(data.get_loop_begin(), 0);
}

TEST(CmdEditDemo, RefusesAnUnknownFormat) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " edit-demo " + dir.file("demo.xyz") + " > /dev/null 2>&1";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}
