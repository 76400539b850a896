#include <gtest/gtest.h>

#include <climits>

#include "common/components/audio/effect_amp.h"
#include "support/effect_blocks.h"

namespace {
Int_Property_Bridge* amp_of(Effect& e) { return static_cast<Int_Property_Bridge*>(e.get_properties()[0]); }
} // namespace

TEST(EffectAmp, HundredPercentClearsOnlyTheLowestEightBits) {
    Effect_Amp amp;
    std::vector<int> b = {0x12345678, -0x12345678, 255, -1};
    amp.process_buffer(b.data(), 2, true, 44100);
    EXPECT_EQ(b[0], 0x12345600);
    EXPECT_EQ(b[1], -0x12345678 & ~0xFF);
    EXPECT_EQ(b[2], 0);
    EXPECT_EQ(b[3], -256);
}

TEST(EffectAmp, TwoHundredDoublesAndWrapsOnOverflow) {
    Effect_Amp amp;
    amp_of(amp)->set(200);
    std::vector<int> b = {sample16(1000), sample16(-1000), 0x40000000, 0x60000000};
    amp.process_buffer(b.data(), 2, true, 44100);
    EXPECT_EQ(b[0], sample16(2000));
    EXPECT_EQ(b[1], sample16(-2000));
    EXPECT_EQ(b[2], INT_MIN);
    EXPECT_EQ(b[3], (int)0xC0000000);
}

TEST(EffectAmp, ZeroSilencesAndMonoTouchesOneValuePerFrame) {
    Effect_Amp amp;
    amp_of(amp)->set(0);
    std::vector<int> b = {sample16(1000), sample16(1000), sample16(1000)};
    amp.process_buffer(b.data(), 2, false, 44100);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[2], sample16(1000));
}
