#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/components/audio/sound_driver_rtaudio.h"
#include "common/components/audio/sound_driver_wav_writer.h"
#include "support/constant_mixer.h"
#include "support/private_pulse.h"

namespace {

std::string scratch_dir(const char* name) {
    auto dir = std::filesystem::temp_directory_path() /
               ("wendmoor_" + std::string(name) + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::vector<unsigned char> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

unsigned le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((unsigned)p[3] << 24); }
unsigned le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

// Records with the disk writer, which shares the mix-down with the device driver.
std::vector<short> record(std::vector<Mixer_Base*> mixers, bool stereo, int blocks, int block_frames) {
    std::string dir = scratch_dir("mixdown");
    Sound_Driver_WAV_Writer writer;
    writer.set_real_time(false);
    writer.set_disk_writer_file(dir + "/out.wav");
    writer.request_mix_frequency(44100);
    writer.request_mix_stereo(stereo);
    writer.request_buffer_size(block_frames);
    EXPECT_EQ(writer.init(), 0);
    writer.set_mixer_list(&mixers);
    for (int i = 0; i < blocks; i++) {
        EXPECT_EQ(writer.process(), 2);
        writer.flush();
    }
    EXPECT_TRUE(writer.finish());
    std::vector<unsigned char> bytes = read_file(dir + "/out.wav");
    std::vector<short> samples;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) samples.push_back((short)le16(&bytes[i]));
    std::filesystem::remove_all(dir);
    return samples;
}

}  // namespace

TEST(DriverMixdown, MixersAreSummedEachRenderedInFull) {
    Constant_Mixer a(1000, -2000, 100), b(30, 40, 7);  // small chunks force the write loop
    std::vector<short> s = record({&a, &b}, true, 3, 256);
    ASSERT_EQ(s.size(), 3u * 256 * 2);
    for (size_t i = 0; i < s.size(); i += 2) {
        ASSERT_EQ(s[i], 1030);
        ASSERT_EQ(s[i + 1], -1960);
    }
    EXPECT_EQ(a.frames_rendered, 3 * 256);
    EXPECT_EQ(b.frames_rendered, 3 * 256);
}

TEST(DriverMixdown, MonoIsHalfTheAverage) {
    Constant_Mixer full(32767, 32767);
    std::vector<short> s = record({&full}, false, 1, 64);
    ASSERT_EQ(s.size(), 64u);
    // ((l >> 2) + (r >> 2)) >> 16 of full scale: half scale.
    for (short v : s) ASSERT_EQ(v, 16383);
}

TEST(DriverMixdown, SumSaturatesInsteadOfWrapping) {
    Constant_Mixer a(30000, -30000), b(30000, -30000);
    std::vector<short> s = record({&a, &b}, true, 1, 32);
    ASSERT_EQ(s.size(), 64u);
    for (size_t i = 0; i < s.size(); i += 2) {
        EXPECT_EQ(s[i], 32767);
        EXPECT_EQ(s[i + 1], -32768);
    }
}

TEST(DriverMixdown, NoMixersIsSilence) {
    std::vector<short> s = record({}, true, 2, 128);
    ASSERT_EQ(s.size(), 512u);
    for (short v : s) ASSERT_EQ(v, 0);
}

TEST(WavDiskWriter, WritesAValidWaveFile) {
    std::string dir = scratch_dir("wavwriter");
    Constant_Mixer ramp(Constant_Mixer::RAMP, Constant_Mixer::RAMP);
    std::vector<Mixer_Base*> mixers{&ramp};
    Sound_Driver_WAV_Writer writer;
    EXPECT_TRUE(writer.does_perform_disk_write());
    EXPECT_EQ(writer.get_disk_writer_extension(), "wav");
    EXPECT_EQ(writer.get_name(), "WAV Disk Writer");
    writer.set_disk_writer_file(dir + "/take.wav");
    EXPECT_EQ(writer.get_disk_writer_file(), dir + "/take.wav");
    writer.request_mix_frequency(22050);
    writer.request_mix_stereo(true);
    writer.request_buffer_size(512);
    // Paced like a device: 20 blocks of 512 frames at 22050 Hz take at least 0.46 s from the start.
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(writer.init(), 0);
    writer.set_mixer_list(&mixers);
    for (int i = 0; i < 20; i++) {
        writer.process();
        writer.flush();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 20 * 512 / 22050.0 - 0.001);
    ASSERT_TRUE(writer.finish());
    EXPECT_FALSE(writer.finish());

    std::vector<unsigned char> f = read_file(dir + "/take.wav");
    ASSERT_EQ(f.size(), 44u + 20 * 512 * 4);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
    EXPECT_EQ(le32(&f[4]), f.size() - 8);
    EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(&f[16]), 16u);
    EXPECT_EQ(le16(&f[20]), 1u);
    EXPECT_EQ(le16(&f[22]), 2u);
    EXPECT_EQ(le32(&f[24]), 22050u);
    EXPECT_EQ(le32(&f[28]), 22050u * 4);
    EXPECT_EQ(le16(&f[32]), 4u);
    EXPECT_EQ(le16(&f[34]), 16u);
    EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
    EXPECT_EQ(le32(&f[40]), 20u * 512 * 4);
    for (int n = 0; n < 20 * 512; n++) {
        short expected = (short)(Constant_Mixer::value_at(Constant_Mixer::RAMP, n) >> 16);
        ASSERT_EQ((short)le16(&f[44 + n * 4]), expected) << "frame " << n;
    }
    std::filesystem::remove_all(dir);
}

