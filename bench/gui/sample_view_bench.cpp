// Drawing cost of the sample viewer on the offscreen platform with a 10-million-frame 16-bit
// sample in a 1920 x 400 view (at device pixel ratio 1 and 2): the whole sample, the deepest
// zoom (1,000 frames), and the frame after an edit, when the reduction cache is rebuilt
// before drawing. "CacheBuild" is the rebuild alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "common/components/audio/sample_data.h"
#include "tracker/sample_view_cache.h"
#include "tracker/selection.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "common/interface__QT/sample_viewer.h"

namespace {

constexpr int FRAMES = 10'000'000;
constexpr int WIDTH = 1920;
constexpr int HEIGHT = 400;

// A tone under noise, so that every run of frames has its own extremes.
std::unique_ptr<Sample_Data> make_long_sample() {
    auto data = std::make_unique<Sample_Data>();
    auto* block = static_cast<std::int16_t*>(std::malloc((size_t)FRAMES * 2));
    std::uint32_t noise = 1;
    for (int i = 0; i < FRAMES; i++) {
        noise = noise * 1103515245u + 12345u;
        block[i] = (std::int16_t)((i % 441) * 100 - 22000 + (int)((noise >> 16) % 8000));
    }
    data->set_data_ptr(block, FRAMES, true);
    data->set_loop_enabled(true);
    data->set_loop_begin(FRAMES / 4);
    data->set_loop_end(FRAMES / 2);
    return data;
}

struct Viewer_Scene {
    Viewer_Scene() {
        selection.set_max(FRAMES);
        selection.set_point_1(FRAMES / 3);
        selection.set_point_2(FRAMES / 3 * 2);
        selection.set_active(true);
        viewer.set_sample_data(data.get());
        viewer.set_selection(&selection);
        viewer.set_position_list({FRAMES / 5, FRAMES / 2 + 12345});
        viewer.resize(WIDTH, HEIGHT);
    }

    void draw(benchmark::State& state, bool edit_each_frame) {
        const qreal ratio = (qreal)state.range(0);
        QImage image(QSize(WIDTH, HEIGHT) * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        viewer.render(&image);  // the first draw builds the cache
        for (auto _ : state) {
            if (edit_each_frame) viewer.sample_changed();
            viewer.render(&image);
            benchmark::DoNotOptimize(image.constBits());
        }
        state.counters["frames_per_pixel"] = (double)viewer.get_visible_frames() / WIDTH;
        state.counters["cache_level"] = viewer.get_factor();
    }

    std::unique_ptr<Sample_Data> data = make_long_sample();
    Selection selection;
    Sample_Viewer viewer;
};

void BM_SampleView_FullView(benchmark::State& state) {
    Viewer_Scene scene;
    scene.draw(state, false);
}
BENCHMARK(BM_SampleView_FullView)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_SampleView_DeepestZoom(benchmark::State& state) {
    Viewer_Scene scene;
    scene.viewer.set_zoom(Sample_Viewer::MIN_ZOOM);
    scene.viewer.set_zoom_offset(FRAMES / 2 - 500);
    scene.draw(state, false);
}
BENCHMARK(BM_SampleView_DeepestZoom)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_SampleView_DrawAfterEdit(benchmark::State& state) {
    Viewer_Scene scene;
    scene.draw(state, true);
}
BENCHMARK(BM_SampleView_DrawAfterEdit)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SampleView_CacheBuild(benchmark::State& state) {
    std::unique_ptr<Sample_Data> data = make_long_sample();
    Sample_View_Cache cache;
    for (auto _ : state) {
        cache.build(data.get());
        benchmark::DoNotOptimize(cache.get_level_count());
    }
    size_t entries = 0;
    for (int level = 0; level < cache.get_level_count(); level++) entries += cache.get_level(level).size();
    state.counters["cache_bytes"] = (double)(entries * sizeof(Sample_View_Cache::Peak));
    state.counters["levels"] = cache.get_level_count();
}
BENCHMARK(BM_SampleView_CacheBuild)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
