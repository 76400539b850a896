#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "common/components/audio/filter_batch.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "common/components/audio/tracker_voice.h"
#include "support/sample_data_builder.h"
#include "trackercore/filter_control.h"

namespace {

// What one voice plays and how its settings change from block to block.
struct Voice_Setup {
    int sample;
    int resampler;  // 0 raw, 1 linear, 2 silent (not batchable)
    int channel;
    int start;
    std::vector<int> frequency, volume, pan;  // per block
    bool filter;
    int a0, b0, b1;
};

struct Scenario {
    std::vector<std::unique_ptr<Sample_Data>> samples;
    std::vector<Voice_Setup> voices;
    std::vector<int> blocks;  // frames per block
};

// Random voices sharing a few channels: 8- and 16-bit data, no loop, forward and ping-pong
// loops down to a few frames (many runs per block), slow and fast steps, volume and pan ramps,
// loud voices whose sums saturate (each product alone still fits in 32 bits), unfiltered and unbatchable voices in between, and filter
// coefficients both as the coefficient calculation makes them and at the extremes.
Scenario make_scenario(unsigned seed, int voice_count) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Scenario sc;
    for (int i = 0; i < 6; i++) {
        const int size = pick(0, 2) == 0 ? pick(2, 40) : pick(500, 30000);
        if (i % 2 == 0) {
            std::vector<std::int16_t> d(size);
            for (auto& v : d) v = (std::int16_t)pick(-32768, 32767);
            sc.samples.push_back(make_sample_16(d));
        } else {
            std::vector<std::int8_t> d(size);
            for (auto& v : d) v = (std::int8_t)pick(-128, 127);
            sc.samples.push_back(make_sample_8(d));
        }
        Sample_Data& sd = *sc.samples.back();
        const int kind = pick(0, 2);
        if (kind > 0) {
            const int begin = pick(0, size - 1);
            const int end = std::min(size, begin + pick(1, 3) * (pick(0, 1) ? 3 : 400));
            set_loop(sd, begin, end, kind == 2);
        }
    }
    for (int b = 0; b < 5; b++) sc.blocks.push_back(std::vector<int>{1, 7, 255, 257, 1000, 3001}[pick(0, 5)]);
    for (int v = 0; v < voice_count; v++) {
        Voice_Setup vs;
        vs.sample = pick(0, 5);
        vs.resampler = pick(0, 9) == 0 ? 2 : pick(0, 1);
        vs.channel = pick(0, 1);
        vs.start = pick(0, sc.samples[vs.sample]->get_size() - 1);
        const bool loud = pick(0, 1) == 0;
        for (size_t b = 0; b < sc.blocks.size(); b++) {
            vs.frequency.push_back(pick(0, 2) == 0 ? pick(100, 5000) : pick(5000, 300000));
            vs.volume.push_back(loud ? pick(40000, 65000) : pick(0, 3) == 0 ? 0 : pick(1, 12288));
            vs.pan.push_back(pick(0, 9) == 0 ? 512 : pick(0, 255));
        }
        vs.filter = pick(0, 3) != 0;
        const int extreme = pick(0, 5);
        if (extreme == 0) {
            vs.a0 = pick(0, 1) ? INT_MAX : INT_MIN;
            vs.b0 = pick(INT_MIN, INT_MAX);
            vs.b1 = pick(-70000, 70000);
        } else {
            Filter_Control fc;
            fc.cutoff = pick(0, 254);
            fc.resonance = pick(0, 127);
            fc.envelope = pick(0, 1) ? -1 : pick(0, 64);
            fc.recalculate_coheficients((float)pick(0, 1) ? 44100.0f : 8000.0f);
            vs.a0 = fc.a0;
            vs.b0 = fc.b0;
            vs.b1 = fc.b1;
        }
        sc.voices.push_back(vs);
    }
    return sc;
}

// Renders a scenario through a mixer and returns every block's 16 channel buffers.
std::vector<int> render(const Scenario& sc, bool batching, bool extensions) {
    resampler_use_cpu_extensions(extensions);
    Resampler_Manager manager;
    Resampler_Raw raw;
    Resampler_Linear linear;
    Resampler_Dummy silent;
    manager.register_resampler(&raw);
    manager.register_resampler(&linear);
    manager.register_resampler(&silent);
    auto mixer = std::make_unique<Mixer>();
    mixer->set_mix_frequency(44100);
    mixer->set_filter_batching(batching);
    std::vector<std::unique_ptr<Tracker_Voice>> voices;
    for (const Voice_Setup& vs : sc.voices) {
        auto v = std::make_unique<Tracker_Voice>();
        v->set_resampler(&manager, vs.resampler);
        v->set_channel(vs.channel);
        v->set_priority(3);
        v->set_filter(vs.a0, vs.b0, vs.b1, vs.filter);
        v->setup_sample(sc.samples[vs.sample].get(), vs.start);
        mixer->allocate_voice(v.get());
        voices.push_back(std::move(v));
    }
    std::vector<int> out;
    for (size_t b = 0; b < sc.blocks.size(); b++) {
        for (size_t i = 0; i < voices.size(); i++) {
            voices[i]->set_frequency(sc.voices[i].frequency[b]);
            voices[i]->set_volume(sc.voices[i].volume[b]);
            voices[i]->set_panning(sc.voices[i].pan[b]);
        }
        const int frames = sc.blocks[b];
        EXPECT_EQ(mixer->write_samples(frames), frames);
        for (int c = 0; c < 16; c++) {
            const int* p = mixer->get_channel_buffer_ptr(c);
            out.insert(out.end(), p, p + 2 * frames);
        }
    }
    for (auto& v : voices) mixer->eliminate_voice(v.get());
    resampler_use_cpu_extensions(true);
    return out;
}

}  // namespace

// Batched filtered voices must mix exactly what they mix one by one, through the AVX2 loops and
// the portable ones alike, whatever the voices, loops, ramps, coefficients and saturation.
TEST(FilterBatch, MixesExactlyWhatVoicesMixOneByOne) {
    bool saturated = false;
    for (int voice_count = 1; voice_count <= 20; voice_count += voice_count < 9 ? 1 : 11) {
        for (unsigned seed = 1; seed <= 6; seed++) {
            const Scenario sc = make_scenario(seed * 100 + voice_count, voice_count);
            const std::vector<int> one_by_one = render(sc, false, true);
            ASSERT_NE(one_by_one, std::vector<int>(one_by_one.size(), 0)) << "nothing was mixed";
            for (int s : one_by_one) saturated = saturated || s == INT_MAX || s == INT_MIN;
            for (bool extensions : {true, false}) {
                const std::vector<int> batched = render(sc, true, extensions);
                ASSERT_EQ(batched, one_by_one) << voice_count << " voices, seed " << seed << ", extensions "
                                               << extensions;
            }
        }
    }
    EXPECT_TRUE(saturated) << "the scenarios never reached the saturating sums";
}
