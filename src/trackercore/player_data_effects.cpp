#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "trackercore/player_data.h"
#include "trackercore/tables.h"

// Entry i = round(64 x sin(2 pi i / 256)).
const int8_t Player_Data::panbrello_table[256] = {
      0,   2,   3,   5,   6,   8,   9,  11,  12,  14,  16,  17,  19,  20,  22,  23,
     24,  26,  27,  29,  30,  32,  33,  34,  36,  37,  38,  39,  41,  42,  43,  44,
     45,  46,  47,  48,  49,  50,  51,  52,  53,  54,  55,  56,  56,  57,  58,  59,
     59,  60,  60,  61,  61,  62,  62,  62,  63,  63,  63,  64,  64,  64,  64,  64,
     64,  64,  64,  64,  64,  64,  63,  63,  63,  62,  62,  62,  61,  61,  60,  60,
     59,  59,  58,  57,  56,  56,  55,  54,  53,  52,  51,  50,  49,  48,  47,  46,
     45,  44,  43,  42,  41,  39,  38,  37,  36,  34,  33,  32,  30,  29,  27,  26,
     24,  23,  22,  20,  19,  17,  16,  14,  12,  11,   9,   8,   6,   5,   3,   2,
      0,  -2,  -3,  -5,  -6,  -8,  -9, -11, -12, -14, -16, -17, -19, -20, -22, -23,
    -24, -26, -27, -29, -30, -32, -33, -34, -36, -37, -38, -39, -41, -42, -43, -44,
    -45, -46, -47, -48, -49, -50, -51, -52, -53, -54, -55, -56, -56, -57, -58, -59,
    -59, -60, -60, -61, -61, -62, -62, -62, -63, -63, -63, -64, -64, -64, -64, -64,
    -64, -64, -64, -64, -64, -64, -63, -63, -63, -62, -62, -62, -61, -61, -60, -60,
    -59, -59, -58, -57, -56, -56, -55, -54, -53, -52, -51, -50, -49, -48, -47, -46,
    -45, -44, -43, -42, -41, -39, -38, -37, -36, -34, -33, -32, -30, -29, -27, -26,
    -24, -23, -22, -20, -19, -17, -16, -14, -12, -11,  -9,  -8,  -6,  -5,  -3,  -2,
};

namespace {

enum Effect_Command {
    CMD_A, CMD_B, CMD_C, CMD_D, CMD_E, CMD_F, CMD_G, CMD_H, CMD_I, CMD_J, CMD_K, CMD_L, CMD_M,
    CMD_N, CMD_O, CMD_P, CMD_Q, CMD_R, CMD_S, CMD_T, CMD_U, CMD_V, CMD_W, CMD_X, CMD_Y, CMD_Z
};

enum Volume_Column_Command {
    VOL_FINE_UP, VOL_FINE_DOWN, VOL_SLIDE_UP, VOL_SLIDE_DOWN, VOL_PITCH_DOWN, VOL_PITCH_UP,
    VOL_PORTAMENTO, VOL_VIBRATO, VOL_VIBRATO_SPEED
};
static_assert(VOL_FINE_UP == Player_Data::VOLUME_COMMAND_FINE_UP);
static_assert(VOL_FINE_DOWN == Player_Data::VOLUME_COMMAND_FINE_DOWN);
static_assert(VOL_SLIDE_DOWN == Player_Data::VOLUME_COMMAND_SLIDE_DOWN);
static_assert(VOL_PORTAMENTO == Player_Data::VOLUME_COMMAND_PORTAMENTO);
static_assert(VOL_VIBRATO == Player_Data::VOLUME_COMMAND_VIBRATO);
static_assert(VOL_VIBRATO_SPEED == Player_Data::VOLUME_COMMAND_VIBRATO_SPEED);

const uint8_t volume_column_portamento_speeds[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};

// A non-zero parameter is remembered; zero recalls the memory.
uint8_t remember(uint8_t& memory, uint8_t parameter) {
    if (parameter) memory = parameter;
    return memory;
}

}  // namespace

void Player_Data::set_all_pans(int channel, int pan) {
    Channel_Control& ch = channels[channel];
    ch.channel_pan = (int16_t)pan;
    for (Channel_Control::Layer_Slot& slot : ch.slot) slot.pan = (int16_t)pan;
}

void Player_Data::set_all_base_volumes(int channel, int volume) {
    for (Channel_Control::Layer_Slot& slot : channels[channel].slot) slot.base_volume = (int16_t)volume;
}

