#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/loaded_file.h"
#include "tracker/tracker_instance.h"

// Loads a module, sample or instrument through the registry and saves it with the saver that
// claims OUT's name.

namespace {

std::string lower_extension(const std::string& file) {
    size_t dot = file.find_last_of('.'), slash = file.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = file.substr(dot);
    for (char& c : ext) c = (char)std::tolower((unsigned char)c);
    return ext;
}

// Impulse Tracker's own names for its sample and instrument files, which the IT saver knows as
// ".is" and ".ii": the saver of that name writes the file.
const char* format_name_for(const std::string& out) {
    std::string ext = lower_extension(out);
    if (ext == ".its") return "format.is";
    if (ext == ".iti") return "format.ii";
    return nullptr;
}

// What the chosen format cannot hold, said before it is lost.
std::vector<std::string> losses(Tracker_Instance& ti, Loaded_File::Kind kind, const std::string& out) {
    File_Format_Manager& formats = ti.file_format_manager;
    const char* format = format_name_for(out);
    const char* name = format ? format : out.c_str();
    switch (kind) {
        case Loaded_File::MODULE: return formats.get_save_losses(name);
        case Loaded_File::SAMPLE: {
            std::vector<std::string> lines = formats.get_sample_save_losses(name, 0);
            return lines.empty() ? formats.get_instrument_save_losses(name, 0) : lines;
        }
        case Loaded_File::INSTRUMENT: return formats.get_instrument_save_losses(name, 0);
    }
    return {};
}

const char* names_for(Loaded_File::Kind kind) {
    switch (kind) {
        case Loaded_File::MODULE: return "a module is written as .wm or .it";
        case Loaded_File::SAMPLE:
            return "a sample is written as .ws, .is/.its, .wav or .raw, or as an instrument as .wi or .ii/.iti";
        case Loaded_File::INSTRUMENT: return "an instrument is written as .wi or .ii/.iti";
    }
    return "";
}

int save(Tracker_Instance& ti, Loaded_File::Kind kind, const std::string& out, std::string& why) {
    File_Format_Manager& formats = ti.file_format_manager;
    const char* format = format_name_for(out);
    int result = -2;
    switch (kind) {
        case Loaded_File::MODULE: result = formats.save_module(out.c_str()); break;
        case Loaded_File::SAMPLE:
            result = formats.save_sample(out.c_str(), 0, format);
            if (result != -2) break;
            // An instrument file asked for: the sample becomes an instrument that plays it on every note.
            ti.song.make_instrument_out_of_sample_at(0, 0);
            result = formats.save_instrument(out.c_str(), 0, format);
            break;
        case Loaded_File::INSTRUMENT: result = formats.save_instrument(out.c_str(), 0, format); break;
    }
    if (result == -1) why = formats.get_save_error();
    return result;
}

int run_convert(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: wendmoor_cli convert IN OUT\n");
        return 2;
    }
    const std::string& in = args[0];
    // The savers claim only names longer than their extension's four characters: "a.ws" is
    // named through its folder.
    const std::string out = args[1].find('/') == std::string::npos ? "./" + args[1] : args[1];
    Tracker_Instance ti;
    Loaded_File loaded = Loaded_File::load(ti, in);
    if (loaded.error != Loader::SUCCESS) {
        std::fprintf(stderr, "%s\n", loaded.describe_error(in).c_str());
        return 1;
    }
    loaded.print_warnings(in);
    for (const std::string& line : losses(ti, loaded.kind, out))
        std::fprintf(stderr, "warning: %s: %s\n", args[1].c_str(), line.c_str());
    std::string why;
    int result = save(ti, loaded.kind, out, why);
    if (result == -2) {
        std::fprintf(stderr, "%s: no %s format is saved under this name (%s)\n", args[1].c_str(),
                     loaded.kind == Loaded_File::MODULE ? "song" : Loaded_File::kind_name(loaded.kind),
                     names_for(loaded.kind));
        return 1;
    }
    if (result != 0) {
        std::fprintf(stderr, "%s: Error saving file: %s\n", args[1].c_str(), why.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

WENDMOOR_CLI_COMMAND(convert, "convert", "convert IN OUT", "convert a module, sample or instrument to the format OUT names",
                     "IN is read by content (see 'info --help'); OUT's extension chooses the format:\n"
                     "  modules      .wm  .it\n"
                     "  samples      .ws  .is or .its (Impulse Tracker)  .wav  .raw (frames only, as held)\n"
                     "  instruments  .wi  .ii or .iti (Impulse Tracker: layer 1 only)\n"
                     "A sample saved under an instrument name becomes an instrument that plays it on every\n"
                     "note. Modules are not split into samples, nor instruments into sample files.\n"
                     "What OUT's format cannot hold is listed first, each line starting \"warning: \".\n"
                     "OUT is replaced only once it is complete. Failures exit with status 1.\n",
                     run_convert);
