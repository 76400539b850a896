#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/byte_builder.h"
#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

// info and convert on sample and instrument files, and every command's --help.

namespace {

struct Run_Result {
    int status;
    std::string out;
};

Run_Result run_cli(const std::string& args) {
    std::string cmd = std::string(WENDMOOR_CLI_PATH) + " " + args + " 2>&1";
    Run_Result r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Sample_Spec {
    const char* name;
    int frames;
    bool sixteen_bit;
    int rate;
    bool loop, ping_pong;
    int loop_begin, loop_end;
};

// A saw with an odd step, so every byte of the data differs from its neighbours.
void fill_sample(Sample& sample, const Sample_Spec& spec) {
    int bytes = spec.frames * (spec.sixteen_bit ? 2 : 1);
    auto* block = (unsigned char*)std::malloc(bytes);
    for (int i = 0; i < bytes; i++) block[i] = (unsigned char)(i * 37 + 11);
    sample.data.set_data_ptr(block, spec.frames, spec.sixteen_bit);
    sample.data.set_c5_freq(spec.rate);
    sample.data.set_loop_enabled(spec.loop);
    sample.data.set_loop_ping_pong(spec.ping_pong);
    sample.data.set_loop_begin(spec.loop_begin);
    sample.data.set_loop_end(spec.loop_end);
    sample.name = spec.name;
    sample.in_use = true;
}

void expect_same_sample(const Sample_Data& got, const Sample_Spec& want, bool loop_kept, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_EQ(got.get_size(), want.frames);
    EXPECT_EQ(got.is_16bit(), want.sixteen_bit);
    EXPECT_EQ(got.get_c5_freq(), want.rate);
    EXPECT_EQ(got.is_loop_enabled(), want.loop && loop_kept);
    if (want.loop && loop_kept) {
        EXPECT_EQ(got.is_loop_ping_pong(), want.ping_pong);
        EXPECT_EQ(got.get_loop_begin(), want.loop_begin);
        EXPECT_EQ(got.get_loop_end(), want.loop_end);
    }
    Sample s;
    fill_sample(s, want);
    EXPECT_EQ(std::memcmp(got.get_data_ptr(), s.data.get_data_ptr(), got.get_byte_size()), 0);
}

const Sample_Spec LOOPED_16{"pad", 1000, true, 22050, true, false, 100, 900};
const Sample_Spec PINGPONG_8{"snare", 333, false, 8363, true, true, 10, 300};

std::string loop_line(const Sample_Spec& s, bool kept) {
    if (!s.loop || !kept) return "Loop:            off";
    return std::string("Loop:            ") + (s.ping_pong ? "ping-pong " : "forward ") + std::to_string(s.loop_begin) +
           "-" + std::to_string(s.loop_end);
}

// Instrument "Kit": notes C-0..B-4 play the first sample, C-5..B-9 the second; a volume
// envelope of three nodes with a loop over the first two.
void build_kit(Tracker_Instance& ti) {
    fill_sample(*ti.song.get_sample(0), LOOPED_16);
    fill_sample(*ti.song.get_sample(1), PINGPONG_8);
    Instrument& kit = *ti.song.get_instrument(0);
    kit.name = "Kit";
    Instrument::Layer& layer = kit.layers[0];
    for (int n = 0; n < NOTE_COUNT; n++) {
        layer.sample_table[n] = n < 60 ? 0 : 1;
        layer.note_table[n] = (unsigned char)n;
    }
    Envelope& env = layer.volume_envelope;
    env.reset();
    env.add_node_at_offset(0, 64);
    env.add_node_at_offset(10, 32);
    env.add_node_at_offset(30, 0);
    env.set_enabled(true);
    env.set_loop_enabled(true);
    env.set_loop_begin(0);
    env.set_loop_end(1);
}

// A FastTracker 2 instrument with one 8-bit sample of four frames on every note.
std::string xi_file() {
    Byte_Builder b;
    b.text("Extended Instrument: ").text("Bell", 22).u8(0x1A).text("Wendmoor Tests", 20).u16(0x0102);
    b.fill(96);                                          // keyboard: sample 0 everywhere
    b.u16(0).u16(64).u16(20).u16(0).fill(4 * 10);       // volume envelope (0,64) (20,0)
    b.fill(4 * 12);                                      // panning envelope
    b.u8(2).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0);   // point counts, sustain and loops
    b.u8(1).u8(0).fill(4).u16(0x100).u16(0).fill(20);    // volume envelope on, vibrato, fade-out
    b.u16(1);
    b.u32(4).u32(0).u32(0).u8(64).u8(0).u8(0).u8(128).u8(0).u8(0).text("ding", 22);
    b.u8(10).u8(5).u8(5).u8(5);  // deltas
    return b.bytes;
}

}  // namespace

