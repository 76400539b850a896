#include "common/components/audio/tracker_voice.h"

#include <atomic>
#include <cmath>

#include "common/components/audio/filter_batch.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/resampler_manager.h"
#include "common/components/audio/sample_data.h"
#include "common/components/data/audio_thread_log.h"

namespace {

const char* const SOURCE = "trackercore/tracker_voice";

// Keeps run length x increment inside the resampler's 32-bit accumulator.
const std::int64_t MAX_RUN_SPAN = (std::int64_t)1 << 30;
const std::int64_t MAX_INCREMENT = (std::int64_t)1 << 24;

// Loops that last fewer output frames than this are rendered frame by frame.
const std::int64_t SHORT_LOOP_FRAMES = 16;

std::atomic<bool> short_loop_path{true};

inline int to_16bit(std::int8_t s) { return s * 256; }
inline int to_16bit(std::int16_t s) { return s; }

// A loop a few frames long wraps every few frames, and run by run each wrap costs a whole
// resampler call. Here the wrap happens in place, with the resampler's own arithmetic, for
// the steady, unfiltered, forward case. Returns the position after the last frame.
template <typename T, bool LINEAR>
std::int64_t mix_short_loop(const T* data, std::int64_t pos, std::int64_t step, std::int64_t begin,
                            std::int64_t end, int frames, int left, int right, int* d) {
    const std::int64_t length = end - begin;
    for (int i = 0; i < frames; i++) {
        const T* p = data + (pos >> 11);
        int s = to_16bit(p[0]);
        if constexpr (LINEAR) s += ((to_16bit(p[1]) - s) * (int)(pos & 2047)) >> 11;
        d[2 * i] = mixer_add_saturating(d[2 * i], left * s);
        d[2 * i + 1] = mixer_add_saturating(d[2 * i + 1], right * s);
        pos += step;
        // A run ends after the frame at the loop end itself, so only a step past it wraps.
        if (pos > end) {
            const std::int64_t over = pos - end;
            pos = begin + (over < length ? over : over % length);
        }
    }
    return pos;
}

// distance / step for 0 <= distance < 2^32, by the reciprocal: a block splits into many runs
// and a hardware division each is a noticeable share of a short run's cost. The product is
// off by at most one either way, which the two corrections take back.
inline std::int64_t quotient(std::int64_t distance, std::int64_t step, double inverse_step) {
    std::int64_t q = (std::int64_t)((double)distance * inverse_step);
    if (q * step > distance) q--;
    if ((q + 1) * step <= distance) q++;
    return q;
}

}  // namespace

bool tracker_voice_use_short_loop_path(bool on) { return short_loop_path.exchange(on); }

Tracker_Voice::Tracker_Voice() { reset(); }

void Tracker_Voice::reset() {
    active = 0;
    sample_data = nullptr;
    backwards = 0;
    start_index = 0;
    frequency = 0;
    volume = 0;
    pan = 128;
    left_volume = right_volume = 0;
    previous_left = previous_right = 0;
    position = 0;
    increment = 0;
    first_mix = 0;
    filter_a0 = filter_b0 = filter_b1 = 0;
    filter_active = 0;
    resampler.mix_data = Resampler::Mix_Data();
    channel = 0;
    priority = 0;
    mix_frequency = 1;
    preamp = 1;
    sample_end_fp = loop_begin_fp = loop_end_fp = 0;
    loop_active = false;
    loop_ping_pong = false;
}

void Tracker_Voice::set_mix_frequency(float hz) { mix_frequency = (int)hz; }

void Tracker_Voice::set_preamp(float value) { preamp = (int)value; }

void Tracker_Voice::set_frequency(unsigned int hz) { frequency = (int)hz; }

void Tracker_Voice::set_volume(int value) { volume = value; }

void Tracker_Voice::set_panning(int value) { pan = value; }

void Tracker_Voice::set_filter(int a0, int b0, int b1, bool enabled) {
    filter_a0 = a0;
    filter_b0 = b0;
    filter_b1 = b1;
    filter_active = enabled ? 1 : 0;
}

void Tracker_Voice::set_resampler(Resampler_Manager* manager, int index) {
    resampler.manager = manager;
    resampler.index = index;
}

bool Tracker_Voice::can_mix() {
    if (frequency == 0 || sample_data == nullptr || sample_data->get_data_ptr() == nullptr) return false;
    return volume != 0 || previous_left != 0 || previous_right != 0;
}

// Runs on the audio thread: its error lines go through the deferred log.
void Tracker_Voice::setup_sample(Sample_Data* data, int start) {
    if (data == nullptr) {
        Audio_Thread_Log::post(SOURCE, 287, "p_sample_data is null!!");
        return;
    }
    if (start < 0) {
        Audio_Thread_Log::post(SOURCE, 292, "start index < 0???");
        return;
    }
    // Past the end: a sample without a loop has nothing left to play; a looping one plays on
    // from inside its loop (resolve_boundaries wraps the position).
    if (start >= data->get_size() && !data->is_loop_enabled()) return;
    start_index = start;
    sample_data = data;
    backwards = 0;
    first_mix = 1;
    position = (std::uint64_t)start * 2048;
    active = 1;
    // A new note starts with a quiet filter, not the previous note's ringing.
    resampler.mix_data.y1 = 0;
    resampler.mix_data.y2 = 0;
}

