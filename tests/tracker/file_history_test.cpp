#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_dir.h"
#include "tracker/config_handler.h"
#include "tracker/file_history.h"

namespace fs = std::filesystem;

namespace {

class File_History_Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        fs::create_directory(dir.file("sub"));
        for (int i = 0; i < 12; i++) Scratch_Dir::write(song(i), "song");
    }
    std::string song(int i) const { return fs::canonical(dir.path()).string() + "/song" + std::to_string(i) + ".it"; }
    std::vector<std::string> songs(std::initializer_list<int> numbers) const {
        std::vector<std::string> out;
        for (int i : numbers) out.push_back(song(i));
        return out;
    }

    Scratch_Dir dir;
    File_History history;
};

}  // namespace

// Newest first, ten at most, one entry per file however it was named, and files that are
// gone leave the list.
TEST_F(File_History_Test, RecentSongsKeepOrderLimitAndDropMissingFiles) {
    const struct {
        const char* step;
        std::string add;  // empty: nothing added
        std::string remove;
        std::vector<std::string> expected;
    } steps[] = {
        {"first", song(0), "", songs({0})},
        {"second goes first", song(1), "", songs({1, 0})},
        {"again moves up", song(0), "", songs({0, 1})},
        {"another name of the same file", dir.file("sub/../song1.it"), "", songs({1, 0})},
        {"a file deleted", "", song(0), songs({1})},
        {"a missing file is not listed", dir.file("nowhere.it"), "", songs({1})},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        if (!s.add.empty()) history.add_recent_song(s.add);
        if (!s.remove.empty()) fs::remove(s.remove);
        EXPECT_EQ(history.get_recent_songs(), s.expected);
    }

    for (int i = 2; i < 12; i++) history.add_recent_song(song(i));
    EXPECT_EQ(history.get_recent_songs(), songs({11, 10, 9, 8, 7, 6, 5, 4, 3, 2}));
    history.clear_recent_songs();
    EXPECT_TRUE(history.get_recent_songs().empty());
}

// Written and read back through the settings file as the program does at exit and start:
// a list that shrank does not get its old entries back from what was read at start.
TEST_F(File_History_Test, SongsAndFoldersSurviveTheSettingsFile) {
    const std::string settings = dir.file("settings");
    for (int i = 0; i < 10; i++) history.add_recent_song(song(i));
    history.set_last_folder_of_file(File_History::SAMPLES, dir.file("sub/kick.wav"));
    history.set_last_folder(File_History::INSTRUMENTS, dir.path());
    ConfigHandler written;
    history.save_settings(&written);
    ASSERT_TRUE(written.save_to_text(settings));

    ConfigHandler read;
    ASSERT_TRUE(read.load_from_text(settings));
    fs::remove(song(3));
    File_History next_run;
    next_run.load_settings(&read);
    EXPECT_EQ(next_run.get_recent_songs(), songs({9, 8, 7, 6, 5, 4, 2, 1, 0}));
    EXPECT_EQ(next_run.get_last_folder(File_History::SAMPLES), fs::canonical(dir.file("sub")).string());
    EXPECT_EQ(next_run.get_last_folder(File_History::INSTRUMENTS), fs::canonical(dir.path()).string());
    EXPECT_EQ(next_run.get_last_folder(File_History::SONGS), "");

    next_run.clear_recent_songs();
    next_run.add_recent_song(song(11));
    ConfigHandler at_exit;
    next_run.save_settings(&at_exit);
    at_exit.add_missing_from(read);
    ASSERT_TRUE(at_exit.save_to_text(settings));
    ConfigHandler third;
    ASSERT_TRUE(third.load_from_text(settings));
    File_History third_run;
    third_run.load_settings(&third);
    EXPECT_EQ(third_run.get_recent_songs(), songs({11}));

    // A folder that is gone is not offered; a file without the section changes nothing.
    fs::remove_all(dir.file("sub"));
    EXPECT_EQ(third_run.get_last_folder(File_History::SAMPLES), "");
    ConfigHandler empty;
    third_run.load_settings(&empty);
    EXPECT_EQ(third_run.get_recent_songs(), songs({11}));
}
