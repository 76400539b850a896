#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/components/audio/sample_data.h"

// Sample_Data holding exactly the given frames in a block of exactly their size, so the
// sanitizer build catches any read past the last frame.
inline std::unique_ptr<Sample_Data> make_sample_16(const std::vector<std::int16_t>& frames) {
    auto sd = std::make_unique<Sample_Data>();
    void* block = std::malloc(frames.size() * 2);
    std::memcpy(block, frames.data(), frames.size() * 2);
    sd->set_data_ptr(block, (int)frames.size(), true);
    return sd;
}

inline std::unique_ptr<Sample_Data> make_sample_8(const std::vector<std::int8_t>& frames) {
    auto sd = std::make_unique<Sample_Data>();
    void* block = std::malloc(frames.size());
    std::memcpy(block, frames.data(), frames.size());
    sd->set_data_ptr(block, (int)frames.size(), false);
    return sd;
}

inline void set_loop(Sample_Data& sd, int begin, int end, bool ping_pong) {
    sd.set_loop_enabled(true);
    sd.set_loop_begin(begin);
    sd.set_loop_end(end);
    sd.set_loop_ping_pong(ping_pong);
}
