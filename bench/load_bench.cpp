#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "tracker/tracker_instance.h"

// Load time of each real-world module through the registry: read, stage, reset the song and
// transfer. One tracker instance per benchmark, as a song window keeps one.
static std::string songs_dir() {
    const char* env = std::getenv("WENDMOOR_SHARED_DIR");
    return std::string(env && *env ? env : WENDMOOR_SHARED_DIR) + "/corpus/songs";
}

static void load_module(benchmark::State& state, std::string path) {
    Tracker_Instance ti;
    for (auto _ : state) {
        Loader::Error e = ti.file_format_manager.load_module(path.c_str());
        if (e != Loader::SUCCESS) {
            state.SkipWithError(Loader::error_string[e]);
            break;
        }
        benchmark::DoNotOptimize(ti.song.get_patterns_used());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)std::filesystem::file_size(path));
}

int main(int argc, char** argv) {
    std::string dir = songs_dir();
    if (!std::filesystem::is_directory(dir)) {
        std::printf("no songs at %s; nothing to measure\n", dir.c_str());
        return 0;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        // Only formats with a registered loader are measured; the others join when they land.
        Tracker_Instance probe;
        std::string path = entry.path().string();
        bool known = false;
        for (Loader* l : probe.file_format_manager.get_loaders())
            if (l->test(path.c_str())) known = true;
        if (!known) continue;
        benchmark::RegisterBenchmark(("load/" + entry.path().filename().string()).c_str(), load_module, path)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
