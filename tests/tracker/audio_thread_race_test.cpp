// The interface thread working on a song while the audio thread plays it. These tests find
// their faults under ThreadSanitizer (make tsan-test); in the other builds they check that the
// audio keeps flowing and nothing deadlocks.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/components/audio/sound_driver_manager.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/audio_session.h"
#include "tracker/keyboard_input.h"
#include "tracker/sample_slot_operations.h"
#include "tracker/tracker_instance.h"

namespace {

using Clock = std::chrono::steady_clock;

class Audio_Thread_Race : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        build_test_song(ti.song);
        driver_manager.request_buffer_size(512);
        // Not paced: as many blocks as the machine can render, to meet the edits often.
        session.wav_writer_driver.set_real_time(false);
        session.wav_writer_driver.set_disk_writer_file(dir.file("race.wav"));
        ASSERT_TRUE(session.start_driver(2));
        session.add_song(ti);
        ti.player.play_start_song();
        ASSERT_TRUE(session.start_audio_thread());
    }

    void TearDown() override {
        session.stop_audio_thread();
        session.stop_driver();
        session.remove_song(ti);
    }

    // Position of the song, as the status line reads it.
    int read_row() {
        ti.player.lock_player_variables();
        int row = ti.player.get_current_row();
        ti.player.unlock_player_variables();
        ti.player.get_voice_status_info(voices);
        return row;
    }

    Scratch_Dir dir;
    Audio_Session session;
    Tracker_Instance ti;
    std::vector<Player_Data::VoiceStatusInfo> voices;
};

}  // namespace

TEST_F(Audio_Thread_Race, EditsPlaybackControlAndBusChangesWhilePlaying) {
    Mutex_Lock* variables = driver_manager.get_variables_lock();
    Effect_Source_Manager& effects = session.effect_source_manager();
    Pattern* pattern = ti.song.get_pattern(0);
    int rows_seen = 0, last_row = -1;
    const auto until = Clock::now() + std::chrono::milliseconds(1500);
    for (int i = 0; Clock::now() < until; i++) {
        // The editor's way of changing a cell: the reference goes to the pattern's write cache.
        {
            Pattern::Edit_Scope edit;
            Note& cell = pattern->get_note_ref(i % 4, (i * 5) % 16);
            cell.note = (unsigned char)(40 + i % 30);
            cell.instrument = (unsigned char)(i % 2);
            cell.volume = (unsigned char)(20 + i % 40);
        }
        switch (i % 12) {
        case 0: ti.player.play_start_song(); break;
        case 5: ti.player.play_start_pattern(0); break;
        case 9: ti.player.play_stop(); break;
        case 10: ti.player.play_start_song_from_order_and_row(0, i % 16); break;
        case 3: {  // a reverb and a chorus on a new bus, channel 1 sent to it
            Mutex_Lock_Guard guard(variables);
            ti.mixer.add_buffer();
            int bus = ti.mixer.get_buffer_count() - 1;
            ti.mixer.get_buffer_effect_chain(bus)->add_effect(effects.instantiate_effect_by_name("freeverb"));
            ti.mixer.get_buffer_effect_chain(bus)->add_effect(effects.instantiate_effect_by_name("chorus"));
            ti.mixer.set_channel_output_buffer_index(1, 0, bus);
            break;
        }
        case 7: {
            Mutex_Lock_Guard guard(variables);
            if (ti.mixer.get_buffer_count() > 2) ti.mixer.remove_buffer(0);
            break;
        }
        default: break;
        }
        int row = read_row();
        if (row != last_row) rows_seen++;
        last_row = row;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_GT(rows_seen, 10) << "the song did not move while the interface worked on it";
}

// Format changes restart the driver while the audio thread may be handing it a block.
TEST_F(Audio_Thread_Race, FormatChangesWhilePlaying) {
    const int rates[] = {22050, 44100, 48000};
    const int sizes[] = {256, 512, 1000};
    // The manager is process-wide: later tests in this process expect the format they found.
    const int old_rate = driver_manager.get_mix_frequency();
    const int old_size = driver_manager.get_mix_buffer_size();
    int rows_seen = 0, last_row = -1;
    for (int i = 0; i < 30; i++) {
        if (i % 2) driver_manager.request_mix_frequency(rates[i % 3]);
        else driver_manager.request_buffer_size(sizes[i % 3]);
        ASSERT_TRUE(driver_manager.is_active_driver_active());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        int row = read_row();
        if (row != last_row) rows_seen++;
        last_row = row;
    }
    EXPECT_GT(rows_seen, 3);
    driver_manager.request_mix_frequency(old_rate);
    driver_manager.request_buffer_size(old_size);
}

// Undo and redo replace patterns and sample blocks the audio thread is reading: they take the
// same locks as the edits, and a sample's voices go before its block does.
TEST_F(Audio_Thread_Race, UndoAndRedoWhilePlaying) {
    Keyboard_Input keys;
    Tracker_Instance::init_keyboard();
    Mutex_Lock* variables = driver_manager.get_variables_lock();
    Sample_Edit_Player_Link players(&ti.player, &ti.keyboard);
    Sample_Slot_Operations slots(&ti.song, &ti.file_format_manager, &players);
    slots.set_history(&ti.history);
    ti.history.clear();
    const std::string before = Scratch_Dir::read([&] {
        ti.file_format_manager.save_module(dir.file("before.wm").c_str());
        return dir.file("before.wm");
    }());
    int rows_seen = 0, last_row = -1;
    const auto until = Clock::now() + std::chrono::milliseconds(1500);
    for (int i = 0; Clock::now() < until; i++) {
        if (i % 2) {
            // The pattern view holds the variables lock around the editor's work.
            Mutex_Lock_Guard guard(variables);
            ti.editor.set_cursor(i % 4, (i * 5) % 16, 0);
            ti.editor.press_key_at_cursor("qwer"[i % 4]);
        } else {
            slots.remove(i % 4);
        }
        ti.history.undo();
        ti.history.redo();
        ti.history.undo();
        int row = read_row();
        if (row != last_row) rows_seen++;
        last_row = row;
    }
    EXPECT_GT(rows_seen, 10) << "the song did not move while the interface undid and redid";
    EXPECT_EQ(ti.history.get_undo_count(), 0);
    ti.file_format_manager.save_module(dir.file("after.wm").c_str());
    EXPECT_TRUE(Scratch_Dir::read(dir.file("after.wm")) == before);
}
