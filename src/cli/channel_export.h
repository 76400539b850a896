#pragma once

#include <string>

// What the per-channel export needs from the full render it follows.
struct Channel_Export_Settings {
    std::string input;
    std::string directory;
    int rate;
    bool mono;
    bool quiet;
    long frames;      // the full render's length
    long stop_frame;  // where it stopped the song to play the tail; -1 if it never did
};

// Writes DIRECTORY/NAME-chNN.wav for every pattern channel that sounds, rendered alone: the song
// is loaded afresh for each, with every other channel muted, so effect state starts clean as it
// does for the full render. Returns the command's exit status.
int export_channels(const Channel_Export_Settings& settings);
