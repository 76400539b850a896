// The live path end to end: songs played through the driver manager and the audio thread
// must reach the device (or the disk writer's file) exactly as the offline render has them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/components/audio/sound_driver_manager.h"
#include "support/private_pulse.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/audio_session.h"
#include "tracker/song_end_watch.h"
#include "tracker/tracker_instance.h"

namespace {

constexpr int RATE = 44100;
constexpr int RENDER_FRAMES = TEST_SONG_FRAMES + 4096;

// The song loops back to its first order at the end; it is stopped there, as the player
// command does.
bool wait_for_end(std::vector<Tracker_Instance*> songs, double seconds) {
    std::vector<Song_End_Watch> watches(songs.size());
    std::vector<bool> done(songs.size(), false);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        for (size_t i = 0; i < songs.size(); i++) {
            if (done[i]) continue;
            Player_Data& player = songs[i]->player;
            player.lock_player_variables();
            done[i] = watches[i].finished(player.reached_end_of_song(),
                                          player.get_play_mode() != Player_Data::PLAY_NOTHING,
                                          player.get_current_order(), player.get_current_row());
            player.unlock_player_variables();
            if (done[i]) player.play_stop();
        }
        if (std::all_of(done.begin(), done.end(), [](bool d) { return d; })) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::vector<std::int16_t> offline(int transpose, int block_frames) {
    Tracker_Instance ti;
    build_test_song(ti.song, transpose);
    ti.mixer.set_mix_frequency((float)RATE);
    ti.player.play_start_song();
    return render_offline(ti.mixer, RENDER_FRAMES, block_frames, RATE);
}

std::vector<std::int16_t> wav_samples(const std::string& path) {
    std::string bytes = Scratch_Dir::read(path);
    std::vector<std::int16_t> out;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2)
        out.push_back((std::int16_t)((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8)));
    return out;
}

size_t first_sound(const std::vector<std::int16_t>& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == 0) i++;
    return i & ~(size_t)1;  // the start of its frame
}

}  // namespace

TEST(LiveOutput, DiskWriterFileEqualsTheOfflineRender) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Audio_Session session;
    Tracker_Instance ti;
    build_test_song(ti.song);
    driver_manager.request_buffer_size(4096);
    session.wav_writer_driver.set_real_time(false);
    session.wav_writer_driver.set_disk_writer_file(dir.file("live.wav"));
    ASSERT_TRUE(session.start_driver(2));
    session.add_song(ti);
    ti.player.play_start_song();
    ASSERT_TRUE(session.start_audio_thread());
    EXPECT_TRUE(wait_for_end({&ti}, 60)) << "the song never ended";
    session.stop_audio_thread();
    session.stop_driver();
    session.remove_song(ti);

    std::vector<std::int16_t> live = wav_samples(dir.file("live.wav"));
    std::vector<std::int16_t> expected = offline(0, 4096);
    ASSERT_GE(live.size(), (size_t)TEST_SONG_FRAMES * 2) << "the file stops before the song does";
    ASSERT_LT(first_sound(expected), expected.size()) << "the offline render is silent";
    const size_t n = (size_t)TEST_SONG_FRAMES * 2;
    for (size_t i = 0; i < n; i++) ASSERT_EQ(live[i], expected[i]) << "sample " << i;
}

TEST(LiveOutput, TwoSongsAreSummedIntoOneOutput) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Audio_Session session;
    Tracker_Instance a, b;
    build_test_song(a.song);
    build_test_song(b.song, 7);
    driver_manager.request_buffer_size(1000);  // not a multiple of the tick length
    session.wav_writer_driver.set_real_time(false);
    session.wav_writer_driver.set_disk_writer_file(dir.file("both.wav"));
    ASSERT_TRUE(session.start_driver(2));
    session.add_song(a);
    session.add_song(b);
    a.player.play_start_song();
    b.player.play_start_song();
    ASSERT_TRUE(session.start_audio_thread());
    EXPECT_TRUE(wait_for_end({&a, &b}, 60)) << "the songs never ended";
    session.stop_audio_thread();
    session.stop_driver();
    session.remove_song(a);
    session.remove_song(b);

    std::vector<std::int16_t> live = wav_samples(dir.file("both.wav"));
    std::vector<std::int16_t> first = offline(0, 1000), second = offline(7, 1000);
    ASSERT_GE(live.size(), (size_t)TEST_SONG_FRAMES * 2);
    const size_t n = (size_t)TEST_SONG_FRAMES * 2;
    for (size_t i = 0; i < n; i++)
        ASSERT_EQ(live[i], (std::int16_t)std::clamp(first[i] + second[i], -32768, 32767)) << "sample " << i;
}

