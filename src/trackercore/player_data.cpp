#include "trackercore/player_data.h"

#include <algorithm>

#include "common/components/audio/mixer_base.h"
#include "common/components/data/audio_thread_log.h"

const uint8_t Player_Data::vibrato_table[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                                224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                                212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

Player_Data::Player_Data() : voice_pool(new Voice_Control[VOICE_POOL_SIZE]) {
    voice_list.reserve(VOICE_POOL_SIZE);
    free_voices.reserve(VOICE_POOL_SIZE);
    // Handed out from the back, so the first voice taken is the pool's first.
    for (int i = VOICE_POOL_SIZE - 1; i >= 0; i--) free_voices.push_back(&voice_pool[i]);
    voice_status_work.reserve(VOICE_STATUS_CAPACITY);
    voice_status.reserve(VOICE_STATUS_CAPACITY);
}

Player_Data::~Player_Data() {
    tick_connection.disconnect();
    delete_all_voices();
}

void Player_Data::link_to_song(Song* target) {
    song = target;
    reset();
}

void Player_Data::link_to_mixer(Mixer_Base* target) {
    tick_connection.disconnect();
    delete_all_voices();
    mixer = target;
    if (mixer) tick_connection = mixer->process_callback.connect(sigc::mem_fun(*this, &Player_Data::handle_tick));
    set_tick_size();
    reset();
}

void Player_Data::lock_player_variables() {
    if (variables_lock) variables_lock->grab();
}

void Player_Data::unlock_player_variables() {
    if (variables_lock) variables_lock->release();
}

Pattern* Player_Data::pattern_at(int index) {
    return song ? song->get_pattern(index) : nullptr;
}

void Player_Data::set_tick_size() {
    if (!mixer) return;
    int frames = (int)((float)(mixer->get_mix_frequency() * 125.0) / (float)(tempo * 50));
    mixer->set_process_callback_interval(frames);
}

void Player_Data::reset() {
    if (!linked()) return;
    delete_all_voices();
    Song::Initial_Variables* initial = song->get_initial_variables();
    channels_in_use = 0;
    for (int c = 0; c < CHANNELS; c++) {
        channels[c].reset();
        const Song::Initial_Variables::Channel_State& state = initial->channel[c];
        channels[c].channel_volume = (int16_t)std::clamp(state.volume, 0, 64);
        channels[c].channel_pan = (int16_t)(state.surround ? 512 : std::clamp(state.pan, 0, 64) * 255 / 64);
    }
    speed = std::max(1, initial->speed);
    tempo = std::max(1, initial->tempo);
    pending_tempo = 0;
    first_row = 2;  // the first start_row makes it 1
    global_volume = std::clamp(initial->global_volume, 0, 128);
    loop_jumped = 0;
    forced_next_order = -1;
    tick_counter = speed;
    current_order = current_pattern = current_row = 0;
    row_extra_ticks = row_repeats_left = row_repeat_set = repeating_row = repeated_ticks = 0;
    end_pending = 0;
    row_break_target = -1;
    row_jump_seen = 0;
    carried_row = -1;
    set_tick_size();
}

void Player_Data::play_start(int pattern, int order, int row) {
    if (play_mode != PLAY_NOTHING) play_stop();
    // Play control runs on the interface thread: print what the audio thread held back.
    Audio_Thread_Log::flush();
    Audio_Thread_Log::forget_repeats();
    Mutex_Lock_Guard guard(variables_lock);
    if (!linked()) return;
    reset();
    if (pattern >= 0) {
        if (pattern >= Song::MAX_PATTERNS) return;
        current_pattern = pattern;
        play_mode = PLAY_PATTERN;
    } else {
        int start = song->get_next_order(order >= 0 ? order - 1 : -1);
        if (start < 0) return;
        current_order = start;
        current_pattern = song->get_order(start);
        play_mode = PLAY_SONG;
    }
    current_row = row >= 0 ? row : 0;
    // A row past the end of the pattern starts the pattern from its top.
    if (current_row >= pattern_at(current_pattern)->get_length()) current_row = 0;
    reached_end = 0;
    set_tick_size();
    publish_play_status();
}

void Player_Data::play_stop() {
    Audio_Thread_Log::flush();
    Mutex_Lock_Guard guard(variables_lock);
    play_mode = PLAY_NOTHING;
    delete_all_voices();
    for (Channel_Control& channel : channels) channel.reset();
    reset();
    publish_play_status();
}

void Player_Data::play_note(int channel, Note note, bool ignore_mute) {
    Mutex_Lock_Guard guard(variables_lock);
    if (!linked() || channel < 0 || channel >= CHANNELS) return;
    if (play_mode == PLAY_NOTHING) tick_counter = 0;
    note_channel_used(channel);
    process_note(channel, note);
    channels[channel].ignore_mute = ignore_mute;
}

// Whether a keyed-off note on this slot would sound for ever.
static bool holds_after_key_off(const Channel_Control::Layer_Slot& slot) {
    if (!slot.layer || !slot.sample || !slot.sample->data.is_loop_enabled()) return false;
    if (slot.layer->volume_fadeout > 0) return false;  // fades once keyed off or at its envelope's end
    const Envelope& envelope = slot.layer->volume_envelope;
    if (!envelope.is_enabled() || envelope.is_loop_enabled() || envelope.get_node_count() == 0) return true;
    // An envelope that ends at zero ends the note, fade-out or not.
    return envelope.get_node_height(envelope.get_node_count() - 1) > 0;
}

void Player_Data::release_note(int channel, int note) {
    Mutex_Lock_Guard guard(variables_lock);
    if (!linked() || channel < 0 || channel >= CHANNELS || channels[channel].note != note) return;
    process_note(channel, Note{NOTE_OFF, EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 0});
    for (Channel_Control::Layer_Slot& slot : channels[channel].slot) {
        if (!holds_after_key_off(slot)) continue;
        slot.base_volume = 0;
        slot.start_state = 0;  // not yet started: it never will
        if (slot.voice) slot.voice->cut();
    }
}

void Player_Data::goto_next_order() {
    Mutex_Lock_Guard guard(variables_lock);
    if (!linked() || play_mode != PLAY_SONG) return;
    int next = song->get_next_order(current_order);
    if (next < 0) {
        reset();
        return;
    }
    current_row = 0;
    current_order = next;
    current_pattern = song->get_order(next);
    publish_play_status();
}

void Player_Data::goto_previous_order() {
    Mutex_Lock_Guard guard(variables_lock);
    if (!linked() || play_mode != PLAY_SONG) return;
    int first = song->get_next_order(current_order);
    if (first < 0) {
        reset();
        return;
    }
    // Walk forward until the step that comes back to the current order.
    int previous = current_order;
    int candidate = first;
    for (int steps = 0; steps < Song::MAX_ORDERS; steps++) {
        if (candidate == current_order) break;
        previous = candidate;
        candidate = song->get_next_order(candidate);
    }
    current_row = 0;
    current_order = previous;
    current_pattern = song->get_order(previous);
    publish_play_status();
}

void Player_Data::get_voice_status_info(std::vector<VoiceStatusInfo>& out) {
    Mutex_Lock_Guard guard(info_lock);
    out = voice_status;
}

void Player_Data::get_play_status(Play_Status& out) {
    Mutex_Lock_Guard guard(info_lock);
    out = play_status;
}

Player_Data::Play_Status Player_Data::current_play_status() {
    Play_Status status;
    status.play_mode = (Play_Mode)play_mode;
    status.order = current_order;
    status.pattern = current_pattern;
    status.row = current_row;
    status.voices = mixer ? mixer->get_active_voices_count() : 0;
    status.buffers = mixer ? mixer->get_active_buffers_count() : 0;
    return status;
}

void Player_Data::publish_play_status() {
    Play_Status status = current_play_status();
    Mutex_Lock_Guard guard(info_lock);
    play_status = status;
}

void Player_Data::stop_at_end_of_song() {
    play_mode = PLAY_NOTHING;
    reset();
    reached_end = 1;
}

void Player_Data::start_row() {
    const int ticks_played = tick_counter;
    tick_counter = 0;
    first_row = first_row == 2 ? 1 : 0;
    if (row_repeats_left > 0) {
        // SEx: play the row again; its notes are not struck again but its effects run on.
        row_repeats_left--;
        repeating_row = 1;
        repeated_ticks += ticks_played;
        for (Channel_Control& channel : channels) {
            channel.new_note = channel.instrument_named = 0;
            channel.note_delay = channel.row_note_delay;  // a delayed cell is struck again
        }
        return;
    }
    if (end_pending) {
        stop_at_end_of_song();
        return;
    }
    repeating_row = 0;
    repeated_ticks = 0;
    row_repeat_set = 0;
    row_extra_ticks = 0;
    row_break_target = -1;
    row_jump_seen = 0;

    if (forced_next_order >= 0) {
        // A jump back to the order of the jumping row or an earlier one is the song looping.
        if (song_mode() && forced_next_order <= row_start_snapshot.order) reached_end = 1;
        current_order = forced_next_order;
    }
    if (rules().pattern_change_resets_loop &&
        (current_order != row_start_snapshot.order || current_pattern != row_start_snapshot.pattern))
        for (Channel_Control& channel : channels) channel.loop_row = 0;
    row_start_snapshot = {current_order, current_pattern, current_row, -1, loop_jumped};
    loop_jumped = 0;
    forced_next_order = -1;

    for (int c = 0; c < channels_in_use; c++) {
        Channel_Control& channel = channels[c];
        // A cell delayed past the end of its row never comes due: it is dropped, or struck now.
        if (channel.note_delay == 0) continue;
        if (rules().late_note_delay_plays_next_row) {
            strike_delayed_cell(c);
            continue;
        }
        channel.note_delay = 0;
        for (Channel_Control::Layer_Slot& slot : channel.slot) slot.start_state = 0;
    }

    Pattern* pattern = pattern_at(current_pattern);
    const int used = pattern->get_used_columns();
    if (used > 0) note_channel_used(used - 1);
    for (int c = 0; c < channels_in_use; c++) {
        Note cell = pattern->get_note(c, current_row);
        if (cell.note != EMPTY_FIELD) channels[c].ignore_mute = 0;
        take_row_cell(c, cell);
    }
    advance_row();
}

void Player_Data::advance_row() {
    current_row++;
    if (current_row < pattern_at(current_pattern)->get_length()) return;
    current_row = 0;
    if (!song_mode()) return;
    int next = song->get_next_order(current_order);
    if (next < 0) {
        end_pending = 1;  // the last row still plays whole
        return;
    }
    current_pattern = song->get_order(next);
    if (next <= current_order) reached_end = 1;
    current_order = next;
    if (carried_row >= 0 && carried_row < pattern_at(current_pattern)->get_length()) current_row = carried_row;
    carried_row = -1;
}

void Player_Data::handle_tick() {
    if (!linked()) return;
    if (pending_tempo) {
        tempo = pending_tempo;
        pending_tempo = 0;
    }
    if (tick_counter >= speed + row_extra_ticks && play_mode != PLAY_NOTHING) start_row();
    pre_process_effects();
    process_NNAs();
    setup_voices();
    update_mixer();
    tick_counter++;
    set_tick_size();
}

void Player_Data::pre_process_effects() {
    for (int c = 0; c < channels_in_use; c++) {
        Channel_Control& channel = channels[c];
        channel.pitch_modulated = 0;
        channel.volume_modulated = 0;
        if (tick_counter < speed + row_extra_ticks) {
            if (channel.note_delay > 0 && tick_counter == channel.note_delay) strike_delayed_cell(c);
            run_effects(c);
            run_volume_column_effects(c);
        }
        if (channel.tremor_silenced && !channel.volume_modulated) {
            for (Channel_Control::Layer_Slot& slot : channel.slot) slot.volume = 0;
            channel.volume_modulated = 1;
        }
        for (Channel_Control::Layer_Slot& slot : channel.slot) {
            if (!channel.pitch_modulated) slot.period = slot.base_period;
            if (rules().st3_period_limits && slot.period > 0)
                slot.period = std::max(slot.period, Playback_Rules::ST3_LOWEST_PERIOD);
            if (!channel.volume_modulated) slot.volume = slot.base_volume;
            if (!slot.sample || !slot.layer) continue;
            int final_volume = slot.volume * slot.sample->glb_volume * slot.layer->volume_amount / 2048;
            final_volume = final_volume * slot.volume_variation / 100;
            slot.final_volume = (int16_t)std::clamp(final_volume, 0, 256);
        }
    }
}

int Player_Data::random() {
    // A private generator: deterministic and free of the C library's lock.
    random_state = random_state * 1103515245u + 12345u;
    return (int)((random_state >> 16) & 0x7FFF);
}
