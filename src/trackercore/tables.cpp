#include "trackercore/tables.h"

#include <array>
#include <cmath>

namespace {

std::array<uint32_t, Tables::LINEAR_PERIOD_TABLE_SIZE> make_linear_table() {
    std::array<uint32_t, Tables::LINEAR_PERIOD_TABLE_SIZE> table{};
    for (int i = 0; i < Tables::LINEAR_PERIOD_TABLE_SIZE; i++)
        table[i] = (uint32_t)std::floor(535232.0 * std::pow(2.0, -(double)i / 768.0));
    return table;
}

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

unsigned int get_period(unsigned short note2, int fine, bool linear) {
    return linear ? Tables::get_linear_period(note2, fine) : Tables::get_old_period(note2, fine);
}

unsigned int get_frequency(unsigned int period, bool linear) {
    return linear ? Tables::get_linear_frequency(period) : Tables::get_old_frequency(period);
}