TEST(CliSampleFiles, ConvertBetweenSampleFormatsKeepsFramesRateAndLoop) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    struct Format {
        const char* extension;
        bool keeps_loop;
    };
    const Format formats[] = {{".ws", true}, {".is", true}, {".ITS", true}, {".wav", false}};
    for (const Sample_Spec& spec : {LOOPED_16, PINGPONG_8}) {
        std::string source = dir.file(std::string(spec.name) + ".ws");
        {
            Tracker_Instance ti;
            fill_sample(*ti.song.get_sample(0), spec);
            ASSERT_EQ(ti.file_format_manager.save_sample(source.c_str(), 0), 0);
        }
        for (const Format& f : formats) {
            std::string where = std::string(spec.name) + f.extension;
            std::string middle = dir.file(std::string(spec.name) + "-mid" + f.extension);
            std::string back = dir.file(std::string(spec.name) + "-back" + f.extension + ".ws");
            Run_Result r = run_cli("convert " + source + " " + middle);
            ASSERT_EQ(r.status, 0) << where << r.out;
            EXPECT_EQ(contains(r.out, "the loop is dropped"), !f.keeps_loop) << where << r.out;

            Run_Result info = run_cli("info " + middle);
            EXPECT_EQ(info.status, 0) << where << info.out;
            EXPECT_TRUE(contains(info.out, " sample\n")) << where << info.out;
            EXPECT_TRUE(contains(info.out, "Frames:          " + std::to_string(spec.frames) + "\n")) << info.out;
            EXPECT_TRUE(contains(info.out, "Rate:            " + std::to_string(spec.rate) + " Hz")) << info.out;
            EXPECT_TRUE(contains(info.out, "Bits:            " + std::to_string(spec.sixteen_bit ? 16 : 8)))
                << info.out;
            EXPECT_TRUE(contains(info.out, loop_line(spec, f.keeps_loop) + "\n")) << where << info.out;

            ASSERT_EQ(run_cli("convert " + middle + " " + back).status, 0) << where;
            Tracker_Instance ti;
            ASSERT_EQ(ti.file_format_manager.load_sample(back.c_str(), 0), Loader::SUCCESS) << where;
            expect_same_sample(ti.song.get_sample(0)->data, spec, f.keeps_loop, where);
        }
        // Raw keeps the frames as held and nothing else; there is no reading it back.
        std::string raw = dir.file(std::string(spec.name) + ".raw");
        Run_Result r = run_cli("convert " + source + " " + raw);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(contains(r.out, "raw files hold the frames only")) << r.out;
        Sample s;
        fill_sample(s, spec);
        EXPECT_EQ(Scratch_Dir::read(raw),
                  std::string((const char*)s.data.get_data_ptr(), (size_t)s.data.get_byte_size()));
    }
}

