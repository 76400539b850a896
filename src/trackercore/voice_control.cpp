#include "trackercore/voice_control.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "common/components/audio/mixer_base.h"
#include "trackercore/tables.h"

const int8_t Voice_Control::auto_vibrato_table[128] = {
    0,  1,  3,  4,  6,  7,  9,  10, 12, 14, 15, 17, 18, 20, 21, 23, 24, 25, 27, 28, 30, 31,
    32, 34, 35, 36, 38, 39, 40, 41, 42, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 54, 55,
    56, 57, 57, 58, 59, 59, 60, 60, 61, 61, 62, 62, 62, 63, 63, 63, 63, 63, 63, 63, 64, 63,
    63, 63, 63, 63, 63, 63, 62, 62, 62, 61, 61, 60, 60, 59, 59, 58, 57, 57, 56, 55, 54, 54,
    53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 42, 41, 40, 39, 38, 36, 35, 34, 32, 31, 30, 28,
    27, 25, 24, 23, 21, 20, 18, 17, 15, 14, 12, 10, 9,  7,  6,  4,  3,  1};

namespace {

// The frequency of note 60 at the reference rate; samples are scaled by c5_freq against it.
constexpr int64_t REFERENCE_C5_FREQUENCY = 16726;

// An envelope its instrument has on but the channel switched off (S77, S79, S7B) pauses where it
// stands, its value held; S78, S7A and S7C let it go on from there.
bool envelope_paused(const Envelope* envelope, const Envelope_State& control) {
    return !control.enabled && control.running && envelope && envelope->is_enabled() &&
           envelope->get_node_count() >= 2;
}

}  // namespace

void Voice_Control::reset() {
    mixer = nullptr;
    filter = Filter_Control{};
    filters_enabled = global_volume = mixing_volume = stereo = 0;
    rules = &Playback_Rules::native();
    layer_index = 0;
    channel = nullptr;
    period = 0;
    sample_offset = -1;
    sample = nullptr;
    nna = 0;
    layer = nullptr;
    volume = channel_volume = fadeout = 0;
    volume_envelope = pan_envelope = pitch_envelope = Envelope_Control{};
    note = 0;
    note_off_flags = 0;
    start_state = 0;
    vibrato_position = vibrato_sweep = 0;
    pan = 0;
    voice.reset();
    voice.clear_status();
    voice.set_short_declick(false);
    voice.set_crossfade(false);
    first_update = 1;
    kill = 0;
    envelope_restart = 0;
    carried = 0;
    played_volume = played_pan = played_period = 0;
    played_frequency = 0;
}

void Voice_Control::set_channel(Channel_Control* owner, int slot_index) {
    channel = owner;
    layer_index = slot_index;
}

void Voice_Control::init(Mixer_Base* target) {
    mixer = target;
    if (mixer) mixer->allocate_voice(&voice);
}

void Voice_Control::deinitialize() {
    if (is_foreground()) channel->slot[layer_index].voice = nullptr;
    // A voice the mixer already took away is no longer in its pool.
    if (mixer && !voice.has_stopped()) mixer->eliminate_voice(&voice);
}

bool Voice_Control::is_foreground() const {
    return channel && channel->slot[layer_index].voice == this;
}

bool Voice_Control::envelope_usable(const Envelope* envelope, int switch_on) const {
    return switch_on && envelope && envelope->get_node_count() >= 2;
}

void Voice_Control::update_info_from_master_channel() {
    if (!channel) return;
    const Channel_Control::Layer_Slot& slot = channel->slot[layer_index];
    layer = slot.layer;
    sample = slot.sample;
    note = slot.note;
    volume = slot.final_volume;
    channel_volume = channel->channel_volume;
    pan = slot.pan;
    start_state = slot.start_state;
    note_off_flags = slot.note_off_flags;
    period = slot.period;
    volume_envelope.enabled = envelope_usable(layer ? &layer->volume_envelope : nullptr, slot.volume_envelope_on);
    pan_envelope.enabled = envelope_usable(layer ? &layer->panning_envelope : nullptr, slot.pan_envelope_on);
    pitch_envelope.enabled = envelope_usable(layer ? &layer->pitch_envelope : nullptr, slot.pitch_envelope_on);
    nna = slot.nna;
    sample_offset = channel->sample_offset;
    filter.take_settings(slot.filter);
}

