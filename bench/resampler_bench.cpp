#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/components/audio/filter_batch.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "common/components/audio/sample_data.h"
#include "common/components/audio/tracker_voice.h"

namespace {

// A looping sample of `size` frames of a sawtooth-like pattern (seed varies it), looped from
// frame 1000 to its end.
void fill_looping_sample(Sample_Data& sd, int size, bool sixteen, int seed) {
    void* block = std::malloc((size_t)size * (sixteen ? 2 : 1));
    for (int i = 0; i < size; i++) {
        int v = (i * (7919 + seed)) % 60000 - 30000;
        if (sixteen)
            ((std::int16_t*)block)[i] = (std::int16_t)v;
        else
            ((std::int8_t*)block)[i] = (std::int8_t)(v >> 8);
    }
    sd.set_data_ptr(block, size, sixteen);
    sd.set_loop_enabled(true);
    sd.set_loop_begin(1000);
    sd.set_loop_end(size);
}

// One looping voice at a non-integer pitch, rendered in mixer-sized blocks.
// Arguments: linear (0/1), 16-bit (0/1), filter (0/1).
void BM_Voice(benchmark::State& state) {
    const bool linear = state.range(0) != 0;
    const bool sixteen = state.range(1) != 0;
    const bool filter = state.range(2) != 0;

    Resampler_Manager manager;
    Resampler_Raw raw;
    Resampler_Linear lin;
    manager.register_resampler(&raw);
    manager.register_resampler(&lin);

    Sample_Data sd;
    fill_looping_sample(sd, 100000, sixteen, 0);

    Tracker_Voice voice;
    voice.set_resampler(&manager, linear ? 1 : 0);
    voice.set_mix_frequency(44100);
    voice.set_frequency(33333);
    voice.set_volume(20000);
    voice.set_panning(100);
    voice.set_filter(1800, 3000, -900, filter);
    voice.setup_sample(&sd, 0);

    const int frames = 1024;
    std::vector<int> out(frames * 2, 0);
    for (auto _ : state) {
        voice.mix(frames, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["voice_frames_per_s"] =
        benchmark::Counter((double)state.iterations() * frames, benchmark::Counter::kIsRate);
}

// Several filtered voices into one buffer, one by one or batched. Arguments: voices, batched
// (0/1), cpu extensions (0/1). 8-bit data through the linear resampler, each voice its own
// sample, pitch and coefficients.
void BM_FilteredVoices(benchmark::State& state) {
    const int count = (int)state.range(0);
    const bool batched = state.range(1) != 0;
    resampler_use_cpu_extensions(state.range(2) != 0);

    Resampler_Manager manager;
    Resampler_Raw raw;
    Resampler_Linear lin;
    manager.register_resampler(&raw);
    manager.register_resampler(&lin);

    std::vector<Sample_Data> samples(count);
    std::vector<Tracker_Voice> voices(count);
    for (int v = 0; v < count; v++) {
        fill_looping_sample(samples[v], 100000, false, v);
        Tracker_Voice& voice = voices[v];
        voice.set_resampler(&manager, 1);
        voice.set_mix_frequency(44100);
        voice.set_frequency(33333 + 1000 * v);
        voice.set_volume(20000);
        voice.set_panning(100);
        voice.set_filter(1800 - 50 * v, 3000 + 40 * v, -900 + 30 * v, true);
        voice.setup_sample(&samples[v], 0);
    }

    Filter_Batch batch;
    const int frames = 1024;
    std::vector<int> out(frames * 2, 0);
    for (auto _ : state) {
        for (Tracker_Voice& voice : voices) {
            if (!batched || !voice.mix_batched(frames, out.data(), batch)) voice.mix(frames, out.data());
        }
        batch.flush();
        benchmark::DoNotOptimize(out.data());
    }
    resampler_use_cpu_extensions(true);
    state.counters["voice_frames_per_s"] =
        benchmark::Counter((double)state.iterations() * frames * count, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_FilteredVoices)
    ->ArgNames({"voices", "batched", "avx2"})
    ->ArgsProduct({{1, 2, 4, 8, 16}, {0, 1}, {0, 1}});

BENCHMARK(BM_Voice)
    ->ArgNames({"linear", "16bit", "filter"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}});

BENCHMARK_MAIN();
