#pragma once

#include <cstddef>

// Error lines raised on the audio thread, where printing would block on I/O and building
// the text in a std::string would allocate. post() formats into a fixed slot and returns at
// once; flush() prints the waiting lines, in order, from any other thread. A line identical
// to the one posted just before it is dropped, so a fault hit on every tick reports once
// (until forget_repeats(), which a new start of playback calls).
class Audio_Thread_Log {
public:
    static constexpr int CAPACITY = 32;
    static constexpr std::size_t LINE_SIZE = 160;

    // Never allocates, waits or prints; drops the line when the log is full or busy.
    static void post(const char* source, int line, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    // Prints each waiting line as an error line; returns how many it printed.
    static int flush();
    static void forget_repeats();
    // Lines lost because the log was full since the last flush.
    static int dropped();
};