void Player_Data::run_effects(int channel) {
    Channel_Control& ch = channels[channel];
    const uint8_t xx = ch.parameter;
    const int x = xx >> 4, y = xx & 15;
    switch (ch.command) {
        case CMD_A:
            if (t0() && xx) {
                speed = xx;
                tick_counter = 0;
            }
            break;
        case CMD_B:
            if (!t0() || repeating_row) break;
            if (loop_jumped) {
                if (!rules().jump_cancels_loop) break;
                loop_jumped = 0;
            }
            // A break left of the jump keeps its row, except where the jump resets it (MOD).
            current_row = (row_break_target >= 0 && !rules().jump_resets_break) ? row_break_target : 0;
            row_jump_seen = 1;
            carried_row = -1;
            if (song_mode()) {
                int next = song->get_next_order(xx - 1);
                if (next < 0) {
                    end_pending = 1;  // after this row
                    break;
                }
                current_pattern = song->get_order(next);
                forced_next_order = next;
            }
            break;
        case CMD_C:
            if (!t0() || loop_jumped || repeating_row) break;
            current_row = xx;
            row_break_target = xx;
            carried_row = -1;
            if (song_mode()) {
                // From the order this row belongs to (on a pattern's last row the position has
                // already moved on to the next order), or to the order a jump left of it named.
                int next = row_jump_seen && forced_next_order >= 0 ? forced_next_order
                                                                    : song->get_next_order(row_start_snapshot.order);
                if (next < 0) {
                    end_pending = 1;  // after this row
                    break;
                }
                current_pattern = song->get_order(next);
                forced_next_order = next;
            }
            if (current_row >= pattern_at(current_pattern)->get_length()) current_row = 0;
            break;
        case CMD_D: do_volume_slide(channel, remember(ch.volume_slide_memory, xx)); break;
        case CMD_E: do_pitch_slide_down(channel, xx); break;
        case CMD_F: do_pitch_slide_up(channel, xx); break;
        case CMD_G:
            remember(ch.portamento_speed, xx);
            do_portamento(channel);
            break;
        case CMD_H:
        case CMD_U:
            if (t0()) {
                if (y) ch.vibrato_depth = (uint8_t)y;
                if (x) ch.vibrato_speed = (uint8_t)(x * 4);
            }
            if (!force_external_vibratos) {
                do_vibrato(channel, ch.command == CMD_U);
                ch.pitch_modulated = 1;
            }
            break;
        case CMD_I:
            do_tremor(channel);
            ch.volume_modulated = 1;
            break;
        case CMD_J:
            remember(ch.arpeggio_memory, xx);
            do_arpegio(channel);
            break;
        case CMD_K:
            do_volume_slide(channel, remember(ch.volume_slide_memory, xx));
            if (!force_external_vibratos) {
                do_vibrato(channel, false);
                ch.pitch_modulated = 1;
            }
            break;
        case CMD_L:
            do_volume_slide(channel, remember(ch.volume_slide_memory, xx));
            do_portamento(channel);
            break;
        case CMD_M: ch.channel_volume = (int16_t)std::min<int>(xx, 64); break;
        case CMD_N: do_channel_volume_slide(channel); break;
        case CMD_O:
            if (!t0()) break;
            // FT2 strikes no note beside a slide to it, so the offset is neither used nor kept.
            if (rules().ft2_tone_portamento && ch.volume_command == VOL_PORTAMENTO) break;
            if (xx) ch.sample_offset_low = xx * 256;
            if (rules().protracker_offset)
                do_protracker_offset(channel);
            else
                ch.sample_offset = ch.sample_offset_high | ch.sample_offset_low;
            break;
        case CMD_P: do_pan_slide(channel); break;
        case CMD_Q: do_retrig(channel); break;
        case CMD_R:
            remember(ch.tremolo_memory, xx);
            if (t0() && ch.tremolo_memory) {
                if (ch.tremolo_memory & 15) ch.tremolo_depth = ch.tremolo_memory & 15;
                if (ch.tremolo_memory >> 4) ch.tremolo_speed = (uint8_t)((ch.tremolo_memory >> 4) * 4);
            }
            do_tremolo(channel);
            ch.volume_modulated = 1;
            break;
        case CMD_S: do_effect_S(channel); break;
        case CMD_T: {
            int value = remember(ch.tempo_memory, xx);
            if (value >= 32) {
                // The song's very first row sets its tempo at once.
                if (t0() && rules().tempo_after_first_tick && !first_row)
                    pending_tempo = value;
                else if (t0())
                    tempo = value;
            } else if (!t0()) {
                int step = value & 15;
                tempo = std::clamp((value >> 4) ? tempo + step : tempo - step, 32, 255);
            }
            break;
        }
        case CMD_V:
            if (xx <= 128) global_volume = xx;  // V81..VFF are out of range and leave it alone
            break;
        case CMD_W: do_global_volume_slide(channel); break;
        case CMD_X: set_all_pans(channel, xx); break;
        case CMD_Y: do_panbrello(channel); break;
        case CMD_Z: apply_macro(channel, xx, false); break;
        case COMMAND_SMOOTH_MACRO: apply_macro(channel, xx, true); break;
        case COMMAND_FT2_ENVELOPE_POSITION:
            if (t0())
                for (Channel_Control::Layer_Slot& slot : ch.slot) slot.envelope_jump = xx;
            break;
        case COMMAND_FT2_FINE_VOLUME_SLIDE:
            do_ft2_fine_volume_slide(channel, (xx >> 4) == 0xA, xx & 15);
            break;
        default: break;
    }
}

