// Save time of a generated 60 MB song (thirty 16-bit samples of a million frames each) as a
// native song and as IT, written into the system's temporary directory.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "tracker/audio_components.h"
#include "tracker/tracker_instance.h"

namespace fs = std::filesystem;

namespace {

constexpr int SAMPLES = 30;
constexpr int FRAMES = 1000000;

// A decaying tone with a little noise: about as compressible as recorded audio.
void fill_tone(Sample& s, int index) {
    s.reset(true);
    auto* block = static_cast<std::int16_t*>(std::malloc((size_t)FRAMES * 2));
    unsigned seed = (unsigned)index * 7919u + 1u;
    double step = 2.0 * M_PI * (110.0 + 20.0 * index) / 44100.0;
    for (int i = 0; i < FRAMES; i++) {
        seed = seed * 1103515245u + 12345u;
        double tone = 20000.0 * std::sin(step * i) * std::exp(-i / 400000.0);
        block[i] = (std::int16_t)(tone + (int)((seed >> 16) & 255) - 128);
    }
    s.data.set_data_ptr(block, FRAMES, true);
    s.in_use = true;
    s.name = "tone " + std::to_string(index);
}

struct Setup {
    Setup() {
        std::string base = (fs::temp_directory_path() / ("save_bench_" + std::to_string(getpid()))).string();
        wm = base + ".wm";
        it = base + ".it";
        for (int i = 0; i < SAMPLES; i++) fill_tone(*instance.song.get_sample(i), i);
        instance.song.set_order(0, 0);
    }
    ~Setup() {
        std::remove(wm.c_str());
        std::remove(it.c_str());
    }
    Audio_Components components;
    Tracker_Instance instance;
    std::string wm, it;
};

Setup& setup() {
    static Setup s;
    return s;
}

// The savers' progress lines would swamp the report.
struct Quiet {
    Quiet() {
        std::fflush(stdout);
        saved = dup(1);
        FILE* null = std::fopen("/dev/null", "w");
        dup2(fileno(null), 1);
        std::fclose(null);
    }
    ~Quiet() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
    int saved;
};

void save(benchmark::State& state, const std::string& path) {
    Setup& s = setup();
    Quiet quiet;
    for (auto _ : state)
        if (s.instance.file_format_manager.save_module(path.c_str()) != 0) state.SkipWithError("save failed");
    state.counters["file_bytes"] = (double)fs::file_size(path);
    state.counters["sample_bytes"] = (double)SAMPLES * FRAMES * 2;
}

void BM_SaveNative60MB(benchmark::State& state) { save(state, setup().wm); }
BENCHMARK(BM_SaveNative60MB)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_SaveIT60MB(benchmark::State& state) { save(state, setup().it); }
BENCHMARK(BM_SaveIT60MB)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
