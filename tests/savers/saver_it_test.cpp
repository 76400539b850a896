#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <string>
using namespace std::string_literals;

#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "support/song_compare.h"
#include "support/shared_dir.h"
#include "tracker/tracker_instance.h"

namespace {

unsigned byte_at(const std::string& s, size_t at) { return (unsigned char)s[at]; }
unsigned word_at(const std::string& s, size_t at) { return byte_at(s, at) | byte_at(s, at + 1) << 8; }
unsigned dword_at(const std::string& s, size_t at) { return word_at(s, at) | word_at(s, at + 2) << 16; }

class SaverIT : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }

    std::string save_song(const std::string& name = "song.it") {
        std::string path = dir.file(name);
        EXPECT_EQ(ti.file_format_manager.save_module(path.c_str()), 0);
        return Scratch_Dir::read(path);
    }

    // A song with something in every field the format carries.
    void fill_song() {
        Song& s = ti.song;
        Song::Song_Variables& v = *s.get_variables();
        v.name = "Round trip";
        v.message = "first line\nsecond line";
        v.row_hilight_minor = 3;
        v.row_hilight_major = 12;
        v.mixing_volume = 90;
        v.stereo_separation = 100;
        v.use_stereo = false;
        v.rules.use_linear_slides = false;
        v.rules.old_effects = true;
        v.rules.compatible_gxx = true;
        v.midi_config.set_text(Midi_Config::FIRST_PARAMETERED + 3, "F0F001z");
        v.midi_config.set_text(Midi_Config::FIRST_FIXED + 127, std::string(32, 'B'));
        Song::Initial_Variables& init = *s.get_initial_variables();
        init.global_volume = 99;
        init.speed = 4;
        init.tempo = 140;
        init.channel[1].pan = 5;
        init.channel[2].mute = true;
        init.channel[2].pan = 32;
        init.channel[3].surround = true;
        init.channel[4].volume = 20;
        s.set_order(0, 0);
        s.set_order(1, 253);
        s.set_order(2, 1);
        s.set_order(3, 150);
        Pattern& p = *s.get_pattern(0);
        p.set_length(48);
        p.get_note_ref(0, 0) = Note{48, 0, 64, 0, 6};
        p.get_note_ref(0, 1) = Note{48, 0, 64, 0, 6};
        p.get_note_ref(0, 2) = Note{NOTE_OFF, 255, 255, 255, 0};
        p.get_note_ref(63, 47) = Note{NOTE_CUT, 98, 200, 25, 0xFF};
        p.get_note_ref(62, 47) = Note{NOTE_FADE, 255, 255, 255, 0};
        p.get_note_ref(5, 10) = Note{255, 255, 255, 255, 0x10};
        p.get_note_ref(6, 10) = Note{119, 1, 128, 7, 0};
        p.get_note_ref(0, 0);
        s.get_pattern(1)->set_length(32);  // empty, but its length matters
        Sample& a = *s.get_sample(0);
        a.in_use = true;
        a.name = "eight bit";
        a.def_volume = 33, a.glb_volume = 44, a.def_panning_active = true, a.def_panning = 12;
        a.vibrato_type = 1, a.vibrato_speed = 2, a.vibrato_depth = 3, a.vibrato_rate = 4;
        signed char* f8 = (signed char*)std::malloc(5);
        for (int i = 0; i < 5; i++) f8[i] = (signed char)(i * 50 - 100);
        a.data.set_data_ptr(f8, 5, false);
        a.data.set_loop_enabled(true);
        a.data.set_loop_ping_pong(true);
        a.data.set_loop_begin(1);
        a.data.set_loop_end(4);
        a.data.set_c5_freq(22050);
        Sample& b = *s.get_sample(3);
        b.in_use = true;
        b.name = "sixteen";
        short* f16 = (short*)std::malloc(6);
        f16[0] = 1, f16[1] = -2, f16[2] = 32767;
        b.data.set_data_ptr(f16, 3, true);
        b.data.set_c5_freq(8363);
        Instrument& ins = *s.get_instrument(1);
        ins.name = "layered";
        Instrument::Layer& l = ins.layers[0];
        for (int n = 0; n < NOTE_COUNT; n++) l.sample_table[n] = n < 60 ? 0 : 3;
        l.note_table[61] = 73;
        l.nna_type = 2, l.dc_type = 3, l.dc_action = 1;
        l.volume_amount = 77, l.volume_fadeout = 256, l.volume_random = 9;
        l.pan_use_default = true, l.pan_default = 60, l.pan_random = 8;
        l.pitch_separation = -20, l.pitch_center = 70;
        l.pitch_use_as_filter = true, l.pitch_use_default_cutoff = true, l.pitch_default_cutoff = 100;
        l.pitch_use_default_Q = true, l.pitch_default_Q = 50;
        l.volume_envelope.set_enabled(true);
        l.volume_envelope.add_node_at_offset(10, 30);
        l.volume_envelope.set_sustain_loop_enabled(true);
        l.volume_envelope.set_sustain_loop_begin(1);
        l.volume_envelope.set_sustain_loop_end(2);
        l.panning_envelope.set_loop_enabled(true);
        l.panning_envelope.set_carry_enabled(true);
        l.panning_envelope.set_node_offset(1, 20, -32);
        l.panning_envelope.set_loop_end(1);
        l.pitch_envelope.set_node_offset(1, 40, 16);
    }

    Scratch_Dir dir;
    Tracker_Instance ti;
};

}  // namespace

