#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loaders/loader_mod.h"
#include "support/byte_builder.h"
#include "support/corpus_render.h"
#include "support/scratch_dir.h"
#include "support/shared_dir.h"
#include "support/song_compare.h"
#include "tracker/audio_components.h"
#include "trackercore/song.h"

namespace {

using Dialect = Loader_MOD::Dialect;

// ---- tables ----

TEST(LoaderModTables, PeriodsBecomeNotes) {
    // ProTracker's finetune-0 periods, C-0 to B-4 of its extended octaves: C-1 (856) is C-3 here.
    const int periods[60] = {1712, 1616, 1525, 1440, 1357, 1281, 1209, 1141, 1077, 1017, 961, 907,
                             856,  808,  762,  720,  678,  640,  604,  570,  538,  508,  480, 453,
                             428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240, 226,
                             214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120, 113,
                             107,  101,  95,   90,   85,   80,   76,   71,   67,   64,   60,  57};
    for (int i = 0; i < 60; ++i) EXPECT_EQ(Loader_MOD::period_to_note(periods[i]), 24 + i) << periods[i];
    struct Case {
        int period;
        int note;
    };
    const Case others[] = {
        {431, 48}, {425, 48},  // finetuned periods land on their note
        {0, EMPTY_FIELD},      // no note
        {6848, 0},             // C-0
        {30000, EMPTY_FIELD},  // below the song's notes
        {1, EMPTY_FIELD},      // above them
    };
    for (const Case& c : others) EXPECT_EQ(Loader_MOD::period_to_note(c.period), c.note) << c.period;
}

TEST(LoaderModTables, FinetuneSoundsAsTheAmigaPeriodTables) {
    // ProTracker's C-1 period for finetunes 0..7 and -8..-1: the C5 frequency must scale alike,
    // from the PAL Amiga's rate for period 214 (C-5 here).
    const int c1_period[16] = {856, 850, 844, 838, 832, 826, 820, 814, 907, 900, 894, 887, 881, 875, 868, 862};
    const double c5 = 3546895.0 / 214;
    for (int f = 0; f < 16; ++f) {
        double expected = c5 * 856 / c1_period[f];
        EXPECT_NEAR(Loader_MOD::finetune_to_c5(f), expected, expected * 0.002) << f;
    }
    EXPECT_EQ(Loader_MOD::finetune_to_c5(0), 16574);
}

TEST(LoaderModTables, SoundtrackerTempoByte) {
    EXPECT_EQ(Loader_MOD::soundtracker_tempo(0x78), 125);
    EXPECT_EQ(Loader_MOD::soundtracker_tempo(0), 125);
    EXPECT_EQ(Loader_MOD::soundtracker_tempo(184), 255);  // 260 is past the tempo range
    EXPECT_EQ(Loader_MOD::soundtracker_tempo(100), 104);
}

struct Effect_Case {
    int effect, parameter;
    Dialect dialect;
    char command;  // 0: none
    int expected_parameter;
    int volume = EMPTY_FIELD;
};

TEST(LoaderModTables, EffectsBecomeTheirItEquivalents) {
    const Dialect PT = Dialect::PROTRACKER, ST = Dialect::SOUNDTRACKER, UST = Dialect::ULTIMATE;
    const Effect_Case cases[] = {
        {0x0, 0x00, PT, 0, 0},      {0x0, 0x37, PT, 'J', 0x37},
        {0x1, 0x00, PT, 0, 0},      {0x1, 0x05, PT, 'F', 0x05},   {0x1, 0xF5, PT, 'F', 0xDF},
        {0x2, 0x10, PT, 'E', 0x10}, {0x2, 0x00, PT, 0, 0},
        {0x3, 0x00, PT, 'G', 0x00}, {0x3, 0x20, PT, 'G', 0x20},   {0x4, 0x8F, PT, 'H', 0x8F},
        {0x5, 0x00, PT, 'G', 0x00}, {0x5, 0x34, PT, 'L', 0x30},   {0x5, 0x0F, PT, 'L', 0x0F},
        {0x6, 0x00, PT, 'H', 0x00}, {0x6, 0x02, PT, 'K', 0x02},   {0x7, 0x44, PT, 'R', 0x44},
        {0x8, 0x80, PT, 'X', 0x80}, {0x9, 0x10, PT, 'O', 0x10},   {0x9, 0x00, PT, 'O', 0x00},
        {0xA, 0x00, PT, 0, 0},      {0xA, 0x12, PT, 'D', 0x10},   {0xA, 0xF0, PT, 'D', 0xF0},
        {0xA, 0xF5, PT, 'D', 0xF0}, {0xA, 0x0F, PT, 'D', 0x0F},   {0xB, 0x05, PT, 'B', 0x05},
        {0xC, 0x50, PT, 0, 0, 64},  {0xC, 0x20, PT, 0, 0, 32},    {0xC, 0x00, PT, 0, 0, 0},
        {0xD, 0x12, PT, 'C', 12},   {0xD, 0x64, PT, 'C', 64},    {0xD, 0x12, ST, 'C', 0},
        {0xE, 0x01, PT, 0, 0},      {0xE, 0x12, PT, 'F', 0xF2},   {0xE, 0x10, PT, 0, 0},
        {0xE, 0x22, PT, 'E', 0xF2}, {0xE, 0x31, PT, 'S', 0x11},   {0xE, 0x46, PT, 'S', 0x32},
        {0xE, 0x5F, PT, 'S', 0x2F}, {0xE, 0x63, PT, 'S', 0xB3},   {0xE, 0x75, PT, 'S', 0x41},
        {0xE, 0x84, PT, 'S', 0x84}, {0xE, 0x93, PT, 'Q', 0x03},   {0xE, 0x90, PT, 0, 0},
        {0xE, 0xA2, PT, 'D', 0x2F}, {0xE, 0xB3, PT, 'D', 0xF3},   {0xE, 0xC0, PT, 'S', 0xC0},
        {0xE, 0xD2, PT, 'S', 0xD2}, {0xE, 0xE4, PT, 'S', 0xE4},   {0xE, 0xF5, PT, 0, 0},
        {0xF, 0x00, PT, 0, 0},      {0xF, 0x06, PT, 'A', 0x06},   {0xF, 0x1F, PT, 'A', 0x1F},
        {0xF, 0x20, PT, 'T', 0x20}, {0xF, 0x7D, PT, 'T', 0x7D},   {0xF, 0x40, ST, 'A', 0x40},
        {0x1, 0x05, ST, 'F', 0x05}, {0x1, 0x47, UST, 'J', 0x47},  {0x2, 0x20, UST, 'F', 0x02},
        {0x2, 0x03, UST, 'E', 0x03}, {0xC, 0x20, UST, 0, 0},      {0x0, 0x37, UST, 0, 0},
    };
    for (const Effect_Case& c : cases) {
        Note cell;
        Loader_MOD::convert_effect((unsigned char)c.effect, (unsigned char)c.parameter, cell, c.dialect);
        std::string what = std::to_string(c.effect) + "/" + std::to_string(c.parameter);
        EXPECT_EQ(cell.command, c.command ? c.command - 'A' : EMPTY_FIELD) << what;
        EXPECT_EQ(cell.parameter, c.expected_parameter) << what;
        EXPECT_EQ(cell.volume, c.volume) << what;
    }
}

TEST(LoaderModTables, CellsSplitPeriodAndSampleOverTheirBytes) {
    const unsigned char bytes[4] = {0x11, 0xAC, 0x2C, 0x20};  // period 0x1AC, sample 0x12, C20
    Note cell = Loader_MOD::decode_cell(bytes, 31);
    EXPECT_EQ(cell.note, 48);
    EXPECT_EQ(cell.instrument, 0x12 - 1);
    EXPECT_EQ(cell.volume, 32);
    EXPECT_EQ(cell.command, EMPTY_FIELD);
    const unsigned char past_the_samples[4] = {0x20, 0x00, 0x0F, 0x06};  // sample 32 of 31, F06
    cell = Loader_MOD::decode_cell(past_the_samples, 31);
    EXPECT_EQ(cell.note, EMPTY_FIELD);
    EXPECT_EQ(cell.instrument, EMPTY_FIELD);
    EXPECT_EQ(cell.command, 'A' - 'A');
}

TEST(LoaderModTables, SignaturesNameTheChannels) {
    struct Case {
        const char* signature;
        int channels;
        bool flt8;
    };
    const Case cases[] = {
        {"M.K.", 4, false}, {"M!K!", 4, false}, {"M&K!", 4, false}, {"FLT4", 4, false}, {"FLT8", 8, true},
        {"4CHN", 4, false}, {"6CHN", 6, false}, {"8CHN", 8, false}, {"1CHN", 1, false}, {"10CH", 10, false},
        {"16CH", 16, false}, {"32CH", 32, false}, {"FA04", 4, false}, {"FA06", 6, false}, {"FA08", 8, false},
        {"CD61", 6, false}, {"CD81", 8, false}, {"33CH", 0, false}, {"00CH", 0, false}, {"0CHN", 0, false},
        {"FLTM", 0, false}, {"m.k.", 0, false}, {"\0\0\0\0", 0, false},
    };
    for (const Case& c : cases) {
        bool flt8 = !c.flt8;
        EXPECT_EQ(Loader_MOD::channels_for_signature(reinterpret_cast<const unsigned char*>(c.signature), flt8),
                  c.channels)
            << c.signature;
        if (c.channels) {
            EXPECT_EQ(flt8, c.flt8) << c.signature;
        }
    }
}

// ---- files ----

Byte_Builder& be16(Byte_Builder& b, int v) { return b.byte((unsigned)v >> 8).byte((unsigned)v); }

struct Mod_Sample_Layout {
    std::string name;
    int words = 0, finetune = 0, volume = 64, loop_start = 0, loop_words = 1;
};

// A module of `samples` sample headers (the first ones from `shapes`), its orders, the signature
// (31 samples only), `pattern_bytes` and each sample's frames, counting up from 0.
std::string build_mod(int samples, const std::vector<Mod_Sample_Layout>& shapes, const std::vector<int>& orders,
                      const std::string& signature, const std::string& pattern_bytes, int tempo_byte = 0x78,
                      const std::string* sample_data = nullptr) {
    Byte_Builder b;
    b.text("Mod Song", 20);
    for (int s = 0; s < samples; ++s) {
        Mod_Sample_Layout shape = s < (int)shapes.size() ? shapes[(size_t)s] : Mod_Sample_Layout();
        b.text(shape.name, 22);
        be16(b, shape.words).u8(shape.finetune).u8(shape.volume);
        be16(be16(b, shape.loop_start), shape.loop_words);
    }
    b.u8((int)orders.size()).u8(tempo_byte);
    for (int i = 0; i < 128; ++i) b.u8(i < (int)orders.size() ? orders[(size_t)i] : 0);
    if (samples == 31) b.text(signature, 4);
    b.raw(pattern_bytes);
    if (sample_data) return b.raw(*sample_data).bytes;
    for (int s = 0; s < (int)shapes.size() && s < samples; ++s)
        for (int i = 0; i < 2 * shapes[(size_t)s].words; ++i) b.u8(i);
    return b.bytes;
}

// 64 rows of `channels` cells; `cells` are (row, channel, four bytes).
struct Cell_Layout {
    int row, channel;
    unsigned char bytes[4];
};
std::string build_pattern(int channels, const std::vector<Cell_Layout>& cells) {
    std::string data((size_t)64 * channels * 4, '\0');
    for (const Cell_Layout& c : cells)
        for (int i = 0; i < 4; ++i) data[(size_t)((c.row * channels + c.channel) * 4 + i)] = (char)c.bytes[i];
    return data;
}

class LoaderModFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        loader.set_song(&song);
    }
    std::string write(const std::string& bytes) {
        std::string path = dir.file("song" + std::to_string(count++) + ".mod");
        Scratch_Dir::write(path, bytes);
        return path;
    }
    Loader::Error load(const std::string& bytes) {
        std::string path = write(bytes);
        if (!loader.test(path.c_str())) return Loader::FILE_FORMAT_NOT_RECOGNIZED;
        Loader::Error e = loader.load(path.c_str(), true);
        EXPECT_FALSE(loader.is_busy());
        if (e != Loader::SUCCESS) return e;
        song.reset_data();
        loader.transfer_data_to_song();
        loader.free_info(false);
        return e;
    }
    Scratch_Dir dir;
    Song song;
    Loader_MOD loader;
    int count = 0;
};

