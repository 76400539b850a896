#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/components/audio/channel_scopes.h"
#include "common/components/audio/effect_chain.h"
#include "common/components/audio/filter_batch.h"
#include "common/components/audio/mixer_base.h"
#include "common/components/audio/peak_meter.h"
#include "common/components/audio/ring_buffer.h"
#include "common/components/audio/zeroed_block.h"

// Mixer sums saturate at the 32-bit range instead of wrapping, so an overloaded mix clips
// at -32768..32767 rather than flipping sign. Drivers that sum several mixers use this too.
// Branch-free so loops over buffers vectorise: only terms of one sign can overflow, and
// then the sum clips towards that sign.
inline int mixer_add_saturating(int a, int b) {
    int sum = (int)((unsigned)a + (unsigned)b);
    int overflow = ((a ^ sum) & (b ^ sum)) >> 31;
    int limit = (a >> 31) ^ INT32_MAX;
    return (sum & ~overflow) | (limit & overflow);
}

// Whole blocks of those sums, n ints: dst += src, and dst += (src >> 16) x gain (a send
// level, gain up to 65535). Built twice, for AVX2 and for any x86-64.
void mixer_add_block(int* dst, const int* src, int n);
void mixer_add_scaled_block(int* dst, const int* src, int gain, int n);

// The audible 16-bit value of a mixer sample (its upper half).
inline std::int16_t mixer_sample_to_16bit(int sample) { return (std::int16_t)(sample >> 16); }

// Converts n mixer ints (stereo interleaved, so 2 per frame) to 16-bit samples.
inline void mixer_buffer_to_16bit(const int* src, std::int16_t* dst, int n) {
    for (int i = 0; i < n; i++) dst[i] = mixer_sample_to_16bit(src[i]);
}

// One song's mixer: a pool of voice slots, 16 channels and the user's buffers, each bus
// running its effect chain and sending through its outputs; also the player's tick clock.
class Mixer : public Mixer_Base {
public:
    class Buffer {
    public:
        struct Output {
            int send_level = 127;
            int send_control = -1;
            int buffer_index = -1;  // -1: the mixdown buffer
        };

        Buffer();

        // ms since the bus last received signal; a new bus counts as long silent, so buses
        // that never carried anything cost nothing.
        double idle_time = 1e9;
        Zeroed_Block buffer;
        bool in_use = false;
        bool was_in_use = false;
        std::string name;
        std::vector<Output> outputs;
        Effect_Chain effect_chain;
        Peak_Meter peak;  // after the effects: what the bus sends
    };

    class Channel : public Buffer {
    public:
        Channel();
        Ring_Buffer ring_buffer;  // fade-out tails of eliminated voices
    };

    static constexpr int MAX_BLOCK_FRAMES = 15000;
    static constexpr int BUS_BUFFER_INTS = 2 * MAX_BLOCK_FRAMES;  // one block, interleaved stereo
    // Resident from the start: a tick of up to 4096 frames (tempo 27 at 44.1 kHz, 30 at 48 kHz).
    static constexpr int BUS_RESIDENT_INTS = 2 * 4096;
    // A cut voice's tail, long enough not to click; voices asking for the short one (a cut
    // note in the formats whose players stop it at once) fade in under 6 ms.
    static constexpr int DECLICK_FRAMES = 1000;
    static constexpr int SHORT_DECLICK_FRAMES = 256;
    // A note following a cut one on its channel rises over this many frames (under 1.5 ms):
    // longer, it dips against the tail; without it, the two add up at the change.
    static constexpr int CROSSFADE_FRAMES = 64;

    Mixer();
    ~Mixer() override;
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Mixer_Base
    // The frames the last write_samples call handed out.
    int* get_mixdown_buffer_ptr() override { return mixdown_buffer.data() + 2 * handed_from; }
    int* get_channel_buffer_ptr(int channel) override;
    bool is_channel_in_use(int channel) override;
    int get_active_voices_count() override { return active_voices; }
    void set_mix_frequency(float hz) override;
    float get_mix_frequency() override { return mix_frequency; }
    void set_preamp(float value) override { preamp = value; }
    float get_preamp() const { return preamp; }
    // While a player sets the tick length, voices are rendered a tick at a time (a tick
    // longer than MAX_BLOCK_FRAMES in equal-sized pieces of that length), the tick being run
    // just before its first frame; the caller gets what it asks for out of that span, the
    // rest waits for the next call. So the output does not depend on how callers cut it.
    // Without a tick length, exactly the frames asked for are rendered.
    int write_samples(int frames) override;
    void allocate_voice(Voice* voice) override;
    void replace_voice(Voice* old_voice, Voice* new_voice) override;
    void eliminate_voice(Voice* voice) override;
    void set_process_callback_interval(int frames) override;