Resampler* Tracker_Voice::current_resampler() {
    if (batch_resampler != nullptr) return batch_resampler;
    Resampler_Manager* manager =
        resampler.manager ? resampler.manager : Resampler_Manager::get_resampler_manager();
    if (manager == nullptr) return nullptr;
    int index = resampler.index >= 0 ? resampler.index : manager->get_default_resampler();
    return manager->get_resampler(index);
}

bool Tracker_Voice::mix_batched(int frames, int* buffer, Filter_Batch& batch) {
    if (!filter_active) return false;
    Resampler* rs = current_resampler();
    bool linear;
    if (dynamic_cast<Resampler_Linear*>(rs) != nullptr)
        linear = true;
    else if (dynamic_cast<Resampler_Raw*>(rs) != nullptr)
        linear = false;
    else
        return false;
    batch.begin_voice(buffer, linear, rs);
    batch_resampler = batch.recorder();
    mix(frames, buffer);
    batch_resampler = nullptr;
    batch.end_voice();
    return true;
}

void Tracker_Voice::update_loop_bounds() {
    std::int64_t size = sample_data->get_size();
    sample_end_fp = size > 0 ? (std::uint64_t)(size * 2048 - 1) : 0;
    // Loop points beyond the data would make the resampler read past it.
    std::int64_t begin = sample_data->get_loop_begin();
    std::int64_t end = sample_data->get_loop_end();
    if (end > size) end = size;
    if (begin < 0) begin = 0;
    loop_begin_fp = (std::uint64_t)(begin * 2048);
    loop_end_fp = end > 0 ? (std::uint64_t)(end * 2048 - 1) : 0;
    loop_active = sample_data->is_loop_enabled() && begin < end && loop_begin_fp < loop_end_fp;
    loop_ping_pong = sample_data->is_loop_ping_pong();
}

void Tracker_Voice::mix(int frames, int* buffer) {
    if (frequency == 0 || sample_data == nullptr || sample_data->get_data_ptr() == nullptr ||
        sample_data->get_size() <= 0)
        active = 0;
    if (!active || frames <= 0 || mix_frequency <= 0) return;

    std::int64_t step = (std::int64_t)((std::uint64_t)(unsigned)frequency * 2048 / (unsigned)mix_frequency);
    if (step > MAX_INCREMENT) step = MAX_INCREMENT;
    if (step == 0) {
        active = 0;
        return;
    }
    increment = backwards ? -step : step;

    previous_left = left_volume;
    previous_right = right_volume;
    if (pan == 512) {
        left_volume = right_volume = volume / 2;
    } else {
        right_volume = (volume * pan) >> 8;
        left_volume = (volume * (255 - pan)) >> 8;
    }
    update_loop_bounds();
    if (first_mix) {
        previous_left = left_volume;
        previous_right = right_volume;
        first_mix = 0;
        if (crossfade) {
            // Rise from silence while the cut voice's tail fades, then play on at full volume.
            const int span = std::min(frames, Mixer::CROSSFADE_FRAMES);
            previous_left = previous_right = 0;
            add_to_mix_buffer(span, buffer);
            previous_left = left_volume;
            previous_right = right_volume;
            if (!active || span == frames) return;
            frames -= span;
            buffer += 2 * span;
        }
    }
    add_to_mix_buffer(frames, buffer);
}

// Brings the position back inside the part of the sample being played. Returns false
// when a sample without a loop has ended.
bool Tracker_Voice::resolve_boundaries(std::int64_t& pos) {
    const std::int64_t begin = (std::int64_t)loop_begin_fp;
    const std::int64_t end = (std::int64_t)loop_end_fp;
    const std::int64_t length = end - begin;
    if (!backwards) {
        if (!loop_active) {
            if (pos >= (std::int64_t)sample_end_fp) return false;
            return true;
        }
        if (pos < end) return true;
        if (!loop_ping_pong) {
            // Short loops wrap once per run: spare them the division.
            const std::int64_t over = pos - end;
            pos = begin + (over < length ? over : over % length);
            return true;
        }
        std::int64_t over = pos - end;
        if (over >= 2 * length) over %= 2 * length;
        if (over <= length) {
            pos = end - over;
            backwards = 1;
            increment = -increment;
        } else {
            pos = begin + (over - length);
        }
        return true;
    }
    if (pos >= begin) return true;
    if (!loop_active) {  // the loop was switched off while running backwards
        backwards = 0;
        increment = -increment;
        pos = begin;
        return true;
    }
    std::int64_t under = begin - pos;
    if (under >= 2 * length) under %= 2 * length;
    if (under <= length) {
        pos = begin + under;
        backwards = 0;
        increment = -increment;
    } else {
        pos = end - (under - length);
    }
    return true;
}

