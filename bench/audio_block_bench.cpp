// CPU cost of one 4096-frame block of a corpus song through the player and mixer, with a
// reverb and a chorus on a bus that every channel sends to, as a fraction of the block's
// duration at 44100 Hz ("of_block": 1.0 would use the whole time the block takes to play).
// Blocks are taken one after another through the whole song, restarting it at its end, so the
// figure is the song's average; "max_of_block" is the heaviest single block seen. The
// "_meters" variants run the same with the level meters on, as while the Buffers page shows;
// "dry_scopes" with the channel scopes fed, as while the pattern view shows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/components/audio/mixer.h"
#include "tracker/audio_components.h"
#include "tracker/tracker_instance.h"

namespace {

constexpr int RATE = 44100;
constexpr int BLOCK = 4096;

std::string songs_dir() {
    const char* env = std::getenv("WENDMOOR_SHARED_DIR");
    return std::string(env && *env ? env : WENDMOOR_SHARED_DIR) + "/corpus/songs";
}

void render_block(Mixer& mixer) {
    int left = BLOCK;
    while (left > 0) {
        int k = mixer.write_samples(left);
        if (k <= 0) break;
        left -= k;
    }
    benchmark::DoNotOptimize(mixer.get_mixdown_buffer_ptr());
}

Audio_Components* components;  // one per process, before any song

void song_block(benchmark::State& state, const std::string& path, bool with_effects, bool with_meters,
                bool with_scopes) {
    Tracker_Instance ti;
    if (ti.file_format_manager.load_module(path.c_str()) != Loader::SUCCESS) {
        state.SkipWithError(("cannot load " + path).c_str());
        return;
    }
    Mixer& mixer = ti.mixer;
    mixer.set_mix_frequency((float)RATE);
    mixer.set_level_meters(with_meters);
    mixer.set_channel_scopes(with_scopes);
    if (with_effects) {
        mixer.add_buffer();
        Effect_Chain* chain = mixer.get_buffer_effect_chain(0);
        chain->add_effect(components->effect_source_manager.instantiate_effect_by_name("freeverb"));
        chain->add_effect(components->effect_source_manager.instantiate_effect_by_name("chorus"));
        for (int c = 0; c < mixer.get_channel_count(); c++) mixer.set_channel_output_buffer_index(c, 0, 0);
    }
    ti.player.play_start_song();
    render_block(mixer);  // sizes the effects' delay lines

    double worst = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        render_block(mixer);
        worst = std::max(worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (ti.player.reached_end_of_song() || ti.player.get_play_mode() == Player_Data::PLAY_NOTHING) {
            state.PauseTiming();
            ti.player.play_start_song();
            state.ResumeTiming();
        }
    }
    const double block_seconds = (double)BLOCK / RATE;
    state.counters["of_block"] =
        benchmark::Counter(state.iterations() * block_seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["max_of_block"] = worst / block_seconds;
}

// What the meters add per bus and block: one pass over the bus after its effects.
void peak_meter_pass(benchmark::State& state) {
    std::vector<int> bus(2 * BLOCK);
    for (size_t i = 0; i < bus.size(); i++) bus[i] = (int)((i * 2654435761u) >> 1) - (1 << 30);
    Peak_Meter meter;
    for (auto _ : state) {
        meter.measure(bus.data(), BLOCK);
        benchmark::DoNotOptimize(meter.take());
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Audio_Components process_components;
    components = &process_components;
    // Every song of the corpus that this build can load.
    std::vector<std::string> songs;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(songs_dir(), ignored)) {
        Tracker_Instance probe;
        if (probe.file_format_manager.load_module(entry.path().string().c_str()) == Loader::SUCCESS)
            songs.push_back(entry.path().string());
    }
    std::sort(songs.begin(), songs.end());
    if (songs.empty()) std::fprintf(stderr, "no songs under %s (set WENDMOOR_SHARED_DIR)\n", songs_dir().c_str());
    benchmark::RegisterBenchmark("peak_meter/one_bus_4096", peak_meter_pass)->Unit(benchmark::kMicrosecond);
    for (const std::string& path : songs) {
        std::string name = std::filesystem::path(path).filename().string();
        for (bool meters : {false, true}) {
            const std::string suffix = meters ? "_meters/" : "/";
            benchmark::RegisterBenchmark(("block_4096/reverb_chorus" + suffix + name).c_str(), song_block, path, true,
                                         meters, false)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark(("block_4096/dry" + suffix + name).c_str(), song_block, path, false, meters, false)
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RegisterBenchmark(("block_4096/dry_scopes/" + name).c_str(), song_block, path, false, false, true)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
