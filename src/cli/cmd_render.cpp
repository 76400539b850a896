#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "cli/channel_export.h"
#include "cli/cli_command.h"
#include "cli/wav_output.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "tracker/audio_components.h"
#include "tracker/song_loop_watch.h"
#include "tracker/tracker_instance.h"
#include "trackercore/safe_file.h"

// Renders a module offline, as fast as the machine allows, through the same player and mixer
// that play it live.

namespace {

struct Render_Options {
    std::string input;
    std::string output;
    int rate = 44100;
    bool linear = true;
    bool mono = false;
    double tail_seconds = 0.0;
    double max_seconds = 1800.0;
    bool quiet = false;
    bool bench = false;
    bool per_channel = false;  // output names a folder
};

bool parse_number(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && !text.empty();
}

const char* const RENDER_HELP =
    "Renders through the same player and mixer that play the song live, as fast as the machine allows,\n"
    "to the end of the song (or where it loops back), as 16-bit PCM.\n"
    "  -o, --output PATH      the WAV file; with --per-channel, the folder for the channel files\n"
    "  --rate HZ              mix rate, 8000 to 192000 (default 44100)\n"
    "  --resampler raw|linear (default linear)\n"
    "  --mono                 one channel, the two sides averaged\n"
    "  --tail SECONDS         keep rendering after the end, for echoes and reverb to fade (default 0)\n"
    "  --max-seconds SECONDS  stop here at the latest (default 1800)\n"
    "  --quiet                no progress and no summary\n"
    "  --bench                write nothing; print the realtime factor\n"
    "  --per-channel          one file per pattern channel that sounds, NAME-ch01.wav and so on, each\n"
    "                         with every other channel muted, as long as the full render and at its\n"
    "                         rate, for mixing elsewhere. Silent channels get no file. Summed, the\n"
    "                         files equal the full render within rounding (one step per file), except\n"
    "                         where effect buses (chorus, reverb, LADSPA plug-ins on buses) or the\n"
    "                         song's global effects make that impossible, and where the full render\n"
    "                         clips.\n";

int usage() {
    std::fprintf(stderr, "usage: wendmoor_cli render FILE -o OUT.wav [options]\n%s", RENDER_HELP);
    return 2;
}

bool parse(const std::vector<std::string>& args, Render_Options& o) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        auto value = [&](double& out, double lo, double hi) {
            if (i + 1 >= args.size() || !parse_number(args[i + 1], out) || out < lo || out > hi) {
                std::fprintf(stderr, "render: %s needs a number from %g to %g\n", a.c_str(), lo, hi);
                return false;
            }
            i++;
            return true;
        };
        double number;
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) return false;
            o.output = args[++i];
        } else if (a == "--rate") {
            if (!value(number, 8000, 192000)) return false;
            o.rate = (int)number;
        } else if (a == "--resampler") {
            if (i + 1 >= args.size()) return false;
            std::string r = args[++i];
            if (r != "raw" && r != "linear") {
                std::fprintf(stderr, "render: resampler is raw or linear\n");
                return false;
            }
            o.linear = r == "linear";
        } else if (a == "--mono") {
            o.mono = true;
        } else if (a == "--tail") {
            if (!value(o.tail_seconds, 0, 600)) return false;
        } else if (a == "--max-seconds") {
            if (!value(o.max_seconds, 1, 24 * 3600)) return false;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--bench") {
            o.bench = true;
        } else if (a == "--per-channel") {
            o.per_channel = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "render: unknown option %s\n", a.c_str());
            return false;
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            return false;
        }
    }
    if (o.bench && o.per_channel) {
        std::fprintf(stderr, "render: --bench writes nothing; --per-channel writes files\n");
        return false;
    }
    return !o.input.empty() && (o.bench || !o.output.empty());
}

void draw_progress(const Tracker_Instance& ti, int used_orders, double seconds) {
    const int width = 30;
    int order = ti.player.get_current_order();
    int filled = used_orders > 0 ? std::min(width, order * width / used_orders) : 0;
    std::fprintf(stderr, "\r[%s%s] order %3d/%-3d %2d:%02d", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), order, used_orders, (int)seconds / 60, (int)seconds % 60);
    std::fflush(stderr);
}

// The channel files follow the full render's length and stop where it stopped the song.
Channel_Export_Settings channel_export_settings(const Render_Options& o, long frames, long end_frame) {
    long tail = (long)(o.tail_seconds * o.rate);
    return {o.input, o.output, o.rate, o.mono, o.quiet, frames, end_frame < 0 ? -1 : end_frame - tail};
}