TEST_F(LoaderModFile, ProTrackerSongVariablesSamplesAndPatterns) {
    std::vector<Mod_Sample_Layout> shapes = {{"lead", 100, 15, 70, 10, 40}, {"kick", 50, 3, 40}};
    // Pattern 1 holds C-5 with sample 2 and C20, and a D row break on channel 3.
    std::string patterns = build_pattern(4, {}) +
                           build_pattern(4, {{5, 2, {0x01, 0xAC, 0x2C, 0x20}}, {63, 3, {0x00, 0x00, 0x0D, 0x12}}});
    ASSERT_EQ(load(build_mod(31, shapes, {1, 0, 1}, "M.K.", patterns)), Loader::SUCCESS);
    EXPECT_EQ(loader.get_layout().channels, 4);

    const Song::Song_Variables& vars = *song.get_variables();
    EXPECT_EQ(vars.name, "Mod Song");
    EXPECT_FALSE(vars.rules.use_linear_slides);
    EXPECT_TRUE(vars.rules.old_effects);
    EXPECT_TRUE(vars.rules.empty_order_ends_song);
    const Song::Initial_Variables& initial = *song.get_initial_variables();
    EXPECT_EQ(initial.speed, 6);
    EXPECT_EQ(initial.tempo, 125);
    EXPECT_EQ(initial.channel[0].pan, 16);
    EXPECT_EQ(initial.channel[1].pan, 48);
    EXPECT_EQ(initial.channel[2].pan, 48);
    EXPECT_EQ(initial.channel[3].pan, 16);
    EXPECT_EQ(song.get_order(0), 1);
    EXPECT_EQ(song.get_order(2), 1);
    EXPECT_EQ(song.get_order(3), Song::ORDER_EMPTY);

    Note cell = song.get_pattern(1)->get_note(2, 5);
    EXPECT_EQ(cell.note, 48);
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.volume, 32);
    EXPECT_EQ(song.get_pattern(1)->get_note(3, 63).command, 'C' - 'A');
    EXPECT_EQ(song.get_pattern(1)->get_length(), 64);

    const Sample& lead = *song.get_sample(0);
    ASSERT_TRUE(lead.in_use);
    EXPECT_EQ(lead.name, "lead");
    EXPECT_EQ(lead.def_volume, 64);
    ASSERT_EQ(lead.data.get_size(), 200);
    EXPECT_FALSE(lead.data.is_16bit());
    EXPECT_EQ(static_cast<const signed char*>(lead.data.get_data_ptr())[199], (signed char)199);
    EXPECT_EQ(lead.data.get_c5_freq(), Loader_MOD::finetune_to_c5(15));
    EXPECT_TRUE(lead.data.is_loop_enabled());
    EXPECT_EQ(lead.data.get_loop_begin(), 20);
    EXPECT_EQ(lead.data.get_loop_end(), 100);
    const Sample& kick = *song.get_sample(1);
    EXPECT_FALSE(kick.data.is_loop_enabled());  // a one-word loop is none
    EXPECT_EQ(kick.data.get_size(), 100);
    EXPECT_EQ(song.get_instrument(1)->layers[0].sample_table[48], 1);
    EXPECT_FALSE(song.get_sample(2)->in_use);
}

