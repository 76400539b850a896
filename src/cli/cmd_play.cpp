#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_command.h"
#include "common/components/audio/effect_source_manager.h"
#include "common/components/audio/sound_driver_manager.h"
#include "tracker/audio_session.h"
#include "tracker/song_end_watch.h"
#include "tracker/tracker_instance.h"

// Plays modules live through the sound drivers, the way the tracker does: one tracker
// instance per file, every mixer summed by the active driver, an audio thread polling it.

namespace {

volatile sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

struct Play_Options {
    std::vector<std::string> files;
    std::string driver = "0";
    std::string output;
    int rate = 44100;
    int buffer = 0;  // 0: the driver's own default
    bool loop = false;
    bool fast = false;
    bool quiet = false;
    double max_seconds = 0.0;  // 0: no limit
    bool list_drivers = false;
    bool list_effects = false;
    bool list_devices = false;
    std::string device;  // empty: the system default
};

int usage() {
    std::fprintf(stderr,
                 "usage: wendmoor_cli play FILE... [--driver NAME|INDEX] [--device NAME] [--output FILE.wav]\n"
                 "                         [--rate HZ] [--buffer FRAMES] [--loop] [--fast] [--max-seconds S] [--quiet]\n"
                 "       wendmoor_cli play --list-drivers | --list-devices | --list-effects\n");
    return 2;
}

bool parse_int(const std::string& text, int lo, int hi, int& out) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end != '\0' || v < lo || v > hi) return false;
    out = (int)v;
    return true;
}

bool parse(const std::vector<std::string>& args, Play_Options& o) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& a = args[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "play: %s needs a value\n", a.c_str());
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string value;
        if (a == "--driver") {
            if (!next(o.driver)) return false;
        } else if (a == "--device") {
            if (!next(o.device)) return false;
        } else if (a == "--output" || a == "-o") {
            if (!next(o.output)) return false;
        } else if (a == "--rate") {
            if (!next(value) || !parse_int(value, 8000, 192000, o.rate)) {
                std::fprintf(stderr, "play: --rate needs a rate from 8000 to 192000 Hz\n");
                return false;
            }
        } else if (a == "--buffer") {
            if (!next(value) || !parse_int(value, 64, 15000, o.buffer)) {
                std::fprintf(stderr, "play: --buffer needs a size from 64 to 15000 frames\n");
                return false;
            }
        } else if (a == "--max-seconds") {
            int seconds = 0;
            if (!next(value) || !parse_int(value, 1, 24 * 3600, seconds)) {
                std::fprintf(stderr, "play: --max-seconds needs a number of seconds\n");
                return false;
            }
            o.max_seconds = seconds;
        } else if (a == "--loop") {
            o.loop = true;
        } else if (a == "--fast") {
            o.fast = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--list-drivers") {
            o.list_drivers = true;
        } else if (a == "--list-effects") {
            o.list_effects = true;
        } else if (a == "--list-devices") {
            o.list_devices = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "play: unknown option %s\n", a.c_str());
            return false;
        } else {
            o.files.push_back(a);
        }
    }
    return o.list_drivers || o.list_effects || o.list_devices || !o.files.empty();
}

std::string lower(std::string s) {
    for (char& c : s) c = (char)std::tolower((unsigned char)c);
    return s;
}

// A driver is named by its index, its full name or the unique start of its name, in any case
// ("rtaudio", "dummy", "wav").
int find_driver(const std::string& wanted) {
    int count = driver_manager.get_amount_of_drivers();
    int index;
    if (parse_int(wanted, 0, count - 1, index)) return index;
    std::string w = lower(wanted);
    int found = -1;
    for (int i = 0; i < count; i++) {
        std::string name = lower(driver_manager.get_driver_name(i));
        if (name == w) return i;
        if (!w.empty() && name.compare(0, w.size(), w) == 0) {
            if (found >= 0) return -1;  // ambiguous
            found = i;
        }
    }
    return found;
}

void list_drivers() {
    for (int i = 0; i < driver_manager.get_amount_of_drivers(); i++)
        std::printf("%d  %s\n", i, driver_manager.get_driver_name(i).c_str());
}

std::string device_key(const Audio_Output_Device& device) { return device.api + ":" + device.name; }

void list_devices(const std::vector<Audio_Output_Device_Info>& devices) {
    std::printf("default  the system default\n");
    for (const Audio_Output_Device_Info& info : devices)
        std::printf("%s  %s, %d channels%s\n", device_key(info.device).c_str(), info.api_display_name.c_str(),
                    info.channels, info.is_api_default ? ", its default" : "");
}

// "default", "api:name" or a name alone when only one back end has it; case does not count.
bool find_device(const std::string& wanted, const std::vector<Audio_Output_Device_Info>& devices,
                 Audio_Output_Device& found) {
    if (lower(wanted) == "default") {
        found = Audio_Output_Device{};
        return true;
    }
    int matches = 0;
    for (const Audio_Output_Device_Info& info : devices) {
        if (lower(device_key(info.device)) == lower(wanted)) {
            found = info.device;
            return true;
        }
        if (lower(info.device.name) == lower(wanted)) {
            found = info.device;
            matches++;
        }
    }
    return matches == 1;
}

