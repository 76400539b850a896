#pragma once

#include <vector>

// Mixer-format stereo blocks for effect tests: the audible 16-bit value in the upper bits.
inline int sample16(int v) { return v * 65536; }

inline std::vector<int> stereo_block(int frames, int left = 0, int right = 0) {
    std::vector<int> b(frames * 2);
    for (int k = 0; k < frames; k++) {
        b[k * 2] = left;
        b[k * 2 + 1] = right;
    }
    return b;
}

inline int left_at(const std::vector<int>& b, int frame) { return b[frame * 2]; }
inline int right_at(const std::vector<int>& b, int frame) { return b[frame * 2 + 1]; }
