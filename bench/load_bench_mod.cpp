#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "loaders/loader_mod.h"
#include "trackercore/song.h"

// Load time of the MOD songs of the shared corpus: staging and transfer into a song.

static std::vector<std::string> corpus_mods() {
    std::vector<std::string> files;
    const char* shared = std::getenv("WENDMOOR_SHARED_DIR");  // overrides the folder beside the checkout
    std::string dir = std::string(shared ? shared : WENDMOOR_SHARED_DIR) + "/corpus/mod";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

static void load_song(benchmark::State& state, const std::string& path) {
    static Song song;
    Loader_MOD loader;
    loader.set_song(&song);
    for (auto _ : state) {
        if (!loader.test(path.c_str()) || loader.load(path.c_str(), true) != Loader::SUCCESS) {
            state.SkipWithError("load failed");
            break;
        }
        song.reset_data();
        loader.transfer_data_to_song();
        loader.free_info(false);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)std::filesystem::file_size(path));
}

static int register_songs() {
    for (const std::string& path : corpus_mods())
        benchmark::RegisterBenchmark(("mod/" + std::filesystem::path(path).filename().string()).c_str(),
                                     [path](benchmark::State& s) { load_song(s, path); })
            ->Unit(benchmark::kMillisecond);
    return 0;
}

static int registered = register_songs();

BENCHMARK_MAIN();
