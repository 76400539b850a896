#pragma once

#include <vector>

// The frame ring shared by Echo and Stereo Enhancer. Its length follows the delay
// property and the mix rate lazily; the storage only grows, so returning to an
// earlier length never allocates on the audio thread.
class Stereo_Delay_Line {
public:
    // Length in frames for a delay in milliseconds; at least one frame.
    static int frames_for(int delay_ms, int mix_rate) {
        long long n = (long long)delay_ms * mix_rate / 1000;
        return n < 1 ? 1 : (int)n;
    }

    // Rebuilds and clears the line when its length changes.
    void set_length(int frames) {
        if (frames == length) return;
        length = frames;
        data.assign((size_t)frames * 2, 0);
        pos = 0;
    }

    void clear() {
        data.assign(data.size(), 0);
        pos = 0;
    }

    int get_length() const { return length; }
    int* frame() { return &data[(size_t)pos * 2]; }
    void advance() {
        if (++pos >= length) pos = 0;
    }

private:
    std::vector<int> data;
    int length = 0;
    int pos = 0;
};
