#include <algorithm>
#include <string>

#include "common/components/data/audio_thread_log.h"
#include "common/components/data/error_line.h"
#include "trackercore/player_data.h"
#include "trackercore/tables.h"

namespace {

constexpr unsigned char COMMAND_G = 'G' - 'A';
constexpr unsigned char COMMAND_L = 'L' - 'A';

bool slides_to_note(const Note& note) {
    const bool column = note.volume >= Player_Data::VOLUME_PORTAMENTO_FIRST &&
                        note.volume <= Player_Data::VOLUME_PORTAMENTO_LAST;
    return column || note.command == COMMAND_G || note.command == COMMAND_L;
}

}  // namespace

void Player_Data::process_note(int channel, Note note) {
    if (rules().protracker_offset && note.instrument < Song::MAX_INSTRUMENTS) channels[channel].sample_start = 0;
    // The row's command first: a lone instrument number acts differently beside a slide.
    channels[channel].command = note.command;
    channels[channel].parameter = note.command == EMPTY_FIELD ? 0 : note.parameter;
    channels[channel].slides_to_note = slides_to_note(note);
    if (rules().ft2_tone_portamento && note.note < NOTE_COUNT && slides_to_note(note) &&
        prepare_ft2_portamento(channel, note.note, note.instrument)) {
        channels[channel].new_note = 0;
    } else {
        process_note_and_instrument(channel, note.note, note.instrument);
    }
    process_volume_column(channel, note.volume);
    if (rules().shared_effect_memory && channels[channel].parameter) share_effect_memory(channel);
}

// Every effect that recalls the shared memory reads it from its own, so filling them all
// keeps the "zero recalls" rule in one place for either kind of memory.
void Player_Data::share_effect_memory(int channel) {
    Channel_Control& ch = channels[channel];
    const uint8_t xx = ch.parameter;
    ch.volume_slide_memory = xx;
    ch.pitch_slide_memory = xx;
    ch.tremor_memory = xx;
    ch.arpeggio_memory = xx;
    ch.tremolo_memory = xx;
    ch.retrig_volume = xx >> 4;
    ch.retrig_interval = xx & 15;
}

namespace {

// The ticks an SDx in the cell holds it back; 0 where nothing is held.
int note_delay_of(const Note& cell) {
    if (cell.command != 'S' - 'A' || (cell.parameter >> 4) != 0xD) return 0;
    return cell.parameter & 15;
}

}  // namespace

void Player_Data::take_row_cell(int channel, Note cell) {
    Channel_Control& ch = channels[channel];
    const int delay = note_delay_of(cell);
    const bool holds = cell.note != EMPTY_FIELD || cell.instrument != EMPTY_FIELD || cell.volume != EMPTY_FIELD;
    ch.row_note_delay = 0;
    if (delay == 0 || !holds) {
        process_note(channel, cell);
        return;
    }
    // Until the delay is up the channel plays on as before; only the effect column runs.
    ch.new_note = 0;
    ch.volume_command = ch.volume_parameter = EMPTY_FIELD;
    ch.command = cell.command;
    ch.parameter = cell.parameter;
    ch.delayed_cell = cell;
    ch.note_delay = ch.row_note_delay = (uint8_t)delay;
    const bool sets_volume_or_pan = cell.volume <= 64 || (cell.volume >= 128 && cell.volume <= 192);
    if (rules().ft2_note_delay && cell.volume != EMPTY_FIELD && !sets_volume_or_pan) {
        ch.delayed_cell.volume = EMPTY_FIELD;
        process_volume_column(channel, cell.volume);
        const int command = ch.volume_command;
        if (command == VOLUME_COMMAND_FINE_UP || command == VOLUME_COMMAND_FINE_DOWN ||
            command == VOLUME_COMMAND_VIBRATO_SPEED || command == VOLUME_COMMAND_PORTAMENTO)
            ch.volume_command = ch.volume_parameter = EMPTY_FIELD;
    }
}

