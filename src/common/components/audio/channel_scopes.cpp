#include "common/components/audio/channel_scopes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr unsigned MASK = Channel_Scopes::RING_POINTS - 1;

}  // namespace

Channel_Scopes::Channel_Scopes() {
    for (int& silent : silent_points) silent = RING_POINTS;
}

void Channel_Scopes::begin_block(int frames, float mix_frequency) {
    const int s = std::max(1, (int)std::lround(mix_frequency / POINTS_PER_SECOND));
    if (s != step.load(std::memory_order_relaxed)) {
        step.store(s, std::memory_order_relaxed);
        next_point = 0;
    }
    block_frames = std::max(frames, 0);
    int count = next_point < block_frames ? (block_frames - 1 - next_point) / s + 1 : 0;
    first_point = next_point;
    next_point = count > 0 ? next_point + count * s - block_frames : next_point - block_frames;
    if (count > MAX_BLOCK_POINTS) {
        first_point += (count - MAX_BLOCK_POINTS) * s;
        count = MAX_BLOCK_POINTS;
    }
    point_count = count;
    block_number++;
    if (point_count == 0) return;
    // A reader that copied what this block is about to overwrite will see the reservation.
    const unsigned position = written.load(std::memory_order_relaxed);
    reserved.store(position + point_count, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
}

void Channel_Scopes::before_voice(const int* bus) {
    const int s = step.load(std::memory_order_relaxed);
    for (int j = 0, frame = first_point; j < point_count; j++, frame += s) {
        before[2 * j] = bus[2 * frame];
        before[2 * j + 1] = bus[2 * frame + 1];
    }
}

void Channel_Scopes::after_voice(int channel, const int* bus) {
    if (channel < 0 || channel >= CHANNELS || point_count == 0) return;
    const bool first_voice = channel_block[channel] != block_number;
    channel_block[channel] = block_number;
    silent_points[channel] = 0;
    const unsigned position = written.load(std::memory_order_relaxed);
    const int s = step.load(std::memory_order_relaxed);
    std::atomic<std::int16_t>* points = ring[channel];
    for (int j = 0, frame = first_point; j < point_count; j++, frame += s) {
        // What the voice added, in wrapping arithmetic as the mix itself wraps.
        const int left = (int)((unsigned)bus[2 * frame] - (unsigned)before[2 * j]) >> 16;
        const int right = (int)((unsigned)bus[2 * frame + 1] - (unsigned)before[2 * j + 1]) >> 16;
        std::atomic<std::int16_t>& point = points[(position + j) & MASK];
        int value = (left + right) / 2;
        if (!first_voice) value += point.load(std::memory_order_relaxed);
        point.store((std::int16_t)std::clamp(value, -32768, 32767), std::memory_order_relaxed);
    }
}

void Channel_Scopes::end_block() {
    if (point_count == 0) return;
    const unsigned position = written.load(std::memory_order_relaxed);
    for (int channel = 0; channel < CHANNELS; channel++) {
        if (channel_block[channel] == block_number) continue;
        // A channel that has been silent for a whole ring already holds nothing but zeros.
        if (silent_points[channel] >= RING_POINTS) continue;
        for (int j = 0; j < point_count; j++)
            ring[channel][(position + j) & MASK].store(0, std::memory_order_relaxed);
        silent_points[channel] = std::min(silent_points[channel] + point_count, (int)RING_POINTS);
    }
    written.store(position + point_count, std::memory_order_release);
}

void Channel_Scopes::clear() {
    const unsigned position = written.load(std::memory_order_relaxed) + RING_POINTS;
    reserved.store(position, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (auto& points : ring)
        for (auto& point : points) point.store(0, std::memory_order_relaxed);
    for (int& silent : silent_points) silent = RING_POINTS;
    written.store(position, std::memory_order_release);
}

bool Channel_Scopes::read(int channel, std::int16_t* out, int count) const {
    if (channel < 0 || channel >= CHANNELS || count < 0 || count > MAX_READ_POINTS) return false;
    const unsigned end = written.load(std::memory_order_acquire);
    const unsigned begin = end - (unsigned)count;
    for (int j = 0; j < count; j++) out[j] = ring[channel][(begin + j) & MASK].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    return reserved.load(std::memory_order_relaxed) - begin <= (unsigned)RING_POINTS;
}

int Channel_Scopes::level(int channel, int count) const {
    std::int16_t points[MAX_READ_POINTS];
    if (!read(channel, points, count)) return -1;
    int peak = 0;
    for (int j = 0; j < count; j++) peak = std::max(peak, std::abs((int)points[j]));
    return peak;
}