TEST(CliInstrumentFiles, InfoListsLayersAndConvertRoundTrips) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string source = dir.file("kit.wi");
    {
        Tracker_Instance ti;
        build_kit(ti);
        ASSERT_EQ(ti.file_format_manager.save_instrument(source.c_str(), 0), 0);
    }
    for (const char* extension : {".wi", ".ii", ".iti"}) {
        std::string middle = dir.file(std::string("kit-mid") + extension);
        std::string back = dir.file(std::string("kit-back") + extension + ".wi");
        ASSERT_EQ(run_cli("convert " + source + " " + middle).status, 0) << extension;
        Run_Result info = run_cli("info " + middle);
        EXPECT_EQ(info.status, 0) << info.out;
        EXPECT_TRUE(contains(info.out, " instrument\nName:            Kit\n")) << info.out;
        EXPECT_TRUE(contains(info.out, "Layer 1:         samples 1 C-0..B-4, 2 C-5..B-9\n")) << info.out;
        EXPECT_TRUE(contains(info.out, "Volume envelope:  3 nodes, loop 0-1, 30 ticks\n")) << info.out;
        EXPECT_TRUE(contains(info.out, "Panning envelope: off\n")) << info.out;
        EXPECT_TRUE(contains(info.out, "   1 pad ")) << info.out;
        EXPECT_TRUE(contains(info.out, "   2 snare ")) << info.out;
        EXPECT_FALSE(contains(info.out, "Layer 2:")) << info.out;

        ASSERT_EQ(run_cli("convert " + middle + " " + back).status, 0) << extension;
        Tracker_Instance ti;
        ASSERT_EQ(ti.file_format_manager.load_instrument(back.c_str(), 0), Loader::SUCCESS) << extension;
        const Instrument::Layer& layer = ti.song.get_instrument(0)->layers[0];
        EXPECT_EQ(ti.song.get_instrument(0)->name, "Kit");
        EXPECT_EQ(layer.volume_envelope.get_node_count(), 3);
        int low = layer.sample_table[0], high = layer.sample_table[119];
        ASSERT_LT(low, Song::MAX_SAMPLES);
        ASSERT_LT(high, Song::MAX_SAMPLES);
        EXPECT_EQ(layer.sample_table[59], low);
        EXPECT_EQ(layer.sample_table[60], high);
        expect_same_sample(ti.song.get_sample(low)->data, LOOPED_16, true, std::string(extension) + " low");
        expect_same_sample(ti.song.get_sample(high)->data, PINGPONG_8, true, std::string(extension) + " high");
    }

    // An XI is read, not written; a lone sample saved under an instrument name becomes one.
    std::string xi = dir.file("bell.xi");
    Scratch_Dir::write(xi, xi_file());
    Run_Result info = run_cli("info " + xi);
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_TRUE(contains(info.out, "FastTracker 2 instrument\nName:            Bell\n")) << info.out;
    EXPECT_TRUE(contains(info.out, "Layer 1:         samples 1 ")) << info.out;
    EXPECT_TRUE(contains(info.out, "Volume envelope:  2 nodes, 20 ticks\n")) << info.out;
    EXPECT_TRUE(contains(info.out, "   1 ding                       length 4, 8-bit")) << info.out;
    ASSERT_EQ(run_cli("convert " + xi + " " + dir.file("bell.wi")).status, 0);
    EXPECT_TRUE(contains(run_cli("info " + dir.file("bell.wi")).out, "Name:            Bell\n"));

    std::string sample = dir.file("pad.ws");
    {
        Tracker_Instance ti;
        fill_sample(*ti.song.get_sample(0), LOOPED_16);
        ASSERT_EQ(ti.file_format_manager.save_sample(sample.c_str(), 0), 0);
    }
    ASSERT_EQ(run_cli("convert " + sample + " " + dir.file("pad.iti")).status, 0);
    info = run_cli("info " + dir.file("pad.iti"));
    EXPECT_TRUE(contains(info.out, "Name:            pad\nLayer 1:         samples 1 C-0..B-9\n")) << info.out;
}