TEST_F(LoaderModFile, Flt8PairsFourChannelPatterns) {
    // Orders 0 and 2 name the pairs (0,1) and (2,3): 8-channel patterns 0 and 1.
    std::string patterns = build_pattern(4, {{0, 0, {0x01, 0xAC, 0x10, 0x00}}}) +
                           build_pattern(4, {{1, 3, {0x03, 0x58, 0x10, 0x00}}}) +
                           build_pattern(4, {{2, 1, {0x00, 0xD6, 0x10, 0x00}}}) + build_pattern(4, {});
    ASSERT_EQ(load(build_mod(31, {{"s", 10}}, {0, 2}, "FLT8", patterns)), Loader::SUCCESS);
    EXPECT_EQ(song.get_order(0), 0);
    EXPECT_EQ(song.get_order(1), 1);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).note, 48);
    EXPECT_EQ(song.get_pattern(0)->get_note(7, 1).note, 36);
    EXPECT_EQ(song.get_pattern(1)->get_note(1, 2).note, 60);
    EXPECT_EQ(song.get_pattern(0)->get_note_count(), 2);
    EXPECT_EQ(song.get_sample(0)->data.get_size(), 20);  // the samples follow all four
}

// ProTracker's tempo and offset quirks are for its own four-channel files only.
TEST_F(LoaderModFile, ProTrackerQuirksFollowTheSignature) {
    const struct {
        const char* signature;
        int channels;
        bool protracker;
    } cases[] = {{"M.K.", 4, true}, {"M!K!", 4, true}, {"FLT4", 4, false}, {"6CHN", 6, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signature);
        ASSERT_EQ(load(build_mod(31, {{"s", 10}}, {0}, c.signature, build_pattern(c.channels, {}))), Loader::SUCCESS);
        EXPECT_EQ(song.get_variables()->rules.tempo_after_first_tick, c.protracker);
        EXPECT_EQ(song.get_variables()->rules.protracker_offset, c.protracker);
    }
}

