// What a format cannot hold is said before a save, one line per kind of loss; the native format
// holds everything. Samples are named after their file, never its folder.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/components/audio/effect_amp.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/tracker_instance.h"

namespace {

struct Loss_Case {
    const char* name;
    std::function<void(Tracker_Instance&)> change;
    std::vector<std::string> it_losses;
};

}  // namespace

TEST(SaveLosses, ImpulseTrackerFilesListWhatTheyCannotHold) {
    const std::string long_name(30, 'n');
    const Loss_Case cases[] = {
        {"nothing it cannot hold", [](Tracker_Instance&) {}, {}},
        {"effects on a channel and a buffer",
         [](Tracker_Instance& ti) {
             ti.mixer.get_channel_effect_chain(2)->add_effect(new Effect_Amp);
             ti.mixer.get_channel_effect_chain(2)->add_effect(new Effect_Amp);
             ti.mixer.add_buffer();
             ti.mixer.set_buffer_name(0, "Drums");
             ti.mixer.get_buffer_effect_chain(0)->add_effect(new Effect_Amp);
         },
         {"Effects: 3 effects on mixer channel 2 and on the buffer cannot be kept.",
          "Buffers: 1 buffer (\"Drums\") and what it sends cannot be kept."}},
        {"a channel sent to a buffer",
         [](Tracker_Instance& ti) {
             ti.mixer.add_buffer();
             ti.mixer.set_buffer_name(0, "Verb");
             ti.mixer.set_channel_output_buffer_index(0, 0, 0);
             ti.mixer.set_channel_output_send_level(5, 0, 64);
         },
         {"Buffers: 1 buffer (\"Verb\") and what it sends cannot be kept.",
          "Routing: mixer channels 0 and 5 will send straight to the mixdown again."}},
        {"layers and instrument outputs",
         [](Tracker_Instance& ti) {
             ti.song.get_instrument(2)->layers[1].sample_table[60] = 0;
             ti.song.get_instrument(4)->layers[3].sample_table[10] = 1;
             ti.song.get_instrument(0)->channel_output = 5;
         },
         {"Layers: Impulse Tracker instruments have one layer; layers 2 to 4 of instruments 3 and 5 are dropped.",
          "Mixer channels: instruments will all play through mixer channel 0 (instrument 1 had another)."}},
        {"long names",
         [&](Tracker_Instance& ti) {
             ti.song.get_instrument(1)->name = long_name;
             ti.song.get_sample(0)->name = long_name;
             ti.song.variables.name = long_name;
         },
         {"Title: the song's title is cut to 25 characters.",
          "Names: names are cut to 25 characters (instrument 2).",
          "Names: names are cut to 25 characters (sample 1)."}},
        {"a sample named by its path before names came from file names",
         [](Tracker_Instance& ti) {
             Sample& s = *ti.song.get_sample(1);
             s.name = s.filename = "/home/someone/a long folder name/kicks/kick.wav";
         },
         {}},
        {"channels and vibrato",
         [](Tracker_Instance& ti) {
             Song::Initial_Variables& init = *ti.song.get_initial_variables();
             init.channel[3].mute = true;
             init.channel[3].pan = 10;
             init.channel[7].mute = init.channel[7].surround = true;
             ti.song.get_sample(1)->vibrato_speed = 1000;
         },
         {"Channels: a muted channel keeps no pan (channel 4).",
          "Channels: a surround channel keeps no mute (channel 8).",
          "Vibrato: vibrato sweeps are cut to what Impulse Tracker holds (sample 2)."}},
        {"another format's playback rules",
         [](Tracker_Instance& ti) {
             ti.song.variables.rules = Playback_Rules::of_format(Playback_Rules::Format::S3M);
             ti.song.variables.rules.key_off_cuts_without_envelope = true;
             ti.song.variables.rules.fadeout_scale = Playback_Rules::FADEOUT_SCALE_XM;
         },
         {"Playback: the song's own rules for fade-out scale, key off cuts without envelope, instrument restarts "
          "ended note, instrument swaps sample, shared effect memory, ST3 period limits, pattern loop shared, "
          "pattern change resets loop, jump cancels loop, row repeat taken and arpeggio runs through repeats are "
          "not kept; it will play by Impulse Tracker's and may sound different."}},
    };
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    for (const Loss_Case& c : cases) {
        Tracker_Instance ti;
        build_test_song(ti.song);
        c.change(ti);
        EXPECT_EQ(ti.file_format_manager.get_save_losses("song.it"), c.it_losses) << c.name;
        EXPECT_EQ(ti.file_format_manager.get_save_losses("song.IT"), c.it_losses) << c.name;
        EXPECT_TRUE(ti.file_format_manager.get_save_losses("song.wm").empty()) << c.name;
        EXPECT_TRUE(ti.file_format_manager.get_save_losses("song.xyz").empty()) << c.name;
    }
}

