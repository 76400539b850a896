#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "common/components/data/audio_thread_log.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "common/components/audio/tracker_voice.h"
#include "support/sample_data_builder.h"

namespace {

// A voice playing at one frame per output frame through a chosen resampler, hard left,
// so the left output is 255 x the sample value.
struct Voice_Rig {
    Resampler_Manager manager;
    Resampler_Raw raw;
    Resampler_Linear linear;
    Tracker_Voice voice;

    explicit Voice_Rig(bool use_linear = false) {
        manager.register_resampler(&raw);
        manager.register_resampler(&linear);
        manager.set_default_resampler(use_linear ? 1 : 0);
        voice.set_resampler(&manager, -1);
        voice.set_mix_frequency(44100);
        voice.set_frequency(44100);
        voice.set_volume(256);
        voice.set_panning(0);
    }

    std::vector<int> block(int frames) {
        std::vector<int> out(frames * 2, 0);
        voice.mix(frames, out.data());
        std::vector<int> l;
        for (int f = 0; f < frames; f++) l.push_back(out[f * 2]);
        return l;
    }
};

std::vector<std::int16_t> counting(int n) {
    std::vector<std::int16_t> d(n);
    for (int i = 0; i < n; i++) d[i] = (std::int16_t)(i + 1);
    return d;
}

std::vector<int> scaled(std::vector<int> values, int by) {
    for (int& v : values) v *= by;
    return values;
}

} // namespace

TEST(TrackerVoice, PanSplitsTheVolume) {
    Voice_Rig rig;
    auto sd = make_sample_16(counting(64));
    rig.voice.setup_sample(sd.get(), 0);
    rig.voice.set_panning(128);
    rig.block(4);
    EXPECT_EQ(rig.voice.get_right_volume(), 128);
    EXPECT_EQ(rig.voice.get_left_volume(), 127);  // one step quieter at centre
    rig.voice.set_panning(512);
    rig.voice.set_volume(255);
    rig.block(4);
    EXPECT_EQ(rig.voice.get_left_volume(), 127);
    EXPECT_EQ(rig.voice.get_right_volume(), 127);
}

TEST(TrackerVoice, SampleWithoutLoopEndsOnItsLastFrame) {
    Voice_Rig rig;
    auto sd = make_sample_16(counting(8));
    rig.voice.setup_sample(sd.get(), 0);
    EXPECT_TRUE(rig.voice.is_active());
    EXPECT_EQ(rig.block(12), scaled({1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0}, 255));
    EXPECT_FALSE(rig.voice.is_active());
    EXPECT_EQ(rig.voice.get_current_sample_pos(), 0);

    // Ending exactly at the end of a block.
    rig.voice.setup_sample(sd.get(), 3);
    EXPECT_EQ(rig.block(5), scaled({4, 5, 6, 7, 8}, 255));
    EXPECT_FALSE(rig.voice.is_active());
    EXPECT_EQ(rig.voice.get_current_sample_pos(), 0);
}

TEST(TrackerVoice, ForwardLoopWraps) {
    Voice_Rig rig;
    auto sd = make_sample_16(counting(8));
    set_loop(*sd, 2, 6, false);
    rig.voice.setup_sample(sd.get(), 0);
    std::vector<int> got = rig.block(7);
    std::vector<int> more = rig.block(7);  // loop state carries across blocks
    got.insert(got.end(), more.begin(), more.end());
    EXPECT_EQ(got, scaled({1, 2, 3, 4, 5, 6, 3, 4, 5, 6, 3, 4, 5, 6}, 255));
    EXPECT_TRUE(rig.voice.is_active());
}

TEST(TrackerVoice, PingPongLoopTurnsAtBothEnds) {
    Voice_Rig rig;
    auto sd = make_sample_16(counting(8));
    set_loop(*sd, 2, 6, true);
    rig.voice.setup_sample(sd.get(), 0);
    EXPECT_EQ(rig.block(16), scaled({1, 2, 3, 4, 5, 6, 6, 5, 4, 3, 3, 4, 5, 6, 6, 5}, 255));
    // Loop points beyond the data are held to it.
    auto short_sd = make_sample_16(counting(4));
    set_loop(*short_sd, 1, 9, true);
    Voice_Rig linear(true);
    linear.voice.setup_sample(short_sd.get(), 0);
    linear.voice.set_frequency(44100 / 3);
    for (int v : linear.block(200)) {
        EXPECT_GE(v, 255 * 1);
        EXPECT_LE(v, 255 * 4);
    }
}

