// Drawing cost of the pattern view on the offscreen platform, with every cell of all 64
// channels filled. "FullRepaint" renders the whole 1920 x 1080 view into an image (at device
// pixel ratio 1 and 2); "CorpusRepaint" does the same with the busiest pattern of a corpus
// song, whose empty fields are dots; "FollowFrame" is one song-window timer tick while the view follows
// a playing song: the player moves on one row, the page's timer reads the position and
// scrolls, and the window paints what that left dirty through the view's paint event;
// "ScopesFrame/1" is one tick while a corpus song plays with the channel scopes shown (the
// mixer's tick is rendered untimed; the page reads the feed and repaints the scope line), and
// "ScopesFrame/0" the same tick with the song stopped, where the flat scopes cost no repaint.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "interface__QT/pattern_edit.h"
#include "interface__QT/pattern_edit_widget.h"

namespace {

constexpr int WIDTH = 1920;
constexpr int HEIGHT = 1080;
constexpr int LENGTH = 128;

// Slides, vibrato and arpeggio: every cell is filled, but nothing changes speed or jumps.
constexpr unsigned char COMMANDS[] = {'D' - 'A', 'E' - 'A', 'F' - 'A', 'H' - 'A', 'J' - 'A'};

void fill_densely(Song& song, int pattern_index) {
    Pattern& pattern = song.pattern[pattern_index];
    pattern.set_length(LENGTH);
    for (int row = 0; row < LENGTH; row++)
        for (int channel = 0; channel < Pattern::CHANNELS; channel++)
            pattern.get_note_ref(channel, row) =
                Note{(unsigned char)((row * 7 + channel) % 120), (unsigned char)(channel % 99),
                     (unsigned char)((row + channel) % 65), COMMANDS[(row + channel) % 5],
                     (unsigned char)(row * 3)};
    pattern.get_note_ref(0, 0);  // commit
}

struct View_Scene {
    View_Scene() {
        Tracker_Instance::init_keyboard();
        fill_densely(ti->song, 0);
        fill_densely(ti->song, 1);
        ti->song.set_order(0, 0);
        ti->song.set_order(1, 1);
        show();
    }

    // The song of a file, on its pattern with the most cells.
    explicit View_Scene(const std::string& path) {
        Tracker_Instance::init_keyboard();
        loaded = ti->file_format_manager.load_module(path.c_str()) == Loader::SUCCESS;
        int busiest = 0;
        for (int p = 0; p < Song::MAX_PATTERNS; p++)
            if (ti->song.pattern[p].get_note_count() > ti->song.pattern[busiest].get_note_count()) busiest = p;
        ti->editor.cursor_goto_pattern(busiest);
        show();
    }

    void show() {
        page = std::make_unique<Pattern_Edit_Widget>(ti.get(), nullptr);
        page->show();
        // The view itself gets the 1920 x 1080.
        Pattern_Edit* view = page->get_pattern_edit();
        page->resize(WIDTH + (page->width() - view->width()), HEIGHT + (page->height() - view->height()));
        QApplication::processEvents();
        ti->editor.set_selection(2, 10, 5, 30);
    }

    bool loaded = true;
    Keyboard_Input keys;
    std::unique_ptr<Tracker_Instance> ti = std::make_unique<Tracker_Instance>();
    std::unique_ptr<Pattern_Edit_Widget> page;
};

void repaint_whole_view(benchmark::State& state, View_Scene& scene) {
    Pattern_Edit* view = scene.page->get_pattern_edit();
    const qreal ratio = (qreal)state.range(0);
    QImage image(QSize(view->width(), view->height()) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    const QRect all = view->rect();
    for (auto _ : state) {
        QPainter painter(&image);
        view->render_area(painter, all);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["width"] = view->width();
    state.counters["height"] = view->height();
    state.counters["channels_shown"] = scene.ti->editor.get_visible_columns();
    state.counters["rows_shown"] = scene.ti->editor.get_visible_rows();
}

void BM_PatternView_FullRepaint(benchmark::State& state) {
    View_Scene scene;
    repaint_whole_view(state, scene);
}
BENCHMARK(BM_PatternView_FullRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

std::string corpus_song(const char* name) {
    const char* shared = std::getenv("WENDMOOR_SHARED_DIR");
    return std::string(shared && *shared ? shared : WENDMOOR_SHARED_DIR) + "/corpus/songs/" + name;
}

void BM_PatternView_CorpusRepaint(benchmark::State& state) {
    View_Scene scene(corpus_song("4th_Symmetriad.it"));
    if (!scene.loaded) {
        state.SkipWithError("cannot load the corpus song");
        return;
    }
    repaint_whole_view(state, scene);
}
BENCHMARK(BM_PatternView_CorpusRepaint)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_PatternView_FollowFrame(benchmark::State& state) {
    View_Scene scene;
    Tracker_Instance& ti = *scene.ti;
    ti.editor.set_follow_song(true);
    ti.song.get_initial_variables()->speed = 1;  // one row a tick: every frame scrolls
    ti.player.play_start_song();
    for (auto _ : state) {
        ti.mixer.process_callback.emit_on_audio_thread();  // the player's next row
        scene.page->timer_callback();
        QApplication::processEvents();  // the view paints what the frame left dirty
    }
    state.counters["row"] = ti.editor.get_cursor_row();
}
BENCHMARK(BM_PatternView_FollowFrame)->Unit(benchmark::kMicrosecond);

void BM_PatternView_ScopesFrame(benchmark::State& state) {
    Resampler_Manager resamplers;
    Resampler_Linear linear;
    resamplers.register_resampler(&linear);
    View_Scene scene(corpus_song("Fight2.it"));
    if (!scene.loaded) {
        state.SkipWithError("cannot load the corpus song");
        return;
    }
    Tracker_Instance& ti = *scene.ti;
    ti.editor.cursor_goto_pattern(ti.song.get_order(0));
    ti.mixer.set_mix_frequency(44100.0f);
    scene.page->timer_callback();  // the shown view switches the feed on
    if (state.range(0)) ti.player.play_start_song();
    for (auto _ : state) {
        state.PauseTiming();
        for (int left = 882; left > 0;) left -= ti.mixer.write_samples(left);  // what the audio thread does
        state.ResumeTiming();
        scene.page->timer_callback();
        QApplication::processEvents();
    }
    state.counters["channels_shown"] = ti.editor.get_visible_columns();
}
BENCHMARK(BM_PatternView_ScopesFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

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
