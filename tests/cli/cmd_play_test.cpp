#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loaders/it_builder.h"
#include "support/full_disk.h"
#include "support/private_pulse.h"
#include "support/scratch_dir.h"
#include "support/shared_dir.h"
#include "support/test_song.h"
#include "tracker/tracker_instance.h"

namespace {

struct Run_Result {
    int status;
    std::string out;
};

Run_Result run_shell(const std::string& command) {
    Run_Result r{-1, ""};
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Run_Result run_cli(const std::string& args) { return run_shell(std::string(WENDMOOR_CLI_PATH) + " " + args + " 2>&1"); }

// Four rows at speed 3 and tempo 125, the first from frame 0: 4 * 3 * 882 frames at 44100 Hz.
// The song wraps back to its first order at the end, so it ends only after its last row has
// been played.
constexpr int SONG_FRAMES = 4 * 3 * 882;

std::string short_module(int note) {
    IT_Module_Builder layout;
    layout.speed = 3;
    layout.tempo = 125;
    layout.orders = {0, 255};
    IT_Sample_Layout s;
    s.flags = 1 | 2 | 16;  // present, 16-bit, looped
    s.length = 64;
    s.loop_end = 64;
    s.c5 = 22050;
    for (int i = 0; i < 64; i++) {
        int v = (i * 977) % 30000 - 15000;
        s.data += (char)(v & 0xFF);
        s.data += (char)((v >> 8) & 0xFF);
    }
    layout.samples = {s};
    layout.flags = 1 | 8;
    Byte_Builder p;
    p.byte(0x81).byte(0x03).byte((unsigned)note).byte(1).byte(0);  // row 0: note, sample 1
    p.byte(0).byte(0).byte(0);                                        // rows 1..3 empty
    layout.patterns.push_back({4, p.str(), false});
    return layout.build();
}

std::vector<short> wav_data(const std::string& path) {
    std::string bytes = Scratch_Dir::read(path);
    std::vector<short> out;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2)
        out.push_back((short)((unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8)));
    return out;
}

}  // namespace

TEST(CliPlay, ListsDriversAndEffectsWithTheirIdentifiers) {
    Run_Result drivers = run_cli("play --list-drivers");
    EXPECT_EQ(drivers.status, 0) << drivers.out;
    EXPECT_EQ(drivers.out, "0  RtAudio Sound Driver\n1  Dummy Sound Driver\n2  WAV Disk Writer\n");

    Run_Result effects = run_shell("LADSPA_PATH=" WENDMOOR_TEST_LADSPA_DIR " " WENDMOOR_CLI_PATH " play --list-effects 2>&1");
    EXPECT_EQ(effects.status, 0) << effects.out;
    for (const char* id : {"amplifier", "distort", "echo", "stereo_enhancer", "chorus", "freeverb"})
        EXPECT_NE(effects.out.find(std::string("  ") + id + " "), std::string::npos) << id << "\n" << effects.out;
    EXPECT_NE(effects.out.find("Reverb"), std::string::npos);
    EXPECT_NE(effects.out.find("LADSPA ID: 4242002 / SUBINDEX: 1"), std::string::npos) << effects.out;
    EXPECT_NE(effects.out.find("Wendmoor Test Swap (STEREO)"), std::string::npos) << effects.out;
}

// Output devices by name on a private sound server with two more sinks: listed, chosen, and
// refused when there is no such device or the driver plays through none.
TEST(CliPlay, OutputDevicesAreListedAndChosenByName) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Private_Pulse pulse(dir.file("pulse"), {"First", "Second"});
    if (!pulse.started) GTEST_SKIP() << "pulseaudio could not be started here";
    for (const char* sink : {"First", "Second"}) ASSERT_TRUE(pulse.wait_until_recording(4410, 10000, sink));
    const std::string song = dir.file("song.it");
    Scratch_Dir::write(song, short_module(60));

    const struct {
        std::string args;
        int status;
        const char* says;
        const char* heard_by;  // the sink that gets the sound, or null
    } table[] = {
        {"play --list-devices", 0, "default  the system default\n", nullptr},
        {"play --list-devices", 0, "\npulse:Second  PulseAudio, 2 channels\n", nullptr},
        {"play " + song + " --quiet --device second", 0, "", "Second"},
        {"play " + song + " --quiet --device pulse:First", 0, "", "First"},
        {"play " + song + " --device nowhere", 2, "no output device \"nowhere\"", nullptr},
        {"play " + song + " --driver dummy --device First", 2, "only for a driver that plays through a device",
         nullptr},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.args);
        const size_t first_before = pulse.captured("First").size(), second_before = pulse.captured("Second").size();
        Run_Result r = run_cli(row.args);
        EXPECT_EQ(r.status, row.status) << r.out;
        EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
        usleep(300000);  // the recorders catch up
        auto sounding = [&](const char* sink, size_t from) {
            std::vector<short> got = pulse.captured(sink);
            return std::count_if(got.begin() + std::min(from, got.size()), got.end(), [](short v) { return v != 0; });
        };
        const std::string heard = row.heard_by ? row.heard_by : "";
        EXPECT_EQ(sounding("First", first_before) > 1000, heard == "First");
        EXPECT_EQ(sounding("Second", second_before) > 1000, heard == "Second");
    }
}