int run_render(const std::vector<std::string>& args) {
    Render_Options o;
    if (!parse(args, o)) return usage();

    Resampler_Manager* manager = Resampler_Manager::get_resampler_manager();  // made by main
    for (int i = 0; i < manager->get_resampler_count(); i++)
        if (manager->get_resampler(i)->get_name() == (o.linear ? "Linear" : "Raw")) manager->set_default_resampler(i);

    Tracker_Instance ti;
    Loader::Error e = ti.file_format_manager.load_module(o.input.c_str());
    if (e != Loader::SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", o.input.c_str(), Loader::error_string[e]);
        return 1;
    }

    // The old file stays until the new one is complete.
    Safe_File out;
    if (!o.bench && !o.per_channel) {
        if (!out.open(o.output)) {
            std::fprintf(stderr, "render: cannot write %s: %s\n", o.output.c_str(), out.get_error_text().c_str());
            return 1;
        }
        std::vector<unsigned char> header = wav_header(o.mono ? 1 : 2, o.rate, 0);  // sizes patched at the end
        out.write(header.data(), header.size());
    }

    Mixer& mixer = ti.mixer;
    mixer.set_mix_frequency((float)o.rate);
    ti.player.play_start_song();

    const bool progress = !o.quiet && !o.bench && isatty(STDERR_FILENO);
    const int used_orders = ti.song.get_used_orders_amount();
    const long cap_frames = (long)(o.max_seconds * o.rate);
    long frames_done = 0;
    long end_frame = -1;  // set once the song has ended: where the tail stops
    // Checked after every tick, before it is heard: a row the song has played already is stopped
    // before it sounds.
    Song_Loop_Watch loops;
    std::vector<unsigned char> bytes(4 * Mixer::MAX_BLOCK_FRAMES);
    std::uint64_t data_bytes = 0;
    double next_progress = 0.0;
    std::clock_t cpu_start = std::clock();

    // The end is looked for after every tick, which runs before its frames are rendered: a tick
    // that starts past the end is not written, whatever the size of the requests below.
    sigc::connection watch = mixer.process_callback.connect([&] {
        if (end_frame >= 0) return;
        // A song played once: it stops by itself or comes back to a row it has played.
        bool ended = ti.player.get_play_mode() == Player_Data::PLAY_NOTHING || loops.after_tick(ti.player);
        if (ended) {
            ti.player.play_stop();
            end_frame = frames_done + (long)(o.tail_seconds * o.rate);
        }
    });

    while (frames_done < cap_frames && (end_frame < 0 || frames_done < end_frame)) {
        long want = std::min<long>(4096, cap_frames - frames_done);
        if (end_frame >= 0) want = std::min(want, end_frame - frames_done);
        int n = mixer.write_samples((int)want);
        if (end_frame >= 0) n = (int)std::min<long>(n, end_frame - frames_done);
        if (n <= 0) break;
        if (out.is_open()) {
            int count = mixdown_to_wav_bytes(mixer.get_mixdown_buffer_ptr(), n, o.mono, bytes.data());
            // Nothing more can reach the file; the old one stays as it was.
            if (!out.write(bytes.data(), (size_t)count)) break;
            data_bytes += (std::uint64_t)count;
        }
        frames_done += n;
        double seconds = (double)frames_done / o.rate;
        if (progress && seconds >= next_progress) {
            draw_progress(ti, used_orders, seconds);
            next_progress = seconds + 0.5;
        }
    }
    watch.disconnect();
    double cpu_seconds = (double)(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    double audio_seconds = (double)frames_done / o.rate;
    if (progress) {
        draw_progress(ti, used_orders, audio_seconds);
        std::fprintf(stderr, "\n");
    }

    if (o.per_channel) return export_channels(channel_export_settings(o, frames_done, end_frame));

    if (out.is_open()) {
        if (data_bytes > 0xFFFFFFFFull - 36) out.note_error("longer than a WAV file can hold");
        std::vector<unsigned char> header = wav_header(o.mono ? 1 : 2, o.rate, (std::uint32_t)data_bytes);
        if (out.seek(0)) out.write(header.data(), header.size());
        if (!out.commit()) {
            std::fprintf(stderr, "render: writing %s failed: %s\n", o.output.c_str(), out.get_error_text().c_str());
            return 1;
        }
    }
    if (o.bench) {
        std::printf("%.2f seconds of audio in %.3f CPU seconds: %.1fx realtime\n", audio_seconds, cpu_seconds,
                    cpu_seconds > 0 ? audio_seconds / cpu_seconds : 0.0);
    } else if (!o.quiet) {
        std::printf("%s: %.2f seconds, %d Hz, %s\n", o.output.c_str(), audio_seconds, o.rate,
                    o.mono ? "mono" : "stereo");
    }
    return 0;
}

}  // namespace

WENDMOOR_CLI_COMMAND(render, "render", "render FILE -o OUT.wav [options]",
                     "render a module to a 16-bit WAV file (--per-channel: one file per channel)", RENDER_HELP,
                     run_render);
