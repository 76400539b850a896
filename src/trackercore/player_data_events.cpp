#include <algorithm>
#include <string>

#include "common/components/audio/mixer_base.h"
#include "common/components/data/audio_thread_log.h"
#include "common/components/data/error_line.h"
#include "trackercore/player_data.h"

Voice_Control* Player_Data::acquire_voice() {
    if (free_voices.empty()) {
        // Every pooled voice is sounding: give up the oldest, preferring a background one.
        size_t victim = 0;
        for (size_t i = 0; i < voice_list.size(); i++)
            if (!voice_list[i]->is_foreground()) {
                victim = i;
                break;
            }
        if (voice_list.empty()) return nullptr;
        end_voice(victim);
    }
    Voice_Control* voice = free_voices.back();
    free_voices.pop_back();
    voice->reset();
    return voice;
}

void Player_Data::release_voice(Voice_Control* voice) {
    voice->reset();
    free_voices.push_back(voice);
}

void Player_Data::end_voice(size_t index) {
    Voice_Control* voice = voice_list[index];
    voice->deinitialize();
    voice_list.erase(voice_list.begin() + (long)index);
    release_voice(voice);
}

void Player_Data::delete_all_voices() {
    while (!voice_list.empty()) end_voice(voice_list.size() - 1);
}

void Player_Data::erase_voices_using_sample(Sample* sample) {
    for (size_t i = voice_list.size(); i-- > 0;)
        if (voice_list[i]->get_sample() == sample) end_voice(i);
}

void Player_Data::setup_voices() {
    const Song::Initial_Variables* initial = song->get_initial_variables();
    for (int c = 0; c < channels_in_use; c++) {
        Channel_Control& ch = channels[c];
        ch.muted = ch.ignore_mute ? 0 : initial->channel[c].mute;
        if (ch.note_delay > 0) continue;
        for (int s = 0; s < Channel_Control::LAYER_SLOTS; s++) {
            Channel_Control::Layer_Slot& slot = ch.slot[s];
            if (slot.start_state != 1) {
                slot.start_state = slot.crossfade = 0;
                continue;
            }
            if (!ch.instrument) {
                Audio_Thread_Log::post("trackercore/player_data_events", 71, "No instrument on channel %d", c);
                slot.start_state = 0;
                continue;
            }
            Voice_Control* voice = acquire_voice();
            if (!voice) {
                slot.start_state = 0;
                continue;
            }
            // A restart without a new-note action (retrigger) replaces the sounding voice.
            if (slot.voice) slot.voice->cut();
            voice->set_channel(&ch, s);
            voice->rules = &rules();
            voice->get_voice().set_short_declick(rules().short_cut_declick);
            // Where cuts take the short tail, the new note crossfades with it.
            voice->get_voice().set_crossfade(slot.crossfade && rules().short_cut_declick);
            slot.crossfade = 0;
            slot.voice = voice;
            voice->update_info_from_master_channel();
            voice->take_carried_envelopes(slot);
            slot.carry_valid = 0;
            voice->init(mixer);
            voice->get_voice().set_channel(std::clamp(ch.instrument->channel_output, 0, 15));
            voice->get_voice().set_pattern_channel(c);
            voice_list.push_back(voice);
            slot.start_state = 0;
        }
    }
}

void Player_Data::update_mixer() {
    const Song::Song_Variables* variables = song->get_variables();
    voice_status_work.clear();
    for (size_t i = 0; i < voice_list.size();) {
        Voice_Control* voice = voice_list[i];
        voice->filters_enabled = filters_enabled;
        voice->global_volume = global_volume;
        voice->mixing_volume = variables->mixing_volume;
        voice->stereo = variables->use_stereo;
        voice->get_voice().set_priority(voice->is_foreground() ? 3 : 2);
        if (voice->process()) {
            end_voice(i);
            continue;
        }
        if (voice_status_work.size() < voice_status_work.capacity()) {
            VoiceStatusInfo info;
            info.sample = voice->get_sample();
            info.position = voice->get_voice().get_current_sample_pos();
            info.layer = voice->get_layer();
            info.volume_envelope_pos = voice->get_volume_envelope().position;
            info.pan_envelope_pos = voice->get_pan_envelope().position;
            info.pitch_envelope_pos = voice->get_pitch_envelope().position;
            info.pan = voice->get_played_pan();
            info.frequency = voice->get_voice().get_current_freq();
            voice_status_work.push_back(info);
        }
        i++;
    }
    // The interface may be copying the list: rather than wait for it, publish next tick.
    Play_Status status = current_play_status();
    if (info_lock && info_lock->try_grab()) return;
    voice_status.swap(voice_status_work);
    play_status = status;
    if (info_lock) info_lock->release();
}
