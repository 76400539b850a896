#pragma once

#include <cstdint>

#include "common/components/audio/tracker_voice.h"
#include "trackercore/channel_control.h"
#include "trackercore/envelope.h"
#include "trackercore/filter_control.h"
#include "trackercore/playback_rules.h"

class Mixer_Base;

// One sounding note of one instrument layer. Refreshed from its channel slot while it is
// the slot's foreground voice; runs the envelopes, fade-out and auto-vibrato and pushes the
// result into its mixer voice once per tick.
class Voice_Control {
public:
    using Envelope_Control = Envelope_State;

    static constexpr int FADEOUT_FULL = 512;
    static constexpr int MIN_PERIOD = 40;
    static constexpr int MAX_PERIOD = 50000;

    // Entry i = floor(64 x sin(2 pi i / 256)): the first half of a sine.
    static const int8_t auto_vibrato_table[128];

    Voice_Control() = default;
    Voice_Control(const Voice_Control&) = delete;
    Voice_Control& operator=(const Voice_Control&) = delete;

    // Back to the state of a fresh voice, so that pooled objects can be reused.
    void reset();
    void set_channel(Channel_Control* channel, int layer_index);

    void init(Mixer_Base* mixer);
    void deinitialize();
    void update_info_from_master_channel();
    int process();

    void start_envelope(Envelope* envelope, Envelope_Control* control);
    void jump_envelopes(int position);
    void process_envelope(Envelope* envelope, Envelope_Control* control);

    bool is_foreground() const;
    void release_key();  // key released, and fading where no volume envelope will hold the note
    void start_fade() { note_off_flags |= NOTE_OFF_FADING; }
    void cut() { kill = 1; }
    // The envelopes, fade-out and auto-vibrato start again at the next process(); the sample plays on.
    void restart_envelopes() { envelope_restart = 1; }
    // Keeps this voice's envelope positions in the slot, for a new note whose envelopes carry on.
    void hand_envelopes_to(Channel_Control::Layer_Slot& slot) const;
    // Takes the positions the slot kept for each envelope with its carry flag set.
    void take_carried_envelopes(const Channel_Control::Layer_Slot& slot);
    void silence() { fadeout = 0; }

    Tracker_Voice& get_voice() { return voice; }
    const Tracker_Voice& get_voice() const { return voice; }
    const Channel_Control* get_channel() const { return channel; }
    int get_layer_index() const { return layer_index; }
    Sample* get_sample() const { return sample; }
    Instrument::Layer* get_layer() const { return layer; }
    uint8_t get_note() const { return note; }
    uint8_t get_nna() const { return nna; }
    int get_fadeout() const { return fadeout; }
    int get_note_off_flags() const { return note_off_flags; }
    int get_period() const { return period; }
    int get_pan() const { return pan; }
    bool is_killed() const { return kill != 0; }
    const Envelope_Control& get_volume_envelope() const { return volume_envelope; }
    const Envelope_Control& get_pan_envelope() const { return pan_envelope; }
    const Envelope_Control& get_pitch_envelope() const { return pitch_envelope; }
    const Filter_Control& get_filter() const { return filter; }

    // What the last process() handed to the mixer voice.
    int get_played_volume() const { return played_volume; }
    int get_played_pan() const { return played_pan; }
    int get_played_period() const { return played_period; }
    unsigned int get_played_frequency() const { return played_frequency; }

    // Copied from the player every tick.
    int filters_enabled = 0;
    int global_volume = 0;
    int mixing_volume = 0;
    int stereo = 0;
    // The song's playback rules, read where they apply.
    const Playback_Rules* rules = &Playback_Rules::native();

private:
    int envelope_value_when_disabled(const Envelope* envelope) const;
    bool envelope_usable(const Envelope* envelope, int switch_on) const;
    int auto_vibrato_offset();
    int pitch_envelope_period(int played);
    void apply_volume();
    void apply_pan();
    void apply_frequency_and_filter(int played);
    bool silent_for_good() const;

    Mixer_Base* mixer = nullptr;
    Filter_Control filter;
    int layer_index = 0;
    Channel_Control* channel = nullptr;
    int period = 0;
    int sample_offset = -1;
    Sample* sample = nullptr;
    uint8_t nna = 0;
    Instrument::Layer* layer = nullptr;
    int volume = 0;
    int channel_volume = 0;
    int fadeout = 0;
    Envelope_Control volume_envelope;
    uint8_t note = 0;
    int note_off_flags = 0;
    uint8_t start_state = 0;
    uint16_t vibrato_position = 0;
    uint16_t vibrato_sweep = 0;
    Envelope_Control pitch_envelope;
    int16_t pan = 0;
    Envelope_Control pan_envelope;
    Tracker_Voice voice;
    int first_update = 1;
    int kill = 0;
    int envelope_restart = 0;
    int carried = 0;  // bit per envelope (volume, pan, pitch) that starts where the last note was

    int played_volume = 0;
    int played_pan = 0;
    int played_period = 0;
    unsigned int played_frequency = 0;
};
