#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "common/components/audio/sample_data.h"
#include "loaders/loader_wav.h"
#include "support/byte_builder.h"
#include "support/scratch_dir.h"
#include "trackercore/song.h"

namespace {

Byte_Builder fmt_chunk(int channels, int rate, int bytes_per_frame, int bits, int tag = 1) {
    Byte_Builder b;
    b.text("fmt ").u32(16).u16(tag).u16(channels).u32(rate).u32(rate * bytes_per_frame).u16(bytes_per_frame).u16(bits);
    return b;
}

Byte_Builder data_chunk(const std::string& bytes) {
    Byte_Builder b;
    b.text("data").u32((unsigned)bytes.size()).text(bytes);
    return b;
}

std::string riff(const std::string& chunks) {
    Byte_Builder b;
    b.text("RIFF").u32((unsigned)chunks.size() + 4).text("WAVE").text(chunks);
    return b.bytes;
}

class LoaderWav : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        loader.set_song(&song);
    }
    std::string write(const std::string& bytes) {
        std::string path = dir.file("s" + std::to_string(++count) + ".wav");
        Scratch_Dir::write(path, bytes);
        return path;
    }
    // Loads quietly, returning the error and what was printed.
    Loader::Error load(const std::string& bytes, int slot, std::string* printed = nullptr) {
        testing::internal::CaptureStdout();
        Loader::Error e = loader.load_sample(write(bytes).c_str(), slot);
        std::string out = testing::internal::GetCapturedStdout();
        if (printed) *printed = out;
        return e;
    }
    Scratch_Dir dir;
    Song song;
    Loader_WAV loader;
    int count = 0;
};

TEST_F(LoaderWav, Mono16Bit) {
    Byte_Builder frames;
    frames.u16(1000).u16(0x8000).u16(0x7FFF);
    std::string path = write(riff(fmt_chunk(1, 22050, 2, 16).bytes + data_chunk(frames.bytes).bytes));
    ASSERT_EQ(loader.load_sample(path.c_str(), 4), Loader::SUCCESS);
    EXPECT_FALSE(loader.is_busy());
    Sample& s = *song.get_sample(4);
    EXPECT_TRUE(s.in_use);
    // Named after the file, never its folder.
    EXPECT_EQ(s.name, "s1");
    EXPECT_EQ(s.filename, "s1.wav");
    ASSERT_EQ(s.data.get_size(), 3);
    EXPECT_TRUE(s.data.is_16bit());
    EXPECT_EQ(s.data.get_c5_freq(), 22050);
    const short* w = static_cast<const short*>(s.data.get_data_ptr());
    EXPECT_EQ(w[0], 1000);
    EXPECT_EQ(w[1], -32768);
    EXPECT_EQ(w[2], 32767);
}

TEST_F(LoaderWav, Mono8BitIsMadeSigned) {
    std::string path = write(riff(fmt_chunk(1, 8000, 1, 8).bytes + data_chunk(std::string("\x80\x00\xFF", 3)).bytes));
    std::unique_ptr<Sample_Data> data(loader.load_sample(path.c_str()));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->get_size(), 3);
    EXPECT_FALSE(data->is_16bit());
    const signed char* b = static_cast<const signed char*>(data->get_data_ptr());
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], -128);
    EXPECT_EQ(b[2], 127);
    EXPECT_FALSE(song.get_sample(0)->in_use);
}

TEST_F(LoaderWav, StereoKeepsTheLeftChannel) {
    Byte_Builder frames;
    for (int i = 0; i < 1000; ++i) frames.u16(i).u16(-i & 0xFFFF);
    ASSERT_EQ(load(riff(fmt_chunk(2, 44100, 4, 16).bytes + data_chunk(frames.bytes).bytes), 0), Loader::SUCCESS);
    const Sample_Data& data = song.get_sample(0)->data;
    ASSERT_EQ(data.get_size(), 1000);
    EXPECT_TRUE(data.is_16bit());
    EXPECT_EQ(static_cast<const short*>(data.get_data_ptr())[999], 999);

    Byte_Builder bytes8;
    bytes8.u8(0x90).u8(0x10).u8(0x70).u8(0x10);
    ASSERT_EQ(load(riff(fmt_chunk(2, 8000, 2, 8).bytes + data_chunk(bytes8.bytes).bytes), 1), Loader::SUCCESS);
    const Sample_Data& d8 = song.get_sample(1)->data;
    ASSERT_EQ(d8.get_size(), 2);
    EXPECT_EQ(static_cast<const signed char*>(d8.get_data_ptr())[0], 16);
    EXPECT_EQ(static_cast<const signed char*>(d8.get_data_ptr())[1], -16);
}

TEST_F(LoaderWav, OtherChunksAreSkippedWithTheirPadByte) {
    Byte_Builder list;
    list.text("LIST").u32(5).text("INFOx").u8(0);  // odd size: one pad byte follows
    std::string file = riff(fmt_chunk(1, 8000, 1, 8).bytes + list.bytes + data_chunk("\x81\x82").bytes);
    ASSERT_EQ(load(file, 0), Loader::SUCCESS);
    ASSERT_EQ(song.get_sample(0)->data.get_size(), 2);
    EXPECT_EQ(static_cast<const signed char*>(song.get_sample(0)->data.get_data_ptr())[1], 2);
}

