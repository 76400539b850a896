#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/cli_run.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/tracker_instance.h"

namespace {

std::vector<std::int16_t> wav_samples(const std::string& bytes) {
    std::vector<std::int16_t> samples;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2)
        samples.push_back((std::int16_t)((unsigned char)bytes[i] | (unsigned char)bytes[i + 1] << 8));
    return samples;
}

}  // namespace

TEST(CliRenderChannels, ChannelFilesSumToTheFullRender) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string song = dir.file("tune.it"), stems = dir.file("stems");
    {
        Tracker_Instance ti;
        build_test_song(ti.song);  // notes in channels 1 to 3
        Pattern& pattern = *ti.song.get_pattern(0);
        // Channel 4 has a note but the song mutes it; channel 5 only speeds the song up.
        pattern.get_note_ref(3, 0) = Note{48, 0, 64, EMPTY_FIELD, 0};
        ti.song.get_initial_variables()->channel[3].mute = true;
        pattern.get_note_ref(4, 6) = Note{EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 'T' - 'A', 200};
        pattern.get_note(0, 0);
        ASSERT_EQ(ti.file_format_manager.save_module(song.c_str()), 0);
    }
    ASSERT_EQ(Cli_Run("render " + song + " -o " + dir.file("full.wav") + " --quiet").status, 0);
    Cli_Run split("render " + song + " --per-channel -o " + stems);
    ASSERT_EQ(split.status, 0) << split.out;
    EXPECT_TRUE(split.says("3 channel files")) << split.out;

    std::string full_file = Scratch_Dir::read(dir.file("full.wav"));
    std::vector<std::int16_t> full = wav_samples(full_file);
    ASSERT_GT(full.size(), 1000u);
    EXPECT_LT(full.size(), (size_t)TEST_SONG_FRAMES * 2) << "the tempo of channel 5 holds in every file";
    std::vector<long> sum(full.size(), 0);
    for (int c = 1; c <= 5; c++) {
        std::string path = stems + "/tune-ch0" + std::to_string(c) + ".wav";
        SCOPED_TRACE(path);
        ASSERT_EQ(std::filesystem::exists(path), c <= 3);
        if (c > 3) continue;
        std::string file = Scratch_Dir::read(path);
        EXPECT_EQ(file.substr(22, 6), full_file.substr(22, 6)) << "channels and rate of the full render";
        std::vector<std::int16_t> alone = wav_samples(file);
        ASSERT_EQ(alone.size(), full.size());
        EXPECT_GT(std::count_if(alone.begin(), alone.end(), [](int v) { return v != 0; }), (long)alone.size() / 10);
        for (size_t i = 0; i < alone.size(); i++) sum[i] += alone[i];
    }
    long worst = 0;
    for (size_t i = 0; i < full.size(); i++) worst = std::max(worst, std::labs(full[i] - sum[i]));
    EXPECT_LE(worst, 3) << "one rounding step per file at most";
}

// An ordinary song prints its summary line and nothing else: a start offset past the end of a
// looping sample (sample 0 is 1024 frames, looped) is played from the loop, not reported.
TEST(CliRender, PrintsOnlyTheSummaryForAnOrdinarySong) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string song = dir.file("offset.it");
    {
        Tracker_Instance ti;
        build_test_song(ti.song);
        ti.song.get_pattern(0)->get_note_ref(3, 0) = Note{48, 0, 64, 'O' - 'A', 0x20};
        ASSERT_EQ(ti.file_format_manager.save_module(song.c_str()), 0);
    }
    Cli_Run run("render " + song + " -o " + dir.file("offset.wav"));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_TRUE(run.says("seconds, 44100 Hz, stereo")) << run.out;
}
