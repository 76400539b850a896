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
    // The old period of a note from C-3 (ProTracker's C-1) to B-5, at the whole-number Amiga period
    // of ProTracker's table for the finetune the sample's rate holds; 0 outside the table.
    static unsigned int get_amiga_table_period(int note, int c5_freq);

    static constexpr int AMIGA_TABLE_FIRST_NOTE = 36;
    static constexpr int AMIGA_TABLE_NOTES = 36;
    static constexpr double AMIGA_PAL_CLOCK = 3546895.0;

    // Entry i = floor(535232 x 2^(-i/768)); 535232 = 8363 x 64.
    static const std::array<uint32_t, LINEAR_PERIOD_TABLE_SIZE> linear_period_to_freq_tab;
    static const uint16_t old_period_table[OLD_PERIOD_TABLE_SIZE];
};

unsigned int get_period(unsigned short note2, int fine, bool linear);
unsigned int get_frequency(unsigned int period, bool linear);