void list_effects(Effect_Source_Manager& manager) {
    for (int s = 0; s < manager.get_effect_source_count(); s++) {
        Effect_Source* source = manager.get_effect_source(s);
        std::printf("%s (%d)\n", source->get_name().c_str(), source->get_effect_count());
        for (int e = 0; e < source->get_effect_count(); e++)
            std::printf("  %-40s %s\n", source->get_effect_name(e).c_str(), source->get_effect_display_name(e).c_str());
    }
}

struct Song_Status {
    int order = 0;
    int pattern = 0;
    int row = 0;
    int voices = 0;
    bool playing = false;
    bool ended = false;
};

// Position under the variables lock (the audio thread changes it every tick), voices from the
// list the player publishes under the info lock.
Song_Status read_status(Tracker_Instance& ti, std::vector<Player_Data::VoiceStatusInfo>& scratch) {
    Song_Status s;
    ti.player.lock_player_variables();
    s.order = ti.player.get_current_order();
    s.pattern = ti.player.get_current_pattern();
    s.row = ti.player.get_current_row();
    s.playing = ti.player.get_play_mode() != Player_Data::PLAY_NOTHING;
    s.ended = ti.player.reached_end_of_song();
    ti.player.unlock_player_variables();
    ti.player.get_voice_status_info(scratch);
    s.voices = (int)scratch.size();
    return s;
}

std::string format_status(const std::vector<Song_Status>& all, double seconds) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%2d:%02d", (int)seconds / 60, (int)seconds % 60);
    std::string line = buf;
    for (size_t i = 0; i < all.size(); i++) {
        const Song_Status& s = all[i];
        if (all.size() > 1) {
            std::snprintf(buf, sizeof buf, " | %zu:", i + 1);
            line += buf;
        }
        if (!s.playing) {
            line += " stopped";
            continue;
        }
        std::snprintf(buf, sizeof buf, " order %3d pattern %3d row %3d voices %3d", s.order, s.pattern, s.row,
                      s.voices);
        line += buf;
    }
    return line;
}

