#pragma once

#include <array>
#include <string>

// The MIDI macros behind SFx, Zxx and \xx, as IT files carry them: nine global macros, sixteen
// parametered ones (SFx picks one, Z00..Z7F feed it) and 128 fixed ones (Z80..ZFF). A macro is
// a text of hex bytes in which lower-case letters stand for values known only at play time
// ('z' is the parameter). Of all a macro can send, only the internal filter's messages sound
// here: F0 F0 00 v sets the cutoff, F0 F0 01 v the resonance.
struct Midi_Config {
    static constexpr int MACRO_SIZE = 32;
    static constexpr int GLOBAL_MACROS = 9;
    static constexpr int PARAMETERED_MACROS = 16;
    static constexpr int FIXED_MACROS = 128;
    static constexpr int MACROS = GLOBAL_MACROS + PARAMETERED_MACROS + FIXED_MACROS;
    static constexpr int FILE_BYTES = MACROS * MACRO_SIZE;  // as an IT file stores them
    static constexpr int FIRST_PARAMETERED = GLOBAL_MACROS;
    static constexpr int FIRST_FIXED = GLOBAL_MACROS + PARAMETERED_MACROS;

    // Zero-padded; a macro that fills all 32 bytes has no terminator. A plain array, so the
    // player reads it without allocating.
    using Macro = std::array<char, MACRO_SIZE>;

    enum class Target { NONE, CUTOFF, RESONANCE };
    struct Filter_Change {
        Target target = Target::NONE;
        int value = 0;  // 0..127
    };

    // What a song gets when its file says nothing: SF0 sets the cutoff from Z00..Z7F, and
    // Z80..Z8F set the resonance in steps of 8.
    static Midi_Config default_config();

    // What Zxx (or \xx) with `parameter` does while parametered macro `active` is chosen.
    Filter_Change filter_change(int active, int parameter) const;

    // Macro `index` (global, then parametered, then fixed) as text, and set from text: at most
    // 32 characters are kept.
    std::string text(int index) const;
    void set_text(int index, const std::string& text);

    bool operator==(const Midi_Config&) const = default;

    std::array<Macro, MACROS> macros{};
};