// Of what the song's macros send, only the filter's cutoff and resonance sound. \xx slides from
// the present value to the macro's, reaching it on the row's last tick.
void Player_Data::apply_macro(int channel, int parameter, bool smooth) {
    Channel_Control& ch = channels[channel];
    const Midi_Config::Filter_Change change = song->variables.midi_config.filter_change(ch.active_macro, parameter);
    if (change.target == Midi_Config::Target::NONE) return;
    const bool it = rules().it_filters;
    const int ticks_left = speed + row_extra_ticks - tick_counter;
    auto slide = [&](int from) { return smooth && ticks_left > 1 ? from + (change.value - from) / ticks_left : change.value; };
    for (Channel_Control::Layer_Slot& slot : ch.slot) {
        if (change.target == Midi_Config::Target::CUTOFF) {
            const int cutoff = slide(std::min(slot.filter.cutoff / 2, 127)) * 2;
            slot.filter.cutoff = it || cutoff <= 128 ? cutoff : cutoff + 1;
        } else {
            // Older native songs doubled the resonance; past the damping table it holds at its last entry.
            const int resonance = slide(it ? slot.filter.resonance : slot.filter.resonance / 2);
            slot.filter.resonance = std::min(resonance * (it ? 1 : 2), Filter_Control::RESONANCE_STEPS - 1);
        }
    }
}

// EAx and EBx (and the volume column's fine slides, which feed the same memories but recall
// nothing with zero): once, on the row's first tick.
void Player_Data::do_ft2_fine_volume_slide(int channel, bool up, int amount) {
    Channel_Control& ch = channels[channel];
    amount = remember(ch.ft2_fine_volume_memory[up ? 0 : 1], (uint8_t)amount);
    if (!t0() || !amount) return;
    for (Channel_Control::Layer_Slot& slot : ch.slot)
        slot.base_volume = (int16_t)std::clamp(slot.base_volume + (up ? amount : -amount), 0, 64);
}

// FT2 keeps apart the memories IT shares between E and F: plain, fine (Fx) and extra fine (Ex)
// slides, each direction on its own. Returns the parameter with the remembered value.
uint8_t Player_Data::remember_ft2_pitch_slide(int channel, bool up, uint8_t parameter) {
    const int x = parameter >> 4;
    const int kind = x == 15 ? 1 : x == 14 ? 2 : 0;
    uint8_t& memory = channels[channel].ft2_pitch_slide_memory[up ? 0 : 1][kind];
    if (kind == 0) return remember(memory, parameter);
    return (uint8_t)((parameter & 0xF0) | remember(memory, parameter & 15));
}

// ProTracker moves the sample's start by the offset each time it reads the command, and reads it
// twice for a note: before striking it and again after. A move to the end or past it leaves
// nothing to play until the next sample number.
void Player_Data::do_protracker_offset(int channel) {
    Channel_Control& ch = channels[channel];
    const Sample* sample = ch.slot[0].sample;
    const int size = sample ? sample->data.get_size() : 0;
    const int offset = ch.sample_offset_low;
    auto move = [&] { ch.sample_start = ch.sample_start + offset < size ? ch.sample_start + offset : size; };
    if (ch.new_note) {
        ch.sample_offset = ch.sample_start + offset;
        move();
    }
    move();
}

void Player_Data::do_effect_S(int channel) {
    Channel_Control& ch = channels[channel];
    if (ch.parameter) {
        ch.s_memory_high = ch.parameter >> 4;
        ch.s_memory_low = ch.parameter & 15;
    }
    const int y = ch.s_memory_low;
    switch (ch.s_memory_high) {
        case 0x0:
            // S0x: the key is released on tick x, as XM's Kxx does.
            if (y && tick_counter == y) process_note_and_instrument(channel, NOTE_OFF, EMPTY_FIELD);
            break;
        case 0x3:
            if (y <= 3) ch.vibrato_waveform = (uint8_t)y;
            break;
        case 0x4:
            if (y <= 3) ch.tremolo_waveform = (uint8_t)y;
            break;
        case 0x5:
            if (y <= 3) ch.panbrello_waveform = (uint8_t)y;
            break;
        case 0x6:
            if (t0() && !repeating_row) row_extra_ticks += y;
            break;
        case 0x7:
            if (!t0()) break;
            if (y <= 2)
                do_past_note_action(channel, y);
            else if (y <= 6)
                for (Channel_Control::Layer_Slot& slot : ch.slot) slot.nna = (uint8_t)(y - 3);
            else if (y <= 0xC)
                set_envelope_switch(channel, (y - 7) / 2, (y - 7) % 2 == 1);
            break;
        case 0x8: set_all_pans(channel, y <= 8 ? y * 16 : y * 17); break;
        case 0x9: set_all_pans(channel, 512); break;
        case 0xA:
            if (ch.parameter) ch.sample_offset_high = y * 65536;
            ch.sample_offset = ch.sample_offset_high | ch.sample_offset_low;
            break;
        case 0xB: {
            if (!t0() || repeating_row) break;
            // ST3 keeps one loop for the whole pattern, held on the first channel.
            Channel_Control& loop = rules().pattern_loop_shared ? channels[0] : ch;
            if (y == 0) {
                loop.loop_row = row_start_snapshot.row;
                break;
            }
            if (loop.loop_count < 1) {
                if (rules().one_pattern_loop_at_a_time && other_loop_counting(channel)) break;
                loop.loop_count = (int8_t)y;
            } else if (--loop.loop_count == 0 && rules().loop_start_follows_loop) {
                loop.loop_row = row_start_snapshot.row + 1;  // a later SBx does not replay the finished loop
            }
            if (loop.loop_count >= 1) {
                current_order = row_start_snapshot.order;
                current_pattern = row_start_snapshot.pattern;
                forced_next_order = row_start_snapshot.forced_next_order;
                current_row = loop.loop_row;
                loop_jumped = 1;
                // FT2 keeps the loop's row as the one the next pattern starts at.
                if (rules().pattern_loop_carries_over) carried_row = loop.loop_row;
            }
            break;
        }
        case 0xC:
            if (tick_counter == y || (tick_counter > y && !rules().note_cut_ends_note)) cut_notes(channel);
            break;
        case 0xE: {
            // One SEx of the row counts, as the rules choose it; the repeats do not set it again.
            if (!t0() || repeating_row) break;
            const int taken = rules().row_repeat_taken;
            if (row_repeat_set && taken != Playback_Rules::ROW_REPEAT_LAST) break;
            if (y == 0 && taken == Playback_Rules::ROW_REPEAT_FIRST_NON_ZERO) break;
            row_repeats_left = y;
            row_repeat_set = 1;
            break;
        }
        case 0xF: ch.active_macro = (uint8_t)y; break;
        case 0x1: ch.glissando = y != 0 && rules().glissando != Playback_Rules::GLISSANDO_IGNORED; break;
        default: break;  // S2x; SDx holds the cell back as the row is read
    }
}

