// The program as a user runs it: wendmoor_qt with a song, in a real X window, playing through
// RtAudio into a private sound server that records what reached the device. F5 is a real key
// press; the program is then quit through the menu and leaves its settings file behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/private_pulse.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "support/xvfb_display.h"
#include "tracker/audio_components.h"
#include "tracker/tracker_instance.h"

namespace {

size_t first_sound(const std::vector<std::int16_t>& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == 0) i++;
    return i & ~(size_t)1;
}

}  // namespace

TEST(EndToEnd, F5PlaysTheSongOnTheDeviceAndQuitWritesTheSettings) {
    for (const char* tool : {"Xvfb", "xdotool", "pulseaudio", "parec"})
        if (!have_program(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Private_Pulse pulse(dir.path());
    if (!pulse.started) GTEST_SKIP() << "no private sound server could be started here";
    Xvfb_Display x;
    if (!x.ok()) GTEST_SKIP() << "Xvfb could not be started here";
    ASSERT_TRUE(pulse.wait_until_recording()) << "the sound server's recorder never started";

    std::string song = dir.file("song.wm");
    {
        Tracker_Instance ti;
        build_test_song(ti.song);
        ti.song.variables.name = "End To End";
        ASSERT_EQ(ti.file_format_manager.save_module(song.c_str()), 0);
    }
    // A home of its own: the first run picks the sound card.
    pid_t program = spawn_program({WENDMOOR_QT_PATH, song},
                                  {"DISPLAY=" + x.display, "HOME=" + dir.path(), "QT_QPA_PLATFORM=xcb"},
                                  dir.file("program.log"));
    ASSERT_GT(program, 0);
    bool shown = x.run("timeout 20 xdotool search --sync --onlyvisible --name '^Wendmoor' windowfocus --sync");
    if (!shown) kill(program, SIGKILL);
    ASSERT_TRUE(shown) << Scratch_Dir::read(dir.file("program.log"));
    ASSERT_TRUE(x.run("xdotool key F5"));
    usleep(2500000);  // the song lasts one second; it loops on
    // Quit through the menu; playing changed nothing, so no song window asks.
    // Keys go in through XTEST, to the focused window: events sent to a window are ignored.
    ASSERT_TRUE(x.run("xdotool key ctrl+q"));
    int status = wait_for_exit(program, 10000);
    if (status < 0) kill(program, SIGKILL);
    std::string log = Scratch_Dir::read(dir.file("program.log"));
    EXPECT_EQ(status, 0) << log;
    pulse.stop();

    std::string settings = Scratch_Dir::read(dir.file(".wendmoor_QT"));
    EXPECT_EQ(settings.rfind("[WENDMOOR_CONFIG]", 0), 0u) << settings;
    EXPECT_NE(settings.find("[Tracker Keys]"), std::string::npos) << settings;
    EXPECT_NE(log.find("Saving settings to " + dir.file(".wendmoor_QT")), std::string::npos) << log;

    std::vector<std::int16_t> got = pulse.captured();
    // The same file, rendered offline.
    Audio_Components components;  // the resamplers the voices mix with
    Tracker_Instance reference;
    ASSERT_EQ(reference.file_format_manager.load_module(song.c_str()), Loader::SUCCESS);
    reference.mixer.set_mix_frequency(44100.0f);
    reference.player.play_start_song();
    std::vector<std::int16_t> expected = render_offline(reference.mixer, TEST_SONG_FRAMES + 4096, 1024);
    size_t got_start = first_sound(got), expected_start = first_sound(expected);
    ASSERT_LT(expected_start, expected.size());
    ASSERT_LT(got_start, got.size()) << "nothing but silence reached the device\n" << log;
    const size_t song_samples = (size_t)TEST_SONG_FRAMES * 2 - expected_start;
    ASSERT_GE(got.size() - got_start, song_samples) << "the device received less than the whole song";
    for (size_t i = 0; i < song_samples; i++)
        ASSERT_EQ(got[got_start + i], expected[expected_start + i]) << "sample " << i << " of the song";
}
