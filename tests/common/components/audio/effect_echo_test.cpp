#include <gtest/gtest.h>

#include <climits>

#include "common/components/audio/effect_echo.h"
#include "support/effect_blocks.h"

namespace {
void set_prop(Effect& e, int index, int value) {
    static_cast<Int_Property_Bridge*>(e.get_properties()[index])->set(value);
}
const int DELAY = 11025; // 250 ms at 44100 Hz
} // namespace

TEST(EffectEcho, RepeatsDecayByFeedbackOnTheSameSide) {
    Effect_Echo echo; // 250 ms, separation 0, feedback 30
    std::vector<int> b = stereo_block(DELAY * 2 + 1);
    b[0] = sample16(1000);
    echo.process_buffer(b.data(), DELAY * 2 + 1, true, 44100);
    EXPECT_EQ(echo.get_line_length(), DELAY);
    EXPECT_EQ(left_at(b, 0), sample16(1000));
    EXPECT_EQ(left_at(b, DELAY - 1), 0);
    EXPECT_EQ(left_at(b, DELAY), 1000 * 19660); // B = 30 * 65535 / 100
    EXPECT_EQ(right_at(b, DELAY), 0);
    EXPECT_EQ(left_at(b, DELAY * 2), ((1000 * 19660) >> 16) * 19660);
    EXPECT_EQ(right_at(b, DELAY * 2), 0);
}

TEST(EffectEcho, FullSeparationPingPongs) {
    Effect_Echo echo;
    set_prop(echo, 1, 64);
    std::vector<int> b = stereo_block(DELAY * 2 + 1);
    b[0] = sample16(1000);
    echo.process_buffer(b.data(), DELAY * 2 + 1, true, 44100);
    EXPECT_EQ(left_at(b, DELAY), 0);
    EXPECT_EQ(right_at(b, DELAY), 1000 * 19660);
    EXPECT_EQ(left_at(b, DELAY * 2), ((1000 * 19660) >> 16) * 19660);
    EXPECT_EQ(right_at(b, DELAY * 2), 0);
}

TEST(EffectEcho, RateChangeRebuildsAndClearsTheLine) {
    Effect_Echo echo;
    std::vector<int> b = stereo_block(100);
    b[0] = sample16(1000);
    echo.process_buffer(b.data(), 100, true, 44100);
    EXPECT_EQ(echo.get_line_length(), DELAY);

    std::vector<int> silent = stereo_block(DELAY * 2);
    echo.process_buffer(silent.data(), DELAY * 2, true, 22050);
    EXPECT_EQ(echo.get_line_length(), 5512);
    for (int v : silent) ASSERT_EQ(v, 0) << "the pending repeat must be gone";
}

TEST(EffectEcho, NoFeedbackLeavesTheInputUnchanged) {
    Effect_Echo echo;
    set_prop(echo, 2, 0);
    std::vector<int> b = stereo_block(DELAY * 3, sample16(1234), sample16(-4321));
    const std::vector<int> in = b;
    echo.process_buffer(b.data(), DELAY * 3, true, 44100);
    EXPECT_EQ(b, in);
}

TEST(EffectEcho, LoudRepeatsClipInsteadOfWrapping) {
    Effect_Echo echo;
    set_prop(echo, 2, 80);
    std::vector<int> b = stereo_block(DELAY + 1, sample16(30000), sample16(-30000));
    echo.process_buffer(b.data(), DELAY + 1, true, 44100);
    EXPECT_EQ(left_at(b, DELAY), INT_MAX);
    EXPECT_EQ(right_at(b, DELAY), INT_MIN);
}

TEST(EffectEcho, DelayPropertyClampsAndResetClears) {
    Effect_Echo echo;
    auto* delay = static_cast<Int_Property_Bridge*>(echo.get_properties()[0]);
    delay->set(1000);
    EXPECT_EQ(delay->get(), 500);
    delay->set(1);
    std::vector<int> b = stereo_block(10);
    b[0] = sample16(1000);
    echo.process_buffer(b.data(), 10, true, 44100);
    EXPECT_EQ(echo.get_line_length(), 44);
    echo.reset();
    std::vector<int> silent = stereo_block(100);
    echo.process_buffer(silent.data(), 100, true, 44100);
    for (int v : silent) ASSERT_EQ(v, 0);
}
