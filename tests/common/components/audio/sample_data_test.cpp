#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/components/audio/sample_data.h"

namespace {

Sample_Data make_data(int frames, bool is_16bit) {
    Sample_Data data;
    data.set_data_ptr(std::calloc(frames, is_16bit ? 2 : 1), frames, is_16bit);
    return data;
}

short frame16(const Sample_Data& data, int i) { return static_cast<const short*>(data.get_data_ptr())[i]; }
signed char frame8(const Sample_Data& data, int i) { return static_cast<const signed char*>(data.get_data_ptr())[i]; }

}  // namespace

TEST(SampleData, NewDataDefaults) {
    Sample_Data data;
    EXPECT_EQ(data.get_c5_freq(), 44100);
    EXPECT_EQ(data.get_size(), 0);
    EXPECT_EQ(data.get_data_ptr(), nullptr);
    EXPECT_FALSE(data.is_16bit());
    EXPECT_FLOAT_EQ(data.get_sample(0), 0.0f);
}

TEST(SampleData, GetSampleScales) {
    Sample_Data wide = make_data(2, true);
    static_cast<short*>(wide.get_data_ptr())[0] = -32768;
    EXPECT_EQ(wide.get_sample(0), -1.0f);
    Sample_Data narrow = make_data(2, false);
    static_cast<signed char*>(narrow.get_data_ptr())[1] = 127;
    EXPECT_EQ(narrow.get_sample(1), 0.9921875f);
    EXPECT_EQ(narrow.get_sample(2), 0.0f);
    EXPECT_EQ(narrow.get_sample(-1), 0.0f);
}

TEST(SampleData, SetSampleClampsAndTruncates) {
    Sample_Data wide = make_data(4, true);
    wide.set_sample(0, 1.0f);
    wide.set_sample(1, -2.0f);
    wide.set_sample(2, 0.5f);
    wide.set_sample(3, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(frame16(wide, 0), 32767);
    EXPECT_EQ(frame16(wide, 1), -32768);
    EXPECT_EQ(frame16(wide, 2), 16384);
    EXPECT_EQ(frame16(wide, 3), 0);

    Sample_Data narrow = make_data(3, false);
    narrow.set_sample(0, 1.0f);
    narrow.set_sample(1, -2.0f);
    narrow.set_sample(2, 0.5f);
    narrow.set_sample(3, 0.5f);  // past the end: ignored
    EXPECT_EQ(frame8(narrow, 0), 127);
    EXPECT_EQ(frame8(narrow, 1), -128);
    EXPECT_EQ(frame8(narrow, 2), 64);
}

TEST(SampleData, ToggleQualityRoundTrips) {
    Sample_Data narrow = make_data(256, false);
    for (int i = 0; i < 256; i++) static_cast<signed char*>(narrow.get_data_ptr())[i] = (signed char)(i - 128);
    narrow.toggle_quality();
    ASSERT_TRUE(narrow.is_16bit());
    EXPECT_EQ(frame16(narrow, 0), -32768);
    EXPECT_EQ(frame16(narrow, 255), 127 * 256);
    narrow.toggle_quality();
    ASSERT_FALSE(narrow.is_16bit());
    for (int i = 0; i < 256; i++) ASSERT_EQ(frame8(narrow, i), i - 128);

    Sample_Data wide = make_data(3, true);
    auto* frames = static_cast<short*>(wide.get_data_ptr());
    frames[0] = 0x1234;
    frames[1] = -2;
    frames[2] = 255;
    wide.toggle_quality();
    EXPECT_FALSE(wide.is_16bit());
    EXPECT_EQ(frame8(wide, 0), 0x12);
    EXPECT_EQ(frame8(wide, 1), -1);
    EXPECT_EQ(frame8(wide, 2), 0);
    EXPECT_EQ(wide.get_size(), 3);

    Sample_Data none;
    none.toggle_quality();
    EXPECT_FALSE(none.is_16bit());
}

TEST(SampleData, ChangeSignFlipsTopBitTwiceRestores) {
    Sample_Data wide = make_data(3, true);
    auto* frames = static_cast<short*>(wide.get_data_ptr());
    frames[0] = 0;
    frames[1] = -32768;
    frames[2] = 1000;
    wide.change_sign();
    EXPECT_EQ(frame16(wide, 0), -32768);
    EXPECT_EQ(frame16(wide, 1), 0);
    EXPECT_EQ(frame16(wide, 2), 1000 - 32768);
    wide.change_sign();
    EXPECT_EQ(frame16(wide, 2), 1000);

    Sample_Data narrow = make_data(2, false);
    static_cast<unsigned char*>(narrow.get_data_ptr())[0] = 200;  // unsigned 200 = signed 72
    narrow.change_sign();
    EXPECT_EQ(frame8(narrow, 0), 72);
}

TEST(SampleData, CopySampleDataIsDeepAndKeepsBaseFrequency) {
    Sample_Data source = make_data(50, true);
    source.set_sample(49, 0.25f);
    source.set_loop_enabled(true);
    source.set_loop_ping_pong(true);
    source.set_loop_begin(3);
    source.set_loop_end(40);
    source.set_c5_freq(8363);

    Sample_Data target = make_data(7, false);
    target.set_c5_freq(22050);
    target.copy_sample_data(&source);
    EXPECT_NE(target.get_data_ptr(), source.get_data_ptr());
    EXPECT_EQ(target.get_size(), 50);
    EXPECT_TRUE(target.is_16bit());
    EXPECT_FLOAT_EQ(target.get_sample(49), 0.25f);
    EXPECT_TRUE(target.is_loop_ping_pong());
    EXPECT_EQ(target.get_loop_begin(), 3);
    EXPECT_EQ(target.get_loop_end(), 40);
    EXPECT_EQ(target.get_c5_freq(), 22050);

    Sample_Data copied(source);
    EXPECT_EQ(copied.get_c5_freq(), 8363);
    EXPECT_NE(copied.get_data_ptr(), source.get_data_ptr());
    copied.set_sample(0, 1.0f);
    EXPECT_FLOAT_EQ(source.get_sample(0), 0.0f);
}

TEST(SampleData, SetDataPtrOwnsAndReleaseForgets) {
    Sample_Data data = make_data(10, false);
    void* replacement = std::calloc(20, 2);
    data.set_data_ptr(replacement, 20, true);  // the old block is freed (ASan checks)
    EXPECT_EQ(data.get_data_ptr(), replacement);
    EXPECT_EQ(data.get_byte_size(), 40);
    data.set_data_ptr(replacement);  // handing back the same block keeps it
    EXPECT_EQ(data.get_data_ptr(), replacement);
    data.release_data_ptr();
    EXPECT_EQ(data.get_data_ptr(), nullptr);
    std::free(replacement);
    data.set_data_ptr(nullptr, -5);
    EXPECT_EQ(data.get_size(), 0);
}
