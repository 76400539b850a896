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

    static constexpr int ST3_LOWEST_PERIOD = 64;
    static constexpr int FADEOUT_SCALE_OLD = 512;
    static constexpr int FADEOUT_SCALE_IT = 1024;
    static constexpr int FADEOUT_SCALE_XM = 2048;  // the XM rate is stored divided by 16
    // What an instrument number in a cell without a note does.
    static constexpr int INSTRUMENT_WITHOUT_NOTE_IGNORED = 0;
    static constexpr int INSTRUMENT_WITHOUT_NOTE_SETS_VOLUME = 1;  // IT, S3M: also taken for later notes
    static constexpr int INSTRUMENT_WITHOUT_NOTE_RETRIGGERS = 2;   // XM: volume, pan and envelopes reset
    // Which of several row repeats (SEx) on one row counts.
    static constexpr int ROW_REPEAT_FIRST = 0;
    static constexpr int ROW_REPEAT_FIRST_NON_ZERO = 1;  // S3M: an SE0 left of another is passed over
    static constexpr int ROW_REPEAT_LAST = 2;            // XM, MOD: the rightmost, even EE0
    static constexpr int GLISSANDO_IGNORED = 0;
    static constexpr int GLISSANDO_UP = 1;       // IT: the semitone at the pitch or the next above
    static constexpr int GLISSANDO_NEAREST = 2;  // FT2: the nearest semitone, the lower one halfway

    bool use_linear_slides{};
    bool old_effects{};
    bool compatible_gxx{};
    int fadeout_scale{};               // the fade-out volume a note starts from; the layer's rate counts against it
    bool empty_order_ends_song{};      // an empty order (255) ends the list instead of being skipped
    bool key_off_cuts_without_envelope{};  // key-off silences a note without a volume envelope
    int instrument_without_note{};     // one of the INSTRUMENT_WITHOUT_NOTE_* values
    int global_volume_slide_step{};    // global volume change per unit of W: 2 where the format counts 0..64
    bool pattern_loop_carries_over{};  // after a loop's jump, the pattern's end goes on to the next at the loop's row
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
    // An instrument number alone strikes again a note whose sample has ended or faded out.
    bool instrument_restarts_ended_note{};
    // An instrument number alone strikes the last note again with the sample it maps that note
    // to, where that differs from the sounding one (IT).
    bool instrument_swaps_sample{};
    // One memory for most effects (ST3): any non-zero parameter is what D, E, F, I, J, K, L, Q
    // and R recall with zero, and a Dxy with both digits set slides down.
    bool shared_effect_memory{};
    // A tempo command takes effect from the row's second tick (ProTracker sets it after the first).
    bool tempo_after_first_tick{};
    // ProTracker's offset: a note without a sample number starts where the last offset left the
    // sample's start, which an offset next to a note moves on by twice its value (once alone).
    bool protracker_offset{};
    // ST3's period limits: what sounds stops at the highest pitch (period 64) while a slide goes
    // on beneath it, and a slide to period 0 or below stops the note.
    bool st3_period_limits{};
    // A finished pattern loop moves the loop start to the row after it.
    bool loop_start_follows_loop{};
    // All channels share one pattern loop: its start and its count.
    bool pattern_loop_shared{};
    // Every change of pattern puts the loop start back at row 0.
    bool pattern_change_resets_loop{};
    // An SBx does not start a loop while another channel's loop is still counting.
    bool one_pattern_loop_at_a_time{};
    // FT2's note delay: the volume column's slides run from the row's first tick and its other
    // first-tick commands are lost, only a volume or pan in it waiting for the note; a delayed
    // key-off keeps the key pressed, restarts the envelopes and gives back the sample's volume
    // (without an envelope or an instrument beside it, it still falls silent).
    bool ft2_note_delay{};
    // A volume envelope that reaches its end starts the fade-out; in FT2 only the key-off does.
    bool envelope_end_fades{};
    // A note delayed past its row's last tick plays on the next row's first (ProTracker), where
    // the other players drop it.
    bool late_note_delay_plays_next_row{};
    // Tone portamento as FT2 runs it: the target is set only by a note beside the portamento
    // and outlives other notes; the slide keeps the direction it was set in; an instrument
    // number beside it keeps the playing sample, recalls its volume and pan and restarts the
    // envelopes; a sample offset beside it is ignored.
    bool ft2_tone_portamento{};
    // The resonant filter as IT runs it: damping 2 x 10^(-0.009375 r), resonance 0..127 as the
    // instrument and Z80..Z8F (steps of 8) give it, and a note whose cutoff starts at the top
    // without resonance plays unfiltered (a filter already on keeps its last setting there); a
    // slide to a note keeps the playing note's filter. Older native files doubled the resonance
    // and took the instrument's filter under a slide.
    bool it_filters{};
    // While the key is held, an envelope's sustain loop is the only loop it keeps: a plain loop
    // before it is passed by (IT). FT2 keeps to the plain loop wherever it lies.
    bool sustain_hides_loop{};
    // FT2's retriggers: E9y (Q0y) strikes again on every y-th tick of its row and E90 once on
    // its first; Rxy counts ticks across rows, the first tick of a row only where the volume
    // column sets no volume. Elsewhere Q counts down from the note.
    bool ft2_retrigger{};
    // ProTracker's slide to a note: its target is set only by a note beside the slide and
    // outlives notes struck plainly; once reached it is forgotten, so a slide without a note
    // then stays put.
    bool protracker_portamento{};
    // ST3.00's volume slides (and later files that ask for them): D, K and L slide on the
    // row's first tick too. A file's own switch; no format sets it.
    bool fast_volume_slides{};
    // A position jump (B) right of a looping SBx on one row cancels the loop's jump (its count
    // stays set); left of it, or where this is off, the loop wins.
    bool jump_cancels_loop{};
    int row_repeat_taken{};  // one of the ROW_REPEAT_* values
    // Each pass of a row that SEx plays again starts with a first tick, where fine slides and
    // the other first-tick commands act again; in FT2 only the row's very first tick is one.
    bool repeats_start_on_first_tick{};
    // The volume column's fine slides act once in a row that SEx plays again.
    bool volume_column_fine_slides_once{};
    // The arpeggio's steps run on through a row's repeats (ST3, ProTracker), where IT starts
    // them again with each pass.
    bool arpeggio_runs_through_repeats{};
    // FT2's effect memories: one each for 1xx, 2xx, E1x, E2x, X1x and X2x, where IT shares one
    // between E and F; the volume column's slides recall nothing with zero, and the non-zero ones
    // feed Axy's memory (normal) and EAx's or EBx's (fine).
    bool ft2_effect_memories{};
    // Under glissando (S1x) a slide to a note sounds in whole semitones: one of the GLISSANDO_*
    // values says which semitone. Older native songs ignored S1x.
    int glissando{};
    // Notes three octaves up from C-3 sound at the whole-number periods of ProTracker's table,
    // up to a few cents off equal temperament, as the Amiga plays them (MOD).
    bool amiga_period_table{};

    static Playback_Rules of_format(Format format);
    // The rules of songs made here.
    static const Playback_Rules& native();
    // The rule IT sets from its file's instruments switch, copied from `song`: IT's set for a
    // song without instruments keeps it.
    void keep_instrument_mode(const Playback_Rules& song);

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
