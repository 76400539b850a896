// Cost of each built-in effect on one second of stereo 44100 Hz audio, rendered in
// mixer-sized blocks after a warm-up block has sized the delay lines.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/components/audio/chorus_effect.h"
#include "common/components/audio/effect_amp.h"
#include "common/components/audio/effect_distort.h"
#include "common/components/audio/effect_echo.h"
#include "common/components/audio/effect_stereo_enhancer.h"
#include "common/components/audio/freeverb_effect.h"

namespace {

const int MIX_RATE = 44100;
const int BLOCK = 1024;

void run_one_second(benchmark::State& state, Effect* (*create)(), int voices = 0) {
    std::unique_ptr<Effect> effect(create());
    if (voices > 0) static_cast<Int_Property_Bridge*>(effect->get_properties()[0])->set(voices);
    std::vector<int> source(BLOCK * 2);
    for (int i = 0; i < BLOCK * 2; i++) source[i] = ((i * 7919) % 40000 - 20000) * 65536;
    std::vector<int> block = source;
    effect->process_buffer(block.data(), BLOCK, true, MIX_RATE);

    for (auto _ : state) {
        for (int done = 0; done < MIX_RATE; done += BLOCK) {
            const int frames = std::min(BLOCK, MIX_RATE - done);
            std::copy(source.begin(), source.begin() + frames * 2, block.begin());
            effect->process_buffer(block.data(), frames, true, MIX_RATE);
            benchmark::DoNotOptimize(block.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * MIX_RATE);
    state.SetLabel("per second of audio");
}

} // namespace

BENCHMARK_CAPTURE(run_one_second, amplifier, Effect_Amp::create_this)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_one_second, distort, Effect_Distort::create_this)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_one_second, echo, Effect_Echo::create_this)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_one_second, stereo_enhancer, Effect_Stereo_Enhancer::create_this)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_one_second, chorus_1_voice, Chorus_Effect::create_this, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_one_second, chorus_5_voices, Chorus_Effect::create_this, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(run_one_second, freeverb, Freeverb_Effect::create_this)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
