#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "support/recording_mixer.h"
#include "tracker/sample_edit_player_link.h"
#include "tracker/sample_editor.h"
#include "tracker/tracker_instance.h"
#include "trackercore/player_data.h"

class Live_Keyboard : public ::testing::Test {
protected:
    void SetUp() override {
        Sample& sample = song().sample[0];
        sample.data.set_data_ptr(std::calloc(1000, 2), 1000, true);
        sample.data.set_c5_freq(22050);
        sample.in_use = true;
        song().make_instrument_out_of_sample_at(0, 0);
    }
    Song& song() { return instance->song; }
    Tracker_Instance& ti() { return *instance; }
    int voices_in_mixer() {
        int count = 0;
        for (int i = 0; i < ti().mixer.get_max_voices(); i++) count += ti().mixer.get_voice(i) != nullptr;
        return count;
    }

    std::unique_ptr<Tracker_Instance> instance = std::make_unique<Tracker_Instance>();
};

TEST_F(Live_Keyboard, InstrumentNotesTakeFreeChannels) {
    Player_Realtime_Keyboard& keys = ti().keyboard;
    keys.instrument_press_key(48, 64);
    keys.instrument_press_key(50, 64);
    EXPECT_EQ(keys.get_channel_note(0), 48);
    EXPECT_EQ(keys.get_channel_note(1), 50);
    EXPECT_EQ(ti().player.get_channel(0).note, 48);
    EXPECT_EQ(ti().player.get_channel(1).note, 50);
    EXPECT_EQ(ti().player.get_channel(1).instrument_index, 0);

    keys.instrument_stop_key(48);
    EXPECT_EQ(keys.get_channel_note(0), -1);
    EXPECT_FALSE(keys.is_key_down(48));
    EXPECT_NE(ti().player.get_channel(0).slot[0].note_off_flags, 0);
    EXPECT_EQ(keys.find_empty_channel(), 0);
    EXPECT_EQ(keys.find_note_in_channel(50), 1);

    keys.instrument_stop_all();
    EXPECT_EQ(keys.get_channel_note(1), -1);
    EXPECT_FALSE(keys.is_key_down(50));
    EXPECT_NE(ti().player.get_channel(1).slot[0].note_off_flags, 0);
}

TEST_F(Live_Keyboard, RepeatedPressPlaysOnceAndStrayReleaseSendsNothing) {
    Player_Realtime_Keyboard& keys = ti().keyboard;
    keys.instrument_press_key(48, 64);
    ti().player.get_channel(0).note = 7;  // would be overwritten by a second note
    keys.instrument_press_key(48, 64);
    EXPECT_EQ(ti().player.get_channel(0).note, 7);
    EXPECT_EQ(keys.get_channel_note(1), -1);

    ti().player.get_channel(0).slot[0].note_off_flags = 0;
    keys.instrument_stop_key(60);
    EXPECT_EQ(ti().player.get_channel(0).slot[0].note_off_flags, 0);
    EXPECT_EQ(keys.get_channel_note(0), 48);
    keys.instrument_press_key(120, 64);
    keys.instrument_press_key(-1, 64);
    EXPECT_EQ(keys.get_channel_note(1), -1);
}

TEST_F(Live_Keyboard, SixtyFifthNoteReusesChannelZero) {
    Player_Realtime_Keyboard& keys = ti().keyboard;
    for (int note = 0; note < 65; note++) keys.instrument_press_key(note, 64);
    EXPECT_EQ(keys.get_channel_note(63), 63);
    EXPECT_EQ(keys.get_channel_note(0), 64);
    EXPECT_EQ(keys.find_note_in_channel(0), -1);
}

TEST_F(Live_Keyboard, PreviewFrequencyFollowsTheNote) {
    EXPECT_EQ(Player_Realtime_Keyboard::preview_frequency(22050, 60), 22050u);
    EXPECT_NEAR((double)Player_Realtime_Keyboard::preview_frequency(22050, 72), 44100.0, 44100.0 * 0.002);
    EXPECT_NEAR((double)Player_Realtime_Keyboard::preview_frequency(22050, 48), 11025.0, 11025.0 * 0.002);
    EXPECT_EQ(Player_Realtime_Keyboard::preview_frequency(0, 60), 0u);
}

