#include "trackercore/playback_rules.h"

namespace {

using Format = Playback_Rules::Format;

template <class T>
T pick(Format format, T it, T xm, T s3m, T mod, T old_native) {
    const T column[] = {it, xm, s3m, mod, old_native};
    return column[(int)format];
}

constexpr int FADE_OLD = Playback_Rules::FADEOUT_SCALE_OLD;
constexpr int FADE_IT = Playback_Rules::FADEOUT_SCALE_IT;
constexpr int FADE_XM = Playback_Rules::FADEOUT_SCALE_XM;
constexpr int INS_IGNORED = Playback_Rules::INSTRUMENT_WITHOUT_NOTE_IGNORED;
constexpr int INS_VOLUME = Playback_Rules::INSTRUMENT_WITHOUT_NOTE_SETS_VOLUME;
constexpr int INS_RETRIGGER = Playback_Rules::INSTRUMENT_WITHOUT_NOTE_RETRIGGERS;
constexpr int REPEAT_FIRST = Playback_Rules::ROW_REPEAT_FIRST;
constexpr int REPEAT_NON_ZERO = Playback_Rules::ROW_REPEAT_FIRST_NON_ZERO;
constexpr int REPEAT_LAST = Playback_Rules::ROW_REPEAT_LAST;
constexpr int GLISS_IGNORED = Playback_Rules::GLISSANDO_IGNORED;
constexpr int GLISS_UP = Playback_Rules::GLISSANDO_UP;
constexpr int GLISS_NEAREST = Playback_Rules::GLISSANDO_NEAREST;

}  // namespace

Playback_Rules Playback_Rules::of_format(Format f) {
    Playback_Rules r;
    //                                       IT           XM             S3M          MOD          old native
    r.use_linear_slides             = pick(f, true,        true,          false,       false,       true);
    r.old_effects                   = pick(f, false,       false,         true,        true,        false);
    r.compatible_gxx                = pick(f, false,       false,         true,        false,       false);
    r.fadeout_scale                 = pick(f, FADE_IT,     FADE_XM,       FADE_IT,     FADE_IT,     FADE_OLD);
    r.empty_order_ends_song         = pick(f, true,        true,          true,        true,        false);
    r.key_off_cuts_without_envelope = pick(f, false,       true,          false,       false,       false);
    r.instrument_without_note       = pick(f, INS_VOLUME,  INS_RETRIGGER, INS_VOLUME,  INS_VOLUME,  INS_IGNORED);
    r.global_volume_slide_step      = pick(f, 1,           2,             1,           1,           1);
    r.pattern_loop_carries_over     = pick(f, false,       true,          false,       false,       false);
    r.offset_past_end_cuts_note     = pick(f, false,       true,          false,       false,       false);
    r.ft2_modulation                = pick(f, false,       true,          false,       false,       false);
    r.note_cut_ends_note            = pick(f, true,        false,         true,        false,       false);
    r.portamento_restarts_ended_note = pick(f, true,       false,         true,        false,       false);
    r.jump_resets_break             = pick(f, false,       true,          false,       true,        true);
    r.unmapped_note_cuts            = pick(f, false,       true,          true,        true,        true);
    r.short_cut_declick             = pick(f, true,        false,         true,        true,        false);
    r.instrument_restarts_ended_note = pick(f, true,       false,         false,       false,       false);
    r.instrument_swaps_sample       = pick(f, true,        false,         false,       false,       false);
    r.shared_effect_memory          = pick(f, false,       false,         true,        false,       false);
    r.tempo_after_first_tick        = pick(f, false,       false,         false,       true,        false);
    r.protracker_offset             = pick(f, false,       false,         false,       true,        false);
    r.st3_period_limits             = pick(f, false,       false,         true,        false,       false);
    r.loop_start_follows_loop       = pick(f, true,        false,         true,        false,       false);
    r.pattern_loop_shared           = pick(f, false,       false,         true,        false,       false);
    r.pattern_change_resets_loop    = pick(f, false,       false,         true,        false,       false);
    r.one_pattern_loop_at_a_time    = pick(f, false,       true,          false,       false,       false);
    r.ft2_note_delay                = pick(f, false,       true,          false,       false,       false);
    r.envelope_end_fades            = pick(f, true,        false,         true,        true,        true);
    r.late_note_delay_plays_next_row = pick(f, false,      false,         false,       true,        false);
    r.ft2_tone_portamento           = pick(f, false,       true,          false,       false,       false);
    r.it_filters                    = pick(f, true,        true,          true,        true,        false);
    r.sustain_hides_loop            = pick(f, true,        false,         true,        true,        false);
    r.ft2_retrigger                 = pick(f, false,       true,          false,       false,       false);
    r.protracker_portamento         = pick(f, false,       false,         false,       true,        false);
    r.fast_volume_slides            = pick(f, false,       false,         false,       false,       false);
    r.jump_cancels_loop             = pick(f, true,        false,         false,       false,       false);
    r.row_repeat_taken              = pick(f, REPEAT_FIRST, REPEAT_LAST,  REPEAT_NON_ZERO, REPEAT_LAST, REPEAT_FIRST);
    r.repeats_start_on_first_tick   = pick(f, true,        false,         true,        true,        true);
    r.volume_column_fine_slides_once = pick(f, true,       true,          true,        true,        false);
    r.arpeggio_runs_through_repeats = pick(f, false,       false,         true,        true,        false);
    r.ft2_effect_memories           = pick(f, false,       true,          false,       false,       false);
    r.glissando                     = pick(f, GLISS_UP,    GLISS_NEAREST, GLISS_UP,    GLISS_UP,    GLISS_IGNORED);
    r.amiga_period_table            = pick(f, false,       false,         false,       true,        false);
    return r;
}

