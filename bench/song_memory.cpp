// Memory a song takes: sizeof plus heap, the cost of one stored cell, and a check that an
// all-empty song does not grow with rows x channels. Heap bytes are counted through a
// replaced global operator new.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "trackercore/song.h"

namespace {

std::atomic<long> live_bytes{0};
constexpr size_t HEADER = alignof(std::max_align_t);

void* counted_alloc(size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + HEADER));
    if (!block) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = size;
    live_bytes += (long)size;
    return block + HEADER;
}

void counted_free(void* pointer) {
    if (!pointer) return;
    auto* block = static_cast<unsigned char*>(pointer) - HEADER;
    live_bytes -= (long)*reinterpret_cast<size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(size_t size) { return counted_alloc(size); }
void* operator new[](size_t size) { return counted_alloc(size); }
void operator delete(void* pointer) noexcept { counted_free(pointer); }
void operator delete[](void* pointer) noexcept { counted_free(pointer); }
void operator delete(void* pointer, size_t) noexcept { counted_free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { counted_free(pointer); }

static void fill_cells(Song& song, int pattern, int cells) {
    Pattern* p = song.get_pattern(pattern);
    p->set_length(200);
    for (int i = 0; i < cells; i++) {
        Note& cell = p->get_note_ref(i % Pattern::CHANNELS, (i / Pattern::CHANNELS) % 200);
        cell.note = 48;
        cell.instrument = 0;
    }
    p->get_note_ref(0, 0);  // commit the last cached cell
}

static void BM_NewSong(benchmark::State& state) {
    long heap = 0;
    for (auto _ : state) {
        long before = live_bytes;
        auto song = std::make_unique<Song>();
        heap = live_bytes - before - (long)sizeof(Song);
        benchmark::DoNotOptimize(song.get());
    }
    state.counters["sizeof_bytes"] = (double)sizeof(Song);
    state.counters["heap_bytes"] = (double)heap;
    state.counters["total_bytes"] = (double)(heap + (long)sizeof(Song));
}
BENCHMARK(BM_NewSong)->Unit(benchmark::kMillisecond);

static void BM_StoredCells(benchmark::State& state) {
    auto song = std::make_unique<Song>();
    int cells = (int)state.range(0);
    long growth = 0;
    for (auto _ : state) {
        song->get_pattern(0)->clear();
        long before = live_bytes;
        fill_cells(*song, 0, cells);
        growth = live_bytes - before;
    }
    state.counters["bytes_per_cell"] = (double)growth / cells;
}
BENCHMARK(BM_StoredCells)->Arg(1)->Arg(64)->Arg(12800)->Unit(benchmark::kMicrosecond);

// Every pattern at 200 rows and all cells read: nothing may be allocated.
static void BM_EmptySongAtFullSize(benchmark::State& state) {
    auto song = std::make_unique<Song>();
    long growth = 0;
    for (auto _ : state) {
        long before = live_bytes;
        for (int p = 0; p < Song::MAX_PATTERNS; p++) {
            Pattern* pattern = song->get_pattern(p);
            pattern->set_length(200);
            for (int c = 0; c < Pattern::CHANNELS; c++)
                for (int r = 0; r < 200; r++) benchmark::DoNotOptimize(pattern->get_note(c, r));
        }
        growth = live_bytes - before;
    }
    state.counters["growth_bytes"] = (double)growth;
}
BENCHMARK(BM_EmptySongAtFullSize)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