void Player_Data::strike_delayed_cell(int channel) {
    Channel_Control& ch = channels[channel];
    const Note& cell = ch.delayed_cell;
    ch.note_delay = 0;
    ch.slides_to_note = slides_to_note(cell);
    const bool ft2_key_off = rules().ft2_note_delay && cell.note == NOTE_OFF;
    if (ft2_key_off)
        for (Channel_Control::Layer_Slot& slot : ch.slot) {
            if (!slot.sample) continue;
            slot.base_volume = (int16_t)slot.sample->def_volume;
            slot.pan = slot.sample->def_panning_active ? (int16_t)(slot.sample->def_panning * 255 / 64) : ch.channel_pan;
        }
    process_note_and_instrument(channel, cell.note, cell.instrument);
    if (ft2_key_off)
        for (Channel_Control::Layer_Slot& slot : ch.slot) {
            slot.note_off_flags = 0;
            if (slot.voice) slot.voice->restart_envelopes();
        }
    // An empty column leaves the slides that started with the row running.
    if (cell.volume != EMPTY_FIELD) process_volume_column(channel, cell.volume);
}

void Player_Data::process_new_note(int channel, unsigned char note) {
    Channel_Control& ch = channels[channel];
    if (ch.note != EMPTY_FIELD) ch.previous_note = ch.note;
    ch.note = note;
    for (Channel_Control::Layer_Slot& slot : ch.slot) {
        slot.start_state = 1;
        slot.cut = 0;
    }
    ch.sample_offset = ch.sample_start > 0 ? ch.sample_start : -1;
    ch.new_note = 1;
    if (ch.panbrello_waveform != 0) ch.panbrello_position = 0;
}

void Player_Data::process_new_instrument(int channel, unsigned char instrument) {
    if (instrument > 98) {
        Audio_Thread_Log::post("trackercore/player_data_notes", 61,
                               "warning: track %d attempted to play an undefined instrument:%c", channel, (char)instrument);
        return;
    }
    Channel_Control& ch = channels[channel];
    Instrument* target = song->get_instrument(instrument);
    for (int i = 0; i < Channel_Control::LAYER_SLOTS; i++) ch.slot[i].layer = target->get_layer(i);
    ch.instrument_index = instrument;
    restart_tremor(channel);
    ch.retrig_counter = 0;
    ch.instrument = target;
}

