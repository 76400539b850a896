// The writers outside the song savers (convert to Impulse Tracker's .its and .iti, the
// instrument page's Save) against the targets that once fooled them: a write-protected file, a
// symbolic link, and a link planted under the temporary name they used in a shared folder. The
// file that was there stays byte for byte, and nothing is left beside it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_run.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/instrument_operations.h"
#include "tracker/tracker_instance.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Writer {
    const char* name;
    const char* extension;
    // The temporary name the writer once used beside `target`.
    std::string (*old_temporary)(const std::string& folder, const std::string& stem);
    // True when the writer reports success.
    std::function<bool(const std::string& target)> write;
};

}  // namespace

TEST(HostilePaths, ConvertAndInstrumentSaveKeepWhatIsThereAndLeaveNothingBehind) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Tracker_Instance song;
    build_test_song(song.song);
    const std::string wav = dir.file("tone.wav");
    ASSERT_EQ(song.file_format_manager.save_sample(wav.c_str(), 0), 0);
    Instrument_Operations instruments(song);

    auto cli_convert = [&](const std::string& target) {
        return Cli_Run("convert '" + wav + "' '" + target + "'").status == 0;
    };
    auto instrument_save = [&](const std::string& target) {
        testing::internal::CaptureStdout();
        int result = instruments.save_instrument(target, 0);
        testing::internal::GetCapturedStdout();
        return result == 0;
    };
    const Writer writers[] = {
        {"convert to .its", ".its",
         [](const std::string& f, const std::string& stem) { return f + "/." + stem + ".its.wendmoor-saving.is"; },
         cli_convert},
        {"convert to .iti", ".iti",
         [](const std::string& f, const std::string& stem) { return f + "/." + stem + ".iti.wendmoor-saving.ii"; },
         cli_convert},
        {"instrument save .ii", ".ii",
         [](const std::string& f, const std::string& stem) { return f + "/." + stem + ".wendmoor-saving.ii"; },
         instrument_save},
        {"instrument save .wi", ".wi",
         [](const std::string& f, const std::string& stem) { return f + "/." + stem + ".wendmoor-saving.wi"; },
         instrument_save},
    };
    const std::string old_bytes = "the file that was there";

    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        // A write-protected file is refused.
        {
            Scratch_Dir here;
            std::string target = here.file(std::string("kit") + w.extension);
            Scratch_Dir::write(target, old_bytes);
            ASSERT_EQ(chmod(target.c_str(), 0444), 0);
            EXPECT_FALSE(w.write(target));
            EXPECT_EQ(Scratch_Dir::read(target), old_bytes);
            EXPECT_EQ(fs::status(target).permissions(), fs::perms(0444));
            EXPECT_EQ(entries(here.path()), std::vector<std::string>{fs::path(target).filename()});
        }
        // A link is saved through: the link stays, the file it names gets the new bytes; a link
        // to a write-protected file is refused like the file.
        {
            Scratch_Dir here;
            std::string real = here.file("real.bin"), target = here.file(std::string("kit") + w.extension);
            Scratch_Dir::write(real, old_bytes);
            ASSERT_EQ(symlink(real.c_str(), target.c_str()), 0);
            EXPECT_TRUE(w.write(target));
            EXPECT_TRUE(fs::is_symlink(target));
            EXPECT_NE(Scratch_Dir::read(real), old_bytes);
            EXPECT_EQ(entries(here.path()).size(), 2u);
            std::string written = Scratch_Dir::read(real);
            ASSERT_EQ(chmod(real.c_str(), 0444), 0);
            EXPECT_FALSE(w.write(target));
            EXPECT_EQ(Scratch_Dir::read(real), written);
            EXPECT_TRUE(fs::is_symlink(target));
            EXPECT_EQ(entries(here.path()).size(), 2u);
        }
        // In a shared sticky folder, a link planted under the old temporary name leads nowhere.
        {
            Scratch_Dir here;
            std::string shared = here.file("shared"), victim = here.file("victim");
            fs::create_directory(shared);
            ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
            Scratch_Dir::write(victim, old_bytes);
            std::string planted = w.old_temporary(shared, "kit");
            ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
            std::string target = shared + "/kit" + w.extension;
            EXPECT_TRUE(w.write(target));
            EXPECT_EQ(Scratch_Dir::read(victim), old_bytes);
            EXPECT_TRUE(fs::is_symlink(planted));
            EXPECT_GT(fs::file_size(target), old_bytes.size());
            EXPECT_EQ(entries(shared), (std::vector<std::string>{fs::path(planted).filename(), fs::path(target).filename()}));
        }
    }
}
