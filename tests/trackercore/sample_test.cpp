#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "support/property_test_util.h"
#include "trackercore/sample.h"

namespace {

void fill_16bit(Sample& sample, int frames) {
    auto* block = static_cast<short*>(std::malloc(frames * 2));
    for (int i = 0; i < frames; i++) block[i] = (short)(i * 31 - 15000);
    sample.data.set_data_ptr(block, frames, true);
    sample.in_use = true;
}

}  // namespace

TEST(Sample, NewSampleIsEmptySlot) {
    Sample sample;
    EXPECT_FALSE(sample.in_use);
    EXPECT_EQ(sample.def_volume, 64);
    EXPECT_EQ(sample.glb_volume, 64);
    EXPECT_EQ(sample.def_panning, 32);
    EXPECT_EQ(sample.data.get_loop_end(), 5);
    EXPECT_EQ(sample.data.get_c5_freq(), 0);
    EXPECT_EQ(sample.data.get_data_ptr(), nullptr);
    EXPECT_EQ(sample.data.get_size(), 0);
}

TEST(Sample, PropertiesInOrderAndClamped) {
    Sample sample;
    EXPECT_EQ(property_names(sample.get_properties()),
              (std::vector<std::string>{"Name", "File Name", "Default Volume", "Global Volume",
                                        "Enable Default Pan", "Default Panning", "Vibrato Type",
                                        "Vibrato Speed", "Vibrato Depth", "Vibrato Rate"}));
    sample.def_volume_prop.set(99);
    EXPECT_EQ(sample.def_volume, 64);
    sample.vibrato_depth_prop.set(-4);
    EXPECT_EQ(sample.vibrato_depth, 0);
    sample.vibrato_depth_prop.set(70);
    EXPECT_EQ(sample.vibrato_depth, 64);
    sample.vibrato_rate_prop.set(300);
    EXPECT_EQ(sample.vibrato_rate, 255);
    EXPECT_EQ(sample.vibrato_type_prop.get_option_count(), 4);
    EXPECT_STREQ(sample.vibrato_type_prop.get_option_text(3), "Random");
    EXPECT_EQ(sample.vibrato_type_prop.get_option_text(4), nullptr);
}

TEST(Sample, CopyAssignmentGivesOwnBlock) {
    Sample source;
    source.name = "kick";
    source.def_volume = 40;
    source.vibrato_type = 2;
    fill_16bit(source, 1000);
    source.data.set_loop_enabled(true);
    source.data.set_loop_begin(10);
    source.data.set_loop_end(900);
    source.data.set_c5_freq(22050);

    Sample destination;
    fill_16bit(destination, 10);  // its own block must be freed, not leaked
    destination = source;
    ASSERT_NE(destination.data.get_data_ptr(), nullptr);
    EXPECT_NE(destination.data.get_data_ptr(), source.data.get_data_ptr());
    EXPECT_EQ(destination.data.get_byte_size(), 2000);
    EXPECT_EQ(std::memcmp(destination.data.get_data_ptr(), source.data.get_data_ptr(), 2000), 0);
    EXPECT_EQ(destination.name, "kick");
    EXPECT_EQ(destination.def_volume, 40);
    EXPECT_EQ(destination.vibrato_type, 2);
    EXPECT_TRUE(destination.in_use);
    EXPECT_TRUE(destination.data.is_loop_enabled());
    EXPECT_EQ(destination.data.get_loop_end(), 900);
    EXPECT_EQ(destination.data.get_c5_freq(), 22050);

    float frame = source.data.get_sample(500);
    destination.reset(true);
    EXPECT_FLOAT_EQ(source.data.get_sample(500), frame);
    expect_bridges_bound_to_own_fields(source.get_properties(), destination.get_properties());
}

TEST(Sample, CopyConstructorIsDeep) {
    Sample source;
    fill_16bit(source, 100);
    Sample copy(source);
    EXPECT_NE(copy.data.get_data_ptr(), source.data.get_data_ptr());
    EXPECT_EQ(copy.data.get_sample(99), source.data.get_sample(99));
    expect_bridges_bound_to_own_fields(source.get_properties(), copy.get_properties());
    copy = copy;  // self-assignment keeps the block
    EXPECT_EQ(copy.data.get_size(), 100);
    EXPECT_NE(copy.data.get_data_ptr(), nullptr);
}

TEST(Sample, ResetNotInUseLeavesLoopDefaults) {
    Sample sample;
    sample.reset(true);
    EXPECT_EQ(sample.data.get_loop_end(), 5);
    EXPECT_EQ(sample.data.get_c5_freq(), 0);
    EXPECT_FALSE(sample.in_use);
}

TEST(Sample, ResetWithoutFreeForgetsTheBlock) {
    Sample sample;
    fill_16bit(sample, 10);
    void* block = sample.data.get_data_ptr();
    sample.reset(false);
    EXPECT_EQ(sample.data.get_data_ptr(), nullptr);
    EXPECT_EQ(sample.data.get_size(), 0);
    EXPECT_FALSE(sample.data.is_16bit());
    std::free(block);  // ownership had passed to us
}

TEST(Sample, ResetFreesBlockOfUnusedSlot) {
    Sample sample;
    fill_16bit(sample, 10);
    sample.in_use = false;
    sample.reset(true);  // under ASan a forgotten block would show as a leak
    EXPECT_EQ(sample.data.get_data_ptr(), nullptr);
}