TEST(CliSampleFiles, BrokenFilesAndImpossiblePairsFailAndWriteNothing) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string sample = dir.file("pad.ws"), wav = dir.file("pad.wav"), kit = dir.file("kit.wi");
    std::string song = dir.file("song.it");
    {
        Tracker_Instance ti;
        build_kit(ti);
        ASSERT_EQ(ti.file_format_manager.save_sample(sample.c_str(), 0), 0);
        ASSERT_EQ(ti.file_format_manager.save_sample(wav.c_str(), 0), 0);
        ASSERT_EQ(ti.file_format_manager.save_instrument(kit.c_str(), 0), 0);
        ASSERT_EQ(ti.file_format_manager.save_module(song.c_str()), 0);
    }
    auto cut = [&](const std::string& from, size_t keep, const std::string& name) {
        Scratch_Dir::write(dir.file(name), Scratch_Dir::read(from).substr(0, keep));
        return dir.file(name);
    };
    std::string noise(3000, '\0');
    for (size_t i = 0; i < noise.size(); i++) noise[i] = (char)(i * 7919 % 251);
    Scratch_Dir::write(dir.file("noise.bin"), noise);

    struct Case {
        std::string args;
        const char* says;
    };
    const Case cases[] = {
        {"info " + cut(wav, 30, "short.wav"), "Header Corrupt"},
        {"info " + cut(sample, 40, "short.ws"), "File Format Not Recognized"},
        {"info " + cut(kit, 200, "short.wi"), "File Format Not Recognized"},
        {"info " + dir.file("noise.bin"), "File Format Not Recognized"},
        {"info " + dir.file("missing.wav"), "Cannot open file!"},
        {"convert " + cut(wav, 30, "short2.wav") + " " + dir.file("out.ws"), "Header Corrupt"},
        {"convert " + kit + " " + dir.file("out.wav"), "an instrument is written as .wi or .ii/.iti"},
        {"convert " + sample + " " + dir.file("out.it"), "a sample is written as .ws"},
        {"convert " + song + " " + dir.file("out.ws"), "a module is written as .wm or .it"},
        {"convert " + sample + " " + dir.file("no/such/folder/out.wav"), "Error saving file"},
        {"convert " + sample + " " + dir.file("no/such/folder/out.its"), "Error saving file"},
    };
    for (const Case& c : cases) {
        Run_Result r = run_cli(c.args);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.out;
        EXPECT_TRUE(contains(r.out, c.says)) << c.args << "\n" << r.out;
    }
    for (const char* name : {"out.ws", "out.wav", "out.it"}) EXPECT_FALSE(std::filesystem::exists(dir.file(name)));
    // Nothing is left behind under a temporary name either.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_FALSE(contains(entry.path().filename().string(), "wendmoor-sav")) << entry.path();
}

TEST(CliHelp, EveryCommandAnswersHelpWithItsUsage) {
    Run_Result list = run_cli("--help");
    ASSERT_EQ(list.status, 0);
    std::set<std::string> commands;
    std::istringstream lines(list.out.substr(list.out.find("Commands:")));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first;
        if (line.rfind("  ", 0) == 0 && (words >> first) && first[0] != '-') commands.insert(first);
    }
    for (const char* expected : {"info", "convert", "render", "play", "edit-demo"})
        EXPECT_TRUE(commands.count(expected)) << expected << " is missing from\n" << list.out;
    for (const std::string& command : commands) {
        for (const std::string& args : {command + " --help", command + " some-file -h"}) {
            Run_Result r = run_cli(args);
            EXPECT_EQ(r.status, 0) << args << "\n" << r.out;
            EXPECT_EQ(r.out.rfind("Usage: wendmoor_cli " + command, 0), 0u) << args << "\n" << r.out;
            EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\n'), 3) << args << "\n" << r.out;
        }
    }
    Run_Result render = run_cli("render --help");
    EXPECT_TRUE(contains(render.out, "--per-channel")) << render.out;
    EXPECT_TRUE(contains(render.out, "effect buses")) << render.out;
}
