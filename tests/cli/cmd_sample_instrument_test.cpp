#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/byte_builder.h"
#include "support/cli_run.h"
#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

// info and convert on sample and instrument files, and every command's --help.

namespace {

struct Sample_Shape {
    const char* name;
    int frames;
    bool sixteen_bit;
    int rate;
    bool ping_pong;
    int loop_begin, loop_end;
};
const Sample_Shape PAD{"pad", 1000, true, 22050, false, 100, 900};
const Sample_Shape SNARE{"snare", 333, false, 8363, true, 10, 300};

// Looped; the data a saw with an odd step, so a byte out of place shows.
void fill_sample(Sample& sample, const Sample_Shape& shape) {
    int bytes = shape.frames * (shape.sixteen_bit ? 2 : 1);
    auto* block = (unsigned char*)std::malloc(bytes);
    for (int i = 0; i < bytes; i++) block[i] = (unsigned char)(i * 37 + 11);
    sample.data.set_data_ptr(block, shape.frames, shape.sixteen_bit);
    sample.data.set_c5_freq(shape.rate);
    sample.data.set_loop_enabled(true);
    sample.data.set_loop_ping_pong(shape.ping_pong);
    sample.data.set_loop_begin(shape.loop_begin);
    sample.data.set_loop_end(shape.loop_end);
    sample.name = shape.name;
    sample.in_use = true;
}

void expect_sample(const Sample& got, const Sample_Shape& want, bool loop_kept) {
    Sample expected;
    fill_sample(expected, want);
    if (!loop_kept) expected.data.set_loop_enabled(false);
    const Sample_Data &g = got.data, &e = expected.data;
    ASSERT_EQ(g.get_size(), e.get_size());
    EXPECT_EQ(g.is_16bit(), e.is_16bit());
    EXPECT_EQ(g.get_c5_freq(), e.get_c5_freq());
    EXPECT_EQ(g.is_loop_enabled(), e.is_loop_enabled());
    if (loop_kept) {
        EXPECT_EQ((std::vector<int>{g.is_loop_ping_pong(), g.get_loop_begin(), g.get_loop_end()}),
                  (std::vector<int>{e.is_loop_ping_pong(), e.get_loop_begin(), e.get_loop_end()}));
    }
    EXPECT_EQ(std::memcmp(g.get_data_ptr(), e.get_data_ptr(), e.get_byte_size()), 0);
}

std::string info_block(const Sample_Shape& s, bool loop_kept) {
    std::ostringstream text;
    text << "Frames:          " << s.frames << "\nRate:            " << s.rate << " Hz at C-5\nBits:            "
         << (s.sixteen_bit ? 16 : 8) << "\nChannels:        1\nLoop:            ";
    if (loop_kept) text << (s.ping_pong ? "ping-pong " : "forward ") << s.loop_begin << "-" << s.loop_end << "\n";
    else text << "off\n";
    return text.str();
}

// "Kit": C-0..B-4 play PAD, C-5..B-9 SNARE; a three-node volume envelope looping over two.
void build_kit(Tracker_Instance& ti) {
    fill_sample(ti.song.sample[0], PAD);
    fill_sample(ti.song.sample[1], SNARE);
    ti.song.instrument[0].name = "Kit";
    Instrument::Layer& layer = ti.song.instrument[0].layers[0];
    for (int n = 0; n < NOTE_COUNT; n++) layer.sample_table[n] = n < 60 ? 0 : 1;
    Envelope& env = layer.volume_envelope;
    env.reset();
    for (auto [offset, height] : {std::pair{0, 64}, {10, 32}, {30, 0}}) env.add_node_at_offset(offset, height);
    env.set_enabled(true);
    env.set_loop_enabled(true);
    env.set_loop_begin(0);
    env.set_loop_end(1);
}

// A FastTracker 2 instrument: one 8-bit sample of four frames, a two-node volume envelope.
std::string xi_file() {
    Byte_Builder b;
    b.text("Extended Instrument: ").text("Bell", 22).u8(0x1A).text("Wendmoor Tests", 20).u16(0x0102);
    b.fill(96).u16(0).u16(64).u16(20).u16(0).fill(40 + 48);  // keyboard, volume and panning points
    b.u8(2).u8(0).fill(6).u8(1).u8(0).fill(4).u16(0x100).u16(0).fill(20).u16(1);
    b.u32(4).u32(0).u32(0).u8(64).u8(0).u8(0).u8(128).u8(0).u8(0).text("ding", 22).u8(10).u8(5).u8(5).u8(5);
    return b.bytes;
}

}  // namespace

