#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/components/audio/sound_driver_manager.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/audio_session.h"
#include "tracker/sample_edit_player_link.h"
#include "tracker/sample_slot_operations.h"
#include "tracker/tracker_instance.h"

namespace {

// The players of a real song, with each bracketing call recorded in order.
class Recording_Players : public Sample_Edit_Players {
public:
    explicit Recording_Players(Tracker_Instance& ti) : link(&ti.player, &ti.keyboard) {}
    void sample_stop_all() override {
        calls += "stop ";
        link.sample_stop_all();
    }
    void lock_player_variables() override {
        calls += "lock ";
        link.lock_player_variables();
    }
    void erase_voices_using_sample(Sample* sample) override {
        calls += "erase ";
        erased = sample;
        link.erase_voices_using_sample(sample);
    }
    void unlock_player_variables() override {
        calls += "unlock";
        link.unlock_player_variables();
    }

    Sample_Edit_Player_Link link;
    std::string calls;
    Sample* erased = nullptr;
};

std::vector<short> frames_of(const Sample& sample) {
    const short* block = static_cast<const short*>(sample.data.get_data_ptr());
    return block ? std::vector<short>(block, block + sample.data.get_size()) : std::vector<short>();
}

class Sample_Slot_Operations_Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        build_test_song(ti.song);
    }

    Scratch_Dir dir;
    Tracker_Instance ti;
    Recording_Players players{ti};
    Sample_Slot_Operations ops{&ti.song, &ti.file_format_manager, &players};
    Sample clipboard;
};

}  // namespace

TEST_F(Sample_Slot_Operations_Test, LoadsWhatItSavedAndRefusesBadFilesWithoutTouchingTheSlot) {
    const std::string wav = dir.file("tone.wav");
    ASSERT_EQ(ops.save(wav.c_str(), 0), 0);
    players.calls.clear();
    ASSERT_EQ(ops.load(wav.c_str(), 7), Loader::SUCCESS);
    EXPECT_EQ(players.calls, "stop lock erase unlock");
    EXPECT_EQ(players.erased, &ti.song.sample[7]);
    EXPECT_TRUE(ti.song.sample[7].in_use);
    EXPECT_EQ(frames_of(ti.song.sample[7]), frames_of(ti.song.sample[0]));
    EXPECT_EQ(ti.song.sample[7].data.get_c5_freq(), 44100);
    EXPECT_EQ(ti.song.sample[7].name, "tone");

    std::string header = Scratch_Dir::read(wav).substr(0, 44);
    const struct {
        const char* name;
        std::string bytes;  // empty: no file at all
        Loader::Error expected;
    } bad[] = {
        {"missing.wav", "", Loader::FILE_CANNOT_OPEN},
        {"text.wav", "just some words, no sample here", Loader::FILE_FORMAT_NOT_RECOGNIZED},
        {"cut.wav", header.substr(0, 30), Loader::HEADER_CORRUPT},  // ends inside the format chunk
    };
    const void* block = ti.song.sample[1].data.get_data_ptr();
    for (const auto& file : bad) {
        SCOPED_TRACE(file.name);
        if (!file.bytes.empty()) Scratch_Dir::write(dir.file(file.name), file.bytes);
        players.calls.clear();
        EXPECT_EQ(ops.load(dir.file(file.name).c_str(), 1), file.expected);
        EXPECT_EQ(players.calls, "");
        EXPECT_EQ(ti.song.sample[1].data.get_data_ptr(), block);
        EXPECT_TRUE(ti.song.sample[1].in_use);
    }

    // Nothing to save in an unused slot, and a name no saver claims writes nothing either.
    EXPECT_EQ(ops.save(dir.file("empty.wav").c_str(), 30), -1);
    EXPECT_EQ(ops.save(dir.file("tone.txt").c_str(), 0), -2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.wav")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("tone.txt")));

    // Slots that do not exist.
    EXPECT_FALSE(ops.paste(99, clipboard));
    EXPECT_FALSE(ops.copy(-1, clipboard));
    EXPECT_FALSE(ops.remove(99));
    EXPECT_EQ(ops.load(wav.c_str(), 99), Loader::FILE_ERROR);
}

// A sample loaded into a slot makes the same-numbered instrument when that one is empty, under
// the same guard as the slot's new data; an instrument in use, or a failed load, changes nothing.
TEST_F(Sample_Slot_Operations_Test, LoadingMakesTheEmptySameNumberedInstrument) {
    const std::string wav = dir.file("tone.wav");
    ASSERT_EQ(ops.save(wav.c_str(), 0), 0);
    ti.song.instrument[5].name = "kept";
    const struct {
        int slot;
        const char* file;
        Loader::Error result;
        int made;  // the instrument made, -1 none
    } cases[] = {
        {7, "tone.wav", Loader::SUCCESS, 7},     // empty in the test song
        {7, "tone.wav", Loader::SUCCESS, -1},    // now plays sample 7 already
        {1, "tone.wav", Loader::SUCCESS, -1},    // the song's own instrument 1
        {5, "tone.wav", Loader::SUCCESS, -1},    // named by the user
        {9, "missing.wav", Loader::FILE_CANNOT_OPEN, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.slot) + " " + c.file);
        const std::string before = ti.song.instrument[c.slot].name;
        players.calls.clear();
        int made = 12345;
        EXPECT_EQ(ops.load(dir.file(c.file).c_str(), c.slot, &made), c.result);
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(players.calls, c.result == Loader::SUCCESS ? "stop lock erase unlock" : "");
        EXPECT_EQ(ti.song.instrument_plays_a_sample(c.slot), c.result == Loader::SUCCESS && c.slot != 5);
        if (c.made < 0) {
            EXPECT_EQ(ti.song.instrument[c.slot].name, before);
        }
    }
    EXPECT_EQ(ti.song.instrument[7].layers[0].sample_table[0], 7);
    EXPECT_EQ(ti.song.instrument[7].layers[0].sample_table[119], 7);
    EXPECT_EQ(ti.song.instrument[1].layers[0].sample_table[60], 1);
}