TEST(TrackerVoice, HalfSpeedLinearInterpolates) {
    Voice_Rig rig(true);
    auto sd = make_sample_16({0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 11000, 12000,
                              13000, 14000, 15000, 16000, 17000, 18000, 19000});
    rig.voice.setup_sample(sd.get(), 0);
    rig.voice.set_frequency(22050);
    EXPECT_EQ(rig.block(5), scaled({0, 500, 1000, 1500, 2000}, 255));
}

TEST(TrackerVoice, VolumeRampIsContinuousAcrossLoopWraps) {
    // The same block through a sample that loops every 3 frames and one that does not:
    // the loop's runs must join into one ramp.
    auto looping = make_sample_16(std::vector<std::int16_t>(3, 1000));
    set_loop(*looping, 0, 3, false);
    auto plain = make_sample_16(std::vector<std::int16_t>(1000, 1000));
    Voice_Rig a, b;
    a.voice.setup_sample(looping.get(), 0);
    b.voice.setup_sample(plain.get(), 0);
    a.block(10);
    b.block(10);
    a.voice.set_volume(0);
    b.voice.set_volume(0);
    std::vector<int> ra = a.block(100);
    std::vector<int> rb = b.block(100);
    EXPECT_EQ(ra.front(), rb.front());
    EXPECT_EQ(ra.back(), 0);
    for (int f = 0; f < 100; f++) {
        EXPECT_NEAR(ra[f], rb[f], 2 * 1000);
        if (f > 0) {
            EXPECT_LE(ra[f], ra[f - 1]);
        }
    }
    EXPECT_GT(ra[0], 250 * 1000);  // the ramp starts near the old volume
    // Ramped to silence: the voice stops asking to be mixed.
    EXPECT_TRUE(a.voice.can_mix());
    a.block(10);
    EXPECT_FALSE(a.voice.can_mix());
}

TEST(TrackerVoice, FirstBlockRampsOnlyAfterACut) {
    // A fresh note starts at full volume; one that follows a cut note rises over the crossfade
    // (or over the whole block, when that is shorter) and then plays on at full volume.
    const int full = 255 * 100, span = Mixer::CROSSFADE_FRAMES;
    const struct { bool crossfade; int frames; } cases[] = {{false, 200}, {true, 200}, {true, span / 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.crossfade) + " " + std::to_string(c.frames));
        Voice_Rig rig;
        auto sd = make_sample_16(std::vector<std::int16_t>(300, 100));
        rig.voice.setup_sample(sd.get(), 0);
        rig.voice.set_crossfade(c.crossfade);
        std::vector<int> out = rig.block(c.frames);
        if (!c.crossfade) {
            EXPECT_EQ(out.front(), full);
            EXPECT_EQ(out.back(), full);
            continue;
        }
        EXPECT_LT(out.front(), full / 16);
        for (int f = 1; f < std::min(c.frames, span); f++) EXPECT_GE(out[f], out[f - 1]) << f;
        if (c.frames > span) {
            EXPECT_LT(out[span / 2], full * 3 / 4);
            EXPECT_EQ(out[span], full);
            EXPECT_EQ(out.back(), full);
        } else {
            EXPECT_GT(out.back(), full / 2);
        }
        EXPECT_EQ(rig.block(10).front(), full);  // later blocks never ramp in again
    }
}

