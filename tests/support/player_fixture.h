#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "support/recording_mixer.h"
#include "trackercore/player_data.h"
#include "trackercore/song.h"

// A song with one looping sample in slot 0 played by instrument 0 (layer 0 only), a player
// linked to it and to a recording mixer. Speed 6, tempo 125, linear slides.
class Player_Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        song.get_initial_variables()->speed = 6;
        song.get_initial_variables()->tempo = 125;
        song.get_initial_variables()->global_volume = 128;
        make_sample(0, 10000, true);
        make_instrument(0, 0);
        song.set_order(0, 0);
        player.link_to_song(&song);
        player.link_to_mixer(&mixer);
    }

    void make_sample(int slot, int frames, bool loop) {
        Sample& sample = song.sample[slot];
        void* block = std::calloc((size_t)frames, 2);
        sample.data.set_data_ptr(block, frames, true);
        sample.data.set_c5_freq(16726);  // plays at the table frequency
        sample.data.set_loop_enabled(loop);
        sample.data.set_loop_begin(0);
        sample.data.set_loop_end(frames);
        sample.in_use = true;
    }

    // Every note of the given layer plays the sample.
    Instrument::Layer& make_instrument(int slot, int sample, int layer = 0) {
        Instrument::Layer& target = song.instrument[slot].layers[layer];
        for (int n = 0; n < NOTE_COUNT; n++) target.sample_table[n] = (unsigned char)sample;
        return target;
    }

    static Note cell(int note, int instrument = EMPTY_FIELD, int volume = EMPTY_FIELD, char command = 0,
                     int parameter = 0) {
        Note n;
        n.note = (unsigned char)note;
        n.instrument = (unsigned char)instrument;
        n.volume = (unsigned char)volume;
        n.command = command ? (unsigned char)(command - 'A') : EMPTY_FIELD;
        n.parameter = (unsigned char)parameter;
        return n;
    }
    static Note effect(char command, int parameter) { return cell(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, command, parameter); }

    void put(int channel, int row, Note note, int pattern = 0) { song.get_pattern(pattern)->get_note_ref(channel, row) = note; }

    void ticks(int count) { mixer.run_ticks(count); }

    // The probe's value after each of the next count ticks.
    std::vector<int> trace(int count, const std::function<int()>& probe) {
        std::vector<int> values;
        for (int i = 0; i < count; i++) {
            mixer.run_ticks(1);
            values.push_back(probe());
        }
        return values;
    }

    Channel_Control& channel(int c) { return player.get_channel(c); }
    Voice_Control* foreground(int c, int slot = 0) { return player.get_channel(c).slot[slot].voice; }
    int voices_on(int c) {
        int count = 0;
        for (Voice_Control* v : player.get_voice_list())
            if (v->get_channel() == &player.get_channel(c)) count++;
        return count;
    }
    // The foreground voice's played period, or -1 when the slot has no voice.
    int played_period(int c = 0) { return foreground(c) ? foreground(c)->get_played_period() : -1; }
    int played_volume(int c = 0) { return foreground(c) ? foreground(c)->get_played_volume() : -1; }
    int played_pan(int c = 0) { return foreground(c) ? foreground(c)->get_played_pan() : -1; }

    Song song;
    Recording_Mixer mixer;
    Player_Data player;
};

// Linear periods of notes: 64 units a semitone.
inline int linear_period(int note) { return (288 - 2 * note) * 32; }
