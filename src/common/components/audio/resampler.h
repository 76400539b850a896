#pragma once

#include <cstdint>
#include <string>

class Sample_Data;

// Renders one run of a voice: a stretch of output frames inside which no loop point or
// sample end is crossed. Adds into interleaved left/right 32-bit accumulators.
class Resampler {
public:
    // The run's position is an integer base frame plus an 11-bit fraction, so samples
    // of any length play; the per-run accumulator stays 32-bit.
    struct Mix_Data {
        int* dest = nullptr;
        const Sample_Data* sample_data = nullptr;
        std::int64_t frame = 0;   // integer frame of the run's first output frame
        int fraction = 0;         // 0..2047
        int increment = 0;        // position step per output frame, negative backwards
        int frames = 0;
        std::uint8_t fractional_bits = 11;
        int left_volume_end = 0;
        int right_volume_end = 0;
        int left_volume_start = 0;
        int right_volume_start = 0;
        int filter_on = 0;
        int a0 = 0;  // filter coefficients x 4096
        int b0 = 0;
        int b1 = 0;
        int y1 = 0;  // filter history, kept across runs and blocks of one voice
        int y2 = 0;
    };

    virtual ~Resampler() = default;

    virtual void mix(Mix_Data* data) = 0;
    virtual std::string get_name() = 0;
    virtual bool has_interpolation() = 0;
};

class Resampler_Raw : public Resampler {
public:
    void mix(Mix_Data* data) override;
    std::string get_name() override { return "Raw"; }
    bool has_interpolation() override { return false; }
};

class Resampler_Linear : public Resampler {
public:
    void mix(Mix_Data* data) override;
    std::string get_name() override { return "Linear"; }
    bool has_interpolation() override { return true; }
};

// Silence: created at start-up but not registered.
class Resampler_Dummy : public Resampler {
public:
    void mix(Mix_Data*) override {}
    std::string get_name() override { return "None"; }
    bool has_interpolation() override { return false; }
};

// Turns the CPU-specific inner loops (AVX2) on or off; on by default where the CPU has them.
// Both paths give the same output; this exists so each can be checked. Returns whether the
// extensions are now in use.
bool resampler_use_cpu_extensions(bool on);

// Whether the CPU-specific inner loops are in use now.
bool resampler_cpu_extensions_in_use();