void Voice_Control::release_key() {
    note_off_flags |= NOTE_OFF_KEY_RELEASED;
    if (!volume_envelope.enabled || (layer && layer->volume_envelope.is_loop_enabled()))
        note_off_flags |= NOTE_OFF_FADING;
}

void Voice_Control::hand_envelopes_to(Channel_Control::Layer_Slot& slot) const {
    slot.carried[0] = volume_envelope;
    slot.carried[1] = pan_envelope;
    slot.carried[2] = pitch_envelope;
    slot.carry_valid = layer == slot.layer;
}

void Voice_Control::take_carried_envelopes(const Channel_Control::Layer_Slot& slot) {
    carried = 0;
    if (!slot.carry_valid || !layer) return;
    Envelope* envelopes[3] = {&layer->volume_envelope, &layer->panning_envelope, &layer->pitch_envelope};
    Envelope_Control* controls[3] = {&volume_envelope, &pan_envelope, &pitch_envelope};
    for (int e = 0; e < 3; e++) {
        if (!envelopes[e]->is_carry_enabled()) continue;
        const int enabled = controls[e]->enabled;
        *controls[e] = slot.carried[e];
        controls[e]->enabled = enabled;
        // The new note is a key pressed again: its sustain loop holds until it is released.
        controls[e]->sustain_active = envelopes[e]->is_sustain_loop_enabled();
        carried |= 1 << e;
    }
}

void Voice_Control::start_envelope(Envelope* envelope, Envelope_Control* control) {
    control->position = 0;
    control->running = 1;
    control->sustain_active = envelope && envelope->is_sustain_loop_enabled();
    control->loop_active = envelope && envelope->is_loop_enabled();
    control->ended = control->ended_at_zero = 0;
    control->value = (envelope && envelope->get_node_count() > 0) ? envelope->get_node_height(0) : 0;
}

// XM's Lxx: the volume envelope goes on from this tick; so does the pan envelope, but only
// where the volume envelope has its sustain on, as FT2 tests the wrong flag. FT2 catches a
// loop or sustain only on reaching its end, so a position set past one no longer holds there.
void Voice_Control::jump_envelopes(int position) {
    auto jump = [position](const Envelope& envelope, Envelope_Control& control) {
        if (envelope.get_node_count() < 1) return;
        const int last = envelope.get_node_offset(envelope.get_node_count() - 1);
        control.position = std::min(position, last);
        control.ended = control.ended_at_zero = 0;
        if (control.sustain_active && position > envelope.get_node_offset(envelope.get_sustain_loop_end()))
            control.sustain_active = 0;
        if (control.loop_active && position >= envelope.get_node_offset(envelope.get_loop_end()))
            control.loop_active = 0;
    };
    jump(layer->volume_envelope, volume_envelope);
    if (layer->volume_envelope.is_sustain_loop_enabled()) jump(layer->panning_envelope, pan_envelope);
}

int Voice_Control::envelope_value_when_disabled(const Envelope* envelope) const {
    return envelope->get_min_height() >= 0 ? envelope->get_max_height() : 0;
}