// Layouts that only the signature's maker, the file's size or the sample data tell.
TEST_F(LoaderModFile, TrackerVariantsOfTheLayout) {
    std::string eight = build_pattern(8, {{0, 7, {0x01, 0xAC, 0x10, 0x00}}});
    // Digital Tracker: four bytes after the signature.
    ASSERT_EQ(load(build_mod(31, {{"s", 10}}, {0}, "FA08", std::string("\0\x40\0\0", 4) + eight)), Loader::SUCCESS);
    EXPECT_EQ(song.get_pattern(0)->get_note(7, 0).note, 48);
    EXPECT_EQ(song.get_sample(0)->data.get_size(), 20);
    // Mod's Grave: 8 channels under "M.K." with no restart byte, told by the size; with a
    // restart byte the same bytes are a 4-channel song holding two patterns.
    ASSERT_EQ(load(build_mod(31, {{"s", 10}}, {0}, "M.K.", eight, 0)), Loader::SUCCESS);
    EXPECT_EQ(loader.get_layout().channels, 8);
    EXPECT_EQ(song.get_pattern(0)->get_note(7, 0).note, 48);
    ASSERT_EQ(load(build_mod(31, {{"s", 10}}, {0}, "M.K.", eight, 0x7F)), Loader::SUCCESS);
    EXPECT_EQ(loader.get_layout().channels, 4);
    EXPECT_EQ(song.get_pattern(0)->get_note(3, 1).note, 48);

    // ModPlug's compressed samples: "ADPCM", 16 deltas, a nibble per frame; the next sample's
    // data follows the packed bytes, and may itself be plain.
    std::string data = "ADPCM";
    for (int i = 0; i < 16; ++i) data += (char)(i < 8 ? i : i - 16);
    data += std::string("\x21\x0F\x71", 3);  // deltas 1, 2, -1, 0, 1, 7: six frames
    data += std::string("\x05\xFB\x7F\x80", 4);
    std::vector<Mod_Sample_Layout> shapes = {{"packed", 3}, {"plain", 2}};
    ASSERT_EQ(load(build_mod(31, shapes, {0}, "M.K.", build_pattern(4, {}), 0x7F, &data)), Loader::SUCCESS);
    const Sample_Data& packed = song.get_sample(0)->data;
    ASSERT_EQ(packed.get_size(), 6);
    const signed char expected[6] = {1, 3, 2, 2, 3, 10};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<const signed char*>(packed.get_data_ptr())[i], expected[i]) << i;
    const Sample_Data& plain = song.get_sample(1)->data;
    ASSERT_EQ(plain.get_size(), 4);
    EXPECT_EQ(static_cast<const signed char*>(plain.get_data_ptr())[3], -128);
    EXPECT_EQ(loader.get_missing_bytes(), 0u);
}

