#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "support/shared_dir.h"
#include "support/song_compare.h"
#include "tracker/tracker_instance.h"

namespace {

int run_quiet(const std::string& args) {
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " " + args + " > /dev/null 2>&1";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string info(const std::string& file) {
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " info '" + file + "' 2>/dev/null";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    // Only the report itself: the loaders' progress lines and the format and file names differ.
    std::istringstream in(out);
    std::string line, kept;
    bool report = false;
    while (std::getline(in, line)) {
        if (line.rfind("File:", 0) == 0) report = true;
        if (!report || line.rfind("File:", 0) == 0 || line.rfind("Format:", 0) == 0) continue;
        kept += line + "\n";
    }
    return kept;
}

}  // namespace

// Every module of the corpus that this build reads goes to the native format and back; the
// real songs go through the command line (to .wm and on to .it) and all three files describe
// the same song.
TEST(CmdNativeConvert, CorpusModulesSurviveNativeAndBack) {
    namespace fs = std::filesystem;
    fs::path corpus = fs::path(shared_dir()) / "corpus";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus << " (set WENDMOOR_SHARED_DIR)";
    Scratch_Dir dir;
    int converted = 0;
    for (const char* sub : {"features", "songs"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(corpus / sub, ec)) {
            std::string src = entry.path().string();
            Tracker_Instance probe;
            testing::internal::CaptureStdout();
            bool loads = probe.file_format_manager.load_module(src.c_str()) == Loader::SUCCESS;
            testing::internal::GetCapturedStdout();
            if (!loads) continue;  // formats this build does not read
            std::string wm = dir.file("song.wm"), it = dir.file("back.it");
            if (std::string(sub) == "songs") {
                // The whole way through the command line for the real songs.
                ASSERT_EQ(run_quiet("convert '" + src + "' '" + wm + "'"), 0) << src;
                ASSERT_EQ(run_quiet("convert '" + wm + "' '" + it + "'"), 0) << src;
                std::string original = info(src);
                EXPECT_EQ(info(wm), original) << src;
                // IT has one kind of skipped order entry, so "---" comes back as "+++".
                std::string via_it = info(it), expected = original;
                size_t line = expected.find("Order list:");
                size_t end = line == std::string::npos ? line : expected.find('\n', line);
                for (size_t p = line; p != std::string::npos && (p = expected.find(" ---", p)) < end; p += 4)
                    expected.replace(p, 4, " +++");
                EXPECT_EQ(via_it, expected) << src;
            } else {
                testing::internal::CaptureStdout();
                int saved = probe.file_format_manager.save_module(wm.c_str());
                testing::internal::GetCapturedStdout();
                ASSERT_EQ(saved, 0) << src;
            }

            Tracker_Instance native;
            testing::internal::CaptureStdout();
            ASSERT_EQ(native.file_format_manager.load_module(wm.c_str()), Loader::SUCCESS) << src;
            testing::internal::GetCapturedStdout();
            SCOPED_TRACE(src);
            // A slot without sample data has no meaningful loop or base frequency to keep.
            for (int i = 0; i < Song::MAX_SAMPLES; i++) {
                Sample &a = *probe.song.get_sample(i), &b = *native.song.get_sample(i);
                if (a.in_use || b.in_use) continue;
                b.data.set_c5_freq(a.data.get_c5_freq());
                b.data.set_loop_begin(a.data.get_loop_begin());
                b.data.set_loop_end(a.data.get_loop_end());
            }
            expect_songs_equal(probe.song, native.song);
            converted++;
        }
    }
    EXPECT_GT(converted, 0);
    std::printf("%d modules converted to the native format and back\n", converted);
}
