#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "loaders/loader_s3m.h"
#include "loaders/loader_xm.h"
#include "trackercore/song.h"

// Load time of the real-world XM and S3M songs of the shared corpus: staging and transfer into a song.

static std::vector<std::string> corpus_songs(const std::string& extension) {
    std::vector<std::string> files;
    const char* shared = std::getenv("WENDMOOR_SHARED_DIR");  // overrides the folder beside the checkout
    std::string dir = std::string(shared ? shared : WENDMOOR_SHARED_DIR) + "/corpus/songs";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().extension() == extension) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

template <typename Loader_Type>
static void load_song(benchmark::State& state, const std::string& path) {
    static Song song;
    Loader_Type loader;
    loader.set_song(&song);
    for (auto _ : state) {
        if (loader.load(path.c_str(), true) != Loader::SUCCESS) {
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
    for (const std::string& path : corpus_songs(".xm"))
        benchmark::RegisterBenchmark(("xm/" + std::filesystem::path(path).filename().string()).c_str(),
                                     [path](benchmark::State& s) { load_song<Loader_XM>(s, path); })
            ->Unit(benchmark::kMillisecond);
    for (const std::string& path : corpus_songs(".s3m"))
        benchmark::RegisterBenchmark(("s3m/" + std::filesystem::path(path).filename().string()).c_str(),
                                     [path](benchmark::State& s) { load_song<Loader_S3M>(s, path); })
            ->Unit(benchmark::kMillisecond);
    return 0;
}

static int registered = register_songs();

BENCHMARK_MAIN();