TEST(TrackerVoice, FilterHistoryCarriesAcrossBlocks) {
    auto sd = make_sample_16(std::vector<std::int16_t>(200, 1000));
    Voice_Rig whole, split;
    for (Voice_Rig* r : {&whole, &split}) {
        r->voice.setup_sample(sd.get(), 0);
        r->voice.set_filter(1000, 2500, -300, true);
    }
    std::vector<int> a = whole.block(60);
    std::vector<int> b = split.block(25);
    std::vector<int> b2 = split.block(35);
    b.insert(b.end(), b2.begin(), b2.end());
    EXPECT_EQ(a, b);
    // A low-pass rises towards the input from silence.
    EXPECT_LT(a[0], 255 * 1000 / 2);
    EXPECT_GT(a[59], a[0]);
}

TEST(TrackerVoice, SamplesLongerThanAMillionFramesPlayToTheEnd) {
    const int size = (1 << 21) + 4000;
    std::vector<std::int8_t> data(size, 0);
    for (int i = size - 3000; i < size; i++) data[i] = 50;
    auto sd = make_sample_8(data);
    Voice_Rig rig(true);
    rig.voice.setup_sample(sd.get(), size - 3500);
    std::vector<int> out = rig.block(4000);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1000], 255 * 50 * 256);
    EXPECT_EQ(out[3499], 255 * 50 * 256);  // the last frame
    EXPECT_EQ(out[3500], 0);
    EXPECT_FALSE(rig.voice.is_active());

    // Played from the start at 200 frames per output frame, over several blocks, it keeps
    // sounding to its end.
    rig.voice.setup_sample(sd.get(), 0);
    rig.voice.set_frequency(44100 * 200);
    std::vector<int> whole;
    for (int b = 0; b < 3; b++) {
        std::vector<int> part = rig.block(5000);
        whole.insert(whole.end(), part.begin(), part.end());
    }
    int last_loud = -1;
    for (int f = 0; f < (int)whole.size(); f++)
        if (whole[f] != 0) last_loud = f;
    EXPECT_EQ(last_loud, (size - 1) / 200);
    EXPECT_FALSE(rig.voice.is_active());
}

TEST(TrackerVoice, SetupRefusesBadStarts) {
    Voice_Rig rig;
    auto sd = make_sample_16(counting(8));
    Audio_Thread_Log::flush();
    Audio_Thread_Log::forget_repeats();
    testing::internal::CaptureStdout();
    rig.voice.setup_sample(nullptr, 0);
    rig.voice.setup_sample(sd.get(), -1);
    EXPECT_GT(Audio_Thread_Log::flush(), 0);  // held back on the audio thread until now
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed,
              "Error: trackercore/tracker_voice:287: p_sample_data is null!!\n"
              "Error: trackercore/tracker_voice:292: start index < 0???\n");
    EXPECT_FALSE(rig.voice.is_active());

    rig.voice.setup_sample(sd.get(), 8);  // past the end of a sample without a loop
    EXPECT_FALSE(rig.voice.is_active());

    // A start past the end of a looping sample is an ordinary case (a large offset): it plays
    // from inside the loop, with nothing to report.
    set_loop(*sd, 2, 6, false);
    rig.voice.setup_sample(sd.get(), 20);
    EXPECT_TRUE(rig.voice.is_active());
    EXPECT_EQ(Audio_Thread_Log::flush(), 0);
    std::vector<int> out = rig.block(4);
    for (int v : out) {
        EXPECT_GE(v, 255 * 3);
        EXPECT_LE(v, 255 * 6);
    }
}

