// Every saver against real failures: a full disk, a write-protected file and a process killed
// in the middle of a save. Whatever happens, the file that was there stays byte for byte, no
// temporary file is left, and the failure is reported with the system's reason.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/full_disk.h"
#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"
#include "trackercore/safe_file.h"

namespace {

// `samples` 16-bit samples of `frames` frames each, a tone with a little noise, and an
// instrument that plays the first.
void build_song(Song& song, int samples, int frames) {
    for (int s = 0; s < samples; s++) {
        auto* block = static_cast<std::int16_t*>(std::malloc((size_t)frames * 2));
        unsigned seed = (unsigned)s + 1;
        for (int i = 0; i < frames; i++) {
            seed = seed * 1103515245u + 12345u;
            block[i] = (std::int16_t)(12000 * std::sin(i * (0.01 + 0.001 * s)) + (int)((seed >> 16) & 1023));
        }
        Sample& sample = *song.get_sample(s);
        sample.data.set_data_ptr(block, frames, true);
        sample.in_use = true;
    }
    for (int n = 0; n < NOTE_COUNT; n++) song.get_instrument(0)->layers[0].sample_table[n] = 0;
    song.set_order(0, 0);
}

// The files each saver writes, saved through the registry as the windows do.
struct Save_Case {
    const char* name;
    int (*save)(File_Format_Manager&, const char* path);
};
const Save_Case save_cases[] = {
    {"song.wm", [](File_Format_Manager& f, const char* p) { return f.save_module(p); }},
    {"song.it", [](File_Format_Manager& f, const char* p) { return f.save_module(p); }},
    {"sample.ws", [](File_Format_Manager& f, const char* p) { return f.save_sample(p, 0); }},
    {"sample.is", [](File_Format_Manager& f, const char* p) { return f.save_sample(p, 0); }},
    {"sample.wav", [](File_Format_Manager& f, const char* p) { return f.save_sample(p, 0); }},
    {"sample.raw", [](File_Format_Manager& f, const char* p) { return f.save_sample(p, 0); }},
    {"instrument.wi", [](File_Format_Manager& f, const char* p) { return f.save_instrument(p, 0); }},
    {"instrument.ii", [](File_Format_Manager& f, const char* p) { return f.save_instrument(p, 0); }},
};

std::vector<std::string> folder_entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string old_contents(const Save_Case& c) { return std::string("the good old ") + c.name + std::string(3000, '.'); }

}  // namespace

TEST(SaveFailures, FullDiskKeepsEveryOldFileAndSaysWhy) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::filesystem::create_directory(dir.file("disk"));
    Full_Disk disk(dir.file("disk"));
    if (!disk.ok()) GTEST_SKIP() << disk.why();
    Tracker_Instance ti;
    build_song(ti.song, 2, 40000);
    for (const Save_Case& c : save_cases) Scratch_Dir::write(disk.file(c.name), old_contents(c));
    ASSERT_TRUE(disk.fill());
    std::vector<std::string> before = disk.entries();

    for (const Save_Case& c : save_cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.save(ti.file_format_manager, disk.file(c.name).c_str()), -1) << c.name;
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ti.file_format_manager.get_save_error(), "No space left on device") << c.name;
        EXPECT_NE(out.find("Cannot save " + disk.file(c.name) + ": No space left on device"), std::string::npos)
            << c.name << ": " << out;
        EXPECT_EQ(Scratch_Dir::read(disk.file(c.name)), old_contents(c)) << c.name;
        EXPECT_EQ(disk.entries(), before) << c.name << " left a temporary file";
    }
}

TEST(SaveFailures, WriteProtectedFilesAreNotReplaced) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Tracker_Instance ti;
    build_song(ti.song, 1, 1000);
    for (const Save_Case& c : save_cases) {
        std::string path = dir.file(c.name);
        Scratch_Dir::write(path, old_contents(c));
        ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.save(ti.file_format_manager, path.c_str()), -1) << c.name;
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ti.file_format_manager.get_save_error(), "the file is write-protected (Permission denied)") << c.name;
        EXPECT_NE(out.find("Cannot save " + path + ": the file is write-protected"), std::string::npos) << out;
        EXPECT_EQ(Scratch_Dir::read(path), old_contents(c)) << c.name;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0444u) << c.name;
    }
    std::vector<std::string> names;
    for (const Save_Case& c : save_cases) names.push_back(c.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(folder_entries(dir.path()), names) << "a refused save left a file behind";
}

namespace {

void stop_here(int) { raise(SIGSTOP); }

// Saves in a child process and kills it (SIGKILL) in the middle of writing: the child stops
// itself once its file passes 1 MiB. True when the child was killed there.
bool kill_during_save(Tracker_Instance& ti, const std::string& path, bool unnamed_temporaries) {
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        Safe_File::set_unnamed_temporaries(unnamed_temporaries);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(3);
        struct rlimit limit = {1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, stop_here);
        ti.file_format_manager.save_module(path.c_str());
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, WUNTRACED) != child) return false;
    bool stopped = WIFSTOPPED(status);
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return stopped && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace

TEST(SaveFailures, AKilledSaveLeavesNothingBehind) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Tracker_Instance ti;
    build_song(ti.song, 4, 1000000);  // 8 MB of samples
    const std::string old_song = "the song as it was";

    for (const char* name : {"killed.wm", "killed.it"}) {
        std::string path = dir.file(name);
        Scratch_Dir::write(path, old_song);
        ASSERT_TRUE(kill_during_save(ti, path, true)) << name;
        EXPECT_EQ(Scratch_Dir::read(path), old_song) << name;
        EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{name}) << "a killed save left a file";
        std::filesystem::remove(path);
    }

    // Where files cannot be unnamed, the killed save leaves its temporary file, and the next save
    // into the folder removes it; one of a process that still runs is left alone.
    std::string path = dir.file("song.wm");
    Scratch_Dir::write(path, old_song);
    ASSERT_TRUE(kill_during_save(ti, path, false));
    EXPECT_EQ(Scratch_Dir::read(path), old_song);
    std::vector<std::string> left = folder_entries(dir.path());
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].rfind("song.wm.wendmoor-save-", 0), 0u) << left[1];
    EXPECT_GE(std::filesystem::file_size(dir.file(left[1])), 1u << 20);
    std::string running = Safe_File::temporary_name("other.it", 1, 0);  // pid 1 always runs
    Scratch_Dir::write(dir.file(running), "in the middle of a save");

    testing::internal::CaptureStdout();
    EXPECT_EQ(ti.file_format_manager.save_module(dir.file("next.it").c_str()), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"next.it", running, "song.wm"}));
    EXPECT_EQ(Scratch_Dir::read(path), old_song);
}
