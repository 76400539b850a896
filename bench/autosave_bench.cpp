// What an autosave costs, for the largest IT song of the corpus and for a generated 60 MB song
// (thirty 16-bit samples of a million frames, a hundred full patterns):
//  - Snapshot: the copy taken on the interface thread; its counters give the time the variables
//    lock was held in it, which is all the audio thread could ever wait for;
//  - Write: the worker's part, packing, compressing and writing the .wm through the safe path;
//  - AudioLockWait: an audio thread rendering real blocks of the playing song under the variables
//    lock while autosaves run back to back, and how long it waited for the lock, against the
//    same thread with no autosave.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "tracker/audio_components.h"
#include "tracker/audio_session.h"
#include "tracker/song_snapshot.h"
#include "tracker/tracker_instance.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int SAMPLES = 30;
constexpr int FRAMES = 1000000;
constexpr int PATTERNS = 100;
constexpr int BLOCK_FRAMES = 1024;

// A lock that remembers how long each hold lasted.
class Timing_Lock : public Mutex_Lock {
public:
    void grab() override {
        mutex.lock();
        since = Clock::now();
    }
    bool try_grab() override {
        if (!mutex.try_lock()) return true;
        since = Clock::now();
        return false;
    }
    void release() override {
        double held = std::chrono::duration<double, std::micro>(Clock::now() - since).count();
        longest_us = std::max(longest_us, held);
        total_us += held;
        holds++;
        mutex.unlock();
    }
    Mutex_Lock* create_mutex_type() override { return new Timing_Lock; }

    double longest_us = 0;
    double total_us = 0;
    int holds = 0;

private:
    std::mutex mutex;
    Clock::time_point since;
};

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
    s.data.set_loop_enabled(true);
    s.data.set_loop_end(FRAMES);
    s.in_use = true;
    s.name = "tone " + std::to_string(index);
}

void build_big_song(Song& song) {
    for (int i = 0; i < SAMPLES; i++) {
        fill_tone(*song.get_sample(i), i);
        for (int n = 0; n < NOTE_COUNT; n++) song.get_instrument(i)->layers[0].sample_table[n] = (unsigned char)i;
    }
    for (int p = 0; p < PATTERNS; p++) {
        Pattern& pattern = *song.get_pattern(p);
        for (int row = 0; row < 64; row++)
            for (int c = 0; c < 16; c++)
                pattern.get_note_ref(c, row) = Note{(unsigned char)(36 + (row + c + p) % 48),
                                                    (unsigned char)((c + p) % SAMPLES), 255, 255, 0};
        pattern.get_note_ref(0, 0);
        song.set_order(p, (short)p);
    }
}

struct Songs {
    Songs() {
        const char* shared = std::getenv("WENDMOOR_SHARED_DIR");  // for checkouts not beside it
        it_path = std::string(shared && *shared ? shared : WENDMOOR_SHARED_DIR) + "/corpus/songs/Fight2.it";
        have_it = fs::exists(it_path) && corpus.file_format_manager.load_module(it_path.c_str()) == Loader::SUCCESS;
        build_big_song(big.song);
        out = (fs::temp_directory_path() / ("autosave_bench_" + std::to_string(getpid()) + ".wm")).string();
    }
    ~Songs() { std::remove(out.c_str()); }

    Tracker_Instance* get(int which, benchmark::State& state) {
        if (which == 1) {
            state.SetLabel("generated 60 MB song");
            return &big;
        }
        if (!have_it) {
            state.SkipWithError("the corpus is not here (../shared/corpus/songs/Fight2.it)");
            return nullptr;
        }
        state.SetLabel("Fight2.it");
        return &corpus;
    }

    Audio_Components components;
    Audio_Session session;  // its locks are the program's: the pattern data lock is in place
    Tracker_Instance corpus;
    Tracker_Instance big;
    std::string it_path;
    std::string out;
    bool have_it = false;
};

