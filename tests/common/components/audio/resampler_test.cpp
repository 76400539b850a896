#include <gtest/gtest.h>

#include <vector>

#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "support/sample_data_builder.h"

namespace {

// Runs one resampler call at a constant unit volume, so each output is the sample value.
std::vector<int> run(Resampler& r, const Sample_Data& sd, std::int64_t frame, int fraction, int increment,
                     int frames, Resampler::Mix_Data* md_in = nullptr) {
    std::vector<int> out(frames * 2, 0);
    Resampler::Mix_Data local;
    Resampler::Mix_Data& md = md_in ? *md_in : local;
    md.dest = out.data();
    md.sample_data = &sd;
    md.frame = frame;
    md.fraction = fraction;
    md.increment = increment;
    md.frames = frames;
    md.left_volume_start = md.left_volume_end = 1;
    md.right_volume_start = md.right_volume_end = 2;
    r.mix(&md);
    return out;
}

std::vector<int> lefts(const std::vector<int>& b) {
    std::vector<int> l;
    for (size_t i = 0; i < b.size(); i += 2) l.push_back(b[i]);
    return l;
}

} // namespace

TEST(Resampler, NamesAndInterpolation) {
    Resampler_Raw raw;
    Resampler_Linear linear;
    Resampler_Dummy dummy;
    EXPECT_EQ(raw.get_name(), "Raw");
    EXPECT_FALSE(raw.has_interpolation());
    EXPECT_EQ(linear.get_name(), "Linear");
    EXPECT_TRUE(linear.has_interpolation());
    EXPECT_EQ(dummy.get_name(), "None");
    auto sd = make_sample_16({100, 200});
    EXPECT_EQ(lefts(run(dummy, *sd, 0, 0, 2048, 2)), (std::vector<int>{0, 0}));
}

TEST(Resampler, RawTakesTheNearestLowerFrame) {
    Resampler_Raw raw;
    auto sd = make_sample_16({100, 200, 300, 400, 500});
    std::vector<int> out = run(raw, *sd, 0, 0, 1024, 6);
    EXPECT_EQ(lefts(out), (std::vector<int>{100, 100, 200, 200, 300, 300}));
    EXPECT_EQ(out[1], 200);  // right volume 2
    // From a base frame and a fraction, at one and a half frames per output frame.
    EXPECT_EQ(lefts(run(raw, *sd, 1, 1024, 3072, 3)), (std::vector<int>{200, 400, 500}));
}

TEST(Resampler, LinearInterpolatesBetweenFrames) {
    Resampler_Linear linear;
    std::vector<std::int16_t> data(40);
    for (size_t i = 0; i < data.size(); i++) data[i] = (std::int16_t)(i * 100);
    auto sd = make_sample_16(data);
    EXPECT_EQ(lefts(run(linear, *sd, 2, 512, 1024, 4)), (std::vector<int>{225, 275, 325, 375}));
    // Backwards from frame 10.
    EXPECT_EQ(lefts(run(linear, *sd, 10, 1024, -1024, 3)), (std::vector<int>{1050, 1000, 950}));
}