bool Player_Data::other_loop_counting(int channel) const {
    for (int c = 0; c < channels_in_use; c++)
        if (c != channel && channels[c].loop_count > 0) return true;
    return false;
}

void Player_Data::do_past_note_action(int channel, int action) {
    const Channel_Control* ch = &channels[channel];
    for (Voice_Control* voice : voice_list) {
        if (voice->get_channel() != ch || voice->is_foreground()) continue;
        switch (action) {
            case 0: voice->cut(); break;
            case 1: voice->release_key(); break;
            default: voice->start_fade(); break;
        }
    }
}

void Player_Data::set_envelope_switch(int channel, int envelope, bool on) {
    for (Channel_Control::Layer_Slot& slot : channels[channel].slot) {
        int& envelope_switch = envelope == 0   ? slot.volume_envelope_on
                               : envelope == 1 ? slot.pan_envelope_on
                                               : slot.pitch_envelope_on;
        envelope_switch = on;
    }
}

void Player_Data::run_volume_column_effects(int channel) {
    Channel_Control& ch = channels[channel];
    const int v = ch.volume_parameter;
    if (repeating_row && rules().volume_column_fine_slides_once &&
        (ch.volume_command == VOL_FINE_UP || ch.volume_command == VOL_FINE_DOWN))
        return;
    if (rules().ft2_effect_memories && run_ft2_volume_column_slide(channel)) return;
    // With nothing remembered a slide of 0 does nothing (as D, xF would read 0F as a slide down).
    const int slide = ch.volume_command <= VOL_SLIDE_DOWN ? remember(ch.volume_column_memory, v) : 0;
    switch (ch.volume_command) {
        case VOL_FINE_UP: if (slide) do_volume_slide(channel, slide * 16 + 15); break;
        case VOL_FINE_DOWN: if (slide) do_volume_slide(channel, 0xF0 + slide); break;
        case VOL_SLIDE_UP: do_volume_slide(channel, slide * 16); break;
        case VOL_SLIDE_DOWN: do_volume_slide(channel, slide); break;
        case VOL_PITCH_DOWN: do_pitch_slide_down(channel, (uint8_t)((v & 63) * 4)); break;
        case VOL_PITCH_UP: do_pitch_slide_up(channel, (uint8_t)((v & 63) * 4)); break;
        case VOL_PORTAMENTO:
            if (v) ch.portamento_speed = volume_column_portamento_speeds[v];
            do_portamento(channel);
            break;
        case VOL_VIBRATO:
            if (t0() && v) ch.vibrato_depth = (uint8_t)v;
            if (!force_external_vibratos) {
                do_vibrato(channel, false);
                ch.pitch_modulated = 1;
            }
            break;
        case VOL_VIBRATO_SPEED:
            if (t0() && v) ch.vibrato_speed = (uint8_t)(v * 4);
            break;
        default: break;
    }
}

// FT2's column slides: zero does nothing, and a depth feeds the memory of Axy (normal) or of
// EAx and EBx (fine). Returns false for the column's other commands.
bool Player_Data::run_ft2_volume_column_slide(int channel) {
    Channel_Control& ch = channels[channel];
    const int v = ch.volume_parameter;
    switch (ch.volume_command) {
        case VOL_FINE_UP:
        case VOL_FINE_DOWN:
            if (v) do_ft2_fine_volume_slide(channel, ch.volume_command == VOL_FINE_UP, v);
            return true;
        case VOL_SLIDE_UP:
        case VOL_SLIDE_DOWN:
            if (v) do_volume_slide(channel, ch.volume_slide_memory = (uint8_t)(ch.volume_command == VOL_SLIDE_UP ? v << 4 : v));
            return true;
        default: return false;
    }
}