int Player_Data::process_note_and_instrument(int channel, int note, int instrument) {
    Channel_Control& ch = channels[channel];
    ch.new_note = 0;
    ch.instrument_named = instrument >= 0 && instrument < Song::MAX_INSTRUMENTS;
    if (note == EMPTY_FIELD && instrument == EMPTY_FIELD) return 0;

    if (note >= 0 && note < NOTE_COUNT) {
        process_new_note(channel, (unsigned char)note);
        if (instrument >= 0 && instrument < Song::MAX_INSTRUMENTS)
            process_new_instrument(channel, (unsigned char)instrument);
        else if (ch.instrument)
            // An instrument given alone on an earlier row plays from this note on.
            for (int i = 0; i < Channel_Control::LAYER_SLOTS; i++) ch.slot[i].layer = ch.instrument->get_layer(i);
        if (ch.instrument_index == EMPTY_FIELD) {
            for (Channel_Control::Layer_Slot& slot : ch.slot) slot.start_state = 0;
            return 0;
        }
        ch.nna_pending = 1;
        bool any_start = false;
        for (Channel_Control::Layer_Slot& slot : ch.slot) {
            Instrument::Layer* layer = slot.layer;
            int number = layer ? layer->sample_table[ch.note] : EMPTY_FIELD;
            slot.unmapped_note = number >= Song::MAX_SAMPLES && slot.voice;
            if (number >= Song::MAX_SAMPLES) {
                slot.start_state = 0;
                continue;
            }
            slot.note = std::min<int>(layer->note_table[ch.note], NOTE_COUNT - 1);
            Sample* sample = song->get_sample(number);
            // Compatible Gxx: a slide keeps the sounding sample; an instrument number gives back its volume.
            if (ch.slides_to_note && rules().compatible_gxx && slot.voice && slot.period != 0 && slot.sample)
                sample = slot.sample;
            slot.sample_changed = (sample == slot.sample) ? 0 : (slot.period != 0);
            slot.sample = sample;
            slot.pan = ch.channel_pan;
            if (sample->def_panning_active)
                slot.pan = (int16_t)(sample->def_panning * 255 / 64);
            else if (layer->pan_use_default)
                slot.pan = (int16_t)(layer->pan_default * 255 / 64);

            // The separation moves the pan by an eighth of its value per semitone on the 0..64
            // scale the instrument gives it in; pans here run 0..255.
            if (ch.channel_pan != 512 && layer->pitch_separation != 0)
                slot.pan = (int16_t)std::clamp(
                    slot.pan + (ch.note - layer->pitch_center) * layer->pitch_separation * 255 / (8 * 64), 0, 255);
            slot.volume_variation = (int16_t)(layer->volume_random < 1 ? 100 : 100 - random() % layer->volume_random);
            if (layer->pan_random > 0 && slot.pan != 512) {
                int d = random() % (layer->pan_random * 4);
                if (random() & 1) d = -d;
                slot.pan = (int16_t)std::clamp(slot.pan + d, 0, 255);
            }
            // IT's slide to a note keeps the playing note's filter, whatever instrument it names.
            const bool keeps_filter = rules().it_filters && ch.slides_to_note;
            if (layer->pitch_use_default_cutoff && !keeps_filter) slot.filter.cutoff = layer->pitch_default_cutoff * 2;
            // Older native songs doubled the resonance; beyond the damping table it is held at its last entry.
            if (layer->pitch_use_default_Q && !keeps_filter)
                slot.filter.resonance = std::min(layer->pitch_default_Q * (rules().it_filters ? 1 : 2),
                                                 Filter_Control::RESONANCE_STEPS - 1);
            slot.volume_envelope_on = layer->volume_envelope.is_enabled();
            slot.pan_envelope_on = layer->panning_envelope.is_enabled();
            slot.pitch_envelope_on = layer->pitch_envelope.is_enabled();
            slot.nna = (uint8_t)layer->nna_type;
            slot.dct = (uint8_t)layer->dc_type;
            slot.dca = (uint8_t)layer->dc_action;
            if (instrument < 100 || ch.instrument_volume_pending)
                slot.volume = slot.base_volume = (int16_t)sample->def_volume;
            slot.note_off_flags = 0;
            slot.finetune_shift = 0;
            if (ch.command == COMMAND_FT2_FINETUNE)
                slot.finetune_shift = (int16_t)((((ch.parameter & 15) - 8) * 16 >> 1) - (sample->finetune >> 1));
            slot.glissando_period = 0;
            slot.base_period = (uint16_t)note_period(slot, slot.note);
            // FT2 keeps the last slide's target (and direction) through notes struck plainly,
            // ProTracker its target.
            const bool slide = ch.command == COMMAND_G || ch.command == COMMAND_L;
            if (!rules().ft2_tone_portamento && (!rules().protracker_portamento || slide))
                slot.target_period = slot.base_period;
            any_start = true;
        }
        ch.instrument_volume_pending = 0;
        return any_start ? 1 : 0;
    }
    if (note == EMPTY_FIELD && instrument >= 0 && instrument < Song::MAX_INSTRUMENTS) {
        process_instrument_without_note(channel, (unsigned char)instrument);
    } else if (note == NOTE_FADE) {
        for (Channel_Control::Layer_Slot& slot : ch.slot)
            if (slot.layer) slot.note_off_flags |= NOTE_OFF_FADING;
    } else if (note == NOTE_CUT) {
        cut_notes(channel);
    } else if (note == NOTE_OFF) {
        const bool xm_key_off = rules().key_off_cuts_without_envelope;
        const bool with_instrument = instrument >= 0 && instrument < Song::MAX_INSTRUMENTS;
        for (Channel_Control::Layer_Slot& slot : ch.slot) {
            if (!slot.layer) continue;
            slot.note_off_flags |= NOTE_OFF_KEY_RELEASED;
            const bool has_envelope = slot.layer->volume_envelope.is_enabled();
            if (xm_key_off) {
                // XM: without an envelope the note falls silent; with one the fade starts at once.
                // An instrument beside the key-off gives the note its sample's volume again.
                if (has_envelope)
                    slot.note_off_flags |= NOTE_OFF_FADING;
                else
                    slot.base_volume = 0;
                if (with_instrument && slot.sample) slot.base_volume = (int16_t)slot.sample->def_volume;
            } else if (!has_envelope || slot.layer->volume_envelope.is_loop_enabled()) {
                slot.note_off_flags |= NOTE_OFF_KEY_RELEASED | NOTE_OFF_FADING;
            }
        }
        if (xm_key_off && with_instrument) restart_tremor(channel);
    }
    return 0;
}

