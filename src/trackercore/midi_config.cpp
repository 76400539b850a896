#include "trackercore/midi_config.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int INTERNAL = 0xF0;  // F0 F0 addresses the player's own filter
constexpr int SET_CUTOFF = 0x00;
constexpr int SET_RESONANCE = 0x01;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case letters are placeholders, not digits
}

// The filter message a macro sends with `z` as its parameter, if it is one. Anything else
// (real MIDI, other placeholders, values past 127) changes nothing.
Midi_Config::Filter_Change parse(const Midi_Config::Macro& macro, int z) {
    int bytes[4];
    int count = 0;
    int nibble = -1;
    for (char c : macro) {
        if (c == 0) break;
        if (c == ' ') continue;
        int value;
        const int digit = hex_digit(c);
        if (digit >= 0) {
            if (nibble < 0) {
                nibble = digit;
                continue;
            }
            value = nibble * 16 + digit;
            nibble = -1;
        } else if (c == 'z' && nibble < 0) {
            value = z;
        } else {
            return {};
        }
        if (count == 4) return {};
        bytes[count++] = value;
    }
    if (count != 4 || nibble >= 0 || bytes[0] != INTERNAL || bytes[1] != INTERNAL || bytes[3] > 127) return {};
    if (bytes[2] == SET_CUTOFF) return {Midi_Config::Target::CUTOFF, bytes[3]};
    if (bytes[2] == SET_RESONANCE) return {Midi_Config::Target::RESONANCE, bytes[3]};
    return {};
}

}  // namespace

Midi_Config Midi_Config::default_config() {
    Midi_Config config;
    const char* global[GLOBAL_MACROS] = {"FF", "FC", "9c n v", "9c n 0", "", "", "Bc 0 a 20 b", "Cc p", ""};
    for (int i = 0; i < GLOBAL_MACROS; i++) config.set_text(i, global[i]);
    config.set_text(FIRST_PARAMETERED, "F0F000z");
    for (int i = 0; i < 16; i++) {
        char text[MACRO_SIZE];
        std::snprintf(text, sizeof text, "F0F001%02X", i * 8);
        config.set_text(FIRST_FIXED + i, text);
    }
    return config;
}

Midi_Config::Filter_Change Midi_Config::filter_change(int active, int parameter) const {
    if (parameter < 0 || parameter > 255) return {};
    if (parameter < 0x80) return parse(macros[FIRST_PARAMETERED + (active & 15)], parameter);
    return parse(macros[FIRST_FIXED + parameter - 0x80], parameter & 0x7F);
}

std::string Midi_Config::text(int index) const {
    if (index < 0 || index >= MACROS) return {};
    const Macro& macro = macros[index];
    return std::string(macro.data(), std::find(macro.begin(), macro.end(), 0) - macro.begin());
}

void Midi_Config::set_text(int index, const std::string& text) {
    if (index < 0 || index >= MACROS) return;
    Macro& macro = macros[index];
    macro.fill(0);
    std::copy_n(text.begin(), std::min<size_t>(text.size(), MACRO_SIZE), macro.begin());
}