// Dxy and Wxy: x0 up and 0y down on later ticks, xF up and Fy down once on tick 0. Other
// pairs do nothing, except with the shared memory, where the down digit wins.
int Player_Data::volume_slide_change(int x, int y) const {
    if (y == 0) return t0() ? 0 : x;
    if (x == 0) return t0() ? 0 : -y;
    if (y == 15) return t0() ? x : 0;
    if (x == 15) return t0() ? -y : 0;
    if (rules().shared_effect_memory) return t0() ? 0 : -y;
    return 0;
}

void Player_Data::do_volume_slide(int channel, int parameter) {
    const int x = (parameter >> 4) & 15, y = parameter & 15;
    int change = volume_slide_change(x, y);
    if (t0() && rules().fast_volume_slides && (x == 0 || y == 0)) change = x ? x : -y;
    if (!change) return;
    for (Channel_Control::Layer_Slot& slot : channels[channel].slot)
        slot.base_volume = (int16_t)std::clamp(slot.base_volume + change, 0, 64);
}

void Player_Data::do_pitch_slide(int channel, int amount) {
    // Held within the period's 16 bits: a slide past the top or bottom stays there
    // instead of wrapping round to the opposite end of the range.
    bool stop = false;
    for (Channel_Control::Layer_Slot& slot : channels[channel].slot) {
        stop = stop || (slot.period && slot.base_period + amount <= 0);
        slot.base_period = (uint16_t)std::clamp(slot.base_period + amount, 1, 65535);
    }
    if (stop && rules().st3_period_limits) cut_notes(channel);
}

void Player_Data::do_pitch_slide_down(int channel, unsigned char parameter) {
    Channel_Control& ch = channels[channel];
    const int p = rules().ft2_effect_memories ? remember_ft2_pitch_slide(channel, false, parameter)
                                              : remember(ch.pitch_slide_memory, parameter);
    const int x = p >> 4, y = p & 15;
    if (x == 15) {
        if (t0()) do_pitch_slide(channel, y * 4);
    } else if (x == 14) {
        if (t0()) do_pitch_slide(channel, y);
    } else if (!t0())
        do_pitch_slide(channel, p * 4);
}

void Player_Data::do_pitch_slide_up(int channel, unsigned char parameter) {
    Channel_Control& ch = channels[channel];
    const int p = rules().ft2_effect_memories ? remember_ft2_pitch_slide(channel, true, parameter)
                                              : remember(ch.pitch_slide_memory, parameter);
    const int x = p >> 4, y = p & 15;
    if (x == 15) {
        if (t0()) do_pitch_slide(channel, -y * 4);
    } else if (x == 14) {
        if (t0()) do_pitch_slide(channel, -y);
    } else if (!t0())
        do_pitch_slide(channel, -p * 4);
}

void Player_Data::do_portamento(int channel) {
    Channel_Control& ch = channels[channel];
    if (ch.previous_note > 120) return;  // nothing sounded before: the note simply plays
    const bool restart_ended = rules().portamento_restarts_ended_note;
    // Compatible Gxx: an instrument number beside the slide strikes the key again (envelopes,
    // fade-out and key-off start afresh) while the sample slides on.
    const bool rekey = t0() && rules().compatible_gxx && ch.instrument_named;
    // FT2's slides never strike their note: what starts was settled with the row's note.
    const bool struck_with_note = rules().ft2_tone_portamento;
    for (Channel_Control::Layer_Slot& slot : ch.slot) {
        if (slot.period == 0 || struck_with_note) continue;
        if (rekey && slot.voice) {
            slot.note_off_flags = 0;
            slot.voice->restart_envelopes();
        } else if (t0() && slot.voice) {
            slot.note_off_flags = slot.voice->get_note_off_flags();  // the slide leaves a released key released
        }
        if (t0() && restart_ended && !slot.voice && slot.start_state == 1) {
            slot.period = slot.target_period;  // nothing sounds to slide from: the note plays as struck
        } else if (t0() && slot.sample_changed) {
            slot.sample_changed = 0;
            ch.sample_offset = 0;
            // The new sample takes the sounding one's place at the pitch it had got to: no
            // new-note action keeps it on.
            if (slot.voice) {
                slot.period = period_for_sample(slot.period, slot.voice->get_sample(), slot.sample);
                slot.voice->cut();
                slot.voice = nullptr;
            }
        } else {
            slot.start_state = 0;
            slot.unmapped_note = 0;  // the sounding voice slides on
            // An offset on the row (the slide then sits in the volume column) moves it there.
            Voice_Control* voice = slot.voice;
            if (t0() && ch.command == CMD_O && voice && voice->get_sample() &&
                ch.sample_offset < voice->get_sample()->data.get_size())
                voice->get_voice().setup_sample(&voice->get_sample()->data, std::max(0, ch.sample_offset));
        }
    }
    do_pitch_slide_to_note(channel);
    ch.pitch_modulated = 1;
}