namespace {

// What reached the device, from the song's first sound on, after playing the test song through
// RtAudio at the given buffer size into a private sound server; empty with the reason when
// there was no device or no server to record it.
struct Device_Take {
    std::vector<std::int16_t> song;
    std::vector<std::int16_t> offline;  // rendered while the session's resamplers exist, at 1000 frames
    int block = 0;
    int underruns = 0;
    std::string skip;
};

Device_Take play_through_device(int buffer_frames) {
    Device_Take take;
    Scratch_Dir dir;
    if (!dir.ok()) {
        take.skip = "no scratch directory";
        return take;
    }
    Private_Pulse pulse(dir.path());
    Audio_Session session;
    Tracker_Instance ti;
    build_test_song(ti.song);
    driver_manager.request_buffer_size(buffer_frames);
    testing::internal::CaptureStderr();
    bool started = session.start_driver(0);
    std::string messages = testing::internal::GetCapturedStderr();
    if (!started) {
        // No device at all: the driver stays off, the poll idles and the song does not move.
        session.add_song(ti);
        ti.player.play_start_song();
        EXPECT_FALSE(driver_manager.is_active_driver_active());
        EXPECT_EQ(driver_manager.external_poll_active_driver(), 1);
        EXPECT_TRUE(session.start_audio_thread());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        session.stop_audio_thread();
        ti.player.lock_player_variables();
        EXPECT_EQ(ti.player.get_current_row(), 0);
        ti.player.unlock_player_variables();
        session.remove_song(ti);
        EXPECT_FALSE(messages.empty()) << "RtAudio's reason is printed";
        std::replace(messages.begin(), messages.end(), '\n', ' ');
        take.skip = "RtAudio found no output device here (" + messages + "); checked the clean failure path instead";
        return take;
    }
    if (!pulse.started) {
        session.stop_driver();
        take.skip = "no private sound server could be started, so what the device received cannot be read back";
        return take;
    }

    EXPECT_TRUE(pulse.wait_until_recording()) << "the sound server's recorder never started";
    session.add_song(ti);
    ti.player.play_start_song();
    take.block = session.rtaudio_driver.get_device_buffer_frames();
    EXPECT_TRUE(session.start_audio_thread());
    EXPECT_TRUE(wait_for_end({&ti}, 30)) << "the song never ended";
    // Let the queued blocks and the server's recorder catch up before the stream closes.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    session.stop_audio_thread();
    take.underruns = session.rtaudio_driver.get_underrun_count();
    session.stop_driver();
    session.remove_song(ti);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pulse.stop();
    std::vector<std::int16_t> got = pulse.captured();
    take.song.assign(got.begin() + (std::ptrdiff_t)std::min(first_sound(got), got.size()), got.end());
    take.offline = offline(0, 1000);
    return take;
}

}  // namespace

// Through RtAudio into a private sound server that records what reached the device. The
// capture starts with the server's silence, so only the start offset may differ; the samples
// are those of the offline render whatever the device's buffer size.
TEST(LiveOutput, RtAudioDeviceReceivesTheOfflineRenderAtAnyBufferSize) {
    std::vector<Device_Take> takes;
    for (int buffer : {512, 4096}) {
        takes.push_back(play_through_device(buffer));
        if (!takes.back().skip.empty()) GTEST_SKIP() << takes.back().skip;
    }
    const std::vector<std::int16_t>& expected = takes[0].offline;
    const size_t expected_start = first_sound(expected);
    ASSERT_LT(expected_start, expected.size());
    const size_t song_samples = (size_t)TEST_SONG_FRAMES * 2 - expected_start;
    for (const Device_Take& take : takes) {
        ASSERT_FALSE(take.song.empty()) << "nothing but silence reached the device";
        ASSERT_GE(take.song.size(), song_samples) << "the device received less than the whole song";
        for (size_t i = 0; i < song_samples; i++)
            ASSERT_EQ(take.song[i], expected[expected_start + i])
                << "sample " << i << " of the song at " << take.block << "-frame buffers; device underruns: "
                << take.underruns;
    }
    EXPECT_NE(takes[0].block, takes[1].block) << "the device ran both takes at one buffer size";
}
