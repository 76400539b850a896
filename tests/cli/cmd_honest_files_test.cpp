// The command line says what a file lacked when it loaded, what the chosen format will leave out
// of a conversion (before writing it), and refuses what is no file without waiting on it.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/components/audio/effect_amp.h"
#include "support/cli_run.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/tracker_instance.h"

namespace {

std::string regression(const char* name) { return std::string(WENDMOOR_SOURCE_DIR) + "/tests/data/regressions/" + name; }

}  // namespace

TEST(CliHonestFiles, LoadWarningsLossesAndFilesThatAreNone) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    // A native song with an effect on mixer channel 3 and a sample with a 30-character name.
    Tracker_Instance source;
    build_test_song(source.song);
    source.mixer.get_channel_effect_chain(3)->add_effect(new Effect_Amp);
    source.song.get_sample(1)->name = std::string(30, 's');
    const std::string song = dir.file("song.wm");
    testing::internal::CaptureStdout();
    ASSERT_EQ(source.file_format_manager.save_module(song.c_str()), 0);
    ASSERT_EQ(source.file_format_manager.save_sample(dir.file("tone.ws").c_str(), 0), 0);
    testing::internal::GetCapturedStdout();
    const std::string fifo = dir.file("pipe.it"), cut = regression("it_sample_cut_short.it"),
                      wide = regression("xm_256_channels.xm");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string out_it = dir.file("out.it"), out_wm = dir.file("out.wm"), out_wav = dir.file("out.wav");

    struct Case {
        std::string args;
        int status;
        std::vector<std::string> says;
        std::vector<std::string> never;
    } cases[] = {
        {"info " + fifo, 1, {fifo + ": Cannot open file! (not a regular file)"}, {}},
        {"convert " + fifo + " " + out_wm, 1, {"Cannot open file! (not a regular file)"}, {}},
        {"info " + dir.file("none.it"), 1, {"Cannot open file! (No such file or directory)"}, {}},
        {"info " + cut, 0,
         {"warning: " + cut + ": The file ends early: at least 6000 bytes are missing.\n",
          "warning: " + cut + ": Sample 1 \"Kick\" is cut short: 1000 of its 4000 frames are in the file.\n"},
         {}},
        {"info " + wide, 0, {"warning: " + wide + ": The file has 256 channels; Wendmoor holds 64"}, {}},
        {"convert " + song + " " + out_it, 0,
         {"warning: " + out_it + ": Effects: 1 effect on mixer channel 3 cannot be kept.\n",
          "warning: " + out_it + ": Names: names are cut to 25 characters (sample 2).\n"},
         {}},
        {"convert " + song + " " + out_wm, 0, {}, {"warning"}},
        {"convert " + dir.file("tone.ws") + " " + out_wav, 0,
         {"warning: " + out_wav + ": Loop: WAV files keep no loop: the loop is dropped.\n"}, {}},
        {"convert " + cut + " " + out_wm, 0, {"warning: " + cut + ": Sample 1 \"Kick\" is cut short"}, {}},
    };
    for (const Case& c : cases) {
        Cli_Run run(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.out;
        for (const std::string& part : c.says) EXPECT_TRUE(run.says(part)) << c.args << ": no \"" << part << "\" in\n" << run.out;
        for (const std::string& part : c.never) EXPECT_FALSE(run.says(part)) << c.args << "\n" << run.out;
    }
    // The losses were said, and the file written all the same.
    Tracker_Instance back;
    testing::internal::CaptureStdout();
    EXPECT_EQ(back.file_format_manager.load_module(out_it.c_str()), Loader::SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(back.song.get_sample(1)->name, std::string(25, 's'));
}