void Voice_Control::process_envelope(Envelope* envelope, Envelope_Control* control) {
    if (!control->enabled || !envelope || envelope->get_node_count() < 2) {
        if (!envelope_paused(envelope, *control))
            control->value = envelope ? envelope_value_when_disabled(envelope) : 0;
        return;
    }
    if (note_off_flags & NOTE_OFF_KEY_RELEASED) control->sustain_active = 0;

    int height = (int)envelope->get_height_at_pos((float)control->position);
    control->value = std::clamp(height, envelope->get_min_height(), envelope->get_max_height());
    control->position++;

    const bool held = control->sustain_active;
    if (held && control->position > envelope->get_node_offset(envelope->get_sustain_loop_end()))
        control->position = envelope->get_node_offset(envelope->get_sustain_loop_begin());
    else if (control->loop_active && !(held && rules->sustain_hides_loop) &&
             control->position > envelope->get_node_offset(envelope->get_loop_end()))
        control->position = envelope->get_node_offset(envelope->get_loop_begin());

    int last = envelope->get_node_count() - 1;
    if (control->position > envelope->get_node_offset(last)) {
        control->ended = 1;
        control->position = envelope->get_node_offset(last);
        if (envelope->get_node_height(last) == 0) control->ended_at_zero = 1;
    }
}

int Voice_Control::process() {
    if (is_foreground()) {
        // A slot still asking for a start holds a delayed note that is not this voice's.
        if (first_update)
            first_update = 0;
        else if (channel->slot[layer_index].start_state != 1)
            update_info_from_master_channel();
    }

    if (start_state != 1 && !voice.is_active()) return 1;
    if (kill) return 1;
    if (voice.has_stopped()) return 1;
    if (!sample || !layer || !sample->data.get_data_ptr() || sample->data.get_size() <= 0) return 1;
    if (volume_envelope.enabled && volume_envelope.ended_at_zero) return 1;

    period = std::clamp(period, MIN_PERIOD, MAX_PERIOD);

    if (start_state == 1 || start_state == 2) {
        if (rules->offset_past_end_cuts_note && sample_offset >= sample->data.get_size()) return 1;
        voice.setup_sample(&sample->data, sample_offset < 0 ? 0 : sample_offset);
        fadeout = std::max(1, rules->fadeout_scale);
        vibrato_sweep = 0;
    }
    if (envelope_restart) {
        fadeout = std::max(1, rules->fadeout_scale);
        vibrato_sweep = 0;
        vibrato_position = 0;
        envelope_restart = 0;
        start_state = 3;
    }
    if (start_state == 1 || start_state == 3) {
        const int keep = start_state == 1 ? carried : 0;
        if (!(keep & 1)) start_envelope(&layer->volume_envelope, &volume_envelope);
        if (!(keep & 2)) start_envelope(&layer->panning_envelope, &pan_envelope);
        if (!(keep & 4)) start_envelope(&layer->pitch_envelope, &pitch_envelope);
        carried = 0;
    }
    start_state = 0;
    if (is_foreground() && channel->slot[layer_index].envelope_jump >= 0) {
        jump_envelopes(channel->slot[layer_index].envelope_jump);
        channel->slot[layer_index].envelope_jump = -1;
    }

    process_envelope(&layer->volume_envelope, &volume_envelope);
    process_envelope(&layer->panning_envelope, &pan_envelope);
    process_envelope(&layer->pitch_envelope, &pitch_envelope);

    if (volume_envelope.ended) {
        if (volume_envelope.ended_at_zero)
            fadeout = 0;
        else if (rules->envelope_end_fades)
            note_off_flags |= NOTE_OFF_FADING;
    }

    apply_volume();
    apply_pan();

    int played = period - auto_vibrato_offset();
    played = pitch_envelope_period(played);

    if (fadeout == 0) return 1;

    apply_frequency_and_filter(played);
    if (note_off_flags & NOTE_OFF_FADING) fadeout = std::max(0, fadeout - layer->volume_fadeout);
    if (silent_for_good()) return 1;
    return 0;
}

