#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/shared_dir.h"
#include "tracker/tracker_instance.h"

// Every corpus file goes through the registry: it loads, or fails with a code. Crashes, leaks
// and out-of-bounds reads are the sanitizer build's to catch.
namespace {

std::vector<std::string> corpus_files(const std::string& sub) {
    std::vector<std::string> files;
    std::string root = shared_dir() + "/corpus/" + sub;
    if (!std::filesystem::is_directory(root)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(root))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    return files;
}

void load_all(const std::string& sub, bool every_it_loads) {
    std::vector<std::string> files = corpus_files(sub);
    if (files.empty()) GTEST_SKIP() << "no corpus at " << shared_dir() << "/corpus/" << sub;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Tracker_Instance ti;
        testing::internal::CaptureStdout();
        Loader::Error e = ti.file_format_manager.load_module(file.c_str());
        // The same file as a sample and an instrument file must be handled as safely.
        ti.file_format_manager.load_sample(file.c_str(), 0);
        delete ti.file_format_manager.load_sample(file.c_str());
        ti.file_format_manager.load_instrument(file.c_str(), 0);
        testing::internal::GetCapturedStdout();
        EXPECT_GE((int)e, 0);
        EXPECT_LE((int)e, (int)Loader::HEADER_CORRUPT);
        bool is_it = file.size() > 3 && file.substr(file.size() - 3) == ".it";
        if (every_it_loads && is_it) {
            EXPECT_EQ(e, Loader::SUCCESS) << Loader::error_string[e];
        }
        if (e == Loader::SUCCESS && is_it) {
            EXPECT_GT(ti.song.get_used_orders_amount(), 0);
        }
        for (Loader* l : ti.file_format_manager.get_loaders()) EXPECT_FALSE(l->is_busy());
    }
}

}  // namespace

TEST(Corpus, FeatureFilesLoad) { load_all("features", true); }

TEST(Corpus, SongsLoad) { load_all("songs", true); }

TEST(Corpus, MalformedFilesFailCleanlyOrLoadSafely) {
    load_all("malformed", false);
    std::string root = shared_dir() + "/corpus/malformed/";
    if (!std::filesystem::is_directory(root)) return;
    Tracker_Instance ti;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ti.file_format_manager.load_module((root + "load_it_truncated_header.it").c_str()),
              Loader::HEADER_CORRUPT);
    testing::internal::GetCapturedStdout();
}

TEST(Corpus, RegressionFilesFailCleanlyOrLoadSafely) {
    std::string root = std::string(WENDMOOR_SOURCE_DIR) + "/tests/data/regressions";
    if (!std::filesystem::is_directory(root)) GTEST_SKIP() << "no regression files";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        SCOPED_TRACE(entry.path().string());
        Tracker_Instance ti;
        testing::internal::CaptureStdout();
        Loader::Error e = ti.file_format_manager.load_module(entry.path().c_str());
        ti.file_format_manager.load_sample(entry.path().c_str(), 3);
        delete ti.file_format_manager.load_sample(entry.path().c_str());
        ti.file_format_manager.load_instrument(entry.path().c_str(), 7);
        testing::internal::GetCapturedStdout();
        EXPECT_LE((int)e, (int)Loader::HEADER_CORRUPT);
        count++;
    }
    EXPECT_GT(count, 0);
}
