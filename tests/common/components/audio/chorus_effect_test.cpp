#include <gtest/gtest.h>

#include "common/components/audio/chorus_effect.h"
#include "support/effect_blocks.h"

namespace {
enum { VOICES, DELAY, SPEED, DEPTH, WET, DRY, WIDTH };
void set_prop(Effect& e, int index, int value) {
    static_cast<Int_Property_Bridge*>(e.get_properties()[index])->set(value);
}
// Long enough for the 20 ms voice (about 882 frames) to reach steady signal.
const int FRAMES = 4096;
} // namespace

TEST(ChorusEffect, OneVoiceWithoutWidthAddsOnlyTheStraightPath) {
    Chorus_Effect chorus;
    set_prop(chorus, WIDTH, 0);
    set_prop(chorus, WET, 127);
    set_prop(chorus, DRY, 0);
    std::vector<int> b = stereo_block(FRAMES, sample16(1000), 0);
    chorus.process_buffer(b.data(), FRAMES, true, 44100);
    EXPECT_EQ(left_at(b, 0), 0) << "nothing before the delay has passed";
    EXPECT_EQ(left_at(b, 800), 0);
    for (int k = 1000; k < FRAMES; k++) {
        ASSERT_EQ(left_at(b, k), 1000 * 65535) << k;
        ASSERT_EQ(right_at(b, k), 0) << k;
    }
}

TEST(ChorusEffect, FullWidthCrossesAndOddVoicesMirrorIt) {
    Chorus_Effect one;
    set_prop(one, WIDTH, 64);
    set_prop(one, WET, 127);
    set_prop(one, DRY, 0);
    std::vector<int> b = stereo_block(FRAMES, sample16(1000), 0);
    one.process_buffer(b.data(), FRAMES, true, 44100);
    EXPECT_EQ(left_at(b, 3000), 0);
    EXPECT_EQ(right_at(b, 3000), 1000 * 65535);

    Chorus_Effect two;
    set_prop(two, VOICES, 2);
    set_prop(two, WIDTH, 64);
    set_prop(two, WET, 127);
    set_prop(two, DRY, 0);
    b = stereo_block(FRAMES, sample16(1000), 0);
    two.process_buffer(b.data(), FRAMES, true, 44100);
    // Voice 1 runs at width -64: twice the straight path, the cross path inverted.
    EXPECT_EQ(left_at(b, 3000), 1000 * 131070);
    EXPECT_EQ(right_at(b, 3000), 1000 * 65535 - 1000 * 65535);
}

TEST(ChorusEffect, DryPathAndContinuityAcrossBlocks) {
    Chorus_Effect whole, split;
    for (Chorus_Effect* c : {&whole, &split}) set_prop(*c, VOICES, 3);
    std::vector<int> in(FRAMES * 2);
    for (int k = 0; k < FRAMES * 2; k++) in[k] = sample16((k * 37) % 20000 - 10000);
    std::vector<int> a = in, b = in;
    whole.process_buffer(a.data(), FRAMES, true, 44100);
    split.process_buffer(b.data(), 1000, true, 44100);
    split.process_buffer(b.data() + 2000, FRAMES - 1000, true, 44100);
    // The LFO clock advances per block rather than per frame, so allow a rounding step.
    for (int k = 0; k < FRAMES * 2; k++) ASSERT_NEAR(a[k], b[k], 2 * 65536) << k;

    Chorus_Effect dry_only;
    set_prop(dry_only, WET, 0);
    set_prop(dry_only, DRY, 127);
    std::vector<int> c = stereo_block(16, sample16(-500), sample16(700));
    dry_only.process_buffer(c.data(), 16, true, 44100);
    EXPECT_EQ(left_at(c, 5), -500 * 65535);
    EXPECT_EQ(right_at(c, 5), 700 * 65535);
}

TEST(ChorusEffect, LineIsAPowerOfTwoAboveTheLongestDelay) {
    Chorus_Effect chorus;
    std::vector<int> b = stereo_block(64);
    chorus.process_buffer(b.data(), 64, true, 44100);
    EXPECT_EQ(chorus.get_line_frames(), 32768); // (20 + 40) * 44.1 + 30000 = 32646
    set_prop(chorus, VOICES, 5);
    set_prop(chorus, DELAY, 127);
    set_prop(chorus, DEPTH, 127);
    chorus.process_buffer(b.data(), 64, true, 44100);
    EXPECT_EQ(chorus.get_line_frames(), 131072);
}
