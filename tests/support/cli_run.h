#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// Runs wendmoor_cli with the arguments (a shell command line), standard error joined to
// standard output.
struct Cli_Run {
    int status = -1;
    std::string out;

    explicit Cli_Run(const std::string& args) {
        FILE* p = popen((std::string(WENDMOOR_CLI_PATH) + " " + args + " 2>&1").c_str(), "r");
        if (!p) return;
        char buf[4096];
        while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        int result = pclose(p);
        status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }
    bool says(const std::string& part) const { return out.find(part) != std::string::npos; }
};