// A background voice is never refreshed from its slot: its note volume, channel volume and
// fade-out can only fall. Once even the loudest global and mixing volumes and a full envelope
// would round to nothing on both sides, and its last block already ramped down to nothing,
// every frame it has left is silent: it is released, with no tail to fade.
bool Voice_Control::silent_for_good() const {
    if (is_foreground() || voice.get_left_volume() != 0 || voice.get_right_volume() != 0) return false;
    const int64_t scale = std::max(1, rules->fadeout_scale);
    const int64_t envelope = (volume_envelope.enabled && volume_envelope.ended) ? volume_envelope.value : 64;
    const int64_t loudest = std::min<int64_t>(fadeout, scale) * channel_volume * volume *
                            std::max(mixing_volume, 128) * std::max(global_volume, 128) * envelope;
    // A volume of 1 splits into 0 on either side, whatever the pan.
    return ((loudest * FADEOUT_FULL / scale) >> 28) <= 1;
}

void Voice_Control::apply_volume() {
    // The fade-out counts against the song's scale; at 512 this is the plain product >> 28.
    const int64_t scale = std::max(1, rules->fadeout_scale);
    int64_t product = std::min<int64_t>(fadeout, scale) * channel_volume * volume * mixing_volume *
                      global_volume * volume_envelope.value;
    played_volume = (channel && channel->muted) ? 0 : (int)((product * FADEOUT_FULL / scale) >> 28);
    voice.set_volume(played_volume);
}

void Voice_Control::apply_pan() {
    if (!stereo)
        played_pan = 128;
    else if (pan == 512)
        played_pan = 512;
    else {
        int swing = pan_envelope.value * (128 - std::abs(pan - 128)) / 32;
        played_pan = std::clamp(pan + swing, 0, 255);
    }
    voice.set_panning(played_pan);
}

int Voice_Control::auto_vibrato_offset() {
    int p = vibrato_position;
    int v = 0;
    if (period > 0 && sample->vibrato_depth > 0) {
        switch (sample->vibrato_type) {
            case 0: v = (p & 128) ? -auto_vibrato_table[p & 127] : auto_vibrato_table[p & 127]; break;
            case 1: v = (p & 128) ? -64 : 64; break;
            case 2: v = 63 - (((p + 128) >> 1) & 127); break;
            default: v = (((p + 128) >> 1) & 127) - 64; break;
        }
    }
    int factor = sample->vibrato_depth * 256;
    if ((vibrato_sweep >> 8) < sample->vibrato_depth) {
        vibrato_sweep = (uint16_t)(vibrato_sweep + sample->vibrato_speed);
        factor = vibrato_sweep;
    }
    vibrato_position = (uint16_t)((p + sample->vibrato_rate) & 255);
    return (v * factor) >> 16;
}

int Voice_Control::pitch_envelope_period(int played) {
    filter.envelope = -1;
    if (!pitch_envelope.enabled && !envelope_paused(&layer->pitch_envelope, pitch_envelope)) return played;
    if (layer->pitch_use_as_filter) {
        filter.envelope = pitch_envelope.value + 32;
        return played;
    }
    int shifted_note2 = std::max(2 * (int)note + pitch_envelope.value, 0);
    int delta = (int)::get_period((unsigned short)shifted_note2, 0, rules->use_linear_slides) -
                (int)::get_period((unsigned short)(2 * note), 0, rules->use_linear_slides);
    return std::max(played + delta, 1);
}

void Voice_Control::apply_frequency_and_filter(int played) {
    int64_t frequency = (int64_t)::get_frequency((unsigned int)played, rules->use_linear_slides) *
                        sample->data.get_c5_freq() / REFERENCE_C5_FREQUENCY;
    played_period = played;
    played_frequency = (unsigned int)std::clamp<int64_t>(frequency, 0, INT_MAX);
    voice.set_frequency(played_frequency);

    filter.it_filters = rules->it_filters;
    filter.recalculate_coheficients(mixer ? mixer->get_mix_frequency() : 0.0f);
    if (filter.is_active() && filters_enabled)
        voice.set_filter(filter.a0, filter.b0, filter.b1, true);
    else
        voice.set_filter(0, 0, 0, false);
}