void Tracker_Voice::add_to_mix_buffer(int frames, int* buffer) {
    std::int64_t pos = (std::int64_t)position;
    Resampler* rs = current_resampler();
    Resampler::Mix_Data& md = resampler.mix_data;
    // A block at zero volume on both sides adds nothing: only the position moves. Voices
    // continued at zero volume would otherwise cost as much as audible ones.
    const bool silent = left_volume == 0 && right_volume == 0 && previous_left == 0 && previous_right == 0;
    const bool ramp = left_volume != previous_left || right_volume != previous_right;
    const std::int64_t step = increment < 0 ? -increment : increment;
    const std::int64_t longest_run = MAX_RUN_SPAN / step;
    const double inverse_step = 1.0 / (double)step;
    if (!silent && !ramp && rs != nullptr && mix_short_loop_block(frames, buffer, rs, step)) return;
    int done = 0;
    while (done < frames) {
        if (!resolve_boundaries(pos)) {
            active = 0;
            position = 0;
            return;
        }
        std::int64_t distance;
        if (!backwards)
            distance = (std::int64_t)(loop_active ? loop_end_fp : sample_end_fp) - pos;
        else
            distance = pos - (std::int64_t)(loop_active ? loop_begin_fp : 0);
        std::int64_t run = (distance >= 0 && distance <= UINT32_MAX) ? quotient(distance, step, inverse_step) + 1
                                                                       : distance / step + 1;
        if (run > frames - done) run = frames - done;
        if (run > longest_run) run = longest_run;
        if (run <= 0) {
            active = 0;
            break;
        }

        const float n = (float)frames;
        const float s = (float)done;
        const float e = (float)(done + run);
        if (rs != nullptr && !silent) {
            md.dest = buffer + 2 * done;
            md.sample_data = sample_data;
            md.frame = pos >> 11;
            md.fraction = (int)(pos & 2047);
            md.increment = (int)increment;
            md.frames = (int)run;
            md.fractional_bits = 11;
            if (ramp) {
                md.left_volume_start = previous_left + (int)lrintf(s * (left_volume - previous_left) / n);
                md.right_volume_start = previous_right + (int)lrintf(s * (right_volume - previous_right) / n);
                md.left_volume_end = previous_left + (int)lrintf(e * (left_volume - previous_left) / n);
                md.right_volume_end = previous_right + (int)lrintf(e * (right_volume - previous_right) / n);
            } else {
                md.left_volume_start = md.left_volume_end = left_volume;
                md.right_volume_start = md.right_volume_end = right_volume;
            }
            md.filter_on = filter_active;
            md.a0 = filter_a0;
            md.b0 = filter_b0;
            md.b1 = filter_b1;
            rs->mix(&md);
        }
        pos += run * increment;
        done += (int)run;
    }
    // Settle the position so it always names a frame inside the sample between blocks.
    if (active && !resolve_boundaries(pos)) {
        active = 0;
        pos = 0;
    }
    position = (std::uint64_t)pos;
}

// The short-loop path, when the block qualifies: no ramp, no filter, forward through a loop
// the voice is already inside, shorter than SHORT_LOOP_FRAMES output frames, through the raw
// or linear resampler, and (linear) ending far enough before the data's end that no run
// would fall back to raw frames there.
bool Tracker_Voice::mix_short_loop_block(int frames, int* buffer, Resampler* rs, std::int64_t step) {
    if (!short_loop_path.load(std::memory_order_relaxed) || filter_active || backwards || !loop_active ||
        loop_ping_pong)
        return false;
    const std::int64_t begin = (std::int64_t)loop_begin_fp;
    const std::int64_t end = (std::int64_t)loop_end_fp;
    std::int64_t pos = (std::int64_t)position;
    if (pos < begin || pos >= end || (end - begin) / step >= SHORT_LOOP_FRAMES) return false;
    const bool linear = dynamic_cast<Resampler_Linear*>(rs) != nullptr;
    if (!linear && dynamic_cast<Resampler_Raw*>(rs) == nullptr) return false;
    if (linear) {
        const std::int64_t last_read = (end + 1) / 2048;  // the frame after the loop's last
        const std::int64_t guard = (step >= 2048 ? 1 : 2048 / step) + 5;
        if (last_read - 1 + guard >= sample_data->get_size()) return false;
    }
    const void* data = sample_data->get_data_ptr();
    const int l = left_volume;
    const int r = right_volume;
    if (sample_data->is_16bit()) {
        const auto* d16 = (const std::int16_t*)data;
        pos = linear ? mix_short_loop<std::int16_t, true>(d16, pos, step, begin, end, frames, l, r, buffer)
                     : mix_short_loop<std::int16_t, false>(d16, pos, step, begin, end, frames, l, r, buffer);
    } else {
        const auto* d8 = (const std::int8_t*)data;
        pos = linear ? mix_short_loop<std::int8_t, true>(d8, pos, step, begin, end, frames, l, r, buffer)
                     : mix_short_loop<std::int8_t, false>(d8, pos, step, begin, end, frames, l, r, buffer);
    }
    resolve_boundaries(pos);  // as after any block: inside the loop
    position = (std::uint64_t)pos;
    return true;
}
