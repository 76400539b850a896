#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/components/audio/audio_output_stream.h"

// Finds and loads wendmoor_rtaudio.so, which holds the RtAudio device code, the first time a
// stream is wanted. It stays loaded for the rest of the process: RtAudio's threads and
// callbacks must never outlive its code.
class RtAudio_Module {
public:
    static constexpr const char* FILE_NAME = "wendmoor_rtaudio.so";

    // Where the module is looked for, in order: beside the program, in the install's library
    // folder relative to the program and where it was meant to be installed, and last by bare
    // name (LD_LIBRARY_PATH and the system's library folders).
    static std::vector<std::string> search_paths();

    // A new stream, or null with the reason in `error`. Safe to call from any thread.
    static std::unique_ptr<Audio_Output_Stream> create_stream(std::string& error);
};