TEST(WavDiskWriter, RefusesToStartWithoutAWritableFile) {
    Sound_Driver_WAV_Writer writer;
    writer.request_mix_frequency(44100);
    testing::internal::CaptureStdout();
    EXPECT_EQ(writer.init(), -2);
    writer.set_disk_writer_file("/nonexistent-dir/take.wav");
    EXPECT_EQ(writer.init(), -2);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("No file set"), std::string::npos);
    EXPECT_NE(out.find("Cannot open /nonexistent-dir/take.wav"), std::string::npos);
    EXPECT_FALSE(writer.is_active());
    EXPECT_EQ(writer.process(), 1);
}

// The real device path: RtAudio plays into a private PulseAudio server that records what
// reached the device; the recording must hold the rendered signal sample for sample.
TEST(RtAudioDriver, WhatReachesTheDeviceIsWhatWasRendered) {
    std::string dir = scratch_dir("pulse");
    Private_Pulse pulse(dir);
    if (!pulse.started) GTEST_SKIP() << "pulseaudio could not be started here";
    Constant_Mixer ramp(Constant_Mixer::RAMP, Constant_Mixer::RAMP);
    std::vector<Mixer_Base*> mixers{&ramp};
    Sound_Driver_RtAudio driver;
    EXPECT_EQ(driver.get_name(), "RtAudio Sound Driver");
    EXPECT_EQ(driver.get_mix_buffer_size(), 4096);
    driver.request_mix_frequency(44100);
    driver.request_mix_stereo(true);
    driver.request_buffer_size(1024);
    ASSERT_EQ(driver.init(), 0);
    ASSERT_TRUE(driver.is_active());
    driver.set_mixer_list(&mixers);
    const int blocks = 60;
    for (int i = 0; i < blocks; i++) {
        ASSERT_EQ(driver.process(), 2);
        driver.flush();
    }
    usleep(300000);  // let the server's recorder catch up before the stream closes
    EXPECT_TRUE(driver.finish());
    EXPECT_FALSE(driver.is_active());
    usleep(200000);
    pulse.stop();

    std::vector<short> got = pulse.captured();
    size_t first = 0;
    while (first < got.size() && got[first] == 0) first++;
    ASSERT_LT(first, got.size()) << "nothing but silence reached the device";
    // Find where in the ramp the recording starts (ramp values are unique within 2000 frames).
    long long frames = (long long)(got.size() - first) / 2;
    int rendered = blocks * driver.get_device_buffer_frames();
    ASSERT_GE(frames, rendered / 2) << "too little reached the device";
    int start_value = got[first];
    long long offset = start_value + 1000;
    long long compared = 0;
    for (long long n = 0; n < std::min<long long>(frames, rendered - offset) - 8; n++) {
        short expected = (short)(Constant_Mixer::value_at(Constant_Mixer::RAMP, offset + n) >> 16);
        ASSERT_EQ(got[first + n * 2], expected) << "frame " << n;
        ASSERT_EQ(got[first + n * 2 + 1], expected) << "frame " << n;
        compared++;
    }
    EXPECT_GT(compared, rendered / 2);
    std::error_code ignored;  // the stopped server may still be writing its log
    std::filesystem::remove_all(dir, ignored);
}

TEST(RtAudioDriver, OpenFailureLeavesDriverInactive) {
    // No sound server and no card: the open fails the way it does on a machine without audio.
    std::string dir = scratch_dir("no_device");
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir + "/nothing-here").c_str(), 1);
    Sound_Driver_RtAudio driver;
    driver.request_mix_frequency(44100);
    driver.request_mix_stereo(true);
    driver.request_buffer_size(1024);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int r = driver.init();
    std::string out = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    unsetenv("PULSE_SERVER");
    if (old) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(dir);
    if (r == 0) {
        driver.finish();
        GTEST_SKIP() << "this machine has an audio device outside the sound server";
    }
    EXPECT_EQ(r, -2);
    EXPECT_FALSE(driver.is_active());
    EXPECT_FALSE(out.empty()) << "RtAudio's message is printed";
    EXPECT_EQ(driver.get_last_error().find("could not be loaded"), std::string::npos) << "RtAudio's module was found";
    EXPECT_FALSE(driver.get_last_error().empty()) << "and kept for the windows to show";
    EXPECT_EQ(driver.process(), 1);
    EXPECT_FALSE(driver.finish());
}