TEST(Resampler, EightBitDataIsScaledTo16Bit) {
    Resampler_Raw raw;
    Resampler_Linear linear;
    auto sd = make_sample_8({1, -2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    EXPECT_EQ(lefts(run(raw, *sd, 0, 0, 2048, 3)), (std::vector<int>{256, -512, 768}));
    EXPECT_EQ(lefts(run(linear, *sd, 0, 1024, 2048, 1)), (std::vector<int>{-128}));
}

TEST(Resampler, LinearNeverReadsPastTheLastFrame) {
    Resampler_Raw raw;
    Resampler_Linear linear;
    auto sd = make_sample_16({100, 200, 300, 400});
    // Positions 2.5, 3.0, 3.5: the last two would interpolate with a frame that is not there.
    EXPECT_EQ(lefts(run(linear, *sd, 2, 1024, 1024, 3)), lefts(run(raw, *sd, 2, 1024, 1024, 3)));
    // Backwards starting on the last frame.
    EXPECT_EQ(lefts(run(linear, *sd, 3, 1024, -1024, 4)), lefts(run(raw, *sd, 3, 1024, -1024, 4)));
    // Far from the end, interpolation is kept.
    std::vector<std::int16_t> ramp(64);
    for (size_t i = 0; i < ramp.size(); i++) ramp[i] = (std::int16_t)(i * 10);
    auto long_sd = make_sample_16(ramp);
    EXPECT_EQ(lefts(run(linear, *long_sd, 0, 1024, 2048, 2)), (std::vector<int>{5, 15}));
    // The guarded frames at the end are raw, the ones before still interpolate.
    std::vector<int> tail = lefts(run(linear, *long_sd, 40, 1024, 2048, 23));
    EXPECT_EQ(tail.front(), 405);
    EXPECT_EQ(tail.back(), 620);
}

TEST(Resampler, RunOutsideTheDataIsRefused) {
    Resampler_Raw raw;
    auto sd = make_sample_16({1, 2, 3, 4});
    EXPECT_EQ(lefts(run(raw, *sd, 3, 0, 2048, 3)), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(lefts(run(raw, *sd, -1, 0, 2048, 1)), (std::vector<int>{0}));
}

TEST(Resampler, VolumeRampsLinearlyToTheEndVolume) {
    Resampler_Raw raw;
    auto sd = make_sample_16(std::vector<std::int16_t>(100, 1000));
    std::vector<int> out(200, 0);
    Resampler::Mix_Data md;
    md.dest = out.data();
    md.sample_data = sd.get();
    md.increment = 2048;
    md.frames = 100;
    md.left_volume_start = 0;
    md.left_volume_end = 400;
    md.right_volume_start = 400;
    md.right_volume_end = 0;
    raw.mix(&md);
    EXPECT_EQ(out[0], 4 * 1000);      // the first frame already takes one step
    EXPECT_EQ(out[198], 400 * 1000);  // ends on the end volume
    EXPECT_EQ(out[199], 0);
    for (int f = 1; f < 100; f++) {
        EXPECT_GT(out[2 * f], out[2 * f - 2]);
        EXPECT_LT(out[2 * f + 1], out[2 * f - 1]);
    }
}

TEST(Resampler, FilterFollowsItsRecurrenceAcrossCalls) {
    std::vector<std::int16_t> data(64);
    for (size_t i = 0; i < data.size(); i++) data[i] = (std::int16_t)((i % 7) * 3000 - 9000);
    auto sd = make_sample_16(data);
    const int a0 = 1500, b0 = 3400, b1 = -1000;

    std::vector<int> expected;
    int y1 = 0, y2 = 0;
    for (int i = 0; i < 40; i++) {
        int y = (data[i] * a0 + y1 * b0 + y2 * b1) >> 12;
        y2 = y1;
        y1 = y;
        expected.push_back(y);
    }

    {
        Resampler_Raw raw;
        Resampler::Mix_Data md;
        md.filter_on = 1;
        md.a0 = a0;
        md.b0 = b0;
        md.b1 = b1;
        std::vector<int> got = lefts(run(raw, *sd, 0, 0, 2048, 25, &md));
        std::vector<int> rest = lefts(run(raw, *sd, 25, 0, 2048, 15, &md));
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(got, expected);
    }

    // Unity coefficients pass the signal unchanged, linear or raw.
    Resampler_Linear linear;
    Resampler::Mix_Data md;
    md.filter_on = 1;
    md.a0 = 4096;
    EXPECT_EQ(lefts(run(linear, *sd, 0, 1024, 1024, 8, &md)), lefts(run(linear, *sd, 0, 1024, 1024, 8)));
}

TEST(Resampler, ResonantFilterIsHeldWithin16Bits) {
    Resampler_Raw raw;
    auto sd = make_sample_16(std::vector<std::int16_t>(32, 32767));
    Resampler::Mix_Data md;
    md.filter_on = 1;
    md.a0 = 4096;
    md.b0 = 4000;  // strong feedback
    md.b1 = 0;
    std::vector<int> out = lefts(run(raw, *sd, 0, 0, 2048, 32, &md));
    for (int v : out) EXPECT_LE(v, 32767);
    EXPECT_EQ(out.back(), 32767);
}

TEST(ResamplerManager, RegistryDefaultsAndBounds) {
    Resampler_Manager manager;
    Resampler_Raw raw;
    Resampler_Linear linear;
    EXPECT_EQ(manager.get_resampler_count(), 0);
    EXPECT_EQ(manager.get_resampler(0), nullptr);
    manager.register_resampler(&raw);
    manager.register_resampler(&linear);
    EXPECT_EQ(manager.get_resampler_count(), 2);
    EXPECT_EQ(manager.get_default_resampler(), 1);  // the last registered
    manager.set_default_resampler(0);
    EXPECT_EQ(manager.get_default_resampler(), 0);
    manager.set_default_resampler(2);
    manager.set_default_resampler(-1);
    EXPECT_EQ(manager.get_default_resampler(), 0);
    EXPECT_EQ(manager.get_resampler(1), &linear);
    EXPECT_EQ(manager.get_resampler(-1), nullptr);
}

TEST(ResamplerManager, FirstManagerIsTheProcessWideOne) {
    Resampler_Manager* before = Resampler_Manager::get_resampler_manager();
    {
        Resampler_Manager a;
        Resampler_Manager b;
        Resampler_Manager* expected = before ? before : &a;
        EXPECT_EQ(Resampler_Manager::get_resampler_manager(), expected);
    }
    EXPECT_EQ(Resampler_Manager::get_resampler_manager(), before);
}

// The CPU-specific inner loops must give exactly what the portable ones give, for every
// instantiation, with ramps, steady volumes, the filter and loud sums that saturate; forwards
// and backwards, at steps that take each of the wide loop's read paths, for runs of every
// length modulo eight, and for runs that end next to the end of the data.
TEST(Resampler, CpuSpecificLoopsMatchThePortableOnes) {
    const int size = 5000;
    std::vector<std::int16_t> d16(size);
    std::vector<std::int8_t> d8(size);
    for (int i = 0; i < size; i++) {
        d16[i] = (std::int16_t)(((i * 7919) % 65536) - 32768);
        d8[i] = (std::int8_t)(((i * 31) % 256) - 128);
    }
    auto s16 = make_sample_16(d16);
    auto s8 = make_sample_8(d8);
    Resampler_Raw raw;
    Resampler_Linear linear;

    struct Run {
        int increment;
        int frames;
        bool at_data_end;  // forwards: the run's last frame is the data's last; backwards: its first
    };
    const Run runs[] = {
        {2048, 1900, false}, {1333, 1900, false}, {5100, 900, false},  {-1333, 1900, false},
        {-3000, 1500, false}, {4096, 1100, false}, {4095, 1003, false}, {3001, 1005, true},
        {700, 1501, true},    {2048, 9, true},      {-2048, 600, true},  {-4096, 1000, true},
        {9000, 333, true},    {1, 7, false},        {2047, 1, false},   {-700, 14, true},
    };

    auto render = [&](Resampler& r, const Sample_Data& sd, bool filter, bool ramp, const Run& run) {
        std::vector<int> out(2 * run.frames, 1 << 30);  // near the top, so sums saturate
        const std::int64_t span = ((std::int64_t)std::abs(run.increment) * (run.frames - 1) + 2047) / 2048;
        Resampler::Mix_Data md;
        md.dest = out.data();
        md.sample_data = &sd;
        md.fraction = run.at_data_end ? 0 : 517;
        if (run.increment > 0)
            md.frame = run.at_data_end ? size - 1 - span : 3;
        else
            md.frame = run.at_data_end ? size - 1 : span + 3;
        md.increment = run.increment;
        md.frames = run.frames;
        md.left_volume_start = 120;
        md.left_volume_end = ramp ? 900 : 120;
        md.right_volume_start = 4000;
        md.right_volume_end = ramp ? 7 : 4000;
        md.filter_on = filter ? 1 : 0;
        md.a0 = 2100;
        md.b0 = 3000;
        md.b1 = -900;
        r.mix(&md);
        return out;
    };

    for (Resampler* r : {(Resampler*)&raw, (Resampler*)&linear})
        for (const Sample_Data* sd : {s16.get(), s8.get()})
            for (bool filter : {false, true})
                for (bool ramp : {false, true})
                    for (const Run& run : runs) {
                        resampler_use_cpu_extensions(false);
                        std::vector<int> portable = render(*r, *sd, filter, ramp, run);
                        ASSERT_NE(portable, std::vector<int>(portable.size(), 1 << 30)) << "nothing was mixed";
                        bool extensions = resampler_use_cpu_extensions(true);
                        std::vector<int> fast = render(*r, *sd, filter, ramp, run);
                        ASSERT_EQ(portable, fast) << r->get_name() << " 16-bit " << sd->is_16bit() << " filter "
                                                  << filter << " ramp " << ramp << " step " << run.increment
                                                  << " frames " << run.frames << " at end " << run.at_data_end
                                                  << " extensions " << extensions;
                    }
}
