#pragma once

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

#include "common/components/audio/mixer.h"
#include "tracker/song_loop_watch.h"
#include "tracker/tracker_instance.h"

// Plays a loaded module through its tracker instance's player and mixer, the way the render
// command does, until the song ends or a cap is reached.
struct Corpus_Render {
    Loader::Error error = Loader::SUCCESS;
    double seconds = 0;
    bool ended = false;     // reached its end, stopped, or jumped back to where it had been
    int peak = 0;           // loudest 16-bit sample
    double loud_seconds = 0;  // audio with a sample above a whisper in it
    int most_voices = 0;
};

inline Corpus_Render render_corpus_module(Tracker_Instance& ti, const std::string& path, int rate,
                                          double cap_seconds) {
    Corpus_Render r;
    r.error = ti.file_format_manager.load_module(path.c_str());
    if (r.error != Loader::SUCCESS) return r;
    ti.mixer.set_mix_frequency((float)rate);
    ti.player.play_start_song();
    Song_Loop_Watch watch;
    bool looped = false;
    sigc::connection connection =
        ti.mixer.process_callback.connect([&] { looped = looped || watch.after_tick(ti.player); });
    const long cap = (long)(cap_seconds * rate);
    const int block = 1024;
    long frames = 0;
    long loud_frames = 0;
    while (frames < cap) {
        int n = ti.mixer.write_samples(block);
        if (n <= 0) break;
        const int* mix = ti.mixer.get_mixdown_buffer_ptr();
        int block_peak = 0;
        for (int i = 0; i < 2 * n; i++) block_peak = std::max(block_peak, std::abs((int)mixer_sample_to_16bit(mix[i])));
        r.peak = std::max(r.peak, block_peak);
        if (block_peak > 64) loud_frames += n;
        r.most_voices = std::max(r.most_voices, ti.mixer.get_active_voices_count());
        frames += n;
        if (looped || ti.player.get_play_mode() == Player_Data::PLAY_NOTHING) {
            r.ended = true;
            break;
        }
    }
    connection.disconnect();
    ti.player.play_stop();
    r.seconds = (double)frames / rate;
    r.loud_seconds = (double)loud_frames / rate;
    return r;
}
