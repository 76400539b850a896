#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "support/scratch_dir.h"
#include "support/shared_dir.h"
#include "tracker/tracker_instance.h"

namespace {

std::string corpus(const std::string& name) { return shared_dir() + "/corpus/" + name; }

int run(const std::string& args, std::string* output = nullptr) {
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    int status = pclose(p);
    if (output) *output = text;
    return WEXITSTATUS(status);
}

std::vector<unsigned char> read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t u32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (std::uint32_t)b[at + 3] << 24;
}

unsigned u16(const std::vector<unsigned char>& b, size_t at) { return b[at] | b[at + 1] << 8; }

} // namespace

TEST(RenderCommand, WritesAWavThatEndsWithTheSong) {
    const std::string song = corpus("features/break_to_row.it");
    if (!std::filesystem::exists(song)) GTEST_SKIP() << "module corpus not found at " << song;
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string out = dir.file("out.wav");
    ASSERT_EQ(run("render \"" + song + "\" -o " + out + " --quiet --max-seconds 600"), 0);
    std::vector<unsigned char> wav = read_all(out);
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u16(wav, 20), 1u);
    EXPECT_EQ(u16(wav, 22), 2u);
    EXPECT_EQ(u32(wav, 24), 44100u);
    EXPECT_EQ(u16(wav, 34), 16u);
    EXPECT_EQ(u32(wav, 40), wav.size() - 44);
    EXPECT_EQ(u32(wav, 4), wav.size() - 8);
    const double seconds = (wav.size() - 44) / 4.0 / 44100;
    EXPECT_GT(seconds, 0.5);
    EXPECT_LT(seconds, 590.0);  // stopped by the song, not by the cap

    // Mono at another rate, with a tail: same song length in frames, plus the tail.
    const std::string mono = dir.file("mono.wav");
    ASSERT_EQ(run("render \"" + song + "\" -o " + mono + " --quiet --mono --rate 22050 --resampler raw --tail 1"), 0);
    std::vector<unsigned char> m = read_all(mono);
    ASSERT_GE(m.size(), 44u);
    EXPECT_EQ(u16(m, 22), 1u);
    EXPECT_EQ(u32(m, 24), 22050u);
    const double mono_seconds = (m.size() - 44) / 2.0 / 22050;
    EXPECT_NEAR(mono_seconds, seconds + 1.0, 0.2);
}