TEST(CliSampleFiles, ConvertThroughEachSampleFormatKeepsFramesRateAndLoop) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::pair<const char*, bool> formats[] = {{".ws", true}, {".is", true}, {".ITS", true}, {".wav", false}};
    for (const Sample_Shape& shape : {PAD, SNARE}) {
        std::string source = dir.file(std::string(shape.name) + ".ws");
        {
            Tracker_Instance ti;
            fill_sample(ti.song.sample[0], shape);
            ASSERT_EQ(ti.file_format_manager.save_sample(source.c_str(), 0), 0);
        }
        for (auto [extension, keeps_loop] : formats) {
            SCOPED_TRACE(std::string(shape.name) + extension);
            std::string middle = dir.file(std::string("mid") + extension), back = dir.file("back.ws");
            Cli_Run there("convert " + source + " " + middle);
            ASSERT_EQ(there.status, 0) << there.out;
            EXPECT_EQ(there.says("the loop is dropped"), !keeps_loop) << there.out;
            Cli_Run info("info " + middle);
            EXPECT_EQ(info.status, 0);
            EXPECT_TRUE(info.says(" sample\nName:") && info.says(info_block(shape, keeps_loop))) << info.out;
            ASSERT_EQ(Cli_Run("convert " + middle + " " + back).status, 0);
            Tracker_Instance ti;
            ASSERT_EQ(ti.file_format_manager.load_sample(back.c_str(), 0), Loader::SUCCESS);
            expect_sample(ti.song.sample[0], shape, keeps_loop);
        }
        // Raw holds the frames as held and nothing else.
        Cli_Run raw("convert " + source + " " + dir.file("out.raw"));
        EXPECT_TRUE(raw.status == 0 && raw.says("raw files hold the frames only")) << raw.out;
        Sample s;
        fill_sample(s, shape);
        EXPECT_EQ(Scratch_Dir::read(dir.file("out.raw")),
                  std::string((const char*)s.data.get_data_ptr(), s.data.get_byte_size()));
    }
}

TEST(CliInstrumentFiles, InfoListsLayersAndConvertRoundTrips) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string kit = dir.file("kit.wi"), pad = dir.file("pad.ws"), xi = dir.file("bell.xi");
    {
        Tracker_Instance ti;
        build_kit(ti);
        ASSERT_EQ(ti.file_format_manager.save_instrument(kit.c_str(), 0), 0);
        ASSERT_EQ(ti.file_format_manager.save_sample(pad.c_str(), 0), 0);
    }
    for (const char* extension : {".wi", ".ii", ".iti"}) {
        SCOPED_TRACE(extension);
        std::string middle = dir.file(std::string("mid") + extension), back = dir.file("back.wi");
        ASSERT_EQ(Cli_Run("convert " + kit + " " + middle).status, 0);
        Cli_Run info("info " + middle);
        EXPECT_EQ(info.status, 0);
        EXPECT_TRUE(info.says(" instrument\nName:            Kit\nLayer 1:         samples 1 C-0..B-4, 2 C-5..B-9\n"))
            << info.out;
        EXPECT_TRUE(info.says("Volume envelope:  3 nodes, loop 0-1, 30 ticks\n    Panning envelope: off\n")) << info.out;
        EXPECT_TRUE(info.says("   1 pad ") && info.says("   2 snare ") && !info.says("Layer 2")) << info.out;

        ASSERT_EQ(Cli_Run("convert " + middle + " " + back).status, 0);
        Tracker_Instance ti;
        ASSERT_EQ(ti.file_format_manager.load_instrument(back.c_str(), 0), Loader::SUCCESS);
        const Instrument::Layer& layer = ti.song.instrument[0].layers[0];
        EXPECT_EQ(ti.song.instrument[0].name, "Kit");
        EXPECT_EQ(layer.volume_envelope.get_node_count(), 3);
        int low = layer.sample_table[59], high = layer.sample_table[60];
        ASSERT_TRUE(low < Song::MAX_SAMPLES && high < Song::MAX_SAMPLES);
        EXPECT_TRUE(layer.sample_table[0] == low && layer.sample_table[119] == high);
        expect_sample(ti.song.sample[low], PAD, true);
        expect_sample(ti.song.sample[high], SNARE, true);
    }
    // An XI is read, not written; a lone sample saved under an instrument name becomes one.
    Scratch_Dir::write(xi, xi_file());
    Cli_Run info("info " + xi);
    EXPECT_TRUE(info.says("FastTracker 2 instrument\nName:            Bell\nLayer 1:         samples 1 ")) << info.out;
    EXPECT_TRUE(info.says("Volume envelope:  2 nodes, 20 ticks\n")) << info.out;
    EXPECT_TRUE(info.says("   1 ding                       length 4, 8-bit")) << info.out;
    EXPECT_EQ(Cli_Run("convert " + xi + " " + dir.file("bell.wi")).status, 0);
    EXPECT_TRUE(Cli_Run("info " + dir.file("bell.wi")).says("Name:            Bell\n"));
    EXPECT_EQ(Cli_Run("convert " + pad + " " + dir.file("pad.iti")).status, 0);
    EXPECT_TRUE(Cli_Run("info " + dir.file("pad.iti")).says("Name:            pad\nLayer 1:         samples 1 C-0..B-9\n"));
}