TEST(TrackerVoice, ZeroFrequencyOrMissingDataStopsQuietly) {
    Voice_Rig rig;
    auto sd = make_sample_16(counting(8));
    rig.voice.setup_sample(sd.get(), 0);
    rig.voice.set_frequency(0);
    EXPECT_FALSE(rig.voice.can_mix());
    EXPECT_EQ(rig.block(4), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_FALSE(rig.voice.is_active());

    rig.voice.setup_sample(sd.get(), 0);
    rig.voice.set_frequency(10);  // below one 2048th of a frame per output frame
    rig.block(4);
    EXPECT_FALSE(rig.voice.is_active());

    Sample_Data empty;
    rig.voice.setup_sample(&empty, 0);
    EXPECT_FALSE(rig.voice.is_active());
}

TEST(TrackerVoice, ResetReturnsToInitialState) {
    Voice_Rig rig;
    auto sd = make_sample_16(counting(8));
    rig.voice.setup_sample(sd.get(), 3);
    rig.voice.set_channel(5);
    rig.voice.set_priority(3);
    rig.block(2);
    rig.voice.reset();
    EXPECT_FALSE(rig.voice.is_active());
    EXPECT_EQ(rig.voice.get_channel(), 0);
    EXPECT_EQ(rig.voice.get_priority(), 0);
    EXPECT_EQ(rig.voice.get_current_sample_pos(), 0);
    EXPECT_EQ(rig.voice.get_current_freq(), 0);
    EXPECT_FALSE(rig.voice.can_mix());
}

// Loops only a few output frames long are rendered frame by frame rather than run by run:
// both must give the same sums, saturated ones included, and leave the voice at the same
// place, whatever the loop, pitch, resampler, pan and block sizes, and across volume ramps
// (which take the run path) in between.
TEST(TrackerVoice, ShortLoopsSoundTheSameFrameByFrame) {
    struct Case {
        bool sixteen, linear;
        int loop_begin, loop_end, size, frequency;
    };
    const Case cases[] = {
        {false, true, 40, 41, 60, 8363},    // a one-frame loop: a wrap every five frames
        {false, true, 40, 41, 60, 150000},  // several wraps in one step
        {true, true, 10, 13, 40, 30000},
        {true, false, 10, 13, 13, 44100},  // raw may loop up to the data's end
        {true, true, 10, 13, 13, 44100},   // linear there renders raw frames: the run path
        {true, true, 10, 13, 16, 8000},    // just too close to the end for the short path
        {false, false, 5, 12, 20, 96000},
        {true, true, 0, 7, 30, 12345},
    };
    std::vector<std::int16_t> frames16(64);
    std::vector<std::int8_t> frames8(64);
    for (int i = 0; i < 64; i++) {
        frames16[i] = (std::int16_t)(i % 5 == 0 ? (i % 2 ? 32767 : -32768) : (i * 7919) % 60000 - 30000);
        frames8[i] = (std::int8_t)(frames16[i] >> 8);
    }
    const int blocks[] = {1, 7, 64, 333, 5, 100};
    for (const Case& c : cases) {
        for (int pan : {0, 100, 512}) {
            SCOPED_TRACE(testing::Message() << "loop " << c.loop_begin << "-" << c.loop_end << " of " << c.size
                                            << (c.sixteen ? " 16" : " 8") << "-bit at " << c.frequency
                                            << (c.linear ? " linear" : " raw") << ", pan " << pan);
            auto render = [&](bool short_path) {
                const bool was = tracker_voice_use_short_loop_path(short_path);
                std::unique_ptr<Sample_Data> sd =
                    c.sixteen ? make_sample_16(std::vector<std::int16_t>(frames16.begin(), frames16.begin() + c.size))
                              : make_sample_8(std::vector<std::int8_t>(frames8.begin(), frames8.begin() + c.size));
                set_loop(*sd, c.loop_begin, c.loop_end, false);
                Voice_Rig rig(c.linear);
                rig.voice.set_frequency((unsigned)c.frequency);
                rig.voice.set_volume(32767);
                rig.voice.set_panning(pan);
                rig.voice.setup_sample(sd.get(), c.loop_begin + 1);
                std::vector<int> out;
                for (int pass = 0; pass < 3; pass++) {
                    for (int n : blocks) {
                        // Accumulators already near their limits, so some sums clip.
                        std::vector<int> buffer(2 * n);
                        for (int i = 0; i < 2 * n; i++) buffer[i] = (i % 3 - 1) * 0x7FFF0000;
                        rig.voice.mix(n, buffer.data());
                        out.insert(out.end(), buffer.begin(), buffer.end());
                        out.push_back(rig.voice.get_current_sample_pos());
                    }
                    rig.voice.set_volume(pass == 0 ? 9000 : 32767);  // the next block ramps
                }
                tracker_voice_use_short_loop_path(was);
                return out;
            };
            EXPECT_EQ(render(true), render(false));
        }
    }
}