unsigned int Player_Data::untuned_period(int note, const Sample* sample) const {
    const bool linear = rules().use_linear_slides;
    if (!linear && rules().amiga_period_table && sample)
        if (unsigned int amiga = Tables::get_amiga_table_period(note, sample->data.get_c5_freq())) return amiga;
    return get_period((unsigned short)(note * 2), 0, linear);
}

// FT2: a note beside a tone portamento only sets the slide's target and direction; the playing
// sample goes on. An instrument number beside it recalls that sample's volume and pan and
// restarts the envelopes; it also becomes the channel's instrument for later notes. Returns
// false where no note was struck before: the note is then struck as usual.
bool Player_Data::prepare_ft2_portamento(int channel, unsigned char note, unsigned char instrument) {
    Channel_Control& ch = channels[channel];
    auto struck = [](const Channel_Control::Layer_Slot& slot) { return slot.sample && slot.layer && slot.period != 0; };
    if (std::none_of(std::begin(ch.slot), std::end(ch.slot), struck)) return false;
    if (ch.note != EMPTY_FIELD) ch.previous_note = ch.note;
    ch.note = note;
    const bool with_instrument = instrument < Song::MAX_INSTRUMENTS;
    if (with_instrument) {
        ch.instrument_index = instrument;
        ch.instrument = song->get_instrument(instrument);
    }
    for (Channel_Control::Layer_Slot& slot : ch.slot) {
        if (!struck(slot)) continue;
        const int target = note_period(slot, std::min<int>(slot.layer->note_table[note], NOTE_COUNT - 1));
        slot.target_period = (uint16_t)target;
        slot.portamento_direction = target == slot.base_period ? PORTAMENTO_NONE
                                    : target > slot.base_period ? PORTAMENTO_DOWN
                                                                : PORTAMENTO_UP;
        if (!with_instrument) continue;
        slot.volume = slot.base_volume = (int16_t)slot.sample->def_volume;
        if (slot.sample->def_panning_active) slot.pan = (int16_t)(slot.sample->def_panning * 255 / 64);
        slot.note_off_flags = 0;
        if (slot.voice) {
            slot.voice->restart_envelopes();
        } else if (slot.sample->data.is_loop_enabled()) {
            // An envelope at zero had ended the voice while its looping sample ran on.
            slot.start_state = 1;
            ch.sample_offset = -1;
        }
    }
    return true;
}

void Player_Data::restart_tremor(int channel) {
    channels[channel].tremor_counter = 0;
    channels[channel].tremor_silenced = 0;
}