TEST(CliPlay, BadFilesDriversAndOptionsAreRefusedBeforeAnySound) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string good = dir.file("good.it"), bad = dir.file("bad.it"), out = dir.file("out.wav");
    Scratch_Dir::write(good, short_module(60));
    Scratch_Dir::write(bad, "IMPM this is not a module");

    Run_Result r = run_cli("play " + good + " " + dir.file("missing.it") + " --driver wav --output " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("missing.it"), std::string::npos) << r.out;
    EXPECT_FALSE(std::ifstream(out).good()) << "the driver started although a song failed to load";

    r = run_cli("play " + bad + " --driver dummy");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("bad.it"), std::string::npos) << r.out;

    r = run_cli("play " + good + " --driver jack");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("no sound driver \"jack\""), std::string::npos) << r.out;
    EXPECT_EQ(run_cli("play " + good + " --driver 3").status, 2);
    r = run_cli("play " + good + " --driver 2");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("needs --output"), std::string::npos) << r.out;
    EXPECT_EQ(run_cli("play " + good + " --driver dummy --output " + out).status, 2);
    EXPECT_EQ(run_cli("play " + good + " --rate 5").status, 2);
    EXPECT_EQ(run_cli("play").status, 2);

    // The disk writer cannot open its file: a clear message and a failure status.
    r = run_cli("play " + good + " --driver wav --output /nonexistent-dir/x.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("could not be started"), std::string::npos) << r.out;
}

TEST(CliPlay, DiskWriterRecordsWhatRenderProducesAndTwoSongsAreSummed) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string a = dir.file("a.it"), b = dir.file("b.it");
    Scratch_Dir::write(a, short_module(60));
    Scratch_Dir::write(b, short_module(67));
    for (const std::string& song : {a, b}) {
        Run_Result r = run_cli("render " + song + " -o " + song + ".wav --quiet");
        ASSERT_EQ(r.status, 0) << r.out;
    }
    std::vector<short> rendered_a = wav_data(a + ".wav"), rendered_b = wav_data(b + ".wav");
    ASSERT_EQ(rendered_a.size(), (size_t)SONG_FRAMES * 2) << "render stops where the song does";

    Run_Result r = run_cli("play " + a + " --driver wav --output " + dir.file("one.wav") + " --fast");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(" 0:00 stopped\n"), std::string::npos) << "the status line ends with the song\n" << r.out;
    std::vector<short> one = wav_data(dir.file("one.wav"));
    ASSERT_GE(one.size(), rendered_a.size());
    for (size_t i = 0; i < rendered_a.size(); i++) ASSERT_EQ(one[i], rendered_a[i]) << "sample " << i;

    r = run_cli("play " + a + " " + b + " --driver \"WAV Disk Writer\" --output " + dir.file("two.wav") + " --fast");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(" | 2:"), std::string::npos) << r.out;
    std::vector<short> two = wav_data(dir.file("two.wav"));
    ASSERT_GE(two.size(), rendered_a.size());
    for (size_t i = 0; i < rendered_a.size(); i++)
        ASSERT_EQ(two[i], (short)std::clamp(rendered_a[i] + rendered_b[i], -32768, 32767)) << "sample " << i;
}

// Voice volume ramps follow the song's ticks, not the blocks a driver asks for: the disk
// writer records exactly what render writes, at small, odd and large buffer sizes alike.
void expect_disk_writer_equals_render(const Scratch_Dir& dir, const std::string& song) {
    const std::string rendered_path = dir.file("render.wav");
    Run_Result r = run_cli("render '" + song + "' -o " + rendered_path + " --quiet");
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<short> rendered = wav_data(rendered_path);
    ASSERT_GT(rendered.size(), 44100u) << "render produced under half a second";
    ASSERT_TRUE(std::any_of(rendered.begin(), rendered.end(), [](short v) { return v != 0; }));
    for (int buffer : {256, 1000, 4096}) {
        const std::string recorded_path = dir.file("play" + std::to_string(buffer) + ".wav");
        r = run_cli("play '" + song + "' --driver wav --output " + recorded_path + " --fast --quiet --buffer " +
                    std::to_string(buffer));
        ASSERT_EQ(r.status, 0) << r.out;
        std::vector<short> recorded = wav_data(recorded_path);
        ASSERT_GE(recorded.size(), rendered.size()) << buffer << "-frame buffers: the recording stops early";
        size_t differing = 0, first = rendered.size();
        for (size_t i = 0; i < rendered.size(); i++) {
            if (recorded[i] == rendered[i]) continue;
            if (differing++ == 0) first = i;
        }
        EXPECT_EQ(differing, 0u) << buffer << "-frame buffers: " << differing << " of " << rendered.size()
                                 << " samples differ, the first at frame " << first / 2;
    }
}

