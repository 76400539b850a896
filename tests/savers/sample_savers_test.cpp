#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "loaders/loader_wav.h"
#include "savers/saver_raw.h"
#include "savers/saver_wav.h"
#include "support/scratch_dir.h"
#include "trackercore/song.h"

namespace {

void fill_sample(Sample& sample, bool sixteen_bit, std::initializer_list<int> values, int c5 = 22050) {
    size_t unit = sixteen_bit ? 2 : 1;
    void* block = std::malloc(values.size() * unit);
    int i = 0;
    for (int v : values) {
        if (sixteen_bit)
            static_cast<short*>(block)[i++] = (short)v;
        else
            static_cast<signed char*>(block)[i++] = (signed char)v;
    }
    sample.data.set_data_ptr(block, (int)values.size(), sixteen_bit);
    sample.data.set_c5_freq(c5);
    sample.in_use = true;
}

unsigned le32(const std::string& s, size_t at) {
    return (unsigned char)s[at] | ((unsigned char)s[at + 1] << 8) | ((unsigned char)s[at + 2] << 16) |
           ((unsigned)(unsigned char)s[at + 3] << 24);
}
unsigned le16(const std::string& s, size_t at) { return (unsigned char)s[at] | ((unsigned char)s[at + 1] << 8); }

class SampleSavers : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        wav.set_song(&song);
        raw.set_song(&song);
        loader.set_song(&song);
    }
    Scratch_Dir dir;
    Song song;
    Saver_Wav wav;
    Saver_Raw raw;
    Loader_WAV loader;
};

TEST_F(SampleSavers, WavHeaderAndUnsigned8BitFrames) {
    fill_sample(*song.get_sample(2), false, {-128, 0, 127}, 8363);
    std::string path = dir.file("out.wav");
    ASSERT_EQ(wav.save_sample(path.c_str(), 2), 0);
    std::string f = Scratch_Dir::read(path);
    ASSERT_EQ(f.size(), 47u);
    EXPECT_EQ(f.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(f, 4), 39u);
    EXPECT_EQ(f.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(f, 16), 16u);
    EXPECT_EQ(le16(f, 20), 1u);
    EXPECT_EQ(le16(f, 22), 1u);
    EXPECT_EQ(le32(f, 24), 8363u);
    EXPECT_EQ(le32(f, 28), 8363u);
    EXPECT_EQ(le16(f, 32), 1u);
    EXPECT_EQ(le16(f, 34), 8u);
    EXPECT_EQ(f.substr(36, 4), "data");
    EXPECT_EQ(le32(f, 40), 3u);
    EXPECT_EQ((unsigned char)f[44], 0x00);
    EXPECT_EQ((unsigned char)f[45], 0x80);
    EXPECT_EQ((unsigned char)f[46], 0xFF);
}

TEST_F(SampleSavers, Wav16BitRoundTripsThroughTheLoader) {
    fill_sample(*song.get_sample(0), true, {-32768, -1, 0, 1234, 32767}, 44100);
    std::string path = dir.file("round.WAV");
    ASSERT_EQ(wav.save_sample(path.c_str(), 0), 0);
    std::string f = Scratch_Dir::read(path);
    ASSERT_EQ(f.size(), 54u);
    EXPECT_EQ(le32(f, 4), 46u);
    EXPECT_EQ(le32(f, 28), 88200u);
    EXPECT_EQ(le16(f, 34), 16u);
    EXPECT_EQ(le16(f, 44), 0x8000u);
    ASSERT_EQ(loader.load_sample(path.c_str(), 1), Loader::SUCCESS);
    const Sample_Data& back = song.get_sample(1)->data;
    ASSERT_EQ(back.get_size(), 5);
    EXPECT_EQ(back.get_c5_freq(), 44100);
    EXPECT_EQ(std::memcmp(back.get_data_ptr(), song.get_sample(0)->data.get_data_ptr(), 10), 0);
}

TEST_F(SampleSavers, RawWritesTheFramesAsHeld) {
    fill_sample(*song.get_sample(0), false, {-1, 2, -3});
    ASSERT_EQ(raw.save_sample(dir.file("s.raw").c_str(), 0), 0);
    EXPECT_EQ(Scratch_Dir::read(dir.file("s.raw")), std::string("\xFF\x02\xFD", 3));
    fill_sample(*song.get_sample(1), true, {0x1234, -2});
    ASSERT_EQ(raw.save_sample(dir.file("w.RAW").c_str(), 1), 0);
    std::string f = Scratch_Dir::read(dir.file("w.RAW"));
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(std::memcmp(f.data(), song.get_sample(1)->data.get_data_ptr(), 4), 0);
}

TEST_F(SampleSavers, ClaimsOnlyTheirNames) {
    fill_sample(*song.get_sample(0), false, {1});
    EXPECT_EQ(wav.save_sample(dir.file("a.Wav").c_str(), 0), -2);
    EXPECT_EQ(wav.save_sample(".wav", 0), -2);
    EXPECT_EQ(wav.save_sample(dir.file("a.raw").c_str(), 0), -2);
    EXPECT_EQ(raw.save_sample(dir.file("a.wav").c_str(), 0), -2);
    EXPECT_EQ(raw.save_sample(".RAW", 0), -2);
    EXPECT_EQ(wav.save(dir.file("a.wav").c_str()), -2);
    EXPECT_EQ(wav.save_instrument(dir.file("a.wav").c_str(), 0), -2);
    EXPECT_EQ(raw.save(dir.file("a.raw").c_str()), -2);
    EXPECT_EQ(raw.save_instrument(dir.file("a.raw").c_str(), 0), -2);
}

TEST_F(SampleSavers, EmptySlotsAndUnwritablePathsFail) {
    EXPECT_EQ(wav.save_sample(dir.file("none.wav").c_str(), 5), -1);
    EXPECT_EQ(raw.save_sample(dir.file("none.raw").c_str(), 5), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.wav")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.raw")));
    EXPECT_EQ(wav.save_sample(dir.file("x.wav").c_str(), 99), -1);
    fill_sample(*song.get_sample(0), false, {1});
    EXPECT_EQ(wav.save_sample(dir.file("missing/dir.wav").c_str(), 0), -1);
    EXPECT_EQ(raw.save_sample(dir.file("missing/dir.raw").c_str(), 0), -1);
}

// Writes that fail half-way (a full disk) give -1 and leave the old file as it was.
TEST_F(SampleSavers, FailedWritesKeepTheOldFile) {
    Sample& big = *song.get_sample(0);
    big.data.set_data_ptr(std::calloc(20000, 2), 20000, true);
    big.in_use = true;
    std::string wav_path = dir.file("old.wav"), raw_path = dir.file("old.raw");
    Scratch_Dir::write(wav_path, "old wav");
    Scratch_Dir::write(raw_path, "old raw");
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    struct rlimit small = old_limit;
    small.rlim_cur = 1000;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStdout();
    int wav_result = wav.save_sample(wav_path.c_str(), 0);
    int raw_result = raw.save_sample(raw_path.c_str(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(wav_result, -1);
    EXPECT_EQ(raw_result, -1);
    EXPECT_NE(out.find("Error writing to file!!!"), std::string::npos);
    EXPECT_EQ(Scratch_Dir::read(wav_path), "old wav");
    EXPECT_EQ(Scratch_Dir::read(raw_path), "old raw");
}

}  // namespace
