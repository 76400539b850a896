#pragma once

#include <cstdint>

#include "trackercore/filter_control.h"
#include "trackercore/instrument.h"
#include "trackercore/note.h"
#include "trackercore/sample.h"

class Voice_Control;

// New-note actions, duplicate check types and duplicate check actions, as stored in a layer.
enum { NNA_CUT = 0, NNA_CONTINUE = 1, NNA_NOTE_OFF = 2, NNA_NOTE_FADE = 3 };
enum { DCT_OFF = 0, DCT_NOTE = 1, DCT_SAMPLE = 2, DCT_INSTRUMENT = 3 };
enum { DCA_CUT = 0, DCA_NOTE_OFF = 1, DCA_NOTE_FADE = 2 };

// Directions of a slide to a note.
enum { PORTAMENTO_NONE = 0, PORTAMENTO_DOWN = 1, PORTAMENTO_UP = 2 };

// Bits of note_off_flags.
enum { NOTE_OFF_KEY_RELEASED = 1, NOTE_OFF_FADING = 2 };

// Per-channel playback state: four layer slots (one per instrument layer) and the
// channel-wide note, volume, pan and effect memories.
struct Channel_Control {
    struct Layer_Slot {
        uint8_t note = 0;
        int period = 0;
        uint16_t base_period = 0;
        uint16_t target_period = 0;
        uint8_t start_state = 0;  // 1: start a voice at this tick's setup_voices
        uint8_t crossfade = 0;    // the new voice replaces one cut this tick
        // The row's note maps to no sample on this layer (while a voice sounds there).
        uint8_t unmapped_note = 0;
        Filter_Control filter;    // resonance and cutoff are the slot's filter settings
        int16_t final_volume = 0;
        int16_t volume_variation = 0;
        int note_off_flags = 0;
        int16_t pan = 0;
        int16_t volume = 0;
        int16_t base_volume = 0;
        Instrument::Layer* layer = nullptr;
        Sample* sample = nullptr;
        int sample_changed = 0;
        uint8_t cut = 0;  // a note cut ended the note: nothing but a new note sounds again
        // FT2's tone portamento slides the way it was set: one of the PORTAMENTO_* values.
        uint8_t portamento_direction = 0;
        uint8_t nna = 0;
        uint8_t dct = 0;
        uint8_t dca = 0;
        int volume_envelope_on = 0;
        int pan_envelope_on = 0;
        int pitch_envelope_on = 0;
        Voice_Control* voice = nullptr;
        // Where the voice this slot's new note replaces had got to on its volume, pan and
        // pitch envelopes, for the envelopes that carry on.
        Envelope_State carried[3];
        uint8_t carry_valid = 0;
        // XM's Lxx: the envelope position the foreground voice takes at its next tick.
        int16_t envelope_jump = -1;
        // E5x: how far the struck note's finetune moved it from its sample's, in 1/64 semitone.
        int16_t finetune_shift = 0;
        // Glissando: where the slide to a note has got to under the semitone it sounds at (0: none).
        int glissando_period = 0;
    };

    static constexpr int LAYER_SLOTS = Instrument::LAYERS;

    // Every field's initializer is its reset value; "none" is 255 (or -1) where 0 would mean
    // a real command, so a freshly reset channel runs no effect.
    void reset() { *this = Channel_Control(); }

    Layer_Slot slot[LAYER_SLOTS];

    int nna_pending = 0;
    int sample_offset = -1;
    uint8_t instrument_index = 255;
    Instrument* instrument = nullptr;
    int new_note = 0;
    int instrument_named = 0;  // this row's cell gave an instrument number
    // An instrument number came alone before any note: the next note takes its sample's volume.
    int instrument_volume_pending = 0;
    uint8_t note = 255;
    uint8_t previous_note = 255;
    int muted = 0;
    int16_t channel_volume = 0;
    int16_t channel_pan = 0;
    // A note delay (SDx) holds back the row's note, instrument and volume column: they are
    // struck on tick note_delay, and again on each repetition of the row.
    uint8_t note_delay = 0;
    uint8_t row_note_delay = 0;
    Note delayed_cell;
    uint8_t command = 255;
    uint8_t parameter = 0;
    uint8_t volume_command = 255;
    uint8_t volume_parameter = 255;
    uint8_t column_volume_set = 0;  // this row's volume column set a volume
    int ignore_mute = 0;

    // Set by the effects each tick; where clear the player resets period or volume to the base.
    int pitch_modulated = 0;
    int volume_modulated = 0;

    // Effect memories and effect state.
    uint8_t volume_column_memory = 0;
    int sample_offset_low = 0;
    int sample_offset_high = 0;
    int sample_start = 0;  // ProTracker offset: where a note without a sample number starts
    uint8_t panbrello_waveform = 0;
    uint8_t panbrello_position = 0;
    uint8_t panbrello_speed = 0;
    uint8_t panbrello_depth = 0;
    uint8_t panbrello_memory = 0;
    uint8_t arpeggio_memory = 0;
    int loop_row = 0;
    int8_t loop_count = 0;
    int8_t vibrato_position = 0;
    uint8_t vibrato_speed = 0;
    uint8_t vibrato_depth = 0;
    uint8_t vibrato_waveform = 0;
    int8_t tremor_counter = 0;
    uint8_t tremor_memory = 0;
    // FT2: a tremor left in its off phase keeps the channel silent until an instrument number.
    uint8_t tremor_silenced = 0;
    int8_t tremolo_position = 0;
    uint8_t tremolo_speed = 0;
    uint8_t tremolo_depth = 0;
    uint8_t tremolo_memory = 0;
    uint8_t tremolo_waveform = 0;
    uint8_t retrig_counter = 0;
    uint8_t retrig_interval = 0;
    uint8_t retrig_volume = 0;
    uint8_t portamento_speed = 0;
    uint8_t volume_slide_memory = 0;
    uint8_t channel_volume_slide_memory = 0;
    uint8_t global_volume_slide_memory = 0;
    uint8_t pan_slide_memory = 0;
    uint8_t pitch_slide_memory = 0;
    uint8_t tempo_memory = 0;
    uint8_t s_memory_high = 0;
    uint8_t s_memory_low = 0;
    uint8_t glissando = 0;  // S1x: slides to a note sound in whole semitones
    uint8_t slides_to_note = 0;  // the cell being struck slides to its note (G, L, volume-column G)
    uint8_t active_macro = 0;  // SFx: the parametered macro that Z00..Z7F and \00..\7F feed
    // FT2's own memories: [up, down] x [1xx/2xx, E1x/E2x, X1x/X2x], and EAx, EBx.
    uint8_t ft2_pitch_slide_memory[2][3] = {};
    uint8_t ft2_fine_volume_memory[2] = {};
};
