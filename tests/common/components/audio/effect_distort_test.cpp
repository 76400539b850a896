#include <gtest/gtest.h>

#include <climits>

#include "common/components/audio/effect_distort.h"
#include "support/effect_blocks.h"

namespace {
void set_prop(Effect& e, int index, int value) {
    static_cast<Int_Property_Bridge*>(e.get_properties()[index])->set(value);
}
} // namespace

TEST(EffectDistort, ClipFiftyLimitsToHalfScale) {
    Effect_Distort d;
    set_prop(d, 1, 50);
    std::vector<int> b = {INT_MAX, INT_MIN, sample16(1000), sample16(-1000)};
    d.process_buffer(b.data(), 2, true, 44100);
    EXPECT_EQ(b[0], 1073741824);
    EXPECT_EQ(b[1], -1073741824);
    EXPECT_EQ(b[2], sample16(1000));
    EXPECT_EQ(b[3], sample16(-1000));
}

TEST(EffectDistort, ClipZeroLimitAndGainSaturateInsteadOfWrapping) {
    Effect_Distort d;
    set_prop(d, 0, 200);
    std::vector<int> b = {0x7FFF0000, (int)0x80010000, sample16(100), sample16(-100)};
    d.process_buffer(b.data(), 2, true, 44100);
    EXPECT_EQ(b[0], 2147450880);
    EXPECT_EQ(b[1], -2147450880);
    EXPECT_EQ(b[2], sample16(200));
    EXPECT_EQ(b[3], sample16(-200));
}

TEST(EffectDistort, ClipHundredSilencesAndMonoTouchesOneValuePerFrame) {
    Effect_Distort d;
    set_prop(d, 1, 100);
    std::vector<int> b = {sample16(1000), sample16(1000), sample16(1000)};
    d.process_buffer(b.data(), 2, false, 44100);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[2], sample16(1000));
}
