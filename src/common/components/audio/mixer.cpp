#include "common/components/audio/mixer.h"

#include <algorithm>

#include "common/components/audio/resampler.h"
#include "common/components/audio/voice.h"
#include "common/components/data/audio_thread_log.h"
#include "common/components/data/error_line.h"

namespace {
const char* const SOURCE = "common/components/audio/mixer.cpp";

// The fade a cut voice's tail gets, worked out once: a division per sample is most of the
// cost of a cut.
template <int FRAMES>
struct Declick_Gains {
    static constexpr int N = 2 * FRAMES;
    int gain[N];
    constexpr Declick_Gains() : gain() {
        for (int j = 0; j < N; j++) gain[j] = (int)((unsigned)(N - j - 1) * 65535u / (unsigned)N);
    }
};
constexpr Declick_Gains<Mixer::DECLICK_FRAMES> declick_gains;
constexpr Declick_Gains<Mixer::SHORT_DECLICK_FRAMES> short_declick_gains;

// The block loops, written once and built twice: for AVX2 and for any x86-64. The AVX2 build
// is picked per call with the resamplers' switch (a load-time pick through ifunc would run
// before a sanitizer's runtime).
[[gnu::always_inline]] inline void fade_tail_loop(int* __restrict tail, const int* __restrict gain, int n) {
    for (int j = 0; j < n; j++) tail[j] = (tail[j] >> 16) * gain[j];
}

[[gnu::always_inline]] inline void add_block_loop(int* __restrict dst, const int* __restrict src, int n) {
    for (int i = 0; i < n; i++) dst[i] = mixer_add_saturating(dst[i], src[i]);
}

[[gnu::always_inline]] inline void add_scaled_block_loop(int* __restrict dst, const int* __restrict src, int gain,
                                                         int n) {
    for (int i = 0; i < n; i++) dst[i] = mixer_add_saturating(dst[i], (src[i] >> 16) * gain);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define AVX2_BUILD __attribute__((target("avx2")))
#else
#define AVX2_BUILD  // elsewhere the switch is always off, and this is the portable build again
#endif
AVX2_BUILD void fade_tail_avx2(int* tail, const int* gain, int n) { fade_tail_loop(tail, gain, n); }
AVX2_BUILD void add_block_avx2(int* dst, const int* src, int n) { add_block_loop(dst, src, n); }
AVX2_BUILD void add_scaled_block_avx2(int* dst, const int* src, int gain, int n) {
    add_scaled_block_loop(dst, src, gain, n);
}

bool wide() { return resampler_cpu_extensions_in_use(); }

void fade_tail(int* tail, const int* gain, int n) {
    if (wide())
        fade_tail_avx2(tail, gain, n);
    else
        fade_tail_loop(tail, gain, n);
}
}  // namespace

void mixer_add_block(int* dst, const int* src, int n) {
    if (wide())
        add_block_avx2(dst, src, n);
    else
        add_block_loop(dst, src, n);
}

void mixer_add_scaled_block(int* dst, const int* src, int gain, int n) {
    if (wide())
        add_scaled_block_avx2(dst, src, gain, n);
    else
        add_scaled_block_loop(dst, src, gain, n);
}

Mixer::Buffer::Buffer() : buffer(BUS_BUFFER_INTS, BUS_RESIDENT_INTS), outputs(1) {}

// The ring only ever holds one fade-out tail (tails starting together overlap in place).
Mixer::Channel::Channel() { ring_buffer.request_buffer_size(2 * DECLICK_FRAMES); }

Mixer::Mixer()
    : voices(128, nullptr),
      mixdown_buffer(BUS_BUFFER_INTS, BUS_RESIDENT_INTS),
      declick_buffer(2 * DECLICK_FRAMES, 0),
      scratch_buffer(BUS_BUFFER_INTS, BUS_RESIDENT_INTS),
      channels(16) {}

Mixer::~Mixer() {}

int* Mixer::get_channel_buffer_ptr(int channel) {
    if (channel < 0 || channel >= channel_count) return nullptr;
    return channels[channel].buffer.data();
}

bool Mixer::is_channel_in_use(int channel) {
    if (channel < 0 || channel >= channel_count) return false;
    return channels[channel].was_in_use;
}

Voice* Mixer::get_voice(int slot) {
    if (slot < 0 || slot >= max_voices) return nullptr;
    return voices[slot];
}

void Mixer::set_process_callback_interval(int frames) {
    if (frames < 0) frames = 0;
    // A new tick length restarts the count: the tick it belongs to runs before the next span.
    samples_to_callback = 0;
    callback_interval = frames;
}

void Mixer::set_mix_frequency(float hz) {
    // Frames rendered at another rate would play at the wrong pitch; they are dropped.
    if (hz != mix_frequency) span_handed = span_frames;
    mix_frequency = hz;
}

// Length of the span to render next, running the tick that starts it first. Tick lengths
// come from the song and the rate alone, never from the size of the request.
int Mixer::next_span_frames(int asked) {
    if (callback_interval <= 0) return asked;
    if (samples_to_callback <= 0) {
        process_callback.emit_on_audio_thread();
        samples_to_callback = callback_interval;  // the length the tick just asked for
        if (callback_interval <= 0) return asked;
    }
    // A tick too long for one block is rendered in pieces of a fixed size, whatever is asked.
    const int pieces = (callback_interval + MAX_BLOCK_FRAMES - 1) / MAX_BLOCK_FRAMES;
    const int piece = (callback_interval + pieces - 1) / pieces;
    return std::min(samples_to_callback, piece);
}

int Mixer::write_samples(int frames) {
    if (frames > MAX_BLOCK_FRAMES) frames = MAX_BLOCK_FRAMES;
    if (frames <= 0) return 0;
    if (span_handed >= span_frames) {
        span_handed = span_frames = 0;
        const int span = next_span_frames(frames);
        span_frames = write_samples_internal(span);
        if (callback_interval > 0) samples_to_callback -= span_frames;
    }
    handed_from = span_handed;
    const int n = std::min(frames, span_frames - span_handed);
    span_handed += n;
    return n;
}

void Mixer::start_bus(Buffer& bus, int frames) {
    std::fill(bus.buffer.begin(), bus.buffer.begin() + 2 * frames, 0);
    bus.in_use = true;
    bus.idle_time = 0.0;
}

int Mixer::write_samples_internal(int frames) {
    std::fill(mixdown_buffer.begin(), mixdown_buffer.begin() + 2 * frames, 0);
    if (mix_frequency <= 0.0f) {
        // Not attached to a driver yet: silence, and the player's clock does not run.
        active_voices = 0;
        active_buffers = 0;
        return frames;
    }
    const double block_ms = frames * 1000.0 / mix_frequency;
    for (Channel& c : channels) {
        c.in_use = false;
        c.idle_time += block_ms;
    }
    for (Buffer& b : buffers) {
        b.in_use = false;
        b.idle_time += block_ms;
    }
    metering = level_meters.load(std::memory_order_relaxed);
    // Acquire: the feed was made before the switch was turned on.
    const bool scopes_now = channel_scopes_on.load(std::memory_order_acquire);
    if (scopes_now && !scoping) channel_scopes->clear();  // what it held is from long ago
    scoping = scopes_now;
    if (scoping) channel_scopes->begin_block(frames, mix_frequency);

    int voice_count = 0;
    for (int i = 0; i < max_voices; i++) {
        Voice* v = voices[i];
        if (v == nullptr) continue;
        if (!v->can_mix()) {
            v->mix(frames, scratch_buffer.data());
            continue;
        }
        int c = v->get_channel();
        if (c < 0 || c >= channel_count) continue;
        v->set_preamp(preamp);
        v->set_mix_frequency(mix_frequency);
        Channel& channel = channels[c];
        if (!channel.in_use) start_bus(channel, frames);
        voice_count++;
        int* buffer = channel.buffer.data();
        // A scoped voice is measured by what it adds to the bus, so it cannot wait in the batch.
        const bool scoped = scoping && v->get_pattern_channel() >= 0;
        if (!scoped && filter_batching && v->mix_batched(frames, buffer, filter_batch)) continue;
        // A voice mixed at once must not add into a bus ahead of earlier voices still batched.
        if (filter_batch.writes_to(buffer)) filter_batch.flush();
        if (scoped) channel_scopes->before_voice(buffer);
        v->mix(frames, buffer);
        if (scoped) channel_scopes->after_voice(v->get_pattern_channel(), buffer);
    }
    filter_batch.flush();
    if (scoping) channel_scopes->end_block();

    for (int i = 0; i < max_voices; i++) {
        if (voices[i] != nullptr && voices[i]->get_priority() == 0) eliminate_voice(i);
    }

    int bus_count = 0;
    for (int i = 0; i < channel_count; i++) {
        Channel& channel = channels[i];
        if (channel.ring_buffer.is_there_data_to_mix()) {
            if (!channel.in_use) start_bus(channel, frames);
            int tail = std::min(channel.ring_buffer.get_data_remaining() / 2, frames);
            channel.ring_buffer.mix_to_buffer(2 * tail, channel.buffer.data(), true);
        }
        process_buffer_effects_and_outputs(channel, frames);
        if (channel.in_use) bus_count++;
        channel.was_in_use = channel.in_use;
    }
    for (int i = (int)buffers.size() - 1; i >= 0; i--) {
        process_buffer_effects_and_outputs(buffers[i], frames);
        if (buffers[i].in_use) bus_count++;
    }

    active_buffers = bus_count;
    active_voices = voice_count;
    return frames;
}

void Mixer::process_buffer_effects_and_outputs(Buffer& bus, int frames) {
    const double block_ms = frames * 1000.0 / mix_frequency;
    if (bus.idle_time - block_ms > 3000.0) return;
    if (!bus.in_use) {
        std::fill(bus.buffer.begin(), bus.buffer.begin() + 2 * frames, 0);
        bus.in_use = true;
    }
    bus.effect_chain.process_buffer(bus.buffer.data(), frames, true, (int)mix_frequency);

    const int count = 2 * frames;
    const int* src = bus.buffer.data();
    if (metering) bus.peak.measure(src, frames);
    for (const Buffer::Output& out : bus.outputs) {
        int* dst;
        if (out.buffer_index == -1) {
            dst = mixdown_buffer.data();
        } else if (out.buffer_index >= 0 && out.buffer_index < (int)buffers.size()) {
            Buffer& target = buffers[out.buffer_index];
            if (!target.in_use) start_bus(target, frames);
            dst = target.buffer.data();
        } else {
            Audio_Thread_Log::post(SOURCE, __LINE__, "Something wrong mixing this buffer!");
            continue;
        }
        if (out.send_level >= 127)
            mixer_add_block(dst, src, count);
        else
            mixer_add_scaled_block(dst, src, out.send_level * 65535 / 127, count);
    }
}

void Mixer::allocate_voice(Voice* voice) {
    if (voice == nullptr || get_voice_index(voice) >= 0) return;
    int slot = find_aviable_voice();
    voices[slot] = voice;
    voice->clear_status();
    voice->set_mix_frequency(mix_frequency);
}

int Mixer::find_aviable_voice() {
    for (int i = 0; i < max_voices; i++) {
        if (voices[i] == nullptr) return i;
    }
    int slot = 0;
    int lowest = 7;
    for (int i = 0; i < max_voices; i++) {
        int p = voices[i]->get_priority();
        if (p < lowest) {
            lowest = p;
            slot = i;
        }
    }
    eliminate_voice(slot);
    return slot;
}

void Mixer::replace_voice(Voice* old_voice, Voice* new_voice) {
    int slot = get_voice_index(old_voice);
    if (slot < 0) {
        Audio_Thread_Log::post(SOURCE, __LINE__, "Tryin to replace unexisting voice!");
        return;
    }
    eliminate_voice(slot);
    voices[slot] = new_voice;
    if (new_voice != nullptr) {
        new_voice->clear_status();
        new_voice->set_mix_frequency(mix_frequency);
    }
}

void Mixer::eliminate_voice(Voice* voice) {
    int slot = get_voice_index(voice);
    if (slot < 0) {
        Audio_Thread_Log::post(SOURCE, __LINE__, "Tryin to eliminate unexisting voice!");
        return;
    }
    eliminate_voice(slot);
}

void Mixer::eliminate_voice(int slot) {
    if (slot < 0 || slot >= max_voices || voices[slot] == nullptr) return;
    Voice* v = voices[slot];
    int c = v->get_channel();
    // The tail of a voice outside the channel range would have nowhere to sound.
    if (v->can_mix() && c >= 0 && c < channel_count) {
        std::fill(declick_buffer.begin(), declick_buffer.end(), 0);
        const bool short_tail = v->has_short_declick();
        const int frames = short_tail ? SHORT_DECLICK_FRAMES : DECLICK_FRAMES;
        v->mix(frames, declick_buffer.data());
        const int n = 2 * frames;
        fade_tail(declick_buffer.data(), short_tail ? short_declick_gains.gain : declick_gains.gain, n);
        channels[c].ring_buffer.mix_from_buffer(n, declick_buffer.data());
    }
    voices[slot] = nullptr;
    v->remove_from_mixer();
}

void Mixer::on_voice_kill(int slot) {
    if (slot < 0 || slot >= max_voices) return;
    voices[slot] = nullptr;
}

void Mixer::set_level_meters(bool on) {
    if (on && !get_level_meters()) {
        // Whatever was measured before they were last switched off is long stale.
        for (Channel& c : channels) c.peak.take();
        for (Buffer& b : buffers) b.peak.take();
    }
    level_meters.store(on, std::memory_order_relaxed);
}

void Mixer::set_channel_scopes(bool on) {
    // Made here, on the interface thread, before the audio thread can see the switch on.
    if (on && !channel_scopes) channel_scopes = std::make_unique<Channel_Scopes>();
    channel_scopes_on.store(on, std::memory_order_release);
}

Peak_Meter::Levels Mixer::take_channel_peak(int channel) {
    if (channel < 0 || channel >= channel_count) return {};
    return channels[channel].peak.take();
}

Peak_Meter::Levels Mixer::take_buffer_peak(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) return {};
    return buffers[buffer].peak.take();
}

int Mixer::get_voice_index(Voice* voice) {
    if (voice == nullptr) return -1;
    for (int i = 0; i < max_voices; i++) {
        if (voices[i] == voice) return i;
    }
    return -1;
}