const Playback_Rules& Playback_Rules::native() {
    static const Playback_Rules rules = of_format(Format::IT);
    return rules;
}

void Playback_Rules::keep_instrument_mode(const Playback_Rules& song) {
    unmapped_note_cuts = song.unmapped_note_cuts;
}

namespace {

using Rules = Playback_Rules;

Rules::Entry flag(const char* key, const char* caption, bool Rules::*member) {
    return {key, caption, member, nullptr, 0, 1};
}

Rules::Entry number(const char* key, const char* caption, int Rules::*member, int min, int max) {
    return {key, caption, nullptr, member, min, max};
}

}  // namespace

// The editors and the native files list the rules in this order.
std::span<const Playback_Rules::Entry> Playback_Rules::list() {
    static const Entry entries[] = {
        flag("use_linear_slides", "Linear Slides", &Rules::use_linear_slides),
        flag("old_effects", "Old Effects", &Rules::old_effects),
        flag("compatible_gxx", "Compatible GXX", &Rules::compatible_gxx),
        number("fadeout_scale", "Fade-out Scale", &Rules::fadeout_scale, FADE_OLD, FADE_XM),
        flag("empty_order_ends_song", "Empty Order Ends Song", &Rules::empty_order_ends_song),
        flag("key_off_cuts_without_envelope", "Key Off Cuts Without Envelope", &Rules::key_off_cuts_without_envelope),
        number("instrument_without_note", "Instrument Without Note", &Rules::instrument_without_note, INS_IGNORED,
               INS_RETRIGGER),
        number("global_volume_slide_step", "Global Volume Slide Step", &Rules::global_volume_slide_step, 1, 2),
        flag("pattern_loop_carries_over", "Pattern Loop Carries Over", &Rules::pattern_loop_carries_over),
        flag("offset_past_end_cuts_note", "Offset Past End Cuts Note", &Rules::offset_past_end_cuts_note),
        flag("ft2_modulation", "FT2 Modulation", &Rules::ft2_modulation),
        flag("note_cut_ends_note", "Note Cut Ends Note", &Rules::note_cut_ends_note),
        flag("portamento_restarts_ended_note", "Portamento Restarts Ended Note",
             &Rules::portamento_restarts_ended_note),
        flag("jump_resets_break", "Jump Resets Break", &Rules::jump_resets_break),
        flag("unmapped_note_cuts", "Unmapped Note Cuts", &Rules::unmapped_note_cuts),
        flag("short_cut_declick", "Short Cut Declick", &Rules::short_cut_declick),
        flag("instrument_restarts_ended_note", "Instrument Restarts Ended Note",
             &Rules::instrument_restarts_ended_note),
        flag("instrument_swaps_sample", "Instrument Swaps Sample", &Rules::instrument_swaps_sample),
        flag("shared_effect_memory", "Shared Effect Memory", &Rules::shared_effect_memory),
        flag("tempo_after_first_tick", "Tempo After First Tick", &Rules::tempo_after_first_tick),
        flag("protracker_offset", "ProTracker Offset", &Rules::protracker_offset),
        flag("st3_period_limits", "ST3 Period Limits", &Rules::st3_period_limits),
        flag("loop_start_follows_loop", "Loop Start Follows Loop", &Rules::loop_start_follows_loop),
        flag("pattern_loop_shared", "Pattern Loop Shared", &Rules::pattern_loop_shared),
        flag("pattern_change_resets_loop", "Pattern Change Resets Loop", &Rules::pattern_change_resets_loop),
        flag("one_pattern_loop_at_a_time", "One Pattern Loop At A Time", &Rules::one_pattern_loop_at_a_time),
        flag("ft2_note_delay", "FT2 Note Delay", &Rules::ft2_note_delay),
        flag("envelope_end_fades", "Envelope End Fades", &Rules::envelope_end_fades),
        flag("late_note_delay_plays_next_row", "Late Note Delay Plays Next Row",
             &Rules::late_note_delay_plays_next_row),
        flag("ft2_tone_portamento", "FT2 Tone Portamento", &Rules::ft2_tone_portamento),
        flag("it_filters", "IT Filters", &Rules::it_filters),
        flag("sustain_hides_loop", "Sustain Hides Loop", &Rules::sustain_hides_loop),
        flag("ft2_retrigger", "FT2 Retrigger", &Rules::ft2_retrigger),
        flag("protracker_portamento", "ProTracker Portamento", &Rules::protracker_portamento),
        flag("fast_volume_slides", "Fast Volume Slides", &Rules::fast_volume_slides),
        flag("jump_cancels_loop", "Jump Cancels Loop", &Rules::jump_cancels_loop),
        number("row_repeat_taken", "Row Repeat Taken", &Rules::row_repeat_taken, REPEAT_FIRST, REPEAT_LAST),
        flag("repeats_start_on_first_tick", "Repeats Start On First Tick", &Rules::repeats_start_on_first_tick),
        flag("volume_column_fine_slides_once", "Volume Column Fine Slides Once",
             &Rules::volume_column_fine_slides_once),
        flag("arpeggio_runs_through_repeats", "Arpeggio Runs Through Repeats", &Rules::arpeggio_runs_through_repeats),
        flag("ft2_effect_memories", "FT2 Effect Memories", &Rules::ft2_effect_memories),
        number("glissando", "Glissando", &Rules::glissando, GLISS_IGNORED, GLISS_NEAREST),
        flag("amiga_period_table", "Amiga Period Table", &Rules::amiga_period_table),
    };
    return entries;
}
