#pragma once

#include <cstdint>

#include "common/components/audio/resampler.h"
#include "common/components/audio/voice.h"

class Resampler_Manager;
class Sample_Data;

// The voice that plays a sample: fixed-point position (11 fractional bits), forward and
// ping-pong loops, per-side volumes ramped across each block, optional resonant filter.
// Parameters are set once per tick by its Voice_Control; everything runs on the audio thread.
class Tracker_Voice : public Voice {
public:
    // Which resampler a voice uses: index -1 follows the registry's current default.
    struct Resampler_Instance {
        Resampler_Manager* manager = nullptr;  // null: the process-wide registry
        int index = -1;
        Resampler::Mix_Data mix_data;
    };

    Tracker_Voice();

    // Voice
    int get_priority() override { return priority; }
    int get_channel() override { return channel; }
    void set_mix_frequency(float hz) override;
    void set_preamp(float value) override;
    void mix(int frames, int* buffer) override;
    bool can_mix() override;
    // Filtered voices through the raw or linear resampler go into the batch.
    bool mix_batched(int frames, int* buffer, Filter_Batch& batch) override;

    void setup_sample(Sample_Data* data, int start_index);
    void set_frequency(unsigned int hz);
    void set_volume(int value);
    void set_panning(int value);  // 0..255, 512 = surround
    void set_filter(int a0, int b0, int b1, bool enabled);
    void set_channel(int value) { channel = value; }
    void set_priority(int value) { priority = value; }

    // Registry to draw the resampler from (null: the process-wide one) and its index
    // (-1: the registry's default).
    void set_resampler(Resampler_Manager* manager, int index);

    bool is_active() const { return active != 0; }
    bool has_stopped() const { return was_removed_from_mixer(); }
    int get_current_sample_pos() const { return (int)(position >> 11); }
    int get_current_freq() const { return frequency; }
    int get_left_volume() const { return left_volume; }
    int get_right_volume() const { return right_volume; }

    void reset();

private:
    void update_loop_bounds();
    bool resolve_boundaries(std::int64_t& pos);
    void add_to_mix_buffer(int frames, int* buffer);
    bool mix_short_loop_block(int frames, int* buffer, Resampler* rs, std::int64_t step);
    Resampler* current_resampler();

    int active = 0;
    Sample_Data* sample_data = nullptr;
    int backwards = 0;
    int start_index = 0;
    int frequency = 0;
    int volume = 0;
    int pan = 128;
    int left_volume = 0;
    int right_volume = 0;
    int previous_left = 0;
    int previous_right = 0;
    std::uint64_t position = 0;
    std::int64_t increment = 0;
    int first_mix = 0;
    int filter_a0 = 0;
    int filter_b0 = 0;
    int filter_b1 = 0;
    int filter_active = 0;
    Resampler_Instance resampler;
    int channel = 0;
    int priority = 0;
    int mix_frequency = 1;
    int preamp = 1;
    std::uint64_t sample_end_fp = 0;
    std::uint64_t loop_begin_fp = 0;
    std::uint64_t loop_end_fp = 0;
    bool loop_active = false;
    bool loop_ping_pong = false;
    Resampler* batch_resampler = nullptr;  // stands in for the resampler while batched
};

// Turns the frame-by-frame path for very short loops on or off (on by default). Both paths
// give the same output; this exists so that can be checked. Returns the previous setting.
bool tracker_voice_use_short_loop_path(bool on);