TEST_F(LoaderWav, FailuresSayWhyAndLeaveTheSlotAlone) {
    song.get_sample(0)->name = "keep";
    song.get_sample(0)->in_use = true;
    std::string out;
    EXPECT_EQ(load(riff(data_chunk("\x80").bytes + fmt_chunk(1, 8000, 1, 8).bytes), 0, &out), Loader::HEADER_CORRUPT);
    EXPECT_NE(out.find("load chunk fatal: format chunk not defined before data chunk, I don't know how to load this sorry!"),
              std::string::npos);
    EXPECT_NE(out.find("load sample fatal: I thought I could load this sample, now I realize that I can't. I'm sorry."),
              std::string::npos);
    EXPECT_EQ(load(riff(fmt_chunk(1, 8000, 3, 24).bytes + data_chunk("abc").bytes), 0, &out), Loader::HEADER_CORRUPT);
    EXPECT_NE(out.find("this mono sample says its 24bit"), std::string::npos);
    EXPECT_EQ(load(riff(fmt_chunk(3, 8000, 3, 8).bytes), 0, &out), Loader::HEADER_CORRUPT);
    EXPECT_NE(out.find("this file has 3 channels, I can't deal with it sorry"), std::string::npos);
    EXPECT_EQ(load(riff(fmt_chunk(1, 8000, 2, 16, 3).bytes), 0, &out), Loader::HEADER_CORRUPT);
    EXPECT_NE(out.find("one isn't one"), std::string::npos);
    EXPECT_EQ(load(riff(fmt_chunk(1, -5, 2, 16).bytes), 0, &out), Loader::HEADER_CORRUPT);
    EXPECT_NE(out.find("wack sample rate"), std::string::npos);
    // Ends before any data chunk.
    EXPECT_EQ(load(riff(fmt_chunk(1, 8000, 1, 8).bytes), 0, &out), Loader::HEADER_CORRUPT);
    Byte_Builder negative;
    negative.text("data").u32(0x80000000u);
    EXPECT_EQ(load(riff(fmt_chunk(1, 8000, 1, 8).bytes + negative.bytes), 0, &out), Loader::HEADER_CORRUPT);
    EXPECT_NE(out.find("size < 0 loading sample data"), std::string::npos);
    // A skipped chunk whose size runs past the end.
    Byte_Builder runaway;
    runaway.text("junk").u32(1000).text("xx");
    EXPECT_EQ(load(riff(fmt_chunk(1, 8000, 1, 8).bytes + runaway.bytes), 0, &out), Loader::HEADER_CORRUPT);
    EXPECT_EQ(load("RIFX and more", 0), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(loader.load_sample(dir.file("missing.wav").c_str(), 0), Loader::FILE_ERROR);
    EXPECT_EQ(loader.load_sample(dir.file("missing.wav").c_str()), nullptr);
    EXPECT_EQ(song.get_sample(0)->name, "keep");
    EXPECT_FALSE(loader.is_busy());
}

TEST_F(LoaderWav, DataPastTheEndKeepsWhatIsThere) {
    Byte_Builder data;
    data.text("data").u32(1000).u16(5).u16(6).u8(7);
    ASSERT_EQ(load(riff(fmt_chunk(1, 8000, 2, 16).bytes + data.bytes), 0), Loader::SUCCESS);
    ASSERT_EQ(song.get_sample(0)->data.get_size(), 2);
    EXPECT_EQ(static_cast<const short*>(song.get_sample(0)->data.get_data_ptr())[1], 6);
}

TEST_F(LoaderWav, EveryTruncationFailsCleanlyOrKeepsWholeFrames) {
    Byte_Builder frames;
    for (int i = 0; i < 20; ++i) frames.u16(i * 100);
    Byte_Builder list;
    list.text("LIST").u32(4).text("INFO");
    std::string full = riff(fmt_chunk(1, 8000, 2, 16).bytes + list.bytes + data_chunk(frames.bytes).bytes);
    size_t data_body = full.size() - frames.size();
    for (size_t cut = 0; cut < full.size(); ++cut) {
        Loader::Error e = load(full.substr(0, cut), 0);
        if (cut < 4)
            EXPECT_EQ(e, Loader::FILE_FORMAT_NOT_RECOGNIZED) << cut;
        else if (cut < data_body)
            EXPECT_EQ(e, Loader::HEADER_CORRUPT) << cut;
        else
            EXPECT_EQ(song.get_sample(0)->data.get_size(), (int)(cut - data_body) / 2) << cut;
    }
}

TEST_F(LoaderWav, NeverChosenForSongsOrStaging) {
    std::string path = write(riff(fmt_chunk(1, 8000, 1, 8).bytes + data_chunk("\x80").bytes));
    EXPECT_FALSE(loader.test(path.c_str()));
    testing::internal::CaptureStdout();
    EXPECT_EQ(loader.load(path.c_str(), true), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(loader.get_sample_data(0), nullptr);
    EXPECT_EQ(loader.load_instrument(path.c_str(), 0), Loader::FILE_ERROR);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("load: unexpected method invocation"), std::string::npos);
    EXPECT_NE(out.find("get_sample_data: unexpected method invocation"), std::string::npos);
    EXPECT_NE(out.find("load_instrument: unexpected method invocation"), std::string::npos);
}

}  // namespace
