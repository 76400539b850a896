#pragma once

#include <cstdio>
#include <string>

// Diagnostics are single lines on standard output: "Error: <source>:<line>: <message>".
// The source and line are part of the program's stable output, so callers pass them explicitly.
inline void error_line(const char* source, int line, const std::string& message) {
    std::printf("Error: %s:%i: %s\n", source, line, message.c_str());
    std::fflush(stdout);
}

#define ERROR_LINE(source, line, message) ::error_line((source), (line), (message))