// The period at which `to` sounds as high as `from` does at `period`.
int Player_Data::period_for_sample(int period, const Sample* from, const Sample* to) const {
    const int from_rate = from ? from->data.get_c5_freq() : 0;
    const int to_rate = to ? to->data.get_c5_freq() : 0;
    if (from_rate <= 0 || to_rate <= 0 || from_rate == to_rate) return period;
    if (rules().use_linear_slides)
        return period + (int)std::lround(768.0 * std::log2((double)to_rate / from_rate));
    return (int)std::clamp<int64_t>((int64_t)period * to_rate / from_rate, 1, 0xFFFF);
}

void Player_Data::do_pitch_slide_to_note(int channel) {
    Channel_Control& ch = channels[channel];
    const int step = ch.portamento_speed * 4;
    for (Channel_Control::Layer_Slot& slot : ch.slot) {
        // A layer that was not sounding has nothing to slide from: it plays its own note.
        if (slot.period == 0) {
            slot.period = slot.base_period;
            continue;
        }
        if (t0()) {
            slot.base_period = (uint16_t)(slot.period & 0xFFFF);
            continue;
        }
        // Under glissando the slide goes on from where it had got to, not from the semitone heard,
        // unless something else has moved the pitch since.
        if (ch.glissando && slot.glissando_period && glissando_period(slot, slot.glissando_period) == slot.period)
            slot.period = slot.glissando_period;
        slide_to_target(slot, step);
        slot.glissando_period = 0;
        if (ch.glissando) {
            slot.glissando_period = slot.period;
            slot.period = glissando_period(slot, slot.period);
            slot.base_period = (uint16_t)slot.period;
        }
    }
}

void Player_Data::slide_to_target(Channel_Control::Layer_Slot& slot, int step) {
    if (rules().ft2_tone_portamento) {
        slide_ft2_portamento(slot, step);
        return;
    }
    if (rules().protracker_portamento) {
        slide_protracker_portamento(slot, step);
        return;
    }
    int d = slot.period - slot.target_period;
    if (d == 0 || std::abs(d) < step)
        slot.period = slot.target_period;
    else
        slot.period += d > 0 ? -step : step;
    slot.base_period = (uint16_t)slot.period;
}

// The period of a note for the slot's sample, E5x's finetune included.
int Player_Data::note_period(const Channel_Control::Layer_Slot& slot, int note) const {
    const bool linear = rules().use_linear_slides;
    const int period = (int)untuned_period(note, slot.sample);
    if (slot.finetune_shift == 0) return period;
    if (linear) return period - slot.finetune_shift;
    return (int)std::lround(period * std::exp2(-slot.finetune_shift / 768.0));
}

