#pragma once

#include <array>
#include <cstdint>

// Period and frequency arithmetic. Notes enter as note2 = 2 x note so that the old
// (Amiga) table can hold half-semitone steps.
class Tables {
public:
    static constexpr int LINEAR_PERIOD_TABLE_SIZE = 768;  // one octave
    static constexpr int OLD_PERIOD_TABLE_SIZE = 24;

    static unsigned int get_linear_period(unsigned short note2, int fine);
    static unsigned int get_old_period(unsigned short note2, int fine);
    static unsigned int get_linear_frequency(unsigned int period);
    static unsigned int get_old_frequency(unsigned int period);

    // Entry i = floor(535232 x 2^(-i/768)); 535232 = 8363 x 64.
    static const std::array<uint32_t, LINEAR_PERIOD_TABLE_SIZE> linear_period_to_freq_tab;
    static const uint16_t old_period_table[OLD_PERIOD_TABLE_SIZE];
};

unsigned int get_period(unsigned short note2, int fine, bool linear);
unsigned int get_frequency(unsigned int period, bool linear);