TEST(CliPlay, DiskWriterEqualsRenderAtAnyBufferSizeOnABuiltSong) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string song = dir.file("slides.wm");
    {
        Tracker_Instance ti;
        build_test_song(ti.song);
        ASSERT_EQ(ti.file_format_manager.save_module(song.c_str()), 0);
    }
    expect_disk_writer_equals_render(dir, song);
}

TEST(CliPlay, DiskWriterEqualsRenderAtAnyBufferSizeOnACorpusSong) {
    // A song whose recordings used to differ from its render at every one of these sizes.
    const std::string song = shared_dir() + "/corpus/songs/dontyou.xm";
    if (!std::ifstream(song).good()) GTEST_SKIP() << song << " is not here";
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    expect_disk_writer_equals_render(dir, song);
}

TEST(CliPlay, RecordingsOnAFullDiskFailAndKeepTheOldFile) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string song = dir.file("a.it");
    Scratch_Dir::write(song, short_module(60));
    std::filesystem::create_directory(dir.file("disk"));
    Full_Disk disk(dir.file("disk"));
    if (!disk.ok()) GTEST_SKIP() << disk.why();
    const std::string out = disk.file("take.wav");
    const std::string old = "RIFF....WAVE yesterday's take";
    Scratch_Dir::write(out, old);
    ASSERT_TRUE(disk.fill());
    for (const std::string& args : {"render " + song + " -o " + out, "play " + song + " --driver wav --output " + out + " --fast"}) {
        Run_Result r = run_cli(args);
        EXPECT_EQ(r.status, 1) << args << "\n" << r.out;
        EXPECT_NE(r.out.find(out + " failed: No space left on device"), std::string::npos) << args << "\n" << r.out;
        EXPECT_EQ(r.out.find("Wrote"), std::string::npos) << args << "\n" << r.out;
        EXPECT_EQ(Scratch_Dir::read(out), old) << args;
        EXPECT_EQ(disk.entries(), std::vector<std::string>{"take.wav"}) << args;
    }
}

TEST(CliPlay, InterruptStopsCleanly) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string song = dir.file("a.it"), out = dir.file("live.wav");
    Scratch_Dir::write(song, short_module(60));
    // --loop keeps the song playing (paced in real time) until the interrupt arrives.
    Run_Result r = run_shell("(" WENDMOOR_CLI_PATH " play " + song + " --loop --driver wav --output " + out +
                             " & pid=$!; sleep 1; kill -INT $pid; wait $pid; echo \"exit $?\") 2>&1");
    EXPECT_NE(r.out.find("Stopped."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("exit 130"), std::string::npos) << r.out;
    // The file was closed properly: its header describes what was written.
    std::string bytes = Scratch_Dir::read(out);
    ASSERT_GT(bytes.size(), 44u);
    unsigned data = (unsigned char)bytes[40] | ((unsigned char)bytes[41] << 8) | ((unsigned char)bytes[42] << 16) |
                    ((unsigned)(unsigned char)bytes[43] << 24);
    EXPECT_EQ(data, bytes.size() - 44);
    EXPECT_EQ((bytes.size() - 44) % 4, 0u) << "whole stereo frames";
}

// The sound libraries are the biggest part of a process's start-up: the tool links none of
// them, and loads RtAudio's module only to play through a device. Without the module, that
// driver fails with a clear message, the way a missing device does.
TEST(CliPlay, SoundLibrariesAreLoadedOnlyToPlayThroughADevice) {
    Run_Result linked = run_shell("ldd " WENDMOOR_CLI_PATH);
    ASSERT_EQ(linked.status, 0) << linked.out;
    for (const char* library : {"librtaudio", "libpulse", "libasound", "libjack"})
        EXPECT_EQ(linked.out.find(library), std::string::npos) << library << "\n" << linked.out;

    if (std::filesystem::exists(WENDMOOR_INSTALL_MODULE)) GTEST_SKIP() << "an installed module would be found";
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string alone = dir.file("wendmoor_cli"), song = dir.file("a.it");
    std::filesystem::copy_file(WENDMOOR_CLI_PATH, alone);
    Scratch_Dir::write(song, short_module(60));
    Run_Result r = run_shell(alone + " play " + song + " --driver rtaudio --quiet 2>&1");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("wendmoor_rtaudio.so could not be loaded"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("could not be started"), std::string::npos) << r.out;
}
