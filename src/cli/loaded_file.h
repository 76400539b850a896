#pragma once

#include <string>
#include <vector>

#include "trackercore/loader.h"

class Tracker_Instance;

// What a file named on the command line holds, read through the registry into a fresh tracker
// instance's song, which nothing plays: a module; one sample, into slot 0; or one instrument,
// into instrument slot 0 with its samples in the free sample slots.
struct Loaded_File {
    enum Kind { MODULE, SAMPLE, INSTRUMENT };

    Loader::Error error = Loader::SUCCESS;
    Kind kind = MODULE;
    std::string format;  // the loader's format name ("Impulse Tracker")
    std::string why;     // with FILE_CANNOT_OPEN: the system's reason ("not a regular file")
    std::vector<std::string> warnings;  // what a file that loaded still left out

    // The error line: "song.it: Cannot open file! (No such file or directory)".
    std::string describe_error(const std::string& file) const;
    // Each warning on standard error, as "warning: <file>: <text>".
    void print_warnings(const std::string& file) const;

    static Loaded_File load(Tracker_Instance& ti, const std::string& file);
    static const char* kind_name(Kind kind);
};