TEST_F(Live_Keyboard, SamplePreviewVoiceComesAndGoes) {
    Player_Realtime_Keyboard& keys = ti().keyboard;
    Sample_Data* data = &song().sample[0].data;
    keys.sample_press_key(60);  // no sample yet: only the key is noted
    EXPECT_EQ(keys.get_latest_key(), 60);
    EXPECT_EQ(keys.sample_get(), nullptr);
    EXPECT_EQ(voices_in_mixer(), 0);
    keys.sample_stop_all();

    keys.sample_set(data);
    keys.sample_press_key(72);
    EXPECT_EQ(keys.sample_get(), data);
    EXPECT_EQ(voices_in_mixer(), 1);
    EXPECT_EQ(keys.sample_pos_get(), 0);
    keys.sample_press_key(74);  // the latest key owns the voice
    EXPECT_EQ(voices_in_mixer(), 1);
    keys.sample_stop_key(72);
    EXPECT_EQ(voices_in_mixer(), 1);
    keys.sample_stop_key(74);
    EXPECT_EQ(voices_in_mixer(), 0);
    EXPECT_EQ(keys.sample_get(), nullptr);

    keys.sample_press_key(60);
    keys.sample_set(nullptr);  // changing the sample takes the voice out
    EXPECT_EQ(voices_in_mixer(), 0);
    keys.sample_stop_all();
    EXPECT_EQ(keys.get_latest_key(), -1);
    EXPECT_FALSE(keys.is_multichannel_set());
}

TEST_F(Live_Keyboard, DestructiveSampleEditStopsThePreview) {
    Player_Realtime_Keyboard& keys = ti().keyboard;
    Sample* sample = &song().sample[0];
    keys.sample_set(&sample->data);
    keys.sample_press_key(60);
    ASSERT_EQ(voices_in_mixer(), 1);

    Sample_Edit_Player_Link link(&ti().player, &keys);
    Sample_Editor editor;
    editor.set_sample(sample);
    editor.link_to_players(&link);
    editor.apply_effect(7);  // Toggle 16/8bits replaces the block
    EXPECT_FALSE(sample->data.is_16bit());
    EXPECT_EQ(voices_in_mixer(), 0);
    EXPECT_EQ(keys.sample_get(), nullptr);
}

// A non-recursive lock that counts, and a mixer that notes whether it was held at each voice change.
struct Checking_Lock : Mutex_Lock {
    void grab() override {
        if (held) nested_grabs++;
        held = true;
        grabs++;
    }
    bool try_grab() override { return false; }
    void release() override { held = false; }
    Mutex_Lock* create_mutex_type() override { return new Checking_Lock; }
    bool held = false;
    int grabs = 0;
    int nested_grabs = 0;
};

struct Lock_Watching_Mixer : Recording_Mixer {
    void allocate_voice(Voice* voice) override {
        unlocked_changes += !lock->held;
        Recording_Mixer::allocate_voice(voice);
    }
    void eliminate_voice(Voice* voice) override {
        unlocked_changes += !lock->held;
        Recording_Mixer::eliminate_voice(voice);
    }
    Checking_Lock* lock = nullptr;
    int unlocked_changes = 0;
};

