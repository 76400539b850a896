#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "tracker/sample_edit_player_link.h"
#include "tracker/sample_editor.h"
#include "tracker/tracker_instance.h"

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
