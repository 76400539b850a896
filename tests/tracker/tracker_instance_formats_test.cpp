#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "loaders/it_builder.h"
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
    EXPECT_FALSE(instance.song.get_variables()->rules.use_linear_slides);

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

TEST(TrackerInstanceCutShort, FilesThatEndEarlyLoadWithAWarningNamingWhatIsMissing) {
    // A module and a sample file that both end with 10000 16-bit frames, then lose 1000 bytes.
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    IT_Module_Builder module;
    IT_Sample_Layout sample;
    sample.flags = 1 | 2;  // present, 16-bit
    sample.length = 10000;
    for (int i = 0; i < 10000; i++) sample.data += std::string{(char)(i & 0xFF), (char)(i >> 8)};
    module.samples = {sample};
    Scratch_Dir::write(dir.file("whole.it"), module.build());
    Tracker_Instance source;
    auto* frames = static_cast<short*>(std::malloc(20000));
    for (int i = 0; i < 10000; i++) frames[i] = (short)(i * 37);
    source.song.get_sample(0)->data.set_data_ptr(frames, 10000, true);
    source.song.get_sample(0)->in_use = true;
    ASSERT_EQ(source.file_format_manager.save_sample(dir.file("whole.wav").c_str(), 0), 0);

    for (const std::string kind : {"it", "wav"}) {
        const bool is_module = kind == "it";
        const std::string whole = dir.file("whole." + kind), cut = dir.file("cut." + kind);
        std::string bytes = Scratch_Dir::read(whole);
        Scratch_Dir::write(cut, bytes.substr(0, bytes.size() - 1000));
        Tracker_Instance target;
        File_Format_Manager& files = target.file_format_manager;
        auto load = [&](const std::string& path) {
            return is_module ? files.load_module(path.c_str()) : files.load_sample(path.c_str(), 1);
        };
        testing::internal::CaptureStderr();
        Loader::Error whole_result = load(whole);
        std::string whole_out = testing::internal::GetCapturedStderr();
        testing::internal::CaptureStderr();
        Loader::Error cut_result = load(cut);
        std::string cut_out = testing::internal::GetCapturedStderr();
        EXPECT_EQ(whole_result, Loader::SUCCESS) << kind;
        EXPECT_EQ(whole_out.find("ends early"), std::string::npos) << kind << ": " << whole_out;
        ASSERT_EQ(cut_result, Loader::SUCCESS) << kind;
        EXPECT_NE(cut_out.find("Warning: " + cut + " ends early: at least 1000 bytes are missing\n"), std::string::npos)
            << kind << ": " << cut_out;
        EXPECT_EQ(target.song.get_sample(is_module ? 0 : 1)->data.get_size(), 9500) << kind;
    }
}