void Player_Data::process_instrument_without_note(int channel, unsigned char instrument) {
    const int rule = rules().instrument_without_note;
    if (rule == Playback_Rules::INSTRUMENT_WITHOUT_NOTE_IGNORED) return;
    Channel_Control& ch = channels[channel];
    Instrument* target = song->get_instrument(instrument);
    if (ch.note >= NOTE_COUNT) {
        ch.instrument_volume_pending = rule == Playback_Rules::INSTRUMENT_WITHOUT_NOTE_SETS_VOLUME;
    } else if (instrument_strikes_again(ch, *target)) {
        process_note_and_instrument(channel, ch.note, instrument);
        return;
    }
    // The sounding note keeps its layers and sample; the channel's next note takes the new instrument.
    ch.instrument_index = instrument;
    ch.instrument = target;
    const bool retrigger = rule == Playback_Rules::INSTRUMENT_WITHOUT_NOTE_RETRIGGERS;
    if (retrigger) restart_tremor(channel);
    for (int i = 0; i < Channel_Control::LAYER_SLOTS; i++) {
        Channel_Control::Layer_Slot& slot = ch.slot[i];
        Sample* sample = slot.sample;
        if (ch.note < NOTE_COUNT) {
            // The defaults come from the sample the new instrument plays for the last note.
            int number = target->get_layer(i)->sample_table[ch.note];
            if (number < Song::MAX_SAMPLES) sample = song->get_sample(number);
        }
        if (!sample || !slot.layer) continue;
        slot.volume = slot.base_volume = (int16_t)sample->def_volume;
        // With IT's old effects the number also starts the envelopes again.
        if (!retrigger && rules().old_effects && slot.voice) slot.voice->restart_envelopes();
        if (!retrigger) continue;
        // XM: that sample's pan, the key pressed again, envelopes and fade-out from the start.
        slot.pan = sample->def_panning_active ? (int16_t)(sample->def_panning * 255 / 64) : ch.channel_pan;
        slot.note_off_flags = 0;
        if (slot.voice) slot.voice->restart_envelopes();
    }
}

// Whether an instrument number alone strikes the channel's last note again: its sample has
// ended (not been cut), or, where the rule says so, the instrument maps it to another sample.
bool Player_Data::instrument_strikes_again(const Channel_Control& ch, Instrument& target) {
    const bool restart_ended = rules().instrument_restarts_ended_note;
    const bool swap = rules().instrument_swaps_sample;
    if (!restart_ended && !swap) return false;
    // Beside a slide to a note the number only strikes the key again, and only with compatible Gxx.
    const bool slide = ch.command == 'G' - 'A' || ch.command == 'L' - 'A';
    if (slide && !rules().compatible_gxx) return false;
    for (int i = 0; i < Channel_Control::LAYER_SLOTS; i++) {
        const Channel_Control::Layer_Slot& slot = ch.slot[i];
        int number = target.get_layer(i)->sample_table[ch.note];
        if (number >= Song::MAX_SAMPLES) continue;
        if (restart_ended && slot.sample && !slot.voice && !slot.cut) return true;
        if (swap && slot.voice && song->get_sample(number) != slot.sample) return true;
    }
    return false;
}

void Player_Data::cut_notes(int channel) {
    const bool ends = rules().note_cut_ends_note;
    for (Channel_Control::Layer_Slot& slot : channels[channel].slot) {
        // A cut that only silences takes the volume; one that ends the note leaves it for
        // the next note struck without an instrument.
        if (!ends) {
            slot.base_volume = 0;
            continue;
        }
        slot.cut = 1;
        if (slot.start_state == 1) slot.start_state = 0;  // cut before it ever sounded
        if (slot.voice) slot.voice->cut();  // its tail is declicked as the mixer lets it go
    }
}

