#include <gtest/gtest.h>

#include <climits>

#include "common/components/audio/effect_stereo_enhancer.h"
#include "support/effect_blocks.h"

TEST(EffectStereoEnhancer, FeedsEachChannelTheOtherOnceDelayed) {
    Effect_Stereo_Enhancer se; // 10 ms, feedback 50
    const int n = 441 * 3;
    std::vector<int> b = stereo_block(n);
    b[0] = sample16(1000);
    se.process_buffer(b.data(), n, true, 44100);
    EXPECT_EQ(se.get_line_length(), 441);
    EXPECT_EQ(left_at(b, 0), sample16(1000));
    EXPECT_EQ(right_at(b, 441), 1000 * 32767); // g = 50 * 65535 / 100
    EXPECT_EQ(left_at(b, 441), 0);
    for (int k = 442; k < n; k++) ASSERT_EQ(right_at(b, k), 0) << "not recursive";
}

TEST(EffectStereoEnhancer, LineFollowsRateAndSumsClip) {
    Effect_Stereo_Enhancer se;
    std::vector<int> b = stereo_block(500, sample16(32767), sample16(32767));
    se.process_buffer(b.data(), 500, true, 22050);
    EXPECT_EQ(se.get_line_length(), 220);
    EXPECT_EQ(left_at(b, 300), INT_MAX);
    EXPECT_EQ(right_at(b, 300), INT_MAX);
}
