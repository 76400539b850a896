#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "common/components/audio/freeverb_effect.h"
#include "support/effect_blocks.h"

namespace {
enum { ROOM, DAMPING, WET, DRY, WIDTH };
void set_prop(Effect& e, int index, int value) {
    static_cast<Int_Property_Bridge*>(e.get_properties()[index])->set(value);
}
double energy(const std::vector<int>& b, int from, int to) {
    double e = 0;
    for (int k = from * 2; k < to * 2; k++) e += std::pow((double)(b[k] >> 16), 2);
    return e;
}
} // namespace

TEST(FreeverbEffect, SilenceInIsSilenceOut) {
    Freeverb_Effect reverb;
    std::vector<int> b = stereo_block(20000);
    reverb.process_buffer(b.data(), 20000, true, 44100);
    for (int v : b) ASSERT_EQ(v, 0);
}

TEST(FreeverbEffect, ImpulseLeavesADecayingTail) {
    Freeverb_Effect reverb;
    const int n = 44100 * 4;
    std::vector<int> b = stereo_block(n);
    b[0] = b[1] = sample16(30000);
    // Longer than the work buffers, so the chunking is exercised too.
    reverb.process_buffer(b.data(), n, true, 44100);
    EXPECT_EQ(left_at(b, 0), 0) << "dry amount defaults to 0";
    EXPECT_EQ(energy(b, 0, 1000), 0) << "nothing before the shortest comb";
    const double early = energy(b, 1000, 44100);
    const double middle = energy(b, 44100, 88200);
    const double late = energy(b, 132300, n);
    EXPECT_GT(early, 0);
    EXPECT_GT(early, middle);
    EXPECT_GT(middle, late);

    reverb.reset();
    std::vector<int> silent = stereo_block(4096);
    reverb.process_buffer(silent.data(), 4096, true, 44100);
    for (int v : silent) ASSERT_EQ(v, 0) << "reset mutes the tail";
}

TEST(FreeverbEffect, DryPathScalesAndClips) {
    Freeverb_Effect reverb;
    set_prop(reverb, WET, 0);
    set_prop(reverb, DRY, 127);
    std::vector<int> b = stereo_block(4, sample16(1000), sample16(32767));
    b[2] = sample16(-32768);
    reverb.process_buffer(b.data(), 4, true, 44100);
    EXPECT_EQ(left_at(b, 0), sample16(1300)); // 1000 * 0.65 * 2
    EXPECT_EQ(right_at(b, 0), sample16(32767));
    EXPECT_EQ(left_at(b, 1), sample16(-32768));
}

TEST(FreeverbEffect, PropertyChangesApplyAtTheNextBlock) {
    Freeverb_Effect reverb;
    std::vector<int> b = stereo_block(8, sample16(1000), sample16(1000));
    reverb.process_buffer(b.data(), 8, true, 44100);
    EXPECT_EQ(left_at(b, 0), 0);
    set_prop(reverb, DRY, 127);
    b = stereo_block(8, sample16(1000), sample16(1000));
    reverb.process_buffer(b.data(), 8, true, 44100);
    EXPECT_EQ(left_at(b, 0), sample16(1300));
}