TEST_F(SaverIT, ClaimsItsNamesOnly) {
    EXPECT_EQ(ti.saver_it.save(dir.file("a.IT").c_str()), 0);
    EXPECT_EQ(ti.saver_it.save(dir.file("a.It").c_str()), 0);
    EXPECT_EQ(ti.saver_it.save(".it"), -2);
    EXPECT_EQ(ti.saver_it.save("a.itx"), -2);
    EXPECT_EQ(ti.saver_it.save_sample(dir.file("a.IS").c_str(), 0), 0);
    EXPECT_EQ(ti.saver_it.save_sample(dir.file("a.Is").c_str(), 0), -2);
    EXPECT_EQ(ti.saver_it.save_sample(".is", 0), -2);
    EXPECT_EQ(ti.saver_it.save_instrument(dir.file("a.ii").c_str(), 0), 0);
    EXPECT_EQ(ti.saver_it.save_instrument(dir.file("a.wi").c_str(), 0), -2);
    EXPECT_EQ(ti.saver_it.save_sample(dir.file("b.is").c_str(), 99), -1);
    EXPECT_EQ(ti.saver_it.save(dir.file("no/dir/a.it").c_str()), -1);
}

TEST_F(SaverIT, HeaderLayout) {
    Song& s = ti.song;
    s.get_variables()->name = std::string(40, 'T');
    s.set_order(0, 0);
    s.set_order(1, 1);
    s.set_order(3, 253);
    s.get_sample(4)->in_use = true;
    s.get_initial_variables()->channel[7].mute = true;
    s.get_initial_variables()->channel[7].pan = 10;
    s.get_variables()->message = "hi";
    std::string f = save_song();
    EXPECT_EQ(f.substr(0, 4), "IMPM");
    EXPECT_EQ(f.substr(4, 26), std::string(25, 'T') + '\0');
    EXPECT_EQ(byte_at(f, 30), 4u);
    EXPECT_EQ(byte_at(f, 31), 16u);
    EXPECT_EQ(word_at(f, 32), 5u);  // orders 0, 1, 255, 253 written as 254, then 255
    EXPECT_EQ(word_at(f, 34), 1u);
    EXPECT_EQ(word_at(f, 36), 5u);
    EXPECT_EQ(word_at(f, 38), 1u);
    EXPECT_EQ(word_at(f, 40), 0x0214u);
    EXPECT_EQ(word_at(f, 42), 0x0214u);
    EXPECT_EQ(word_at(f, 44), 1u | 4u | 8u | 128u);  // 128: play the macros in the file
    EXPECT_EQ(word_at(f, 46), 1u | 8u);             // a message, and the macros after the tables
    EXPECT_EQ(byte_at(f, 48), 128u);
    EXPECT_EQ(byte_at(f, 49), 48u);
    EXPECT_EQ(byte_at(f, 50), 6u);
    EXPECT_EQ(byte_at(f, 51), 125u);
    EXPECT_EQ(byte_at(f, 52), 128u);
    EXPECT_EQ(word_at(f, 54), 3u);
    EXPECT_EQ(byte_at(f, 64 + 7), 128u);
    EXPECT_EQ(byte_at(f, 64 + 8), 32u);
    EXPECT_EQ(byte_at(f, 128), 64u);
    EXPECT_EQ(f.substr(192, 5), std::string("\x00\x01\xFF\xFE\xFF", 5));
    unsigned tables = 197;
    unsigned macros = tables + 4 * (1 + 5 + 1);
    EXPECT_EQ(f.substr(macros, 3), "FF\0"s);
    EXPECT_EQ(f.substr(macros + 32 * Midi_Config::FIRST_PARAMETERED, 8), "F0F000z\0"s);
    EXPECT_EQ(f.substr(macros + 32 * (Midi_Config::FIRST_FIXED + 1), 9), "F0F00108\0"s);
    unsigned message = dword_at(f, 56);
    EXPECT_EQ(message, macros + Midi_Config::FILE_BYTES);
    EXPECT_EQ(f.substr(message, 3), std::string("hi\0", 3));
    unsigned instrument = dword_at(f, tables);
    EXPECT_EQ(f.substr(instrument, 4), "IMPI");
    for (int i = 0; i < 5; i++) {
        unsigned sample = dword_at(f, tables + 4 + 4 * i);
        EXPECT_EQ(f.substr(sample, 4), "IMPS") << i;
        EXPECT_EQ(byte_at(f, sample + 18) & 1u, i == 4 ? 1u : 0u) << i;
    }
    unsigned pattern = dword_at(f, tables + 24);
    EXPECT_EQ(word_at(f, pattern), 64u);  // 64 empty rows, one 0 byte each
    EXPECT_EQ(word_at(f, pattern + 2), 64u);
}

