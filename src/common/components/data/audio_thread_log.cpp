#include "common/components/data/audio_thread_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

struct Log_State {
    char lines[Audio_Thread_Log::CAPACITY][Audio_Thread_Log::LINE_SIZE];
    std::atomic<unsigned> head{0};  // written by the poster
    std::atomic<unsigned> tail{0};  // written by the flusher
    std::atomic_flag posting = ATOMIC_FLAG_INIT;
    std::atomic_flag flushing = ATOMIC_FLAG_INIT;
    std::atomic<unsigned> repeats_generation{0};
    std::atomic<int> dropped{0};
    // Poster-side only (guarded by `posting`).
    char last[Audio_Thread_Log::LINE_SIZE] = {};
    unsigned last_generation = 0;
};

Log_State log_state;

Log_State& state() { return log_state; }

}  // namespace

void Audio_Thread_Log::post(const char* source, int line, const char* format, ...) {
    Log_State& s = state();
    if (s.posting.test_and_set(std::memory_order_acquire)) {
        s.dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    char text[LINE_SIZE];
    int prefix = std::snprintf(text, sizeof text, "Error: %s:%i: ", source, line);
    if (prefix > 0 && (std::size_t)prefix < sizeof text) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text + prefix, sizeof text - prefix, format, args);
        va_end(args);
    }
    unsigned generation = s.repeats_generation.load(std::memory_order_acquire);
    bool repeat = generation == s.last_generation && std::strcmp(text, s.last) == 0;
    if (!repeat) {
        std::memcpy(s.last, text, sizeof text);
        s.last_generation = generation;
        unsigned head = s.head.load(std::memory_order_relaxed);
        if (head - s.tail.load(std::memory_order_acquire) >= (unsigned)CAPACITY) {
            s.dropped.fetch_add(1, std::memory_order_relaxed);
        } else {
            std::memcpy(s.lines[head % CAPACITY], text, sizeof text);
            s.head.store(head + 1, std::memory_order_release);
        }
    }
    s.posting.clear(std::memory_order_release);
}

int Audio_Thread_Log::flush() {
    Log_State& s = state();
    if (s.flushing.test_and_set(std::memory_order_acquire)) return 0;
    int printed = 0;
    unsigned tail = s.tail.load(std::memory_order_relaxed);
    unsigned head = s.head.load(std::memory_order_acquire);
    for (; tail != head; tail++, printed++) {
        std::printf("%s\n", s.lines[tail % CAPACITY]);
        s.tail.store(tail + 1, std::memory_order_release);
    }
    if (printed) std::fflush(stdout);
    s.dropped.store(0, std::memory_order_relaxed);
    s.flushing.clear(std::memory_order_release);
    return printed;
}

void Audio_Thread_Log::forget_repeats() { state().repeats_generation.fetch_add(1, std::memory_order_release); }

int Audio_Thread_Log::dropped() { return state().dropped.load(std::memory_order_relaxed); }