    // Voice pool
    int find_aviable_voice();
    void eliminate_voice(int slot);
    void on_voice_kill(int slot);
    int get_voice_index(Voice* voice);
    int get_max_voices() const { return max_voices; }
    Voice* get_voice(int slot);  // null for a free slot or a bad index
    int get_active_buffers_count() const override { return active_buffers; }

    // Channels, buffers and outputs (interface thread, under the variables lock)
    int get_channel_count() const { return channel_count; }
    Effect_Chain* get_channel_effect_chain(int channel);
    int get_buffer_count() const { return (int)buffers.size(); }
    Effect_Chain* get_buffer_effect_chain(int buffer);
    int* get_buffer_buffer_ptr(int buffer);
    bool is_buffer_in_use(int buffer);
    void add_buffer();
    void remove_buffer(int buffer);
    void set_buffer_name(int buffer, const std::string& name);
    std::string get_buffer_name(int buffer);

    int get_channel_output_count(int channel);
    void add_channel_output(int channel);
    void remove_channel_output(int channel, int output);
    int get_channel_output_buffer_index(int channel, int output);
    void set_channel_output_buffer_index(int channel, int output, int buffer);
    int get_channel_output_send_level(int channel, int output);
    void set_channel_output_send_level(int channel, int output, int level);
    int get_channel_output_send_control(int channel, int output);
    void set_channel_output_send_control(int channel, int output, int control);

    int get_buffer_output_count(int buffer);
    void add_buffer_output(int buffer);
    void remove_buffer_output(int buffer, int output);
    int get_buffer_output_buffer_index(int buffer, int output);
    void set_buffer_output_buffer_index(int buffer, int output, int target);
    int get_buffer_output_send_level(int buffer, int output);
    void set_buffer_output_send_level(int buffer, int output, int level);
    int get_buffer_output_send_control(int buffer, int output);
    void set_buffer_output_send_control(int buffer, int output, int control);

    // Whether filtered voices are mixed several at a time (the default) or one by one; the
    // output is the same. Set while no block is being rendered.
    void set_filter_batching(bool on) { filter_batching = on; }

    // Level meters, for whoever shows them: off, they cost the audio thread nothing. Peaks
    // are taken from the interface thread without the variables lock; a bad index reads silence.
    void set_level_meters(bool on);
    bool get_level_meters() const { return level_meters.load(std::memory_order_relaxed); }
    Peak_Meter::Levels take_channel_peak(int channel);
    Peak_Meter::Levels take_buffer_peak(int buffer);

    // What each pattern channel's voices sound like, for the scopes of the pattern view. Off,
    // they cost the audio thread nothing; switched on from the interface thread. The feed is
    // null until they were first switched on, and then stays for the mixer's life.
    void set_channel_scopes(bool on);
    bool get_channel_scopes() const { return channel_scopes_on.load(std::memory_order_relaxed); }
    const Channel_Scopes* get_channel_scopes_feed() const { return channel_scopes.get(); }

private:
    int next_span_frames(int asked);
    int write_samples_internal(int frames);
    void process_buffer_effects_and_outputs(Buffer& bus, int frames);
    void start_bus(Buffer& bus, int frames);
    Buffer::Output* channel_output(int channel, int output);
    Buffer::Output* buffer_output(int buffer, int output);

    static int new_buffer_name_idx;

    std::vector<Voice*> voices;
    Zeroed_Block mixdown_buffer;
    std::vector<int> declick_buffer;
    Zeroed_Block scratch_buffer;
    std::vector<Channel> channels;
    std::vector<Buffer> buffers;
    int active_voices = 0;
    int active_buffers = 0;
    float preamp = 0.3f;
    int samples_to_callback = 5000000;
    float mix_frequency = 0.0f;
    int channel_count = 16;
    int max_voices = 128;
    int callback_interval = 0;
    // The span in mixdown_buffer: its length, how much of it has been handed out, and where
    // the last hand-out began.
    int span_frames = 0;
    int span_handed = 0;
    int handed_from = 0;
    std::atomic<bool> level_meters{false};
    bool metering = false;  // level_meters as the block being rendered read it
    std::unique_ptr<Channel_Scopes> channel_scopes;
    std::atomic<bool> channel_scopes_on{false};
    bool scoping = false;  // channel_scopes_on as the last block read it
    bool filter_batching = true;
    Filter_Batch filter_batch;
};