TEST(CliSampleFiles, BrokenFilesAndImpossiblePairsFailAndWriteNothing) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string sample = dir.file("pad.ws"), wav = dir.file("pad.wav"), kit = dir.file("kit.wi"), song = dir.file("s.it");
    {
        Tracker_Instance ti;
        build_kit(ti);
        for (const std::string& file : {sample, wav}) ASSERT_EQ(ti.file_format_manager.save_sample(file.c_str(), 0), 0);
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
    const std::pair<std::string, const char*> cases[] = {
        {"info " + cut(wav, 30, "short.wav"), "Header Corrupt"},
        {"info " + cut(sample, 40, "short.ws"), "File Format Not Recognized"},
        {"info " + cut(kit, 200, "short.wi"), "File Format Not Recognized"},
        {"info " + dir.file("noise.bin"), "File Format Not Recognized"},
        {"info " + dir.file("missing.wav"), "Cannot open file!"},
        {"convert " + dir.file("short.wav") + " " + dir.file("out.ws"), "Header Corrupt"},
        {"convert " + kit + " " + dir.file("out.wav"), "an instrument is written as .wi or .ii/.iti"},
        {"convert " + sample + " " + dir.file("out.it"), "a sample is written as .ws"},
        {"convert " + song + " " + dir.file("out.ws"), "a module is written as .wm or .it"},
        {"convert " + sample + " " + dir.file("no/folder/out.wav"), "Error saving file"},
        {"convert " + sample + " " + dir.file("no/folder/out.its"), "Error saving file"},
    };
    for (const auto& [args, says] : cases) {
        Cli_Run r(args);
        EXPECT_TRUE(r.status == 1 && r.says(says)) << args << "\n" << r.out;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_TRUE(entry.path().filename().string().rfind("out.", 0) != 0 &&
                    entry.path().string().find("wendmoor-sav") == std::string::npos)
            << entry.path();
}

TEST(CliHelp, EveryCommandAnswersHelpWithItsUsage) {
    Cli_Run list("--help");
    ASSERT_EQ(list.status, 0);
    std::istringstream lines(list.out.substr(list.out.find("Commands:")));
    std::vector<std::string> commands;
    for (std::string line, first; std::getline(lines, line);)
        if (line.rfind("  ", 0) == 0 && (std::istringstream(line) >> first) && first[0] != '-') commands.push_back(first);
    EXPECT_EQ(commands, (std::vector<std::string>{"convert", "edit-demo", "info", "play", "render"}));
    for (const std::string& command : commands)
        for (const std::string& args : {command + " --help", command + " some-file -h"}) {
            Cli_Run r(args);
            EXPECT_EQ(r.status, 0) << args;
            EXPECT_TRUE(r.out.rfind("Usage: wendmoor_cli " + command, 0) == 0 && std::count(r.out.begin(), r.out.end(), '\n') > 3)
                << args << "\n" << r.out;
        }
    EXPECT_TRUE(Cli_Run("render --help").says("effect buses (chorus, reverb, LADSPA plug-ins on buses)"));
}
