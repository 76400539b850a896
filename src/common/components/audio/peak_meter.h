#pragma once

#include <atomic>

// The loudest sample of each side of a stereo bus since the interface last looked. The audio
// thread raises it after every block and the interface takes it on its timer; both through
// atomics, so neither ever waits for the other.
class Peak_Meter {
public:
    // Magnitudes in the mixer's format: full scale is 32768 << 16.
    struct Levels {
        int left = 0;
        int right = 0;
    };

    static_assert(std::atomic<int>::is_always_lock_free, "the audio thread may not wait for a meter");

    Peak_Meter() = default;
    // Buses sit in vectors that may move them; that only happens while the audio thread is
    // held off by the variables lock.
    Peak_Meter(const Peak_Meter& from) noexcept { *this = from; }
    Peak_Meter& operator=(const Peak_Meter& from) noexcept {
        left.store(from.left.load(std::memory_order_relaxed), std::memory_order_relaxed);
        right.store(from.right.load(std::memory_order_relaxed), std::memory_order_relaxed);
        return *this;
    }

    // Audio thread: measures `frames` stereo interleaved frames.
    void measure(const int* buffer, int frames) {
        int l = 0, r = 0;
        for (int i = 0; i < frames; i++) {
            // x ^ (x >> 31) is |x| for x >= 0 and |x| - 1 below: no overflow at INT32_MIN.
            int a = buffer[2 * i], b = buffer[2 * i + 1];
            a ^= a >> 31;
            b ^= b >> 31;
            l = a > l ? a : l;
            r = b > r ? b : r;
        }
        raise(left, l);
        raise(right, r);
    }

    // Interface thread: the peaks since the last take; the meter starts again from silence.
    Levels take() {
        Levels levels;
        levels.left = left.exchange(0, std::memory_order_relaxed);
        levels.right = right.exchange(0, std::memory_order_relaxed);
        return levels;
    }

private:
    // A compare-exchange rather than a plain store, so a take between reading and writing
    // is not undone.
    static void raise(std::atomic<int>& peak, int value) {
        int old = peak.load(std::memory_order_relaxed);
        while (value > old && !peak.compare_exchange_weak(old, value, std::memory_order_relaxed)) {
        }
    }

    std::atomic<int> left{0};
    std::atomic<int> right{0};
};
