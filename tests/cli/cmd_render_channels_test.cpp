#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/tracker_instance.h"

// render --per-channel: one file per channel that sounds, summing to the full render.

namespace {

int run_cli(const std::string& args, std::string* output) {
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::int16_t> wav_samples(const std::string& path) {
    std::string bytes = Scratch_Dir::read(path);
    std::vector<std::int16_t> samples;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2)
        samples.push_back((std::int16_t)((unsigned char)bytes[i] | (unsigned char)bytes[i + 1] << 8));
    return samples;
}

}  // namespace

TEST(CliRenderChannels, ChannelFilesSumToTheFullRender) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string song = dir.file("tune.it");
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
    std::string out;
    ASSERT_EQ(run_cli("render " + song + " -o " + dir.file("full.wav") + " --quiet", &out), 0) << out;
    std::string channels = dir.file("stems");
    ASSERT_EQ(run_cli("render " + song + " --per-channel -o " + channels + " --quiet", &out), 0) << out;

    std::vector<std::int16_t> full = wav_samples(dir.file("full.wav"));
    ASSERT_GT(full.size(), 1000u);
    // The tempo change of channel 5 shortened the song in every file alike.
    EXPECT_LT(full.size(), (size_t)TEST_SONG_FRAMES * 2);
    std::vector<long> sum(full.size(), 0);
    int files = 0;
    for (int c = 1; c <= 8; c++) {
        char name[32];
        std::snprintf(name, sizeof name, "tune-ch%02d.wav", c);
        std::string path = channels + "/" + name;
        SCOPED_TRACE(name);
        if (c > 3) {
            EXPECT_FALSE(std::filesystem::exists(path));
            continue;
        }
        std::vector<std::int16_t> alone = wav_samples(path);
        ASSERT_EQ(alone.size(), full.size());
        EXPECT_EQ(Scratch_Dir::read(path).substr(22, 6), Scratch_Dir::read(dir.file("full.wav")).substr(22, 6))
            << "channels and rate as the full render";
        int heard = 0;
        for (size_t i = 0; i < alone.size(); i++) {
            sum[i] += alone[i];
            heard += alone[i] != 0;
        }
        EXPECT_GT(heard, (int)alone.size() / 10);
        files++;
    }
    EXPECT_EQ(files, 3);
    long worst = 0, differing = 0;
    for (size_t i = 0; i < full.size(); i++) {
        long d = std::labs(full[i] - sum[i]);
        worst = std::max(worst, d);
        differing += d != 0;
    }
    EXPECT_LE(worst, files) << "one rounding step per file at most";
    std::printf("per-channel sum: %ld of %zu values differ from the full render, by %ld at most\n", differing,
                full.size(), worst);
}