// The period of the semitone a glissando sounds at, as the rules pick it.
int Player_Data::glissando_period(const Channel_Control::Layer_Slot& slot, int period) const {
    const bool nearest = rules().glissando == Playback_Rules::GLISSANDO_NEAREST;
    int best = period, best_distance = -1;
    for (int note = 0; note < NOTE_COUNT; note++) {
        const int candidate = note_period(slot, note);
        if (!nearest && candidate > period) continue;  // only notes at the pitch or above
        const int distance = std::abs(candidate - period);
        if (best_distance < 0 || distance < best_distance || (distance == best_distance && candidate > best)) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

// Once past the target the slide stops there, and from then on only slides down to it.
void Player_Data::slide_ft2_portamento(Channel_Control::Layer_Slot& slot, int step) {
    const int target = slot.target_period;
    if (slot.portamento_direction == PORTAMENTO_UP) {
        slot.period -= step;
        if (slot.period <= target) {
            slot.period = target;
            slot.portamento_direction = PORTAMENTO_DOWN;
        }
    } else if (slot.portamento_direction == PORTAMENTO_DOWN) {
        slot.period = std::min(slot.period + step, target);
    }
    slot.base_period = (uint16_t)slot.period;
}

// ProTracker forgets the target once it is reached: a later slide without a note stays put.
void Player_Data::slide_protracker_portamento(Channel_Control::Layer_Slot& slot, int step) {
    if (slot.target_period == 0) return;
    const int d = slot.period - slot.target_period;
    if (std::abs(d) <= step) {
        slot.period = slot.target_period;
        slot.target_period = 0;
    } else {
        slot.period += d > 0 ? -step : step;
    }
    slot.base_period = (uint16_t)slot.period;
}

void Player_Data::do_vibrato(int channel, bool fine) {
    Channel_Control& ch = channels[channel];
    const bool old_effects = rules().old_effects;
    const bool ft2 = rules().ft2_modulation;
    if (t0() && ch.new_note) ch.vibrato_position = 0;
    const int p = ch.vibrato_position;
    const int i = (p >> 2) & 31;
    int w = 0;
    switch (ch.vibrato_waveform) {
        case 0: w = vibrato_table[i]; break;
        case 1: w = 255; break;
        case 2: w = p < 0 ? (i * 8) ^ 255 : i * 8; break;
        case 3: w = random() % 256; break;
        default: break;
    }
    int delta;
    if (ft2) {
        delta = (w * ch.vibrato_depth) >> (fine ? 7 : 5);  // one truncation, as FT2 scales it
    } else {
        delta = ((w * ch.vibrato_depth) & 0xFFFF) >> (old_effects ? 7 : 8);
        if (!fine) delta *= 4;
    }
    for (Channel_Control::Layer_Slot& slot : ch.slot)
        slot.period = p >= 0 ? slot.base_period + delta : slot.base_period - delta;
    if (!(t0() && (old_effects || ft2))) ch.vibrato_position = (int8_t)(ch.vibrato_position + ch.vibrato_speed);
}

void Player_Data::do_tremor(int channel) {
    Channel_Control& ch = channels[channel];
    const int parameter = remember(ch.tremor_memory, ch.parameter);
    if (rules().ft2_modulation) {
        do_tremor_ft2(channel, parameter);
        return;
    }
    if (!parameter) return;
    const int on = parameter >> 4, off = parameter & 15;
    ch.tremor_counter = (int8_t)(ch.tremor_counter % (on + off));
    for (Channel_Control::Layer_Slot& slot : ch.slot) slot.volume = ch.tremor_counter < on ? slot.base_volume : 0;
    ch.tremor_counter++;
}

// FT2 counts each phase down from x (on) or y (off) to below zero, so a phase lasts one tick
// longer than its digit. An off phase outlasts the command: neither a volume nor a note brings
// the channel back, only an instrument number, which also starts the count afresh.
void Player_Data::do_tremor_ft2(int channel, int parameter) {
    Channel_Control& ch = channels[channel];
    if (t0()) {
        // The row's first tick keeps the last tick's phase.
        for (Channel_Control::Layer_Slot& slot : ch.slot) slot.volume = ch.tremor_silenced ? 0 : slot.base_volume;
        return;
    }
    const uint8_t state = (uint8_t)ch.tremor_counter;
    bool on = state & 0x80;
    int count = (state & 0x7F) - 1;
    if (count < 0) {
        on = !on;
        count = on ? parameter >> 4 : parameter & 15;
    }
    ch.tremor_counter = (int8_t)((on ? 0x80 : 0) | count);
    ch.tremor_silenced = !on;
    for (Channel_Control::Layer_Slot& slot : ch.slot) slot.volume = on ? slot.base_volume : 0;
}

void Player_Data::do_pan_slide(int channel) {
    Channel_Control& ch = channels[channel];
    const int p = remember(ch.pan_slide_memory, ch.parameter);
    const int x = p >> 4, y = p & 15;
    int change = 0;
    if (x == 0)
        change = y * 4;
    else if (y == 0)
        change = -x * 4;
    else if (x == 15)
        change = t0() ? y * 4 : 0;
    else if (y == 15)
        change = t0() ? -x * 4 : 0;
    for (Channel_Control::Layer_Slot& slot : ch.slot) {
        int pan = slot.pan == 512 ? 128 : slot.pan;
        slot.pan = (int16_t)std::clamp(pan + change, 0, 255);
    }
    ch.channel_pan = ch.slot[0].pan;
}

void Player_Data::do_channel_volume_slide(int channel) {
    Channel_Control& ch = channels[channel];
    const int p = remember(ch.channel_volume_slide_memory, ch.parameter);
    const int x = p >> 4, y = p & 15;
    int change = 0;
    if (x == 0)
        change = -y;
    else if (y == 0)
        change = x;
    else if (x == 15)
        change = t0() ? -y : 0;
    else if (y == 15)
        change = t0() ? x : 0;
    ch.channel_volume = (int16_t)std::clamp(ch.channel_volume + change, 0, 64);
}

void Player_Data::do_global_volume_slide(int channel) {
    Channel_Control& ch = channels[channel];
    const int p = remember(ch.global_volume_slide_memory, ch.parameter);
    const int x = p >> 4, y = p & 15;
    const int change = volume_slide_change(x, y) * rules().global_volume_slide_step;
    global_volume = std::clamp(global_volume + change, 0, 128);
}

void Player_Data::do_tremolo(int channel) {
    Channel_Control& ch = channels[channel];
    const bool ft2 = rules().ft2_modulation;
    if (t0() && ch.new_note) ch.tremolo_position = 0;
    const int p = ch.tremolo_position;
    const int i = (p >> 2) & 31;
    // FT2 turns its tremolo ramp by the vibrato's position.
    const int ramp_side = ft2 ? ch.vibrato_position : p;
    int w = 0;
    switch (ch.tremolo_waveform) {
        case 0: w = vibrato_table[i]; break;
        case 1: w = ramp_side < 0 ? (i * 8) ^ 255 : i * 8; break;
        case 2: w = 255; break;
        case 3: w = random() % 256; break;
        default: break;
    }
    const int delta = (int16_t)((w * ch.tremolo_depth) >> (ft2 ? 6 : 7));
    for (Channel_Control::Layer_Slot& slot : ch.slot)
        slot.volume = (int16_t)(p >= 0 ? std::min(slot.base_volume + delta, 64) : std::max(slot.base_volume - delta, 0));
    if (!(t0() && ft2)) ch.tremolo_position = (int8_t)(ch.tremolo_position + ch.tremolo_speed);
}

void Player_Data::do_arpegio(int channel) {
    Channel_Control& ch = channels[channel];
    if (!ch.arpeggio_memory) return;
    int step = (tick_counter + (rules().arpeggio_runs_through_repeats ? repeated_ticks : 0)) % 3;
    if (rules().ft2_modulation && !t0()) {
        // FT2 looks the step up by the ticks left in the row; past its 16-entry table it reads
        // on into the vibrato table, where any value but 0 and 1 is the second note.
        const int left = speed - tick_counter;
        step = left < 16 ? left % 3 : vibrato_table[std::min(left - 16, 31)];
    }
    const int n = step == 0 ? 0 : step == 1 ? ch.arpeggio_memory >> 4 : ch.arpeggio_memory & 15;
    const bool linear = rules().use_linear_slides;
    const int semitone = std::abs((int)get_period(46, 0, true) - (int)get_period(44, 0, true));
    for (Channel_Control::Layer_Slot& slot : ch.slot)
        slot.period = linear ? slot.base_period - semitone * n : (int)untuned_period(slot.note + n, slot.sample);
    ch.pitch_modulated = 1;
}

void Player_Data::do_retrig(int channel) {
    Channel_Control& ch = channels[channel];
    if (rules().ft2_retrigger) {
        do_retrig_ft2(channel);
        return;
    }
    if (ch.parameter) {
        ch.retrig_volume = ch.parameter >> 4;
        ch.retrig_interval = ch.parameter & 15;
    }
    if (!ch.retrig_interval) return;
    if (ch.retrig_counter == 0) {
        ch.retrig_counter = ch.retrig_interval;
        strike_again(channel, t0() ? 0 : ch.retrig_volume);
    }
    ch.retrig_counter--;
}

// FT2's two retriggers. E9y (Q0y here) strikes the note again on every y-th tick of its row,
// E90 once on the row's first tick where the cell strikes no note. Rxy counts every tick, the
// first only where the volume column sets no volume, and strikes again once y are counted.
void Player_Data::do_retrig_ft2(int channel) {
    Channel_Control& ch = channels[channel];
    const int x = ch.parameter >> 4, y = ch.parameter & 15;
    if (x == 0) {
        const bool due = y ? !t0() && tick_counter % y == 0 : t0() && !ch.new_note;
        if (due) strike_again(channel, 0);
        return;
    }
    ch.retrig_volume = (uint8_t)x;
    if (y) ch.retrig_interval = (uint8_t)y;
    if (!ch.retrig_interval || (t0() && ch.column_volume_set)) return;
    if (++ch.retrig_counter < ch.retrig_interval) return;
    ch.retrig_counter = 0;
    strike_again(channel, ch.retrig_volume);
}

// Restarts the channel's sample and changes its volume by one of the retrigger's 16 steps.
void Player_Data::strike_again(int channel, int volume_change) {
    Channel_Control& ch = channels[channel];
    // Only layers with a sample restart; without an instrument there is nothing to restart.
    if (ch.instrument_index != EMPTY_FIELD)
        for (Channel_Control::Layer_Slot& slot : ch.slot)
            if (slot.sample && slot.layer && !slot.cut) slot.start_state = 1;
    for (Channel_Control::Layer_Slot& slot : ch.slot) {
        int v = slot.base_volume;
        switch (volume_change) {
            case 1: case 2: case 3: case 4: case 5: v -= 1 << (volume_change - 1); break;
            case 6: v = v * 2 / 3; break;
            case 7: v = v / 2; break;
            case 9: case 10: case 11: case 12: case 13: v += 1 << (volume_change - 9); break;
            case 14: v = v * 3 / 2; break;
            case 15: v = v * 2; break;
            default: break;
        }
        slot.base_volume = (int16_t)std::clamp(v, 0, 64);
    }
}

void Player_Data::do_panbrello(int channel) {
    Channel_Control& ch = channels[channel];
    remember(ch.panbrello_memory, ch.parameter);
    if (t0()) {
        if (ch.panbrello_memory & 15) ch.panbrello_depth = ch.panbrello_memory & 15;
        if (ch.panbrello_memory >> 4) ch.panbrello_speed = ch.panbrello_memory >> 4;
    }
    int q = ch.panbrello_position;
    int w = 0;
    switch (ch.panbrello_waveform) {
        case 0: w = panbrello_table[q]; break;
        case 1: w = q < 128 ? 64 : 0; break;
        case 2: w = (q & 31) * 8; break;
        case 3:
            if (q >= ch.panbrello_speed) {
                q = 0;
                w = random() % 256;
            }
            break;
        default: break;
    }
    const int pan = (w * ch.panbrello_depth / 15) * 2 + ch.channel_pan;
    for (Channel_Control::Layer_Slot& slot : ch.slot)
        if (slot.pan != 512) slot.pan = (int16_t)std::clamp(pan, 0, 255);
    ch.panbrello_position = (uint8_t)(q + ch.panbrello_speed);
}