void Player_Data::process_volume_column(int channel, unsigned char volume) {
    Channel_Control& ch = channels[channel];
    ch.volume_command = ch.volume_parameter = EMPTY_FIELD;
    ch.column_volume_set = volume <= 64;
    if (volume <= 64) {
        set_all_base_volumes(channel, volume);
    } else if (volume <= 124) {
        ch.volume_command = (uint8_t)((volume - 65) / 10);
        ch.volume_parameter = (uint8_t)((volume - 65) % 10);
    } else if (volume <= 192) {
        // 125..127 sit just left of the range and come out negative; hold them at the left edge.
        set_all_pans(channel, std::max(0, (volume - 128) * 255 / 64));
    } else if (volume <= 212) {
        ch.volume_command = (uint8_t)(6 + (volume - 193) / 10);
        ch.volume_parameter = (uint8_t)((volume - 193) % 10);
    } else if (volume < VOLUME_VIBRATO_DEPTH) {
        ch.volume_command = VOLUME_COMMAND_VIBRATO_SPEED;
        ch.volume_parameter = (uint8_t)(volume - VOLUME_VIBRATO_SPEED);
    } else if (volume < VOLUME_VIBRATO_DEPTH + 16) {
        ch.volume_command = VOLUME_COMMAND_VIBRATO;
        ch.volume_parameter = (uint8_t)(volume - VOLUME_VIBRATO_DEPTH);
    } else if (volume >= VOLUME_SLIDE_DOWN_DEEP && volume <= VOLUME_COLUMN_LAST) {
        ch.volume_command = VOLUME_COMMAND_SLIDE_DOWN;
        ch.volume_parameter = (uint8_t)(volume - VOLUME_SLIDE_DOWN_DEEP + 10);
    }
}

void Player_Data::apply_nna(Voice_Control* voice, int action) {
    switch (action) {
        case NNA_CUT: voice->cut(); break;
        case NNA_NOTE_OFF: voice->release_key(); break;
        case NNA_NOTE_FADE: voice->start_fade(); break;
        default: break;  // continue
    }
}

void Player_Data::apply_duplicate_action(Voice_Control* voice, int action) {
    switch (action) {
        case DCA_CUT: voice->silence(); break;
        case DCA_NOTE_OFF: voice->release_key(); break;
        case DCA_NOTE_FADE: voice->start_fade(); break;
        default: break;
    }
}

void Player_Data::process_NNAs() {
    for (int c = 0; c < channels_in_use; c++) {
        Channel_Control& ch = channels[c];
        // A delayed note acts on the sounding voices when it actually starts.
        if (!ch.nna_pending || ch.note_delay > 0) continue;
        ch.nna_pending = 0;
        for (Channel_Control::Layer_Slot& slot : ch.slot) {
            // Only a slot that will get a new voice pushes its old one into the background:
            // a slide to note (G) keeps the sounding voice in the foreground.
            if (slot.unmapped_note) {
                // A note the layer maps to no sample leaves the sounding one alone, except in a
                // song without instruments, where a missing sample cuts it.
                slot.unmapped_note = 0;
                if (rules().unmapped_note_cuts && slot.voice) {
                    slot.voice->cut();
                    slot.voice = nullptr;
                }
                continue;
            }
            if (slot.start_state != 1) continue;
            slot.carry_valid = 0;
            if (slot.voice) {
                Voice_Control* previous = slot.voice;
                previous->hand_envelopes_to(slot);
                slot.voice = nullptr;
                slot.crossfade = previous->get_nna() == NNA_CUT;
                apply_nna(previous, previous->get_nna());
            }
            if (slot.dct == DCT_OFF) continue;
            for (Voice_Control* voice : voice_list) {
                if (voice->get_voice().has_stopped() || voice->get_channel() != &ch ||
                    voice->get_layer() != slot.layer)
                    continue;
                bool duplicate = slot.dct == DCT_INSTRUMENT ||
                                 (slot.dct == DCT_NOTE && voice->get_note() == slot.note) ||
                                 (slot.dct == DCT_SAMPLE && voice->get_sample() == slot.sample);
                if (duplicate) apply_duplicate_action(voice, slot.dca);
            }
        }
    }
}