TEST_F(LoaderModFile, SoundtrackerFilesAndTheirDialects) {
    std::vector<Mod_Sample_Layout> shapes = {{"st-01:bass", 100, 0, 64, 150, 20}};  // loop start in bytes
    // 1xy with two nibbles and nothing but 1 and 2: Ultimate Soundtracker's arpeggio.
    std::string ultimate = build_pattern(4, {{0, 0, {0x01, 0xAC, 0x11, 0x47}}});
    ASSERT_EQ(load(build_mod(15, shapes, {0}, "", ultimate, 100)), Loader::SUCCESS);
    EXPECT_EQ(loader.get_layout().samples, 15);
    EXPECT_TRUE(loader.get_layout().ultimate);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).command, 'J' - 'A');
    EXPECT_EQ(song.get_initial_variables()->tempo, 104);
    // A looping sample plays from its loop start, counted in bytes even where words would fit:
    // what lies before it is left out.
    struct Loop {
        int start_field, words, frames, first;
    };
    for (Loop loop : {Loop{150, 20, 50, 150}, Loop{20, 10, 180, 20}}) {
        SCOPED_TRACE(loop.start_field);
        shapes[0].loop_start = loop.start_field;
        shapes[0].loop_words = loop.words;
        ASSERT_EQ(load(build_mod(15, shapes, {0}, "", ultimate, 100)), Loader::SUCCESS);
        const Sample_Data& data = song.get_sample(0)->data;
        EXPECT_EQ(data.get_size(), loop.frames);
        EXPECT_EQ(data.get_loop_begin(), 0);
        EXPECT_EQ(data.get_loop_end(), 2 * loop.words);
        EXPECT_EQ(static_cast<const unsigned char*>(data.get_data_ptr())[0], loop.first);
    }
    shapes[0] = {"st-01:bass", 100};

    // A volume command marks a later Soundtracker: 1xx slides and Fxx is speed only.
    std::string later = build_pattern(4, {{0, 0, {0x01, 0xAC, 0x11, 0x47}}, {1, 0, {0, 0, 0x0C, 0x20}},
                                          {2, 0, {0, 0, 0x0F, 0x40}}});
    ASSERT_EQ(load(build_mod(15, shapes, {0}, "", later)), Loader::SUCCESS);
    EXPECT_FALSE(loader.get_layout().ultimate);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).command, 'F' - 'A');
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 2).command, 'A' - 'A');
    EXPECT_EQ(song.get_initial_variables()->tempo, 125);
}