Songs& songs() {
    static Songs s;
    return s;
}

void BM_Snapshot(benchmark::State& state) {
    Tracker_Instance* ti = songs().get((int)state.range(0), state);
    if (!ti) return;
    Timing_Lock lock;
    for (auto _ : state) {
        auto snapshot = std::make_unique<Song_Snapshot>(ti->song, &ti->mixer, &lock);
        benchmark::DoNotOptimize(snapshot.get());
        state.PauseTiming();  // it is freed on the worker
        snapshot.reset();
        state.ResumeTiming();
    }
    state.counters["lock_held_max_us"] = lock.longest_us;
    state.counters["lock_held_mean_us"] = lock.holds ? lock.total_us / lock.holds : 0;
}
BENCHMARK(BM_Snapshot)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The worker's part, on the benchmark's thread.
void BM_Write(benchmark::State& state) {
    Tracker_Instance* ti = songs().get((int)state.range(0), state);
    if (!ti) return;
    Song_Snapshot snapshot(ti->song, &ti->mixer, nullptr);
    for (auto _ : state) {
        std::string why;
        if (snapshot.save(songs().out, &why) != 0) state.SkipWithError(why.c_str());
    }
    state.counters["file_bytes"] = (double)fs::file_size(songs().out);
}
BENCHMARK(BM_Write)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// An audio thread paced as a device would pace it (one 1024-frame block every 23.2 ms at
// 44100 Hz) renders the playing song under the variables lock; meanwhile the benchmark thread
// takes snapshots and writes them, back to back, or (arg 0 = 0) does nothing.
void BM_AudioLockWait(benchmark::State& state) {
    const bool autosaving = state.range(0) != 0;
    Tracker_Instance* ti = songs().get((int)state.range(1), state);
    if (!ti) return;
    Audio_Session& session = songs().session;
    ti->mixer.set_mix_frequency(44100.0f);
    ti->player.set_variables_lock(&session.variables_lock);
    ti->player.play_start_song();
    std::atomic<bool> stop{false};
    std::vector<double> waits_us, blocks_us;
    std::thread audio([&] {
        auto next = Clock::now();
        while (!stop) {
            auto before = Clock::now();
            session.variables_lock.grab();
            auto got = Clock::now();
            ti->mixer.write_samples(BLOCK_FRAMES);
            session.variables_lock.release();
            auto done = Clock::now();
            waits_us.push_back(std::chrono::duration<double, std::micro>(got - before).count());
            blocks_us.push_back(std::chrono::duration<double, std::micro>(done - before).count());
            next += std::chrono::microseconds(BLOCK_FRAMES * 1000000LL / 44100);
            std::this_thread::sleep_until(next);
        }
    });
    int saves = 0;
    for (auto _ : state) {
        auto until = Clock::now() + std::chrono::seconds(3);
        while (Clock::now() < until) {
            if (!autosaving) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            Song_Snapshot snapshot(ti->song, &ti->mixer, &session.variables_lock);
            snapshot.save(songs().out);
            saves++;
        }
    }
    stop = true;
    audio.join();
    ti->player.play_stop();
    ti->player.set_variables_lock(nullptr);
    std::sort(waits_us.begin(), waits_us.end());
    std::sort(blocks_us.begin(), blocks_us.end());
    auto percentile = [](const std::vector<double>& v, double p) {
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, (size_t)(p * (double)v.size()))];
    };
    state.counters["autosaves"] = saves;
    state.counters["blocks"] = (double)waits_us.size();
    state.counters["lock_wait_max_us"] = waits_us.empty() ? 0 : waits_us.back();
    state.counters["lock_wait_p99_us"] = percentile(waits_us, 0.99);
    state.counters["block_max_us"] = blocks_us.empty() ? 0 : blocks_us.back();
    state.counters["block_p99_us"] = percentile(blocks_us, 0.99);
}
BENCHMARK(BM_AudioLockWait)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"autosaving", "song"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