namespace {

// How many samples of each recording, from the given offsets on, are not silence.
std::vector<size_t> sounding_since(const Private_Pulse& pulse, const std::vector<std::string>& sinks,
                                   const std::vector<size_t>& from) {
    std::vector<size_t> counts;
    for (size_t i = 0; i < sinks.size(); i++) {
        std::vector<short> got = pulse.captured(sinks[i]);
        size_t count = 0;
        for (size_t n = std::min(from[i], got.size()); n < got.size(); n++) count += got[n] != 0;
        counts.push_back(count);
    }
    return counts;
}

}  // namespace

// Two more sinks beside the server's default one: the device chosen by name gets the sound and
// the others silence; a chosen device that is not there gives way to the default, saying so.
TEST(RtAudioDriver, TheChosenDeviceReceivesTheSound) {
    std::string dir = scratch_dir("pulse_devices");
    Private_Pulse pulse(dir, {"First", "Second"});
    if (!pulse.started) GTEST_SKIP() << "pulseaudio could not be started here";
    const std::vector<std::string> sinks = {"", "First", "Second"};  // "" is the default sink
    for (const std::string& sink : sinks) ASSERT_TRUE(pulse.wait_until_recording(4410, 10000, sink)) << sink;

    Sound_Driver_RtAudio driver;
    ASSERT_TRUE(driver.can_choose_output_device());
    std::vector<Audio_Output_Device_Info> listed = driver.list_output_devices();
    for (const char* name : {"First", "Second"}) {
        auto found = std::find_if(listed.begin(), listed.end(), [&](const Audio_Output_Device_Info& info) {
            return info.device == Audio_Output_Device{"pulse", name};
        });
        ASSERT_NE(found, listed.end()) << name << " is not listed";
        EXPECT_EQ(found->api_display_name, "PulseAudio");
        EXPECT_EQ(found->channels, 2);
    }

    const struct {
        Audio_Output_Device choice;
        int sounding;  // index into sinks
        bool notice;
    } table[] = {
        {{"pulse", "First"}, 1, false},
        {{"pulse", "Second"}, 2, false},
        {{}, 0, false},                     // the system default
        {{"pulse", "Unplugged"}, 0, true},  // not there: the default, with a notice
        {{"nonsense", "Second"}, 0, true},  // a back end this build does not have
    };
    for (const auto& row : table) {
        SCOPED_TRACE(describe_audio_output_device(row.choice));
        std::vector<size_t> before;
        for (const std::string& sink : sinks) before.push_back(pulse.captured(sink).size());
        Constant_Mixer tone(9000, -9000);
        std::vector<Mixer_Base*> mixers{&tone};
        driver.request_mix_frequency(44100);
        driver.request_mix_stereo(true);
        driver.request_buffer_size(1024);
        driver.request_output_device(row.choice);
        testing::internal::CaptureStderr();
        ASSERT_EQ(driver.init(), 0) << driver.get_last_error();
        std::string said = testing::internal::GetCapturedStderr();
        driver.set_mixer_list(&mixers);
        for (int i = 0; i < 30; i++) {
            ASSERT_EQ(driver.process(), 2);
            driver.flush();
        }
        usleep(300000);
        EXPECT_TRUE(driver.finish());
        usleep(300000);  // the recorders catch up

        std::vector<size_t> sounding = sounding_since(pulse, sinks, before);
        for (size_t i = 0; i < sinks.size(); i++) {
            if ((int)i == row.sounding)
                EXPECT_GT(sounding[i], 20000u) << "sink \"" << sinks[i] << "\" heard too little";
            else
                EXPECT_EQ(sounding[i], 0u) << "sink \"" << sinks[i] << "\" heard something";
        }
        if (row.notice) {
            EXPECT_NE(driver.get_notice().find("\"" + row.choice.name + "\""), std::string::npos) << driver.get_notice();
            EXPECT_NE(driver.get_notice().find("system default"), std::string::npos);
            EXPECT_NE(said.find(driver.get_notice()), std::string::npos) << "said on stderr: " << said;
        } else {
            EXPECT_EQ(driver.get_notice(), "");
        }
        EXPECT_EQ(driver.get_output_device(), row.choice) << "the choice is kept";
    }
    pulse.stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