TEST(SaveLosses, SampleAndInstrumentFilesListWhatTheyCannotHold) {
    Tracker_Instance ti;
    build_test_song(ti.song);  // sample 1 loops
    ti.song.get_instrument(0)->layers[2].sample_table[5] = 1;
    File_Format_Manager& files = ti.file_format_manager;
    struct Case {
        const char* file;
        std::vector<std::string> sample, instrument;
    } cases[] = {
        {"tone.wav", {"Loop: WAV files keep no loop: the loop is dropped."}, {}},
        {"tone.raw", {"Settings: raw files hold the frames only: rate, loop and name are not kept."}, {}},
        {"tone.is", {}, {}},
        {"tone.ii", {}, {"Layers: Impulse Tracker instruments have one layer: layers 2 to 4 are dropped."}},
        {"tone.ws", {}, {}},
        {"tone.wi", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(files.get_sample_save_losses(c.file, 0), c.sample) << c.file;
        EXPECT_EQ(files.get_instrument_save_losses(c.file, 0), c.instrument) << c.file;
    }
    EXPECT_TRUE(files.get_sample_save_losses("tone.wav", 1).empty()) << "sample 2 has no loop";
}

// A sample read from "/folder/kick.wav" is "kick", and an Impulse Tracker file gets that name
// and "kick.wav" as its file name; never the folder, whatever the folder is called.
TEST(SaveLosses, SamplesAreNamedAfterTheirFileNotItsFolder) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Tracker_Instance source;
    build_test_song(source.song);
    std::string folder = dir.file("a folder with a long name");
    std::filesystem::create_directory(folder);
    std::string wav = folder + "/kick drum number two.wav";
    ASSERT_EQ(source.file_format_manager.save_sample(wav.c_str(), 0), 0);

    struct Case {
        const char* how;
        std::function<Loader::Error(Tracker_Instance&)> load;
    } cases[] = {
        {"into the song", [&](Tracker_Instance& ti) { return ti.file_format_manager.load_sample(wav.c_str(), 3); }},
        {"through a staging song",
         [&](Tracker_Instance& ti) { return ti.file_format_manager.load_sample_into(wav.c_str(), &ti.song, 3); }},
    };
    for (const Case& c : cases) {
        Tracker_Instance ti;
        ASSERT_EQ(c.load(ti), Loader::SUCCESS) << c.how;
        EXPECT_EQ(ti.song.get_sample(3)->name, "kick drum number two") << c.how;
        EXPECT_EQ(ti.song.get_sample(3)->filename, "kick drum number two.wav") << c.how;
        std::string it = dir.file("named.it");
        testing::internal::CaptureStdout();
        ASSERT_EQ(ti.file_format_manager.save_module(it.c_str()), 0) << c.how;
        testing::internal::GetCapturedStdout();
        std::string bytes = Scratch_Dir::read(it);
        EXPECT_EQ(bytes.find("folder"), std::string::npos) << c.how << ": the folder went into the file";
        EXPECT_NE(bytes.find(std::string("kick drum number two\0", 21)), std::string::npos) << c.how;
        EXPECT_NE(bytes.find("kick drum nu"), std::string::npos) << c.how;
    }

    // A song that still names a sample by its whole path is written as if loaded today.
    Tracker_Instance old;
    build_test_song(old.song);
    old.song.get_sample(0)->name = old.song.get_sample(0)->filename = wav;
    std::string it = dir.file("old.it");
    testing::internal::CaptureStdout();
    ASSERT_EQ(old.file_format_manager.save_module(it.c_str()), 0);
    testing::internal::GetCapturedStdout();
    Tracker_Instance back;
    testing::internal::CaptureStdout();
    ASSERT_EQ(back.file_format_manager.load_module(it.c_str()), Loader::SUCCESS);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(back.song.get_sample(0)->name, "kick drum number two");
}
