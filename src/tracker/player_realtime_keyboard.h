#pragma once

#include "common/components/audio/tracker_voice.h"
#include "trackercore/note.h"

class Mixer_Base;
class Player_Data;
class Sample_Data;

// Plays notes live while keys are held: instrument notes through the player, one live
// channel each, or a direct preview of one sample's data on a private voice.
// Interface thread only; the preview voice is touched under the player's variables lock.
class Player_Realtime_Keyboard {
public:
    static constexpr int LIVE_CHANNELS = 64;
    static constexpr int PREVIEW_PRIORITY = 10;
    static constexpr int PREVIEW_VOLUME = 16384;
    static constexpr int PREVIEW_PANNING = 128;  // centre

    Player_Realtime_Keyboard();
    ~Player_Realtime_Keyboard();
    Player_Realtime_Keyboard(const Player_Realtime_Keyboard&) = delete;
    Player_Realtime_Keyboard& operator=(const Player_Realtime_Keyboard&) = delete;

    void link_to_player(Player_Data* to) { player = to; }
    void link_to_mixer(Mixer_Base* to) { mixer = to; }
    void instrument_set(int value) { instrument = value; }
    int instrument_get() const { return instrument; }

    void instrument_press_key(int note, int volume);
    void instrument_stop_key(int note);
    void instrument_stop_all();

    void sample_set(Sample_Data* data);
    void sample_press_key(int note);
    void sample_stop_key(int note);
    void sample_stop_all();
    void sample_adjust_latest_key();
    Sample_Data* sample_get() const { return sample_active ? sample : nullptr; }
    int sample_pos_get() const { return preview_voice.get_current_sample_pos(); }
    bool is_multichannel_set() const { return multichannel; }
    void set_multichannel(bool on) { multichannel = on; }

    int find_empty_channel() const;
    int find_note_in_channel(int note) const;
    int get_channel_note(int channel) const;
    bool is_key_down(int note) const { return note >= 0 && note < NOTE_COUNT && key_down[note]; }
    int get_latest_key() const { return latest_key; }
    // The rate at which a note plays the sample, c5_freq at C-5.
    static unsigned int preview_frequency(int c5_freq, int note);

private:
    void lock();
    void unlock();
    void add_preview_voice();
    void remove_preview_voice();

    bool key_down[NOTE_COUNT] = {};
    int channel_note[LIVE_CHANNELS];
    Player_Data* player = nullptr;
    Mixer_Base* mixer = nullptr;
    int instrument = 0;

    Sample_Data* sample = nullptr;
    int latest_key = -1;
    bool sample_active = false;
    bool multichannel = false;
    bool preview_in_mixer = false;
    Tracker_Voice preview_voice;
};
