#include "trackercore/tables.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

std::array<uint32_t, Tables::LINEAR_PERIOD_TABLE_SIZE> make_linear_table() {
    std::array<uint32_t, Tables::LINEAR_PERIOD_TABLE_SIZE> table{};
    for (int i = 0; i < Tables::LINEAR_PERIOD_TABLE_SIZE; i++)
        table[i] = (uint32_t)std::floor(535232.0 * std::pow(2.0, -(double)i / 768.0));
    return table;
}

// ProTracker's periods for finetune 0, C-1..B-3: equal temperament, rounded as the Amiga's
// table has it (a few entries lie one off the nearest whole number).
constexpr int amiga_periods[Tables::AMIGA_TABLE_NOTES] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

// The Amiga rate of period 214 (C-5 here), which finetune 0 gives a sample.
constexpr double AMIGA_C5_RATE = Tables::AMIGA_PAL_CLOCK / 214;

}  // namespace

const uint16_t Tables::old_period_table[OLD_PERIOD_TABLE_SIZE] = {
    27392, 26624, 25856, 25120, 24400, 23680, 23040, 22336, 21712, 21088, 20496, 19904,
    19344, 18784, 18256, 17728, 17232, 16736, 16272, 15808, 15376, 14912, 14512, 14080};

const std::array<uint32_t, Tables::LINEAR_PERIOD_TABLE_SIZE> Tables::linear_period_to_freq_tab =
    make_linear_table();

unsigned int Tables::get_linear_period(unsigned short note2, int fine) {
    return (unsigned int)((288 - (int)note2) * 32 - (fine >> 1));
}

unsigned int Tables::get_old_period(unsigned short note2, int fine) {
    int divisor = 8368 + 4 * fine;
    if (divisor <= 0) divisor = 1;
    unsigned int scaled = ((unsigned int)old_period_table[note2 % OLD_PERIOD_TABLE_SIZE] * 8363u) >>
                          (note2 / OLD_PERIOD_TABLE_SIZE);
    return (uint16_t)(scaled / (unsigned int)divisor);
}

unsigned int Tables::get_linear_frequency(unsigned int period) {
    int k = (int)(period / LINEAR_PERIOD_TABLE_SIZE) - 2;
    unsigned int f = linear_period_to_freq_tab[period % LINEAR_PERIOD_TABLE_SIZE];
    if (k > 0) return k >= 32 ? 0 : f >> k;
    return f << -k;
}

unsigned int Tables::get_old_frequency(unsigned int period) {
    return period == 0 ? 14317456u : 14317456u / period;
}

unsigned int Tables::get_amiga_table_period(int note, int c5_freq) {
    const int index = note - AMIGA_TABLE_FIRST_NOTE;
    if (index < 0 || index >= AMIGA_TABLE_NOTES || c5_freq <= 0) return 0;
    // The finetune, in eighths of a semitone, that the rate holds; other finetunes round the
    // tempered period of their own tuning.
    const int finetune = std::clamp((int)std::lround(96 * std::log2(c5_freq / AMIGA_C5_RATE)), -8, 7);
    const double amiga = finetune == 0 ? amiga_periods[index]
                                       : std::round(856 * std::exp2(-index / 12.0 - finetune / 96.0));
    // The player's period counts four to an Amiga period at the rate of finetune 0; this one
    // sounds at the sample's own rate, so it is scaled back by that rate.
    return (unsigned int)std::lround(4 * amiga * c5_freq / AMIGA_C5_RATE);
}

unsigned int get_period(unsigned short note2, int fine, bool linear) {
    return linear ? Tables::get_linear_period(note2, fine) : Tables::get_old_period(note2, fine);
}

unsigned int get_frequency(unsigned int period, bool linear) {
    return linear ? Tables::get_linear_frequency(period) : Tables::get_old_frequency(period);
}
