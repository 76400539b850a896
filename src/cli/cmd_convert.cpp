#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "tracker/tracker_instance.h"

// Loads a module through the registry and saves it with the saver that claims OUT's name.
static int run_convert(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: wendmoor_cli convert IN OUT\n");
        return 2;
    }
    Tracker_Instance ti;
    Loader::Error e = ti.file_format_manager.load_module(args[0].c_str());
    if (e != Loader::SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", args[0].c_str(), Loader::error_string[e]);
        return 1;
    }
    int result = ti.file_format_manager.save_module(args[1].c_str());
    if (result == -2) {
        std::fprintf(stderr, "%s: no song format is saved under this name\n", args[1].c_str());
        return 1;
    }
    if (result != 0) {
        std::fprintf(stderr, "%s: Error saving file: %s\n", args[1].c_str(), ti.file_format_manager.get_save_error().c_str());
        return 1;
    }
    return 0;
}

WENDMOOR_CLI_COMMAND(convert, "convert", "convert IN OUT", "load a module and save it in the format OUT names",
                     run_convert);
