#pragma once

#include <vector>

#include "common/components/audio/mixer_base.h"

// A mixer that renders a known signal: frame n of its output is (left(n), right(n)) in the
// mixer format (16-bit value << 16), and it hands out at most `chunk` frames per call so
// callers must loop. Counts what it was asked for.
class Constant_Mixer : public Mixer_Base {
public:
    Constant_Mixer(int left, int right, int chunk = 1 << 30) : left(left), right(right), chunk(chunk) {}

    int* get_mixdown_buffer_ptr() override { return buffer.data(); }
    int* get_channel_buffer_ptr(int) override { return buffer.data(); }
    bool is_channel_in_use(int) override { return false; }
    int get_active_voices_count() override { return 0; }
    void set_mix_frequency(float hz) override { frequency = hz; }
    float get_mix_frequency() override { return frequency; }
    void set_preamp(float) override {}
    int write_samples(int frames) override {
        int k = frames < chunk ? frames : chunk;
        buffer.resize((size_t)k * 2);
        for (int i = 0; i < k; i++) {
            buffer[i * 2] = value_at(left, frames_rendered + i);
            buffer[i * 2 + 1] = value_at(right, frames_rendered + i);
        }
        frames_rendered += k;
        calls++;
        return k;
    }
    void allocate_voice(Voice*) override {}
    void replace_voice(Voice*, Voice*) override {}
    void eliminate_voice(Voice*) override {}
    void set_process_callback_interval(int) override {}

    // Level RAMP means frame n carries (n % 2000) - 1000; any other level is constant.
    static int value_at(int level, long long n) {
        int v = level == RAMP ? (int)(n % 2000) - 1000 : level;
        return (int)((unsigned)v << 16);
    }
    static constexpr int RAMP = -99999;

    int left, right, chunk;
    float frequency = 0;
    long long frames_rendered = 0;
    int calls = 0;
    std::vector<int> buffer;
};
