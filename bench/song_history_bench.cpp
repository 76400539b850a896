// Undo of an edit on a sample of ten million 16-bit frames: the time to record the edit, undo
// and redo it, and the memory the history keeps for it (the "history_bytes" counter).
// The edits themselves are timed without a history for comparison (the cut's runs through
// float frames, which is most of its time), and a cut's undo and redo apart.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "tracker/sample_edit_player_link.h"
#include "tracker/sample_editor.h"
#include "tracker/tracker_instance.h"

namespace {

constexpr int FRAMES = 10'000'000;
constexpr int EDITED = 1000;
constexpr int SLOT = 0;

struct Setup {
    Setup() : players(&ti.player, &ti.keyboard) {
        Sample& sample = ti.song.sample[SLOT];
        auto* block = static_cast<std::int16_t*>(std::malloc((size_t)FRAMES * 2));
        for (int i = 0; i < FRAMES; i++) block[i] = (std::int16_t)(i * 7919);
        sample.data.set_data_ptr(block, FRAMES, true);
        sample.in_use = true;
        editor.link_to_players(&players);
        editor.link_to_history(&ti.history);
        editor.set_sample(&sample);
    }
    void select_middle() {
        editor.get_selection()->set_point_1(FRAMES / 2);
        editor.get_selection()->set_point_2(FRAMES / 2 + EDITED);
        editor.get_selection()->set_active(true);
    }

    Tracker_Instance ti;
    Sample_Edit_Player_Link players;
    Sample_Editor editor;
};

// One edit recorded, undone and redone; `edit` runs inside the timing.
template <class Edit> void run(benchmark::State& state, Edit edit) {
    auto setup = std::make_unique<Setup>();
    size_t kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        setup->ti.history.clear();
        setup->select_middle();
        state.ResumeTiming();
        edit(*setup);
        kept = setup->ti.history.get_byte_size();
        setup->ti.history.undo();
        setup->ti.history.redo();
        state.PauseTiming();
        setup->ti.history.undo();  // the next round starts from the same frames
        state.ResumeTiming();
    }
    state.counters["history_bytes"] = (double)kept;
}

void BM_ReverseThousandFramesRecordUndoRedo(benchmark::State& state) {
    run(state, [](Setup& s) { s.editor.apply_effect(0); });
}

void BM_CutThousandFramesRecordUndoRedo(benchmark::State& state) {
    run(state, [](Setup& s) { s.editor.frame_cut(); });
}

// Undo and redo alone, after a cut recorded outside the timing.
void BM_CutThousandFramesUndoRedoOnly(benchmark::State& state) {
    auto setup = std::make_unique<Setup>();
    setup->select_middle();
    setup->editor.frame_cut();
    for (auto _ : state) {
        setup->ti.history.undo();
        setup->ti.history.redo();
    }
    state.counters["history_bytes"] = (double)setup->ti.history.get_byte_size();
}

// The same edits with no history, for comparison.
template <class Edit> void run_bare(benchmark::State& state, Edit edit) {
    auto setup = std::make_unique<Setup>();
    setup->editor.link_to_history(nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        setup->select_middle();
        state.ResumeTiming();
        edit(*setup);
    }
}

void BM_ReverseThousandFramesWithoutHistory(benchmark::State& state) {
    run_bare(state, [](Setup& s) { s.editor.apply_effect(0); });
}

void BM_CutAndPasteBackWithoutHistory(benchmark::State& state) {
    run_bare(state, [](Setup& s) {
        s.editor.frame_copy();
        s.editor.frame_cut();
        s.editor.get_selection()->set_point_1(FRAMES / 2);
        s.editor.get_selection()->set_point_2(FRAMES / 2);
        s.editor.get_selection()->set_active(true);
        s.editor.frame_paste();  // back to ten million frames for the next round
    });
}

}  // namespace

BENCHMARK(BM_ReverseThousandFramesRecordUndoRedo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutThousandFramesRecordUndoRedo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutThousandFramesUndoRedoOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReverseThousandFramesWithoutHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutAndPasteBackWithoutHistory)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