int run_play(const std::vector<std::string>& args) {
    Play_Options o;
    if (!parse(args, o)) return usage();

    // Only this thread takes Ctrl-C: the audio thread and the devices' threads inherit the
    // blocked mask, so their waits are never interrupted.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    Audio_Session session;
    if (o.list_drivers) list_drivers();
    if (o.list_effects) list_effects(session.effect_source_manager());
    // Only listing or choosing a device loads the device module before a song plays.
    std::vector<Audio_Output_Device_Info> devices;
    if (o.list_devices || !o.device.empty()) devices = session.rtaudio_driver.list_output_devices();
    if (o.list_devices) list_devices(devices);
    if (o.files.empty()) return 0;

    int driver = find_driver(o.driver);
    if (driver < 0) {
        std::fprintf(stderr, "play: no sound driver \"%s\" (see --list-drivers)\n", o.driver.c_str());
        return 2;
    }
    Sound_Driver* chosen = driver == 0 ? (Sound_Driver*)&session.rtaudio_driver
                                       : driver == 1 ? (Sound_Driver*)&session.dummy_driver
                                                     : (Sound_Driver*)&session.wav_writer_driver;
    if (chosen->does_perform_disk_write() != !o.output.empty()) {
        std::fprintf(stderr, chosen->does_perform_disk_write() ? "play: the %s needs --output FILE.wav\n"
                                                              : "play: --output is only for a disk writer, not the %s\n",
                     chosen->get_name().c_str());
        return 2;
    }
    if (o.fast && !chosen->does_perform_disk_write()) {
        std::fprintf(stderr, "play: --fast is only for a disk writer\n");
        return 2;
    }
    Audio_Output_Device device;
    if (!o.device.empty()) {
        if (!chosen->can_choose_output_device()) {
            std::fprintf(stderr, "play: --device is only for a driver that plays through a device, not the %s\n",
                         chosen->get_name().c_str());
            return 2;
        }
        if (!find_device(o.device, devices, device)) {
            std::fprintf(stderr, "play: no output device \"%s\" (see --list-devices)\n", o.device.c_str());
            return 2;
        }
    }

    // Every song is loaded before any sound starts, so a bad file changes nothing.
    std::vector<std::unique_ptr<Tracker_Instance>> songs;
    for (const std::string& file : o.files) {
        auto ti = std::make_unique<Tracker_Instance>();
        Loader::Error e = ti->file_format_manager.load_module(file.c_str());
        if (e != Loader::SUCCESS) {
            std::fprintf(stderr, "play: %s: %s\n", file.c_str(), Loader::error_string[e]);
            return 1;
        }
        songs.push_back(std::move(ti));
    }

    driver_manager.request_output_device(device);
    driver_manager.request_mix_frequency(o.rate);
    if (o.buffer > 0) driver_manager.request_buffer_size(o.buffer);
    if (chosen->does_perform_disk_write()) {
        session.wav_writer_driver.set_real_time(!o.fast);
        chosen->set_disk_writer_file(o.output);
    }
    if (!session.start_driver(driver)) {
        std::string why = chosen->does_perform_disk_write() ? session.wav_writer_driver.get_write_error() : "";
        std::fprintf(stderr, "play: the sound driver \"%s\" could not be started%s%s\n", chosen->get_name().c_str(),
                     why.empty() ? "" : ": ", why.c_str());
        return 1;
    }
    for (auto& ti : songs) {
        session.add_song(*ti);
        ti->player.play_start_song();
    }
    if (!session.start_audio_thread()) {
        std::fprintf(stderr, "play: could not start the audio thread\n");
        for (auto& ti : songs) session.remove_song(*ti);
        return 1;
    }
    pthread_sigmask(SIG_UNBLOCK, &stop_signals, nullptr);

    const bool live_line = !o.quiet && isatty(STDOUT_FILENO);
    const auto start = std::chrono::steady_clock::now();
    std::vector<Player_Data::VoiceStatusInfo> scratch;
    std::vector<Song_Status> status(songs.size());
    std::vector<int> last_printed_order(songs.size(), -1);
    std::vector<Song_End_Watch> end_watches(songs.size());
    while (!interrupted) {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bool all_done = true;
        for (size_t i = 0; i < songs.size(); i++) {
            status[i] = read_status(*songs[i], scratch);
            if (status[i].playing && !o.loop &&
                end_watches[i].finished(status[i].ended, true, status[i].order, status[i].row)) {
                songs[i]->player.play_stop();  // takes the variables lock itself
                status[i].playing = false;
            }
            if (status[i].playing) all_done = false;
        }
        if (live_line) {
            std::printf("\r%s\033[K", format_status(status, seconds).c_str());
            std::fflush(stdout);
        } else if (!o.quiet) {
            // Not a terminal: one line whenever a song moves to another order or stops.
            bool changed = false;
            for (size_t i = 0; i < songs.size(); i++) {
                int shown = status[i].playing ? status[i].order : -2;
                if (shown != last_printed_order[i]) {
                    last_printed_order[i] = shown;
                    changed = true;
                }
            }
            if (changed) {
                std::printf("%s\n", format_status(status, seconds).c_str());
                std::fflush(stdout);
            }
        }
        if (all_done) break;
        if (o.max_seconds > 0 && seconds >= o.max_seconds) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(o.fast ? 5 : 50));
    }
    if (live_line) std::printf("\n");

    // Let the blocks already queued in the device play out before the stream closes.
    if (!interrupted && driver == 0) {
        int frames = driver_manager.get_mix_buffer_size() * 5;
        std::this_thread::sleep_for(std::chrono::milliseconds(frames * 1000LL / std::max(1, o.rate)));
    }
    session.stop_audio_thread();
    session.stop_driver();
    for (auto& ti : songs) session.remove_song(*ti);
    songs.clear();
    if (interrupted && !o.quiet) std::printf("Stopped.\n");
    if (chosen->does_perform_disk_write()) {
        // The recording is put in place when the driver stops; only then is it known to be whole.
        const std::string& error = session.wav_writer_driver.get_write_error();
        if (!error.empty()) {
            std::fprintf(stderr, "play: writing %s failed: %s\n", o.output.c_str(), error.c_str());
            return 1;
        }
        if (!o.quiet) std::printf("Wrote %s\n", o.output.c_str());
    }
    return interrupted ? 130 : 0;
}

}  // namespace

WENDMOOR_CLI_COMMAND(play, "play", "play FILE... [--driver NAME|INDEX] [options]",
                     "play modules live through a sound driver (--list-drivers, --list-devices, --list-effects)",
                     "Every FILE plays at once, each song through its own mixer, as in the tracker.\n"
                     "  --driver NAME|INDEX  sound driver by index, name or the start of its name (default 0)\n"
                     "  --device NAME        output device: default, BACKEND:NAME or a name only one back\n"
                     "                       end has, as --list-devices shows them (default: the system's)\n"
                     "  --output FILE.wav    the file a disk-writer driver writes\n"
                     "  --rate HZ            mix rate, 8000 to 192000 (default 44100)\n"
                     "  --buffer FRAMES      driver buffer, 64 to 15000 frames (default: the driver's own)\n"
                     "  --loop               play on past the songs' ends (Ctrl-C stops)\n"
                     "  --fast               a disk writer writes as fast as it can, not in real time\n"
                     "  --max-seconds S      stop after S seconds\n"
                     "  --quiet              no status line\n"
                     "  --list-drivers       list the sound drivers and their indexes\n"
                     "  --list-devices       list the output devices of every back end RtAudio has\n"
                     "  --list-effects       list the effects that songs can use\n",
                     run_play);
