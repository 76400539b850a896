#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "tracker/tracker_instance.h"

// Prints what a module holds: variables, used orders and patterns, and the used samples and
// instruments.

static const char* yes_no(bool b) { return b ? "yes" : "no"; }

static const char* loader_name_for(Tracker_Instance& ti, const char* file) {
    for (Loader* l : ti.file_format_manager.get_loaders())
        if (l->get_file_name() == file) return l->get_format_name().c_str();
    return "unknown";
}

static int run_info(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: wendmoor_cli info FILE\n");
        return 2;
    }
    const char* file = args[0].c_str();
    Tracker_Instance ti;
    Loader::Error e = ti.file_format_manager.load_module(file);
    if (e != Loader::SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", file, Loader::error_string[e]);
        return 1;
    }
    Song& song = ti.song;
    const Song::Song_Variables& v = *song.get_variables();
    const Song::Initial_Variables& init = *song.get_initial_variables();
    std::printf("File:            %s\n", file);
    std::printf("Format:          %s\n", loader_name_for(ti, file));
    std::printf("Title:           %s\n", v.name.c_str());
    std::printf("Speed:           %d\n", init.speed);
    std::printf("Tempo:           %d\n", init.tempo);
    std::printf("Global volume:   %d\n", init.global_volume);
    std::printf("Mixing volume:   %d\n", v.mixing_volume);
    std::printf("Stereo separation: %d\n", v.stereo_separation);
    std::printf("Flags:           stereo %s, linear slides %s, old effects %s, compatible gxx %s\n",
                yes_no(v.use_stereo), yes_no(v.use_linear_slides), yes_no(v.old_effects), yes_no(v.compatible_gxx));
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
    for (int s = 0; s < Song::MAX_SAMPLES; s++) {
        const Sample& smp = *song.get_sample(s);
        if (!smp.in_use) continue;
        const Sample_Data& d = smp.data;
        std::printf("  %2d %-26s length %d, %d-bit, loop %s", s + 1, smp.name.c_str(), d.get_size(),
                    d.is_16bit() ? 16 : 8,
                    d.is_loop_enabled() ? (d.is_loop_ping_pong() ? "ping-pong" : "forward") : "off");
        if (d.is_loop_enabled()) std::printf(" %d-%d", d.get_loop_begin(), d.get_loop_end());
        std::printf(", C5 %d Hz\n", d.get_c5_freq());
    }
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
    return 0;
}

WENDMOOR_CLI_COMMAND(info, "info", "info FILE", "print what a module holds", run_info);