TEST(RenderCommand, CapBenchAndBadArguments) {
    const std::string song = corpus("songs/Fight2.it");
    if (!std::filesystem::exists(song)) GTEST_SKIP() << "module corpus not found at " << song;
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string out = dir.file("capped.wav");
    ASSERT_EQ(run("render \"" + song + "\" -o " + out + " --quiet --max-seconds 2"), 0);
    std::vector<unsigned char> wav = read_all(out);
    EXPECT_EQ(wav.size(), 44u + 2 * 44100 * 4);
    bool sound = false;
    for (size_t i = 44; i + 1 < wav.size() && !sound; i += 2) sound = wav[i] || wav[i + 1];
    EXPECT_TRUE(sound);

    std::string text;
    ASSERT_EQ(run("render \"" + song + "\" --bench --max-seconds 3", &text), 0);
    EXPECT_NE(text.find("x realtime"), std::string::npos) << text;

    EXPECT_EQ(run("render \"" + song + "\"", &text), 2);  // no output named
    EXPECT_EQ(run("render \"" + song + "\" -o x.wav --resampler cubic", &text), 2);
    EXPECT_EQ(run("render \"" + song + "\" -o x.wav --rate 12", &text), 2);
    EXPECT_EQ(run("render " + dir.file("missing.it") + " -o " + dir.file("x.wav"), &text), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.wav")));
}

namespace {

// A song of one-tick rows (speed 1), each order a pattern of the given rows; `cells` puts
// commands as (order's pattern, channel, row, letter, parameter).
struct Jump_Song {
    std::vector<int> pattern_rows;
    std::vector<std::tuple<int, int, int, char, int>> cells;
    bool protracker = false;  // saved as a native file with MOD's rules
};

// Frames rendered, with no tail, for a song saved as an IT file (or a native one).
long rendered_frames(const Jump_Song& shape, Scratch_Dir& dir) {
    Tracker_Instance ti;
    if (shape.protracker) ti.song.variables.rules = Playback_Rules::of_format(Playback_Rules::Format::MOD);
    ti.song.get_initial_variables()->speed = 1;
    ti.song.get_initial_variables()->tempo = 125;
    for (int p = 0; p < (int)shape.pattern_rows.size(); p++) {
        ti.song.set_order(p, (short)p);
        ti.song.get_pattern(p)->set_length(shape.pattern_rows[p]);
    }
    for (const auto& [p, channel, row, letter, parameter] : shape.cells) {
        Note& cell = ti.song.get_pattern(p)->get_note_ref(channel, row);
        cell.command = (unsigned char)(letter - 'A');
        cell.parameter = (unsigned char)parameter;
    }
    for (int p = 0; p < (int)shape.pattern_rows.size(); p++) ti.song.get_pattern(p)->get_note_ref(0, 0);
    const std::string song = dir.file(shape.protracker ? "jumps.wm" : "jumps.it"), out = dir.file("jumps.wav");
    if (ti.file_format_manager.save_module(song.c_str()) != 0) return -1;
    if (run("render " + song + " -o " + out + " --quiet --tail 0 --max-seconds 60") != 0) return -1;
    return ((long)read_all(out).size() - 44) / 4;
}

}  // namespace

// The song ends where it comes back to a row it has played, exactly at that row; a pattern loop
// that ends plays every pass; rows an SEx repeats are heard.
TEST(RenderCommand, EndsWhereTheSongComesBackToARowItHasPlayed) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const long eight_rows = rendered_frames({{8}, {}}, dir);
    const long one_row = eight_rows - rendered_frames({{7}, {}}, dir);
    ASSERT_EQ(one_row, 882);  // one tick at tempo 125, 44100 Hz
    struct Case {
        const char* what;
        Jump_Song song;
        int rows;
    } cases[] = {
        {"B back from the last order", {{4, 4}, {{1, 0, 3, 'B', 0}}}, 8},
        {"B to its own order on the first row", {{4}, {{0, 0, 0, 'B', 0}}}, 1},
        {"B on the first rows, to and fro", {{4, 4}, {{0, 0, 0, 'B', 1}, {1, 0, 0, 'B', 0}}}, 2},
        {"C from the last order", {{4, 4}, {{1, 0, 1, 'C', 2}}}, 6},
        {"pattern loop of three passes", {{4}, {{0, 0, 0, 'S', 0xB0}, {0, 0, 3, 'S', 0xB2}}}, 12},
        // The inner loop's second start jumps forward and leaves its count at 1, so the pattern
        // running out back to the only order is taken for the loop; row 1 then starts again as it
        // did in the inner loop's last pass, and the song ends there.
        {"two loops, one inside the other", {{4}, {{0, 0, 1, 'S', 0xB1}, {0, 1, 3, 'S', 0xB1}}}, 11},
        {"B back to the start once the loop on its row is done",
         {{4, 4}, {{1, 1, 0, 'S', 0xB0}, {1, 1, 2, 'S', 0xB2}, {1, 0, 2, 'B', 0}}}, 13},
        // ProTracker's one counter per channel: the second loop end restarts the first loop's
        // count for ever. The loop start another channel moved on does not put the end off.
        {"a loop that never ends, beside another channel's loop start",
         {{8}, {{0, 1, 1, 'S', 0xB2}, {0, 1, 5, 'S', 0xB1}, {0, 2, 2, 'S', 0xB0}}, true}, 10},
        {"row repeats on the last row", {{8}, {{0, 0, 7, 'S', 0xE2}}}, 10},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rendered_frames(c.song, dir), eight_rows + (c.rows - 8) * one_row) << c.what;
}
