#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

namespace {

// The shared folder sits beside the checkout; WENDMOOR_SHARED_DIR in the environment overrides it.
const std::string corpus = std::string(std::getenv("WENDMOOR_SHARED_DIR") ? std::getenv("WENDMOOR_SHARED_DIR")
                                                                          : WENDMOOR_SHARED_DIR) + "/corpus";

class TrackerInstanceFormats : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no test corpus at " << corpus;
        ASSERT_TRUE(dir.ok());
    }
    Scratch_Dir dir;
    Tracker_Instance instance;
};

TEST_F(TrackerInstanceFormats, LoadsXmAndS3mSongsThroughTheRegistry) {
    File_Format_Manager& files = instance.file_format_manager;
    ASSERT_EQ(files.load_module((corpus + "/songs/roadblas.xm").c_str()), Loader::SUCCESS);
    EXPECT_GT(instance.song.get_patterns_used(), 10);
    EXPECT_TRUE(instance.song.get_sample(0)->in_use);
    EXPECT_NE(instance.song.get_variables()->message.find("https://wendmoor.org"), std::string::npos);

    ASSERT_EQ(files.load_module((corpus + "/songs/inside_out.s3m").c_str()), Loader::SUCCESS);
    EXPECT_EQ(instance.song.get_variables()->message, "");
    EXPECT_GT(instance.song.get_patterns_used(), 10);
    EXPECT_FALSE(instance.song.get_variables()->use_linear_slides);

    // The WAV loader is never chosen for a song.
    testing::internal::CaptureStdout();
    EXPECT_NE(files.load_module((corpus + "/features/blip.wav").c_str()), Loader::SUCCESS);
    testing::internal::GetCapturedStdout();
}

TEST_F(TrackerInstanceFormats, WavSamplesLoadPreviewAndSave) {
    File_Format_Manager& files = instance.file_format_manager;
    testing::internal::CaptureStdout();
    Loader::Error e = files.load_sample((corpus + "/features/send.wav").c_str(), 3);
    std::unique_ptr<Sample_Data> preview(files.load_sample((corpus + "/features/blip8.wav").c_str()));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(e, Loader::SUCCESS);
    const Sample_Data& stereo = instance.song.get_sample(3)->data;
    EXPECT_EQ(stereo.get_size(), 57292 / 4);
    EXPECT_TRUE(stereo.is_16bit());
    EXPECT_EQ(stereo.get_c5_freq(), 22050);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->get_size(), 3800);
    EXPECT_FALSE(preview->is_16bit());

    std::string wav = dir.file("copy.wav"), raw = dir.file("copy.raw");
    EXPECT_EQ(files.save_sample(wav.c_str(), 3), 0);
    EXPECT_EQ(files.save_sample(raw.c_str(), 3), 0);
    EXPECT_EQ(std::filesystem::file_size(wav), 44u + 57292 / 2);
    EXPECT_EQ(std::filesystem::file_size(raw), 57292u / 2);
    EXPECT_EQ(files.save_sample(dir.file("copy.txt").c_str(), 3), -2);
}

}  // namespace