TEST(Live_Keyboard_Lock, EveryVoiceChangeHoldsTheVariablesLock) {
    Song song;
    Sample& sample = song.sample[0];
    sample.data.set_data_ptr(std::calloc(1000, 2), 1000, true);
    sample.data.set_c5_freq(22050);
    Checking_Lock lock;
    Lock_Watching_Mixer mixer;
    mixer.lock = &lock;
    Player_Data player;
    player.link_to_song(&song);
    player.link_to_mixer(&mixer);
    player.set_variables_lock(&lock);
    {
        Player_Realtime_Keyboard keys;
        keys.link_to_player(&player);
        keys.link_to_mixer(&mixer);

        int before = lock.grabs;
        keys.sample_set(&sample.data);
        keys.sample_press_key(60);
        EXPECT_EQ(mixer.voices.size(), 1u);
        sample.data.set_c5_freq(44100);
        keys.sample_adjust_latest_key();
        keys.sample_stop_key(60);
        keys.sample_press_key(62);
        keys.sample_stop_all();
        keys.sample_press_key(64);
        keys.instrument_press_key(48, 64);
        keys.instrument_stop_key(48);
        EXPECT_GE(lock.grabs - before, 9);
        EXPECT_EQ(mixer.allocated.size(), 3u);
    }  // the keyboard takes its voice out as it goes
    EXPECT_TRUE(mixer.voices.empty());
    EXPECT_EQ(mixer.eliminated.size(), 3u);
    EXPECT_EQ(mixer.unlocked_changes, 0);
    EXPECT_EQ(lock.nested_grabs, 0);
    EXPECT_FALSE(lock.held);
}

// Letting go of a live key keys its note off; a note that nothing would ever end (a looping
// sample without fade-out or an envelope falling to silence) is cut rather than droning on.
TEST(Live_Keyboard_Release, ANoteThatWouldSoundForEverIsCut) {
    struct Case {
        const char* name;
        bool looping;
        int fadeout;
        bool envelope_to_zero;
        bool xm_key_off;
        bool sounding_after;  // two ticks after the release
    };
    const Case cases[] = {
        {"looping, no fade-out, no envelope: cut", true, 0, false, false, false},
        {"looping, XM key off: cut", true, 0, false, true, false},
        {"looping with a fade-out: left to fade", true, 64, false, false, true},
        {"looping, envelope falling to zero: left to it", true, 0, true, false, true},
        {"a sample that ends: plays to its end", false, 0, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recording_Mixer mixer;  // outlives the player
        auto ti = std::make_unique<Tracker_Instance>();
        Sample& sample = ti->song.sample[0];
        sample.data.set_data_ptr(std::calloc(1000, 2), 1000, true);
        sample.data.set_c5_freq(22050);
        sample.data.set_loop_enabled(c.looping);
        sample.data.set_loop_end(1000);
        sample.in_use = true;
        ti->song.make_instrument_out_of_sample_at(0, 0);
        ti->song.variables.key_off_cuts_without_envelope = c.xm_key_off;
        Instrument::Layer* layer = ti->song.get_instrument(0)->get_layer(0);
        layer->volume_fadeout = c.fadeout;
        if (c.envelope_to_zero) {
            layer->volume_envelope.reset();
            layer->volume_envelope.add_node_at_offset(0, 64);
            layer->volume_envelope.add_node_at_offset(20, 0);
            layer->volume_envelope.set_enabled(true);
        }
        ti->player.link_to_mixer(&mixer);

        ti->keyboard.instrument_press_key(60, 64);
        mixer.run_ticks(1);
        ASSERT_EQ(mixer.voices.size(), 1u);
        ti->keyboard.instrument_stop_key(60);
        EXPECT_NE(ti->player.get_channel(0).slot[0].note_off_flags & NOTE_OFF_KEY_RELEASED, 0);
        mixer.run_ticks(2);
        EXPECT_EQ(mixer.voices.size(), c.sounding_after ? 1u : 0u);
        ti.reset();
    }
}

// A channel that plays another note by the time the key goes up is left alone.
TEST_F(Live_Keyboard, ReleaseLeavesAChannelThatMovedOn) {
    ti().player.play_note(3, Note{60, 0, 64, EMPTY_FIELD, 0}, true);
    ti().player.play_note(3, Note{62, 0, 64, EMPTY_FIELD, 0}, true);
    ti().player.release_note(3, 60);
    EXPECT_EQ(ti().player.get_channel(3).slot[0].note_off_flags, 0);
    ti().player.release_note(3, 62);
    EXPECT_NE(ti().player.get_channel(3).slot[0].note_off_flags, 0);
}
