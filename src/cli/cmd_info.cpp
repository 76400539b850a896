#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/loaded_file.h"
#include "tracker/tracker_instance.h"

// Prints what a module, sample or instrument file holds.

namespace {

const char* yes_no(bool b) { return b ? "yes" : "no"; }

const char* loop_name(const Sample_Data& d) {
    return d.is_loop_enabled() ? (d.is_loop_ping_pong() ? "ping-pong" : "forward") : "off";
}

std::string note_name(int note) {
    static const char* const names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    return std::string(names[note % 12]) + (char)('0' + note / 12);
}

void print_sample_line(int slot, const Sample& smp) {
    const Sample_Data& d = smp.data;
    std::printf("  %2d %-26s length %d, %d-bit, loop %s", slot + 1, smp.name.c_str(), d.get_size(),
                d.is_16bit() ? 16 : 8, loop_name(d));
    if (d.is_loop_enabled()) std::printf(" %d-%d", d.get_loop_begin(), d.get_loop_end());
    std::printf(", C5 %d Hz\n", d.get_c5_freq());
}

void print_module(Song& song) {
    const Song::Song_Variables& v = *song.get_variables();
    const Song::Initial_Variables& init = *song.get_initial_variables();
    std::printf("Title:           %s\n", v.name.c_str());
    std::printf("Speed:           %d\n", init.speed);
    std::printf("Tempo:           %d\n", init.tempo);
    std::printf("Global volume:   %d\n", init.global_volume);
    std::printf("Mixing volume:   %d\n", v.mixing_volume);
    std::printf("Stereo separation: %d\n", v.stereo_separation);
    std::printf("Flags:           stereo %s, linear slides %s, old effects %s, compatible gxx %s\n",
                yes_no(v.use_stereo), yes_no(v.rules.use_linear_slides), yes_no(v.rules.old_effects), yes_no(v.rules.compatible_gxx));
    int used_orders = song.get_used_orders_amount();
    std::printf("Orders used:     %d\n", used_orders);
    std::printf("Order list:     ");
    for (int i = 0; i < used_orders && i < Song::MAX_ORDERS; i++) {
        short o = song.get_order(i);
        if (o == Song::ORDER_SEPARATOR) std::printf(" +++");
        else if (o == Song::ORDER_SKIP) std::printf(" ---");
        else std::printf(" %03d", o);
    }
    std::printf("\n");
    std::printf("Patterns used:   %d\n", song.get_patterns_used());
    for (int p = 0; p < Song::MAX_PATTERNS; p++) {
        Pattern& pat = *song.get_pattern(p);
        if (pat.check_for_empty_pattern() && song.find_pattern_in_orderlist(p) < 0) continue;
        std::printf("  Pattern %3d: %3d rows, %d cells\n", p, pat.get_length(), pat.get_note_count());
    }
    std::printf("Samples:\n");
    for (int s = 0; s < Song::MAX_SAMPLES; s++)
        if (song.get_sample(s)->in_use) print_sample_line(s, *song.get_sample(s));
    std::printf("Instruments:\n");
    for (int i = 0; i < Song::MAX_INSTRUMENTS; i++) {
        Instrument& ins = *song.get_instrument(i);
        int first = -1;
        for (int n = 0; n < NOTE_COUNT && first < 0; n++)
            if (ins.layers[0].sample_table[n] < Song::MAX_SAMPLES) first = ins.layers[0].sample_table[n];
        if (first < 0 && ins.name.empty()) continue;
        std::printf("  %2d %-26s", i + 1, ins.name.c_str());
        if (first >= 0) std::printf(" first sample %d", first + 1);
        std::printf("\n");
    }
    if (!v.message.empty()) std::printf("Message:\n%s\n", v.message.c_str());
}

void print_sample(const Sample& smp) {
    const Sample_Data& d = smp.data;
    std::printf("Name:            %s\n", smp.name.c_str());
    std::printf("Frames:          %d\n", d.get_size());
    std::printf("Rate:            %d Hz at C-5\n", d.get_c5_freq());
    std::printf("Bits:            %d\n", d.is_16bit() ? 16 : 8);
    std::printf("Channels:        1\n");  // samples are mono; a stereo WAV keeps its left channel
    std::printf("Loop:            %s", loop_name(d));
    if (d.is_loop_enabled()) std::printf(" %d-%d", d.get_loop_begin(), d.get_loop_end());
    std::printf("\n");
    std::printf("Volume:          default %d, global %d\n", smp.def_volume, smp.glb_volume);
}

void print_envelope(const char* caption, const Envelope& e) {
    std::printf("    %-18s", caption);
    if (!e.is_enabled()) {
        std::printf("off\n");
        return;
    }
    std::printf("%d nodes", e.get_node_count());
    if (e.is_loop_enabled()) std::printf(", loop %d-%d", e.get_loop_begin(), e.get_loop_end());
    if (e.is_sustain_loop_enabled())
        std::printf(", sustain %d-%d", e.get_sustain_loop_begin(), e.get_sustain_loop_end());
    if (e.get_node_count() > 0) std::printf(", %d ticks", e.get_node_offset(e.get_node_count() - 1));
    std::printf("\n");
}

// Each run of notes that plays one sample: "3 C-0..B-4, 4 C-5..B-9" (samples 1-based).
std::string sample_ranges(const Instrument::Layer& layer) {
    std::string text;
    for (int n = 0; n < NOTE_COUNT;) {
        int s = layer.sample_table[n], end = n;
        while (end + 1 < NOTE_COUNT && layer.sample_table[end + 1] == s) end++;
        if (s < Song::MAX_SAMPLES) {
            if (!text.empty()) text += ", ";
            text += std::to_string(s + 1) + " " + note_name(n) + (end > n ? ".." + note_name(end) : "");
        }
        n = end + 1;
    }
    return text;
}

void print_instrument(Song& song) {
    const Instrument& ins = *song.get_instrument(0);
    std::printf("Name:            %s\n", ins.name.c_str());
    bool any = false;
    for (int l = 0; l < Instrument::LAYERS; l++) {
        const Instrument::Layer& layer = ins.layers[l];
        std::string ranges = sample_ranges(layer);
        if (ranges.empty()) continue;
        any = true;
        std::printf("Layer %d:         samples %s\n", l + 1, ranges.c_str());
        std::printf("    New note:         %s, fade-out %d\n",
                    Instrument::Layer::nna_type_names[layer.nna_type & 3], layer.volume_fadeout);
        print_envelope("Volume envelope:", layer.volume_envelope);
        print_envelope("Panning envelope:", layer.panning_envelope);
        print_envelope(layer.pitch_use_as_filter ? "Filter envelope:" : "Pitch envelope:", layer.pitch_envelope);
    }
    if (!any) std::printf("Layers:          none plays a sample\n");
    std::printf("Samples:\n");
    for (int s = 0; s < Song::MAX_SAMPLES; s++)
        if (song.get_sample(s)->in_use) print_sample_line(s, *song.get_sample(s));
}

int run_info(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: wendmoor_cli info FILE\n");
        return 2;
    }
    const std::string& file = args[0];
    Tracker_Instance ti;
    Loaded_File loaded = Loaded_File::load(ti, file);
    if (loaded.error != Loader::SUCCESS) {
        std::fprintf(stderr, "%s\n", loaded.describe_error(file).c_str());
        return 1;
    }
    std::printf("File:            %s\n", file.c_str());
    if (loaded.kind == Loaded_File::MODULE) {
        std::printf("Format:          %s\n", loaded.format.c_str());
        print_module(ti.song);
        std::fflush(stdout);
        loaded.print_warnings(file);
        return 0;
    }
    std::printf("Format:          %s %s\n", loaded.format.c_str(), Loaded_File::kind_name(loaded.kind));
    if (loaded.kind == Loaded_File::SAMPLE)
        print_sample(*ti.song.get_sample(0));
    else
        print_instrument(ti.song);
    std::fflush(stdout);
    loaded.print_warnings(file);
    return 0;
}

}  // namespace

WENDMOOR_CLI_COMMAND(info, "info", "info FILE", "print what a module, sample or instrument file holds",
                     "FILE is read by content, whatever its name:\n"
                     "  modules      .wm .it .xm .s3m: variables, orders, patterns, samples, instruments\n"
                     "  samples      .ws .wav and Impulse Tracker samples (.is, .its): frames, rate, bits,\n"
                     "               channels, loop\n"
                     "  instruments  .wi .xi and Impulse Tracker instruments (.ii, .iti): name, the samples\n"
                     "               each layer plays over which notes, envelopes, and the samples\n"
                     "A file that cannot be read prints why and exits with status 1.\n",
                     run_info);