namespace {

// Counts, at the end of each guard and with the variables lock still held (so as the audio
// thread finds the song next), the voices still on the guarded sample.
class Checking_Link : public Sample_Edit_Player_Link {
public:
    explicit Checking_Link(Tracker_Instance& ti) : Sample_Edit_Player_Link(&ti.player, &ti.keyboard), player(ti.player) {}
    void erase_voices_using_sample(Sample* sample) override {
        guarded = sample;
        for (Voice_Control* voice : player.get_voice_list())
            if (voice->get_sample() == sample) playing_when_guarded++;
        Sample_Edit_Player_Link::erase_voices_using_sample(sample);
    }
    void unlock_player_variables() override {
        for (Voice_Control* voice : player.get_voice_list())
            if (voice->get_sample() == guarded) left_playing++;
        Sample_Edit_Player_Link::unlock_player_variables();
    }

    Player_Data& player;
    Sample* guarded = nullptr;
    int playing_when_guarded = 0;
    int left_playing = 0;
};

}  // namespace

// The audio thread renders the song (the disk writer as fast as it can, so that the edits meet
// the voices often) while the slot of a sample it plays is deleted and refilled, and the live
// keyboard previews it. The sanitizer build finds any read of a freed block.
TEST(Sample_Slot_Operations_Live, DeletingAPlayingSampleSilencesItAtOnce) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Audio_Session session;
    Tracker_Instance ti;
    build_test_song(ti.song);
    driver_manager.request_buffer_size(256);
    session.wav_writer_driver.set_real_time(false);
    session.wav_writer_driver.set_disk_writer_file(dir.file("live.wav"));
    ASSERT_TRUE(session.start_driver(2));
    session.add_song(ti);
    Checking_Link link(ti);
    Sample_Slot_Operations ops(&ti.song, &ti.file_format_manager, &link);
    Sample clipboard;
    ASSERT_TRUE(ops.copy(0, clipboard));
    ti.player.play_start_song();
    ASSERT_TRUE(session.start_audio_thread());

    Sample* tone = &ti.song.sample[0];
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
    while (std::chrono::steady_clock::now() < until) {
        ti.keyboard.sample_set(&tone->data);
        ti.keyboard.sample_press_key(60);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        ASSERT_TRUE(ops.remove(0));
        EXPECT_EQ(ti.keyboard.sample_get(), nullptr);
        EXPECT_EQ(tone->data.get_data_ptr(), nullptr);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        ASSERT_TRUE(ops.paste(0, clipboard));
    }
    session.stop_audio_thread();
    session.stop_driver();
    session.remove_song(ti);
    ti.keyboard.sample_stop_all();
    EXPECT_EQ(link.guarded, tone);
    EXPECT_GT(link.playing_when_guarded, 0) << "the sample was never playing when it was deleted";
    EXPECT_EQ(link.left_playing, 0);
}
