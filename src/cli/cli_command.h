#pragma once

#include <string>
#include <vector>

// Each subcommand lives in its own file and registers itself here at start-up.
struct CLI_Command {
    const char* name;
    const char* usage;    // one line: "info FILE"
    const char* summary;  // what it does, one line
    const char* help;     // the arguments and options in full, for "COMMAND --help"
    int (*run)(const std::vector<std::string>& args);  // args after the command name
};

std::vector<CLI_Command>& cli_commands();

struct CLI_Command_Registrar {
    explicit CLI_Command_Registrar(const CLI_Command& command) { cli_commands().push_back(command); }
};

#define WENDMOOR_CLI_COMMAND(id, name, usage, summary, help, fn) \
    static CLI_Command_Registrar cli_registrar_##id({name, usage, summary, help, fn})
