#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "tracker/audio_components.h"

// Command-line companion of the tracker: inspects, converts, renders and plays modules.

std::vector<CLI_Command>& cli_commands() {
    static std::vector<CLI_Command> commands;
    return commands;
}

static void print_help(FILE* out) {
    std::vector<CLI_Command> sorted = cli_commands();
    std::sort(sorted.begin(), sorted.end(),
              [](const CLI_Command& a, const CLI_Command& b) { return std::strcmp(a.name, b.name) < 0; });
    std::fprintf(out, "Usage: wendmoor_cli COMMAND [ARGS]\n\nCommands:\n");
    for (const CLI_Command& c : sorted)
        std::fprintf(out, "  %-36s %s\n", c.usage, c.summary);
    std::fprintf(out, "  %-36s %s\n", "--version", "print the version");
    std::fprintf(out, "  %-36s %s\n", "--help", "print this help");
    std::fprintf(out, "\n'wendmoor_cli COMMAND --help' describes a command's options.\n");
}

static void print_command_help(const CLI_Command& c) {
    std::printf("Usage: wendmoor_cli %s\n%s\n\n%s", c.usage, c.summary, c.help);
}

static bool asks_for_help(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        print_help(stderr);
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "--version") {
        std::printf("wendmoor_cli %s\n", WENDMOOR_VERSION);
        return 0;
    }
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        print_help(stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const CLI_Command& c : cli_commands())
        if (cmd == c.name && asks_for_help(args)) {
            print_command_help(c);
            return 0;
        }
    // Native songs name their effects; the sources must exist before any song loads.
    Audio_Components audio_components;
    for (const CLI_Command& c : cli_commands())
        if (cmd == c.name) return c.run(args);
    std::fprintf(stderr, "wendmoor_cli: unknown command '%s' (try --help)\n", cmd.c_str());
    return 2;
}