// A file that claims more than it holds keeps what is there; the loader says what is missing.
TEST_F(LoaderModFile, ShortFilesLoadWhatIsThere) {
    std::vector<Mod_Sample_Layout> shapes = {{"a", 100}, {"b", 100}};
    std::string pattern = build_pattern(4, {{0, 0, {0x01, 0xAC, 0x10, 0x00}}, {40, 1, {0x01, 0xAC, 0x20, 0x00}}});
    std::string whole = build_mod(31, shapes, {0}, "M.K.", pattern);
    struct Case {
        size_t size;
        int first_sample_frames, second_sample_frames, cells;
        unsigned long long missing;
    };
    const Case cases[] = {
        {whole.size(), 200, 200, 2, 0},
        {whole.size() - 150, 200, 50, 2, 150},
        {1084 + 1024 + 10, 10, 0, 2, 390},
        {1084 + 600, 0, 0, 1, 1024 - 600 + 400},  // the file ends inside the pattern
        {1084, 0, 0, 0, 1424},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ASSERT_EQ(load(whole.substr(0, c.size)), Loader::SUCCESS);
        EXPECT_EQ(song.get_sample(0)->data.get_size(), c.first_sample_frames);
        EXPECT_EQ(song.get_sample(1)->data.get_size(), c.second_sample_frames);
        EXPECT_EQ(song.get_pattern(0)->get_note_count(), c.cells);
        EXPECT_EQ(loader.get_missing_bytes(), c.missing);
    }
    // Without a signature, a header with nothing after it is no song; cut shorter, no module.
    std::string soundtracker = build_mod(15, shapes, {0}, "", pattern);
    EXPECT_EQ(load(soundtracker.substr(0, 600)), Loader::HEADER_CORRUPT);
    EXPECT_EQ(load(soundtracker.substr(0, 599)), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(load(whole.substr(0, 1083)), Loader::FILE_FORMAT_NOT_RECOGNIZED);
}

TEST_F(LoaderModFile, RandomDataIsNoSoundtrackerModule) {
    std::mt19937 random(17);
    int recognised = 0;
    for (int i = 0; i < 200; ++i) {
        std::string bytes(600 + random() % 4000, '\0');
        for (char& c : bytes) c = (char)(random() & 0xFF);
        // Half of them with the song-length byte and orders of a plausible header.
        if (i % 2) {
            bytes[470] = 4;
            for (int o = 0; o < 128; ++o) bytes[(size_t)472 + o] = (char)(o < 4 ? o : 0);
        }
        if (load(bytes) != Loader::FILE_FORMAT_NOT_RECOGNIZED) ++recognised;
    }
    EXPECT_EQ(recognised, 0);
    // Text is no module either, nor is a file of zeros.
    std::string text;
    while (text.size() < 3000) text += "The quick brown fox jumps over the lazy dog. 0123456789\n";
    EXPECT_EQ(load(text), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(load(std::string(3000, '\0')), Loader::FILE_FORMAT_NOT_RECOGNIZED);
}

// ---- the shared corpus ----

std::vector<std::string> corpus_files(const std::string& folder, bool (*wanted)(const std::string& extension)) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(shared_dir() + "/corpus/" + folder, ec)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return (char)std::tolower(c); });
        if (entry.is_regular_file() && wanted(ext)) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}
