#include "cli/channel_export.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "cli/wav_output.h"
#include "tracker/tracker_instance.h"
#include "trackercore/safe_file.h"

namespace {

// Channels with a note in a pattern the order list names; only these can sound.
std::vector<int> channels_with_notes(Song& song) {
    bool has_note[Song::CHANNELS] = {};
    bool seen[Song::MAX_PATTERNS] = {};
    for (int i = 0; i < Song::MAX_ORDERS; i++) {
        int p = song.get_order(i);
        if (p < 0 || p >= Song::MAX_PATTERNS || seen[p]) continue;
        seen[p] = true;
        Pattern& pattern = *song.get_pattern(p);
        if (pattern.check_for_empty_pattern()) continue;
        for (int c = 0; c < Song::CHANNELS; c++)
            for (int row = 0; row < pattern.get_length() && !has_note[c]; row++)
                has_note[c] = pattern.get_note(c, row).note < NOTE_COUNT;
    }
    std::vector<int> found;
    for (int c = 0; c < Song::CHANNELS; c++)
        if (has_note[c]) found.push_back(c);
    return found;
}

std::string base_name(const std::string& path) {
    std::string name = std::filesystem::path(path).stem().string();
    return name.empty() ? "song" : name;
}

std::string channel_file(const Channel_Export_Settings& s, int channel) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-ch%02d.wav", channel + 1);
    return (std::filesystem::path(s.directory) / (base_name(s.input) + suffix)).string();
}

enum class Outcome { WRITTEN, SILENT, FAILED };

// Renders the song with only `channel` heard, block for block as the full render went, and
// keeps the file only if something was heard.
Outcome render_channel(const Channel_Export_Settings& s, int channel, const std::string& path) {
    auto instance = std::make_unique<Tracker_Instance>();  // over a megabyte: not on the stack
    Tracker_Instance& ti = *instance;
    if (ti.file_format_manager.load_module(s.input.c_str()) != Loader::SUCCESS) {
        std::fprintf(stderr, "render: %s no longer loads\n", s.input.c_str());
        return Outcome::FAILED;
    }
    Song::Initial_Variables& initial = *ti.song.get_initial_variables();
    for (int c = 0; c < Song::CHANNELS; c++)
        if (c != channel) initial.channel[c].mute = true;  // a channel the song mutes stays muted

    Safe_File out;
    if (!out.open(path)) {
        std::fprintf(stderr, "render: cannot write %s: %s\n", path.c_str(), out.get_error_text().c_str());
        return Outcome::FAILED;
    }
    const int channels = s.mono ? 1 : 2;
    std::vector<unsigned char> header = wav_header(channels, s.rate, 0);
    out.write(header.data(), header.size());

    ti.mixer.set_mix_frequency((float)s.rate);
    ti.player.play_start_song();
    std::vector<unsigned char> bytes(4 * Mixer::MAX_BLOCK_FRAMES);
    bool heard = false;
    long done = 0;
    while (done < s.frames) {
        if (done == s.stop_frame) ti.player.play_stop();
        long want = std::min<long>(4096, s.frames - done);
        if (done < s.stop_frame) want = std::min(want, s.stop_frame - done);
        int n = ti.mixer.write_samples((int)want);
        if (n <= 0) break;
        const int* mix = ti.mixer.get_mixdown_buffer_ptr();
        heard = heard || std::any_of(mix, mix + 2 * n, [](int v) { return (v >> 16) != 0; });
        int count = mixdown_to_wav_bytes(mix, n, s.mono, bytes.data());
        if (!out.write(bytes.data(), (size_t)count)) break;
        done += n;
    }
    if (!heard) {
        out.discard();
        return Outcome::SILENT;
    }
    std::vector<unsigned char> final_header = wav_header(channels, s.rate, (std::uint32_t)(done * channels * 2));
    if (out.seek(0)) out.write(final_header.data(), final_header.size());
    if (!out.commit()) {
        std::fprintf(stderr, "render: writing %s failed: %s\n", path.c_str(), out.get_error_text().c_str());
        return Outcome::FAILED;
    }
    return Outcome::WRITTEN;
}

}  // namespace

int export_channels(const Channel_Export_Settings& s) {
    std::error_code error;
    std::filesystem::create_directories(s.directory, error);
    if (!std::filesystem::is_directory(s.directory)) {
        std::fprintf(stderr, "render: %s is not a folder that can be written%s%s\n", s.directory.c_str(),
                     error ? ": " : "", error ? error.message().c_str() : "");
        return 1;
    }
    std::vector<int> channels;
    {
        auto probe = std::make_unique<Tracker_Instance>();
        if (probe->file_format_manager.load_module(s.input.c_str()) != Loader::SUCCESS) return 1;
        channels = channels_with_notes(probe->song);
    }
    int written = 0;
    for (int channel : channels) {
        std::string path = channel_file(s, channel);
        Outcome outcome = render_channel(s, channel, path);
        if (outcome == Outcome::FAILED) return 1;
        if (outcome == Outcome::SILENT) continue;
        written++;
        if (!s.quiet) std::printf("%s\n", path.c_str());
    }
    if (!s.quiet)
        std::printf("%d channel files: %.2f seconds, %d Hz, %s\n", written, (double)s.frames / s.rate, s.rate,
                    s.mono ? "mono" : "stereo");
    return 0;
}
