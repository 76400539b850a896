#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
// ".is" and ".ii": such a file is written under a temporary name the saver claims, then renamed.
const char* saver_extension_for(const std::string& ext) {
    if (ext == ".its") return ".is";
    if (ext == ".iti") return ".ii";
    return nullptr;
}

std::string temporary_name(const std::string& file, const char* extension) {
    size_t slash = file.find_last_of('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    return file.substr(0, start) + "." + file.substr(start) + ".wendmoor-saving" + extension;
}

// Saver convention (0, -1, -2); why a -1 happened goes into why.
template <typename Save>
int save_as(const std::string& out, Save save, std::string& why) {
    const char* alias = saver_extension_for(lower_extension(out));
    if (!alias) return save(out.c_str());
    std::string temporary = temporary_name(out, alias);
    int result = save(temporary.c_str());
    if (result != 0) return result;
    if (std::rename(temporary.c_str(), out.c_str()) == 0) return 0;
    why = std::strerror(errno);
    std::remove(temporary.c_str());
    return -1;
}

void warn(const std::string& out, const char* what) { std::fprintf(stderr, "%s: warning: %s\n", out.c_str(), what); }

// What the chosen format cannot hold, said before it is lost.
void warn_of_losses(Tracker_Instance& ti, Loaded_File::Kind kind, const std::string& out) {
    std::string ext = lower_extension(out);
    if (kind == Loaded_File::SAMPLE) {
        const Sample_Data& d = ti.song.get_sample(0)->data;
        if (ext == ".raw") warn(out, "raw files hold the frames only: rate, loop and name are not kept");
        else if (ext == ".wav" && d.is_loop_enabled()) warn(out, "WAV files keep no loop: the loop is dropped");
        return;
    }
    if (kind == Loaded_File::INSTRUMENT && (ext == ".ii" || ext == ".iti")) {
        const Instrument& ins = *ti.song.get_instrument(0);
        for (int l = 1; l < Instrument::LAYERS; l++)
            for (unsigned char s : ins.layers[l].sample_table)
                if (s < Song::MAX_SAMPLES) {
                    warn(out, "Impulse Tracker instruments have one layer: layers 2 to 4 are dropped");
                    return;
                }
    }
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
    auto save_instrument = [&](const char* name) { return formats.save_instrument(name, 0); };
    int result = -2;
    switch (kind) {
        case Loaded_File::MODULE: result = formats.save_module(out.c_str()); break;
        case Loaded_File::SAMPLE:
            result = save_as(out, [&](const char* name) { return formats.save_sample(name, 0); }, why);
            if (result != -2) break;
            // An instrument file asked for: the sample becomes an instrument that plays it on every note.
            ti.song.make_instrument_out_of_sample_at(0, 0);
            result = save_as(out, save_instrument, why);
            break;
        case Loaded_File::INSTRUMENT: result = save_as(out, save_instrument, why); break;
    }
    if (result == -1 && why.empty()) why = formats.get_save_error();
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
        std::fprintf(stderr, "%s: %s\n", in.c_str(), Loader::error_string[loaded.error]);
        return 1;
    }
    warn_of_losses(ti, loaded.kind, args[1]);
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
                     "OUT is replaced only once it is complete. Failures exit with status 1.\n",
                     run_convert);