bool is_mod(const std::string& ext) { return ext == ".mod"; }
bool is_other_format(const std::string& ext) { return ext != ".mod"; }

std::vector<std::string> mod_songs() { return corpus_files("mod", is_mod); }

bool has_signature(const std::string& path) {
    std::string head = Scratch_Dir::read(path).substr(0, 1084);
    bool flt8;
    return head.size() == 1084 &&
           Loader_MOD::channels_for_signature(reinterpret_cast<const unsigned char*>(head.data()) + 1080, flt8) > 0;
}

TEST(LoaderModCorpus, SignaturesAndSoundtrackerFilesAreTold) {
    std::vector<std::string> songs = mod_songs();
    if (songs.empty()) GTEST_SKIP() << "no MOD corpus under " << shared_dir();
    int soundtracker = 0;
    for (const std::string& path : songs) {
        Loader_MOD loader;
        ASSERT_TRUE(loader.test(path.c_str())) << path;
        ASSERT_EQ(loader.load(path.c_str(), false), Loader::SUCCESS) << path;
        EXPECT_EQ(loader.get_layout().samples, has_signature(path) ? 31 : 15) << path;
        if (loader.get_layout().samples == 15) ++soundtracker;
    }
    EXPECT_GE(soundtracker, 8);
    // The other formats' files, samples among them, are never taken for modules.
    int others = 0;
    for (const char* folder : {"features", "songs", "malformed"}) {
        for (const std::string& path : corpus_files(folder, is_other_format)) {
            Loader_MOD loader;
            EXPECT_FALSE(loader.test(path.c_str())) << path;
            ++others;
        }
    }
    EXPECT_GT(others, 150);
}

TEST(LoaderModCorpus, EverySongLoadsPlaysToItsEndAndSounds) {
    std::vector<std::string> songs = mod_songs();
    if (songs.empty()) GTEST_SKIP() << "no MOD corpus under " << shared_dir();
    Audio_Components components;
    int without_samples = 0;
    for (const std::string& path : songs) {
        SCOPED_TRACE(path);
        Tracker_Instance ti;
        testing::internal::CaptureStdout();
        Corpus_Render r = render_corpus_module(ti, path, 22050, 1200);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(r.error, Loader::SUCCESS) << Loader::error_string[r.error];
        EXPECT_EQ(ti.loader_mod.get_file_name(), path);
        EXPECT_TRUE(r.ended) << "still playing after " << r.seconds << " s";
        EXPECT_GT(r.seconds, 10.0);
        // Startrekker's synthesised sounds live in a companion file; such a song has no sample data.
        bool has_samples = false;
        for (int i = 0; i < 31; ++i) has_samples = has_samples || ti.song.get_sample(i)->in_use;
        if (!has_samples) {
            EXPECT_EQ(r.peak, 0);
            ++without_samples;
            continue;
        }
        EXPECT_GT(r.peak, 2000);
        EXPECT_GT(r.loud_seconds, r.seconds / 2) << "mostly silent";
        EXPECT_GT(r.most_voices, 1);
    }
    EXPECT_LE(without_samples, 1);
}

TEST(LoaderModCorpus, RoundTripsThroughItAndNativeFilesKeepTheSong) {
    std::vector<std::string> songs = mod_songs();
    if (songs.empty()) GTEST_SKIP() << "no MOD corpus under " << shared_dir();
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    for (const std::string& path : songs) {
        for (const char* extension : {".it", ".wm"}) {
            SCOPED_TRACE(path + " as " + extension);
            auto original = std::make_unique<Tracker_Instance>();
            auto copy = std::make_unique<Tracker_Instance>();
            std::string saved = dir.file(std::string("copy") + extension);
            testing::internal::CaptureStdout();
            ASSERT_EQ(original->file_format_manager.load_module(path.c_str()), Loader::SUCCESS);
            ASSERT_EQ(original->file_format_manager.save_module(saved.c_str()), 0);
            ASSERT_EQ(copy->file_format_manager.load_module(saved.c_str()), Loader::SUCCESS);
            testing::internal::GetCapturedStdout();
            if (std::string(extension) == ".it") expect_it_switches_kept(original->song, copy->song);
            expect_songs_equal(original->song, copy->song);
        }
    }
}

}  // namespace
