#include "cli/loaded_file.h"

#include <cstdio>

#include "tracker/tracker_instance.h"

namespace {

std::string module_format(Tracker_Instance& ti, const std::string& file) {
    for (Loader* l : ti.file_format_manager.get_loaders())
        if (l->get_file_name() == file) return l->get_format_name();
    return "unknown";
}

}  // namespace

// A module is tried first, then a sample, then an instrument: the WAV loader, asked last for
// an instrument, complains of every file it is asked for, so a sample file never gets that far.
Loaded_File Loaded_File::load(Tracker_Instance& ti, const std::string& file) {
    Loaded_File result;
    result.why = File_Reader::why_unreadable(file.c_str());
    if (!result.why.empty()) {
        result.error = Loader::FILE_CANNOT_OPEN;
        return result;
    }
    File_Format_Manager& formats = ti.file_format_manager;
    result.error = formats.load_module(file.c_str());
    if (result.error == Loader::SUCCESS) result.format = module_format(ti, file);
    if (result.error != Loader::FILE_FORMAT_NOT_RECOGNIZED) {
        result.warnings = formats.get_load_warnings();
        return result;
    }

    result.kind = SAMPLE;
    result.error = formats.load_sample_into(file.c_str(), &ti.song, 0);
    if (result.error == Loader::FILE_FORMAT_NOT_RECOGNIZED) {
        result.kind = INSTRUMENT;
        result.error = formats.load_instrument_into(file.c_str(), &ti.song, 0);
    }
    if (result.error == Loader::SUCCESS) result.format = formats.get_last_loader()->get_format_name();
    result.warnings = formats.get_load_warnings();
    return result;
}

std::string Loaded_File::describe_error(const std::string& file) const {
    std::string line = file + ": " + Loader::error_string[error];
    return why.empty() ? line : line + " (" + why + ")";
}

void Loaded_File::print_warnings(const std::string& file) const {
    for (const std::string& line : warnings) std::fprintf(stderr, "warning: %s: %s\n", file.c_str(), line.c_str());
}

const char* Loaded_File::kind_name(Kind kind) {
    switch (kind) {
        case MODULE: return "module";
        case SAMPLE: return "sample";
        case INSTRUMENT: return "instrument";
    }
    return "file";
}