TEST_F(SaverIT, OnlyEmptyOrdersWriteOneTerminator) {
    std::string f = save_song();
    EXPECT_EQ(word_at(f, 32), 1u);
    EXPECT_EQ(byte_at(f, 192), 255u);
    EXPECT_EQ(word_at(f, 46), 8u);  // no message, only the macros
}

TEST_F(SaverIT, SampleFileLayout) {
    Sample& s = *ti.song.get_sample(2);
    s.in_use = true;
    s.name = "drum";
    s.def_panning = 20;
    short* frames = (short*)std::malloc(4);
    frames[0] = 1, frames[1] = -2;
    s.data.set_data_ptr(frames, 2, true);
    s.data.set_loop_enabled(true);
    s.data.set_loop_begin(0);
    s.data.set_loop_end(2);
    s.data.set_c5_freq(11025);
    std::string path = dir.file("drum.is");
    ASSERT_EQ(ti.file_format_manager.save_sample(path.c_str(), 2), 0);
    std::string f = Scratch_Dir::read(path);
    ASSERT_EQ(f.size(), 84u);
    EXPECT_EQ(f.substr(0, 4), "IMPS");
    EXPECT_EQ(f.substr(4, 12), "XXXXXXXX.YYY");
    EXPECT_EQ(byte_at(f, 18), 1u | 2u | 16u);
    EXPECT_EQ(f.substr(20, 5), "drum\0"s);
    EXPECT_EQ(byte_at(f, 46), 1u);
    EXPECT_EQ(byte_at(f, 47), 20u);
    EXPECT_EQ(dword_at(f, 48), 2u);
    EXPECT_EQ(dword_at(f, 56), 2u);
    EXPECT_EQ(dword_at(f, 60), 11025u);
    EXPECT_EQ(dword_at(f, 72), 80u);
    EXPECT_EQ(f.substr(80), std::string("\x01\x00\xFE\xFF", 4));
    // And it loads back as a sample file.
    ASSERT_EQ(ti.file_format_manager.load_sample(path.c_str(), 9), Loader::SUCCESS);
    EXPECT_EQ(ti.song.get_sample(9)->name, "drum");
    EXPECT_EQ(static_cast<const short*>(ti.song.get_sample(9)->data.get_data_ptr())[1], -2);
}

