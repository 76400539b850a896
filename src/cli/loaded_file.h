#pragma once

#include <string>

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

    static Loaded_File load(Tracker_Instance& ti, const std::string& file);
    static const char* kind_name(Kind kind);
};
