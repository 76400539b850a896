// Save and load time of the largest corpus song in the native format, and its file size next
// to the module it came from and to the same song saved as IT. Set WENDMOOR_SHARED_DIR when the
// shared folder does not sit beside the source tree.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "tracker/audio_components.h"
#include "tracker/tracker_instance.h"

namespace fs = std::filesystem;

namespace {

// The corpus songs, largest first.
std::vector<std::string> songs_by_size() {
    const char* env = std::getenv("WENDMOOR_SHARED_DIR");
    fs::path dir = fs::path(env && *env ? env : WENDMOOR_SHARED_DIR) / "corpus" / "songs";
    std::vector<std::pair<std::uintmax_t, std::string>> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file()) found.push_back({entry.file_size(), entry.path().string()});
    std::sort(found.rbegin(), found.rend());
    std::vector<std::string> result;
    for (auto& f : found) result.push_back(f.second);
    return result;
}

struct Setup {
    Setup() {
        std::string base = (fs::temp_directory_path() / ("native_bench_" + std::to_string(getpid()))).string();
        wm = base + ".wm";
        it = base + ".it";
        // The largest song that this build has a loader for.
        for (const std::string& song : songs_by_size())
            if (instance.file_format_manager.load_module(song.c_str()) == Loader::SUCCESS) {
                source = song;
                break;
            }
        if (source.empty()) return;
        instance.file_format_manager.save_module(wm.c_str());
        instance.file_format_manager.save_module(it.c_str());
    }
    ~Setup() {
        std::remove(wm.c_str());
        std::remove(it.c_str());
    }
    Audio_Components components;
    Tracker_Instance instance;
    std::string source, wm, it;
};

Setup& setup() {
    static Setup s;
    return s;
}

// The loader's progress lines would swamp the report.
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

void report_sizes(benchmark::State& state) {
    Setup& s = setup();
    state.counters["source_bytes"] = (double)fs::file_size(s.source);
    state.counters["wm_bytes"] = (double)fs::file_size(s.wm);
    state.counters["it_bytes"] = (double)fs::file_size(s.it);
    state.SetLabel(fs::path(s.source).filename().string());
}

void BM_SaveNative(benchmark::State& state) {
    Setup& s = setup();
    if (s.source.empty()) {
        state.SkipWithError("no corpus song (set WENDMOOR_SHARED_DIR)");
        return;
    }
    Quiet quiet;
    for (auto _ : state)
        if (s.instance.file_format_manager.save_module(s.wm.c_str()) != 0) state.SkipWithError("save failed");
    report_sizes(state);
}
BENCHMARK(BM_SaveNative)->Unit(benchmark::kMillisecond);

void BM_LoadNative(benchmark::State& state) {
    Setup& s = setup();
    if (s.source.empty()) {
        state.SkipWithError("no corpus song (set WENDMOOR_SHARED_DIR)");
        return;
    }
    Quiet quiet;
    Tracker_Instance target;
    for (auto _ : state)
        if (target.file_format_manager.load_module(s.wm.c_str()) != Loader::SUCCESS) state.SkipWithError("load failed");
    report_sizes(state);
}
BENCHMARK(BM_LoadNative)->Unit(benchmark::kMillisecond);

void BM_LoadIT(benchmark::State& state) {
    Setup& s = setup();
    if (s.source.empty()) {
        state.SkipWithError("no corpus song (set WENDMOOR_SHARED_DIR)");
        return;
    }
    Quiet quiet;
    Tracker_Instance target;
    for (auto _ : state)
        if (target.file_format_manager.load_module(s.it.c_str()) != Loader::SUCCESS) state.SkipWithError("load failed");
}
BENCHMARK(BM_LoadIT)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
