#pragma once

#include <atomic>
#include <cstdint>

// What the voices of each pattern channel added to the mix lately, for the scopes in the
// pattern view's channel headers. One point every few frames (left and right averaged, on the
// 16-bit scale) goes into a ring per channel. The mixer writes on the audio thread with plain
// atomic stores, never a lock or an allocation; the interface copies the newest points when it
// likes and, like a sequence lock's reader, throws away a copy the writer overtook.
class Channel_Scopes {
public:
    static constexpr int CHANNELS = 64;
    static constexpr int RING_POINTS = 1024;  // a power of two
    // A block adds at most this many points (the newest of a longer one), so that a reader
    // of at most MAX_READ_POINTS never meets the block being written.
    static constexpr int MAX_BLOCK_POINTS = 512;
    static constexpr int MAX_READ_POINTS = RING_POINTS - MAX_BLOCK_POINTS;
    // About one point every 16 frames at 44.1 kHz: enough for a waveform a few hundred pixels wide.
    static constexpr int POINTS_PER_SECOND = 2756;

    static_assert((RING_POINTS & (RING_POINTS - 1)) == 0, "the ring is indexed with a mask");
    static_assert(std::atomic<std::int16_t>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free,
                  "the audio thread may not wait for a scope");

    Channel_Scopes();
    Channel_Scopes(const Channel_Scopes&) = delete;
    Channel_Scopes& operator=(const Channel_Scopes&) = delete;

    // Audio thread, per rendered block: begin_block, then around every voice of a pattern
    // channel that mixes into `bus` before_voice and after_voice, then end_block.
    void begin_block(int frames, float mix_frequency);
    void before_voice(const int* bus);
    void after_voice(int channel, const int* bus);
    void end_block();
    // Forget everything: the next block starts from silence (after a pause in the feed).
    void clear();

    // Interface thread. Copies the newest `count` points of `channel` (oldest first) into
    // `out`; false when the channel is out of range, the count too large, or the writer
    // overtook the copy (the next timer tick will do).
    bool read(int channel, std::int16_t* out, int count) const;
    // The largest magnitude among the newest `count` points, -1 when read() fails.
    int level(int channel, int count) const;
    // Points written so far: a reader that saw the same count has nothing new to show.
    unsigned get_written() const { return written.load(std::memory_order_acquire); }
    // Frames between points at the rate of the last block.
    int get_step() const { return step.load(std::memory_order_relaxed); }

private:
    std::atomic<std::int16_t> ring[CHANNELS][RING_POINTS];
    // The sequence: `reserved` runs ahead while a block is written, `written` catches up after.
    std::atomic<unsigned> reserved{0};
    std::atomic<unsigned> written{0};
    std::atomic<int> step{16};

    // Audio thread only.
    int next_point = 0;        // frames from the block's start to its first point
    int block_frames = 0;
    int first_point = 0;       // frame of this block's first kept point
    int point_count = 0;       // points this block adds
    unsigned block_number = 0;
    unsigned channel_block[CHANNELS] = {};  // the last block a voice of the channel wrote in
    int silent_points[CHANNELS] = {};       // zeros written in a row, up to RING_POINTS
    int before[2 * MAX_BLOCK_POINTS] = {};  // the bus at this block's points before a voice
};
