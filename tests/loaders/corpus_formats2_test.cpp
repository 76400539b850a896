#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tracker/tracker_instance.h"

namespace {

namespace fs = std::filesystem;

// The shared folder sits beside the checkout; WENDMOOR_SHARED_DIR in the environment overrides it.
std::string corpus_dir() {
    const char* shared = std::getenv("WENDMOOR_SHARED_DIR");
    return std::string(shared ? shared : WENDMOOR_SHARED_DIR) + "/corpus";
}

std::vector<fs::path> corpus_files(const std::string& folder, const std::string& extension) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(corpus_dir() + "/" + folder, ec))
        if (entry.path().extension() == extension) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class CorpusFormats2 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(corpus_dir())) GTEST_SKIP() << "no test corpus at " << corpus_dir();
    }
    // Loads quietly through the registry; whatever happens, the song stays consistent.
    Loader::Error load(const fs::path& file) {
        testing::internal::CaptureStdout();
        Loader::Error e = instance.file_format_manager.load_module(file.c_str());
        testing::internal::GetCapturedStdout();
        EXPECT_LE(instance.song.get_used_orders_amount(), 256);
        return e;
    }
    Tracker_Instance instance;
};

TEST_F(CorpusFormats2, FeatureXmAndS3mFilesLoad) {
    int loaded = 0;
    for (const std::string ext : {".xm", ".s3m"}) {
        for (const fs::path& file : corpus_files("features", ext)) {
            Loader::Error e = load(file);
            // ice21_ambiguous.xm is a packed file that only looks like a module.
            if (file.filename() == "ice21_ambiguous.xm") {
                EXPECT_NE(e, Loader::SUCCESS);
                continue;
            }
            EXPECT_EQ(e, Loader::SUCCESS) << file;
            if (instance.song.get_patterns_used() > 0) ++loaded;
        }
    }
    EXPECT_GT(loaded, 40);  // a few feature files hold nothing but empty patterns
}

TEST_F(CorpusFormats2, SongsLoad) {
    for (const std::string ext : {".xm", ".s3m"}) {
        for (const fs::path& file : corpus_files("songs", ext)) {
            Loader::Error e = load(file);
            ASSERT_EQ(e, Loader::SUCCESS) << file;
            // Its first instrument holds 23 sample headers, five with data; the fifth is header 18.
            if (file.filename() == "grass near the house.xm") {
                const auto& table = instance.song.get_instrument(0)->layers[0].sample_table;
                std::set<int> named;
                for (unsigned char entry : table)
                    if (entry != EMPTY_FIELD) named.insert(entry);
                EXPECT_EQ(named, (std::set<int>{0, 1, 2, 3, 4}));
            }
            EXPECT_GT(instance.song.get_patterns_used(), 5) << file;
            EXPECT_GT(instance.song.get_used_orders_amount(), 5) << file;
            EXPECT_TRUE(instance.song.get_sample(0)->in_use || instance.song.get_sample(1)->in_use) << file;
        }
    }
}

// Broken files give a clear error or load what is sound; the sanitizer build checks the reads.
TEST_F(CorpusFormats2, MalformedFilesAreHandled) {
    int seen = 0;
    for (const std::string ext : {".xm", ".s3m"}) {
        for (const fs::path& file : corpus_files("malformed", ext)) {
            Loader::Error e = load(file);
            EXPECT_TRUE(e == Loader::SUCCESS || e == Loader::FILE_ERROR || e == Loader::HEADER_CORRUPT ||
                        e == Loader::FILE_FORMAT_NOT_RECOGNIZED)
                << file << " " << e;
            EXPECT_FALSE(instance.loader_xm.is_busy());
            EXPECT_FALSE(instance.loader_s3m.is_busy());
            ++seen;
        }
    }
    EXPECT_GE(seen, 11);
}

TEST_F(CorpusFormats2, WavSamplesLoad) {
    int slot = 0;
    for (const fs::path& file : corpus_files("features", ".wav")) {
        testing::internal::CaptureStdout();
        Loader::Error e = instance.file_format_manager.load_sample(file.c_str(), slot);
        std::unique_ptr<Sample_Data> preview(instance.file_format_manager.load_sample(file.c_str()));
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(e, Loader::SUCCESS) << file;
        ASSERT_NE(preview, nullptr) << file;
        const Sample_Data& data = instance.song.get_sample(slot)->data;
        EXPECT_GT(data.get_size(), 1000) << file;
        EXPECT_EQ(preview->get_size(), data.get_size()) << file;
        ++slot;
    }
    EXPECT_EQ(slot, 4);
}

}  // namespace
