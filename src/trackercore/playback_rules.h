#pragma once

#include <span>

// How a song plays where the formats it may come from disagree. The player reads these named
// rules, never the format. Each format's whole set comes from one table (of_format); a file's
// own switches (IT's old effects, linear slides, compatible Gxx) are applied after it.
//
// Adding a rule: a member here, a line in the table, a line in the list, and the code that
// obeys it. The "old native" column holds what Wendmoor did before the rule existed, so that
// native files saved earlier, which lack the rule's key, play as they were made.
struct Playback_Rules {
    enum class Format { IT, XM, S3M, MOD, OLD_NATIVE };

    static constexpr int FADEOUT_SCALE_OLD = 512;
    static constexpr int FADEOUT_SCALE_IT = 1024;
    static constexpr int FADEOUT_SCALE_XM = 2048;  // the XM rate is stored divided by 16
    // What an instrument number in a cell without a note does.
    static constexpr int INSTRUMENT_WITHOUT_NOTE_IGNORED = 0;
    static constexpr int INSTRUMENT_WITHOUT_NOTE_SETS_VOLUME = 1;  // IT, S3M: also taken for later notes
    static constexpr int INSTRUMENT_WITHOUT_NOTE_RETRIGGERS = 2;   // XM: volume, pan and envelopes reset

    bool use_linear_slides{};
    bool old_effects{};
    bool compatible_gxx{};
    int fadeout_scale{};               // the fade-out volume a note starts from; the layer's rate counts against it
    bool empty_order_ends_song{};      // an empty order (255) ends the list instead of being skipped
    bool key_off_cuts_without_envelope{};  // key-off silences a note without a volume envelope
    int instrument_without_note{};     // one of the INSTRUMENT_WITHOUT_NOTE_* values
    int global_volume_slide_step{};    // global volume change per unit of W: 2 where the format counts 0..64
    bool pattern_loop_carries_over{};  // a loop ending on a pattern's last row starts the next one at its row
    bool offset_past_end_cuts_note{};  // a sample offset at or past the sample's end silences the note
    // Vibrato, tremolo, arpeggio and tremor as FT2 runs them: depths scaled once, positions held
    // on the row's first tick, the tremolo ramp steered by the vibrato position, the arpeggio
    // stepping by the ticks left in the row, tremor phases of x + 1 and y + 1 ticks.
    bool ft2_modulation{};
    // A note cut (^^^, SCx) ends the note, where other formats only silence it: a later volume,
    // lone instrument or retrigger does not bring it back.
    bool note_cut_ends_note{};
    // A slide to a note (G) whose note has ended or been cut starts the new note afresh.
    bool portamento_restarts_ended_note{};
    // A position jump (B) right of a pattern break (C) on one row starts the pattern at row 0.
    bool jump_resets_break{};
    // A note mapped to no sample cuts the sounding note; an IT instrument leaves it alone (an
    // IT song without instruments cuts: its loader sets this from the file).
    bool unmapped_note_cuts{};
    // A cut voice fades out in under 6 ms rather than the usual 23 ms, as these players stop it.
    bool short_cut_declick{};
    // The resonant filter as IT runs it: damping 2 x 10^(-0.009375 r), resonance 0..127 as the
    // instrument and Z80..Z8F (steps of 8) give it, and a note whose cutoff starts at the top
    // without resonance plays unfiltered. Older native files doubled the resonance instead.
    bool it_filters{};

    static Playback_Rules of_format(Format format);
    // The rules of songs made here.
    static const Playback_Rules& native();

    bool operator==(const Playback_Rules&) const = default;

    // One entry per rule: its key in native files, its caption in the editors, and the member
    // it names (a switch, or a number within min..max).
    struct Entry {
        const char* key;
        const char* caption;
        bool Playback_Rules::*flag;
        int Playback_Rules::*number;
        int min;
        int max;
    };
    static std::span<const Entry> list();
};
