// Files that load only in part say what they left out, through the registry, for the window
// and the command line to show; whole files say nothing and failed ones change nothing.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loaders/it_builder.h"
#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

namespace {

std::string regression(const char* name) { return std::string(WENDMOOR_SOURCE_DIR) + "/tests/data/regressions/" + name; }

// A module with one 16-bit sample of 10000 frames, its data last in the file.
std::string module_with_sample(unsigned flags = 1 | 2) {
    IT_Module_Builder module;
    IT_Sample_Layout sample;
    sample.name = "Kick";
    sample.flags = flags;
    sample.length = 10000;
    for (int i = 0; i < 10000; i++) sample.data += std::string{(char)(i & 0xFF), (char)(i >> 8)};
    module.samples = {sample};
    return module.build();
}

}  // namespace

TEST(PartialLoad, WhatAFileLeftOutIsListedAndAWholeFileSaysNothing) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string whole = module_with_sample();
    struct Case {
        const char* name;
        std::string path;
        Loader::Error result;
        std::vector<std::string> warnings;
    } cases[] = {
        {"whole", "whole.it", Loader::SUCCESS, {}},
        {"cut in the sample data", "cut.it", Loader::SUCCESS,
         {"The file ends early: at least 1000 bytes are missing.",
          "Sample 1 \"Kick\" is cut short: 9500 of its 10000 frames are in the file."}},
        {"cut before the sample data", "no_data.it", Loader::SUCCESS,
         {"The file ends early: at least 20000 bytes are missing.",
          "Sample 1 \"Kick\" has no data: the file ends before it."}},
        {"stereo sample whose second side is missing", "stereo.it", Loader::SUCCESS,
         {"The file ends early: at least 20000 bytes are missing.",
          "Sample 1 \"Kick\" is stereo, cut short in its second side: its first side plays alone."}},
        {"crafted, cut short", regression("it_sample_cut_short.it"), Loader::SUCCESS,
         {"The file ends early: at least 6000 bytes are missing.",
          "Sample 1 \"Kick\" is cut short: 1000 of its 4000 frames are in the file."}},
        {"256 channels", regression("xm_256_channels.xm"), Loader::SUCCESS,
         {"The file has 256 channels; Wendmoor holds 64: channels 65 to 256 were left out, with the 2 notes in "
          "them."}},
        {"header cut short", "header.it", Loader::HEADER_CORRUPT, {}},
    };
    Scratch_Dir::write(dir.file("whole.it"), whole);
    Scratch_Dir::write(dir.file("cut.it"), whole.substr(0, whole.size() - 1000));
    Scratch_Dir::write(dir.file("no_data.it"), whole.substr(0, whole.size() - 20000));
    Scratch_Dir::write(dir.file("stereo.it"), module_with_sample(1 | 2 | 4));
    Scratch_Dir::write(dir.file("header.it"), whole.substr(0, 100));

    for (const Case& c : cases) {
        Tracker_Instance ti;
        ti.song.variables.name = "before";
        std::string path = c.path[0] == '/' ? c.path : dir.file(c.path);
        testing::internal::CaptureStdout();
        Loader::Error result = ti.file_format_manager.load_module(path.c_str());
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(ti.file_format_manager.get_load_warnings(), c.warnings) << c.name;
        if (c.result != Loader::SUCCESS) {
            EXPECT_EQ(ti.song.variables.name, "before") << c.name;
        }
    }
}

TEST(PartialLoad, TheLoadedPartIsKeptAndTheRestOfTheSongIsWhole) {
    Tracker_Instance ti;
    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.file_format_manager.load_module(regression("xm_256_channels.xm").c_str()), Loader::SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ti.song.get_pattern(0)->get_note(0, 0).note, 49);
    EXPECT_EQ(ti.song.get_pattern(0)->get_note_count(), 1);

    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.file_format_manager.load_module(regression("it_sample_cut_short.it").c_str()), Loader::SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ti.song.get_sample(0)->data.get_size(), 1000);
    EXPECT_EQ(ti.song.get_pattern(0)->get_note(0, 0).note, 60);
    // The next load starts afresh.
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Scratch_Dir::write(dir.file("whole.it"), module_with_sample());
    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.file_format_manager.load_module(dir.file("whole.it").c_str()), Loader::SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ti.file_format_manager.get_load_warnings().empty());
}

// A pipe, a device or a folder named like a song is refused at once, never read or waited on.
TEST(PartialLoad, FilesThatAreNotRegularAreRefusedWithoutWaiting) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string fifo = dir.file("song.it");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir.path()}) {
        EXPECT_EQ(File_Reader::why_unreadable(path.c_str()), File_Reader::NOT_A_REGULAR_FILE) << path;
        Tracker_Instance ti;
        testing::internal::CaptureStdout();
        EXPECT_EQ(ti.file_format_manager.load_module(path.c_str()), Loader::FILE_CANNOT_OPEN) << path;
        EXPECT_EQ(ti.file_format_manager.load_sample_into(path.c_str(), &ti.song, 0), Loader::FILE_CANNOT_OPEN) << path;
        EXPECT_EQ(ti.file_format_manager.load_instrument(path.c_str(), 0), Loader::FILE_FORMAT_NOT_RECOGNIZED) << path;
        testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(File_Reader::why_unreadable(dir.file("none.it").c_str()), "No such file or directory");
}