TEST_F(SaverIT, PatternPackingUsesMasksAndMemory) {
    Pattern p;
    p.set_length(2);
    p.get_note_ref(0, 0) = Note{48, 0, 64, 0, 6};
    p.get_note_ref(0, 1) = Note{48, 0, 64, 0, 6};
    p.get_note_ref(2, 1) = Note{NOTE_OFF, 255, 255, 255, 0};
    p.get_note_ref(0, 0);
    std::vector<unsigned char> packed = Saver_IT::pack_pattern(p);
    std::vector<unsigned char> expected = {0x81, 0x0F, 48, 1, 64, 1, 6, 0,  // row 0
                                           0x81, 0xF0, 0x83, 0x01, 255, 0};  // row 1
    EXPECT_EQ(packed, expected);
}

TEST_F(SaverIT, SavedSongLoadsBackEqual) {
    fill_song();
    std::string path = dir.file("full.it");
    ASSERT_EQ(ti.file_format_manager.save_module(path.c_str()), 0);
    EXPECT_EQ(ti.song.get_variables()->filename, path);
    Tracker_Instance other;
    ASSERT_EQ(other.file_format_manager.load_module(path.c_str()), Loader::SUCCESS);
    expect_songs_equal(ti.song, other.song);
    EXPECT_EQ(other.song.get_pattern(1)->get_length(), 32);
}

TEST_F(SaverIT, InstrumentFileCarriesItsSamples) {
    fill_song();
    std::string path = dir.file("layered.ii");
    ASSERT_EQ(ti.file_format_manager.save_instrument(path.c_str(), 1), 0);
    Tracker_Instance other;
    other.song.get_sample(0)->in_use = true;  // occupied: the samples go to 1 and 2
    ASSERT_EQ(other.file_format_manager.load_instrument(path.c_str(), 5), Loader::SUCCESS);
    Instrument& ins = *other.song.get_instrument(5);
    EXPECT_EQ(ins.name, "layered");
    EXPECT_EQ(ins.layers[0].sample_table[0], 1);
    EXPECT_EQ(ins.layers[0].sample_table[100], 2);
    EXPECT_EQ(other.song.get_sample(1)->name, "eight bit");
    EXPECT_EQ(other.song.get_sample(2)->name, "sixteen");
    ASSERT_EQ(other.song.get_sample(2)->data.get_size(), 3);
    EXPECT_EQ(static_cast<const short*>(other.song.get_sample(2)->data.get_data_ptr())[2], 32767);
    expect_envelopes_equal(ins.layers[0].volume_envelope, ti.song.get_instrument(1)->layers[0].volume_envelope,
                           "volume envelope");
}

TEST_F(SaverIT, FailedWriteKeepsTheOldFileAndReportsFailure) {
    fill_song();
    std::string path = dir.file("keep.it");
    Scratch_Dir::write(path, "previous song");
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    struct rlimit small = old_limit;
    small.rlim_cur = 300;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStdout();
    int result = ti.file_format_manager.save_module(path.c_str());
    testing::internal::GetCapturedStdout();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Scratch_Dir::read(path), "previous song");
    EXPECT_NE(ti.song.get_variables()->filename, path);
}

TEST_F(SaverIT, RealModulesSurviveLoadSaveLoad) {
    std::string songs = shared_dir() + "/corpus";
    if (!std::filesystem::exists(songs)) GTEST_SKIP() << "no module corpus at " << songs;
    int checked = 0;
    for (const char* sub : {"/songs", "/features"}) {
        for (const auto& entry : std::filesystem::directory_iterator(songs + sub)) {
            if (entry.path().extension() != ".it") continue;
            SCOPED_TRACE(entry.path().string());
            Tracker_Instance first;
            ASSERT_EQ(first.file_format_manager.load_module(entry.path().c_str()), Loader::SUCCESS);
            std::string out = dir.file("again.it");
            ASSERT_EQ(first.file_format_manager.save_module(out.c_str()), 0);
            Tracker_Instance second;
            ASSERT_EQ(second.file_format_manager.load_module(out.c_str()), Loader::SUCCESS);
            expect_it_switches_kept(first.song, second.song);
            expect_songs_equal(first.song, second.song);
            checked++;
        }
    }
    EXPECT_GT(checked, 10);
}
