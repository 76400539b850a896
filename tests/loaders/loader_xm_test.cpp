#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loaders/loader_xm.h"
#include "support/byte_builder.h"
#include "support/scratch_dir.h"
#include "trackercore/song.h"

namespace {

Note translate_effect(int effect, int parameter, unsigned char note = EMPTY_FIELD, unsigned char volume = EMPTY_FIELD) {
    Note cell;
    cell.note = note;
    cell.volume = volume;
    Loader_XM::convert_effect((unsigned char)effect, (unsigned char)parameter, cell);
    return cell;
}

// Command letter and parameter, "" for no command.
std::string command_of(const Note& cell) {
    if (cell.command == EMPTY_FIELD) return "";
    char text[8];
    std::snprintf(text, sizeof(text), "%c%02X", 'A' + cell.command, cell.parameter);
    return text;
}

TEST(LoaderXmTables, VolumeColumn) {
    // 0..15 carry nothing in XM and must not become "set volume".
    EXPECT_EQ(Loader_XM::convert_volume(0x00), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0x0F), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0xFF), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0x10), 0);
    EXPECT_EQ(Loader_XM::convert_volume(0x50), 64);
    EXPECT_EQ(Loader_XM::convert_volume(0x51), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0x65), 100);
    EXPECT_EQ(Loader_XM::convert_volume(0x6F), VOLUME_SLIDE_DOWN_DEEP + 5);  // slide down past IT's 9
    EXPECT_EQ(Loader_XM::convert_volume(0x73), 88);
    EXPECT_EQ(Loader_XM::convert_volume(0x82), 77);
    EXPECT_EQ(Loader_XM::convert_volume(0x9C), 74);
    EXPECT_EQ(Loader_XM::convert_volume(0xA5), VOLUME_VIBRATO_SPEED + 5);  // past IT's ranges
    EXPECT_EQ(Loader_XM::convert_volume(0xB4), 207);
    EXPECT_EQ(Loader_XM::convert_volume(0xBC), VOLUME_VIBRATO_DEPTH + 12);  // deeper than IT's column
    EXPECT_EQ(Loader_XM::convert_volume(0xC0), 128);
    EXPECT_EQ(Loader_XM::convert_volume(0xC8), 128 + 8 * 65 / 15);
    EXPECT_EQ(Loader_XM::convert_volume(0xCF), 192);
    EXPECT_EQ(Loader_XM::convert_volume(0xD3), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0xE3), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0xF8), 193 + 8);  // 128, the nearest of IT's column speeds
    EXPECT_EQ(Loader_XM::convert_volume(0xF1), 193 + 4);  // 16
    EXPECT_EQ(Loader_XM::convert_volume(0xF0), 193);
}

TEST(LoaderXmTables, NotesAndInstruments) {
    EXPECT_EQ(Loader_XM::convert_note(1), 1);
    EXPECT_EQ(Loader_XM::convert_note(96), 96);
    EXPECT_EQ(Loader_XM::convert_note(97), NOTE_OFF);
    EXPECT_EQ(Loader_XM::convert_note(0), EMPTY_FIELD);
    EXPECT_EQ(Loader_XM::convert_note(98), EMPTY_FIELD);
    EXPECT_EQ(Loader_XM::convert_note(200), EMPTY_FIELD);
    EXPECT_EQ(Loader_XM::convert_instrument(1), 0);
    EXPECT_EQ(Loader_XM::convert_instrument(99), 98);
    EXPECT_EQ(Loader_XM::convert_instrument(0), EMPTY_FIELD);
    EXPECT_EQ(Loader_XM::convert_instrument(100), EMPTY_FIELD);
}

TEST(LoaderXmTables, Effects) {
    EXPECT_EQ(command_of(translate_effect(0, 0x37)), "J37");
    EXPECT_EQ(command_of(translate_effect(0, 0)), "");
    EXPECT_EQ(command_of(translate_effect(1, 0x10)), "F10");
    EXPECT_EQ(command_of(translate_effect(2, 0x10)), "E10");
    EXPECT_EQ(command_of(translate_effect(3, 0x20)), "G20");
    EXPECT_EQ(command_of(translate_effect(4, 0x48)), "H48");
    EXPECT_EQ(command_of(translate_effect(5, 0x02)), "L02");
    EXPECT_EQ(command_of(translate_effect(6, 0x20)), "K20");
    EXPECT_EQ(command_of(translate_effect(7, 0x44)), "R44");
    EXPECT_EQ(command_of(translate_effect(8, 0x80)), "X80");
    EXPECT_EQ(command_of(translate_effect(9, 0x12)), "O12");
    EXPECT_EQ(command_of(translate_effect(10, 0x0F)), "D0F");
    EXPECT_EQ(command_of(translate_effect(11, 0x03)), "B03");
    EXPECT_EQ(command_of(translate_effect(15, 0x06)), "A06");
    EXPECT_EQ(command_of(translate_effect(15, 0x1F)), "A1F");
    EXPECT_EQ(command_of(translate_effect(15, 0x20)), "T20");
    EXPECT_EQ(command_of(translate_effect(15, 0x7D)), "T7D");
    EXPECT_EQ(command_of(translate_effect(17, 0x0A)), "W0A");
    EXPECT_EQ(command_of(translate_effect(25, 0x0C)), "P0C");
    EXPECT_EQ(command_of(translate_effect(27, 0x84)), "Q84");
    EXPECT_EQ(command_of(translate_effect(29, 0x23)), "I23");
    for (int unmapped : {18, 19, 22, 23, 24, 26, 28, 30, 254})
        EXPECT_EQ(command_of(translate_effect(unmapped, 0x11)), "") << unmapped;
}

// FT2 slides finely only by E1x, E2x, X1x and X2x: no other parameter may turn into an IT fine slide.
TEST(LoaderXmTables, SlidesStayPlain) {
    struct Case {
        int effect, parameter;
        const char* command;
    };
    for (Case c : {Case{1, 0xFF, "FDF"}, Case{2, 0xE4, "EDF"}, Case{2, 0xDF, "EDF"}, Case{10, 0x4F, "D40"},
                   Case{10, 0xF4, "DF0"}, Case{10, 0x0F, "D0F"}, Case{5, 0x2F, "L20"}, Case{6, 0xF1, "KF0"},
                   Case{17, 0x3F, "W30"}, Case{33, 0x15, "FE5"}, Case{33, 0x2A, "EEA"}, Case{33, 0x10, "FE0"},
                   Case{33, 0x31, ""}})
        EXPECT_EQ(command_of(translate_effect(c.effect, c.parameter)), c.command) << c.effect << " " << c.parameter;
}

// The volume column's slide to a note (Mx, 16 x its digit a tick) keeps its exact speed in a free
// effect column; beside 3xx its speed wins and both slide.
TEST(LoaderXmCells, ColumnPortamento) {
    Note cell;
    const unsigned char alone[] = {0x84, 0xF3};
    Loader_XM::decode_cell(alone, 2, cell);
    EXPECT_EQ(command_of(cell), "G30");
    EXPECT_EQ(cell.volume, EMPTY_FIELD);
    const unsigned char beside_3xx[] = {0x9C, 0xF2, 3, 0xA4};
    Loader_XM::decode_cell(beside_3xx, 4, cell);
    EXPECT_EQ(command_of(cell), "G20");
    EXPECT_EQ(cell.volume, 193 + 5);
    const unsigned char beside_offset[] = {0x9C, 0xF2, 9, 0x10};
    Loader_XM::decode_cell(beside_offset, 4, cell);
    EXPECT_EQ(command_of(cell), "O10");
    EXPECT_EQ(cell.volume, 193 + 5);
}

// The column's slides by 10..15: down keeps its own column values; up and the fine ones move
// to a free effect column, and stay at 9 beside another effect.
TEST(LoaderXmCells, DeepColumnSlides) {
    struct Case {
        unsigned char column, effect, parameter;
        int volume, command, command_parameter;
    };
    const int none = EMPTY_FIELD, fine = COMMAND_FT2_FINE_VOLUME_SLIDE, d = 'D' - 'A', a = 'A' - 'A';
    for (Case c : {Case{0x6C, 0, 0, VOLUME_SLIDE_DOWN_DEEP + 2, none, 0}, Case{0x6F, 0xF, 0x03, VOLUME_SLIDE_DOWN_DEEP + 5, a, 3},
                   Case{0x69, 0, 0, 95 + 9, none, 0}, Case{0x7D, 0, 0, none, d, 0xD0}, Case{0x9B, 0, 0, none, fine, 0xAB},
                   Case{0x8F, 0, 0, none, fine, 0xBF}, Case{0x7D, 0xF, 0x03, 85 + 9, a, 3}, Case{0x8E, 0xF, 0x03, 75 + 9, a, 3}}) {
        SCOPED_TRACE(c.column);
        const unsigned char bytes[] = {0x80 | 4 | 8 | 16, c.column, c.effect, c.parameter};
        Note cell;
        Loader_XM::decode_cell(bytes, 4, cell);
        EXPECT_EQ(cell.volume, c.volume);
        EXPECT_EQ(cell.command, c.command);
        EXPECT_EQ(cell.parameter, c.command_parameter);
    }
}

TEST(LoaderXmTables, EffectsWhoseParameterChangesScale) {
    // Pattern break rows are decimal digits in XM.
    EXPECT_EQ(command_of(translate_effect(13, 0x00)), "C00");
    EXPECT_EQ(command_of(translate_effect(13, 0x10)), "C0A");
    EXPECT_EQ(command_of(translate_effect(13, 0x32)), "C20");
    // Global volume 0..64 becomes 0..128.
    EXPECT_EQ(command_of(translate_effect(16, 0x40)), "V80");
    EXPECT_EQ(command_of(translate_effect(16, 0x10)), "V20");
    EXPECT_EQ(command_of(translate_effect(16, 0xFF)), "V80");
    // Global volume slide: no fine slides in XM, and up wins over down.
    EXPECT_EQ(command_of(translate_effect(17, 0xF1)), "WF0");
    EXPECT_EQ(command_of(translate_effect(17, 0x3F)), "W30");
    EXPECT_EQ(command_of(translate_effect(17, 0x0F)), "W0F");
}

TEST(LoaderXmTables, SetVolumeUsesAFreeVolumeColumn) {
    Note free_column = translate_effect(12, 0x20);
    EXPECT_EQ(free_column.volume, 0x20);
    EXPECT_EQ(command_of(free_column), "");
    EXPECT_EQ(translate_effect(12, 0x70).volume, 64);
    // Cxx is the note's volume beside a column command too: the command moves to the effect
    // column, and a volume in the column gives way.
    struct Case {
        unsigned char column;
        const char* command;
    };
    for (Case c : {Case{10, ""}, Case{65 + 3, "D3F"}, Case{75 + 2, "DF2"}, Case{85 + 4, "D40"}, Case{95 + 5, "D05"},
                   Case{160, "X7F"}, Case{193 + 3, "G08"}, Case{203 + 4, "H04"},
                   Case{VOLUME_VIBRATO_SPEED + 6, "H60"}, Case{VOLUME_VIBRATO_DEPTH + 12, "H0C"}}) {
        Note taken = translate_effect(12, 0x20, 48, c.column);
        EXPECT_EQ(taken.volume, 0x20) << (int)c.column;
        EXPECT_EQ(command_of(taken), c.command) << (int)c.column;
    }
}

// K00 is a key-off in place of the note; Kxx keys off on tick xx, after the note has started.
TEST(LoaderXmTables, KeyOff) {
    struct Case {
        int parameter;
        unsigned char note, expected_note;
        const char* expected_command;
    };
    const Case cases[] = {
        {0x00, EMPTY_FIELD, NOTE_OFF, ""},
        {0x00, 48, NOTE_OFF, ""},
        {0x05, 48, 48, "S05"},
        {0x03, EMPTY_FIELD, EMPTY_FIELD, "S03"},
        {0x20, 48, 48, "S0F"},  // past any tick a row can have here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameter);
        Note cell = translate_effect(20, c.parameter, c.note);
        EXPECT_EQ(cell.note, c.expected_note);
        EXPECT_EQ(command_of(cell), c.expected_command);
    }
    EXPECT_EQ(command_of(translate_effect(14, 0x01)), "");  // E0x, the Amiga filter, does nothing
    Note with_instrument;
    with_instrument.note = 48;
    with_instrument.instrument = 3;
    Loader_XM::convert_effect(20, 0x00, with_instrument);
    EXPECT_EQ(with_instrument.instrument, EMPTY_FIELD);
}

TEST(LoaderXmTables, ExtendedEffects) {
    EXPECT_EQ(command_of(translate_effect(14, 0x10)), "FF0");  // recalls E1x's memory
    EXPECT_EQ(command_of(translate_effect(14, 0x15)), "FF5");
    EXPECT_EQ(command_of(translate_effect(14, 0x20)), "EF0");
    EXPECT_EQ(command_of(translate_effect(14, 0x2A)), "EFA");
    EXPECT_EQ(command_of(translate_effect(14, 0x31)), "S11");  // glissando
    EXPECT_EQ(command_of(translate_effect(14, 0x41)), "S32");  // vibrato waveform: FT2's ramp
    EXPECT_EQ(command_of(translate_effect(14, 0x42)), "S31");  // and its squares
    EXPECT_EQ(command_of(translate_effect(14, 0x43)), "S31");
    EXPECT_EQ(command_of(translate_effect(14, 0x63)), "SB3");  // pattern loop
    EXPECT_EQ(command_of(translate_effect(14, 0x71)), "S41");  // tremolo waveform
    EXPECT_EQ(command_of(translate_effect(14, 0x73)), "S42");
    EXPECT_EQ(command_of(translate_effect(14, 0x8C)), "S8C");
    EXPECT_EQ(command_of(translate_effect(14, 0x90)), "Q00");  // strikes again once, on the first tick
    EXPECT_EQ(command_of(translate_effect(14, 0x93)), "Q03");
    EXPECT_EQ(command_of(translate_effect(27, 0x03)), "Q83");  // Rxy keeps its volume at 0
    EXPECT_EQ(command_of(translate_effect(27, 0xA3)), "QA3");
    Note envelope_position = translate_effect(21, 0x2C);  // Lxx
    EXPECT_EQ(envelope_position.command, COMMAND_FT2_ENVELOPE_POSITION);
    EXPECT_EQ(envelope_position.parameter, 0x2C);
    Note finetune = translate_effect(14, 0x5C);  // E5x keeps its digit: the player tunes the row's note
    EXPECT_EQ(finetune.command, COMMAND_FT2_FINETUNE);
    EXPECT_EQ(finetune.parameter, 0x0C);
    // EAx and EBx keep XM's own command and parameter: IT's D cannot tell EAF from EBF.
    for (int parameter : {0xA0, 0xA4, 0xAF, 0xB0, 0xBF}) {
        Note fine = translate_effect(14, parameter);
        EXPECT_EQ(fine.command, COMMAND_FT2_FINE_VOLUME_SLIDE);
        EXPECT_EQ(fine.parameter, parameter);
    }
    EXPECT_EQ(command_of(translate_effect(14, 0xC2)), "SC2");
    EXPECT_EQ(command_of(translate_effect(14, 0xD3)), "SD3");
    EXPECT_EQ(command_of(translate_effect(14, 0xE4)), "SE4");  // pattern delay
    EXPECT_EQ(command_of(translate_effect(14, 0xF1)), "SF1");
}

TEST(LoaderXmCells, PackedAndPlainCells) {
    Note cell;
    const unsigned char packed[] = {0x83, 0x31, 0x05};
    EXPECT_EQ(Loader_XM::decode_cell(packed, 3, cell), 3);
    EXPECT_EQ(cell.note, 0x31);
    EXPECT_EQ(cell.instrument, 4);
    EXPECT_EQ(cell.volume, 255);
    EXPECT_EQ(cell.command, 255);

    // FT2 leaves out a zero effect type: a lone parameter is an arpeggio.
    const unsigned char lone_parameter[] = {0x90, 0x37};
    EXPECT_EQ(Loader_XM::decode_cell(lone_parameter, 2, cell), 2);
    EXPECT_EQ(command_of(cell), "J37");
    EXPECT_EQ(cell.note, 255);

    const unsigned char plain[] = {49, 2, 0x30, 15, 0x7D};
    EXPECT_EQ(Loader_XM::decode_cell(plain, 5, cell), 5);
    EXPECT_EQ(cell.note, 49);
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.volume, 32);
    EXPECT_EQ(command_of(cell), "T7D");

    // Instrument numbers past the song's slots (FT2 has 128) name the empty slot given, so the
    // note plays nothing rather than the last instrument; past 128 they are no instrument.
    for (int number : {100, 0x80, 0x81}) {
        const unsigned char high_instrument[] = {0x83, 49, (unsigned char)number};
        Loader_XM::decode_cell(high_instrument, 3, cell, 98);
        EXPECT_EQ(cell.instrument, number <= 0x80 ? 98 : EMPTY_FIELD) << number;
        Loader_XM::decode_cell(high_instrument, 3, cell);
        EXPECT_EQ(cell.instrument, EMPTY_FIELD) << number;
    }

    const unsigned char empty[] = {0x80};
    EXPECT_EQ(Loader_XM::decode_cell(empty, 1, cell), 1);
    EXPECT_TRUE(cell.is_empty());

    // A cell that needs more bytes than remain decodes to nothing.
    EXPECT_EQ(Loader_XM::decode_cell(plain, 4, cell), 0);
    EXPECT_TRUE(cell.is_empty());
    EXPECT_EQ(Loader_XM::decode_cell(packed, 2, cell), 0);
    EXPECT_EQ(Loader_XM::decode_cell(packed, 0, cell), 0);
}

TEST(LoaderXmSamples, DeltaDecodingWraps) {
    signed char bytes[] = {1, 1, 126, 1, -3};
    Loader_XM::decode_delta_8(bytes, 5);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], -128);
    EXPECT_EQ(bytes[3], -127);
    EXPECT_EQ(bytes[4], 126);

    short words[] = {1000, 31767, 2, -32767};
    Loader_XM::decode_delta_16(words, 4);
    EXPECT_EQ(words[0], 1000);
    EXPECT_EQ(words[1], 32767);
    EXPECT_EQ(words[2], -32767);
    EXPECT_EQ(words[3], 2);
}

TEST(LoaderXmSamples, C5FrequencyFoldsRelativeNoteAndFinetune) {
    // Relative note 0 is XM's C-4 at 8363 Hz, which sits on stored note 49 (one above IT's 48).
    EXPECT_EQ(Loader_XM::c5_frequency(0, 0), 15787);
    EXPECT_EQ(Loader_XM::c5_frequency(12, 0), 2 * 15787);
    EXPECT_EQ(Loader_XM::c5_frequency(1, 0), 16726);
    EXPECT_GT(Loader_XM::c5_frequency(0, 127), Loader_XM::c5_frequency(0, 0));
    EXPECT_LT(Loader_XM::c5_frequency(0, -128), Loader_XM::c5_frequency(0, 0));
    // Extreme values stay positive and finite.
    EXPECT_GT(Loader_XM::c5_frequency(127, 127), 0);
    EXPECT_GT(Loader_XM::c5_frequency(-128, -128), 0);
}

}  // namespace

namespace {

struct Xm_Sample_Layout {
    std::vector<int> deltas;  // stored values (already delta-coded)
    bool sixteen_bit = false;
    int relative_note = 0;
    int finetune = 0;
    int type_loop = 0;  // 0, 1 forward, 2 ping-pong
    unsigned loop_start = 0, loop_length = 0;  // in bytes
    int volume = 40, panning = 255;
    std::string name = "smp";
};

void add_instrument_block(Byte_Builder& b, const std::vector<int>& keyboard) {
    for (int n = 0; n < 96; ++n) b.u8(n < (int)keyboard.size() ? keyboard[n] : 0);
    // Volume envelope (0,64) (10,32) (20,0); panning envelope (0,32) (5,64).
    int volume_points[][2] = {{0, 64}, {10, 32}, {20, 0}};
    for (auto& p : volume_points) b.u16(p[0]).u16(p[1]);
    b.fill(4 * 9);
    b.u16(0).u16(32).u16(5).u16(64);
    b.fill(4 * 10);
    b.u8(3).u8(2);            // point counts
    b.u8(1).u8(0).u8(2);      // volume sustain, loop start, loop end
    b.u8(0).u8(0).u8(1);      // panning sustain, loop start, loop end
    b.u8(1 | 2 | 4).u8(1);    // volume type, panning type
    b.u8(1).u8(4).u8(8).u8(20);  // auto-vibrato: square, sweep 4 ticks, depth 8, rate 20
    b.u16(0x400).u16(0);      // fade-out, reserved
}

void add_samples(Byte_Builder& b, const std::vector<Xm_Sample_Layout>& samples) {
    for (const Xm_Sample_Layout& s : samples) {
        unsigned bytes = (unsigned)s.deltas.size() * (s.sixteen_bit ? 2 : 1);
        b.u32(bytes).u32(s.loop_start).u32(s.loop_length).u8(s.volume).u8(s.finetune);
        b.u8(s.type_loop | (s.sixteen_bit ? 0x10 : 0)).u8(s.panning).u8(s.relative_note).u8(0).text(s.name, 22);
    }
    for (const Xm_Sample_Layout& s : samples)
        for (int v : s.deltas) s.sixteen_bit ? b.u16(v & 0xFFFF) : b.u8(v & 0xFF);
}

void add_instrument(Byte_Builder& b, const std::string& name, const std::vector<Xm_Sample_Layout>& samples,
                    const std::vector<int>& keyboard) {
    b.u32(263).text(name, 22).u8(0).u16((int)samples.size());
    if (samples.empty()) {
        b.fill(263 - 29);
        return;
    }
    b.u32(40);
    add_instrument_block(b, keyboard);
    b.fill(20);
    add_samples(b, samples);
}

struct Xm_Pattern_Layout {
    int rows;
    std::string packed;
};

Byte_Builder xm_header(int channels, int patterns, int instruments, const std::vector<int>& orders) {
    Byte_Builder b;
    b.text("Extended Module: ").text("Test Song", 20).u8(0x1A).text("Wendmoor Tests", 20).u16(0x0104);
    b.u32(276).u16((int)orders.size()).u16(0).u16(channels).u16(patterns).u16(instruments).u16(1).u16(5).u16(140);
    for (int i = 0; i < 256; ++i) b.u8(i < (int)orders.size() ? orders[i] : 0);
    return b;
}

void add_pattern(Byte_Builder& b, const Xm_Pattern_Layout& p) {
    b.u32(9).u8(0).u16(p.rows).u16((int)p.packed.size()).text(p.packed);
}

// Two channels, one pattern of 4 rows, one instrument with an 8-bit and a 16-bit sample.
struct Xm_Fixture {
    Byte_Builder file;
    size_t patterns_start = 0, instruments_start = 0, sample_data_start = 0;

    Xm_Fixture() {
        file = xm_header(2, 1, 2, {0, 0, 1});
        patterns_start = file.size();
        Byte_Builder cells;
        cells.u8(49).u8(1).u8(0x40).u8(15).u8(0x7D);  // row 0 ch 0: plain cell
        cells.u8(0x83).u8(97).u8(2);                   // row 0 ch 1: note off, instrument 2
        cells.u8(0x98).u8(14).u8(0x63).u8(0x80);        // row 1 ch 0: E63
        cells.u8(0x80).u8(0x80);
        cells.u8(0x98).u8(20).u8(0).u8(0x80);           // row 3 ch 0: key off alone
        add_pattern(file, {4, cells.bytes});
        instruments_start = file.size();
        Xm_Sample_Layout eight;
        eight.deltas = {10, 10, -30, 1};
        eight.type_loop = 1;
        eight.loop_start = 1;
        eight.loop_length = 2;
        eight.name = "eight";
        Xm_Sample_Layout sixteen;
        sixteen.sixteen_bit = true;
        sixteen.deltas = std::vector<int>(100, 300);
        sixteen.relative_note = 12;
        sixteen.type_loop = 2;
        sixteen.loop_start = 20;
        sixteen.loop_length = 400;  // past the end: kept inside the frames
        sixteen.panning = 128;
        sixteen.name = "sixteen";
        std::vector<int> keyboard(96, 0);
        for (int n = 48; n < 96; ++n) keyboard[n] = 1;
        add_instrument(file, "Lead", {eight, sixteen}, keyboard);
        sample_data_start = file.size() - 4 - 200;
        add_instrument(file, "Empty", {}, {});
    }
};

class LoaderXmFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); loader.set_song(&song); }
    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = dir.file(name);
        Scratch_Dir::write(path, bytes);
        return path;
    }
    Loader::Error load_into_song(const std::string& path) {
        Loader::Error e = loader.load(path.c_str(), true);
        if (e == Loader::SUCCESS) {
            song.reset_data();
            loader.transfer_data_to_song();
            loader.free_info(false);
        }
        return e;
    }

    Scratch_Dir dir;
    Song song;
    Loader_XM loader;
};

TEST_F(LoaderXmFile, RecognisesByTheMarkerAlone) {
    Byte_Builder b;
    b.fill(17, 'z').fill(20).u8(0x1A).fill(10);
    EXPECT_TRUE(loader.test(write("any.xm", b.bytes).c_str()));
    b.bytes[37] = 0x1B;
    EXPECT_FALSE(loader.test(write("other.xm", b.bytes).c_str()));
    EXPECT_FALSE(loader.test(write("short.xm", std::string(37, '\x1A')).c_str()));
    EXPECT_FALSE(loader.test(dir.file("missing.xm").c_str()));
    EXPECT_EQ(loader.load(dir.file("missing.xm").c_str(), true), Loader::FILE_ERROR);
    EXPECT_EQ(loader.load(write("other2.xm", b.bytes).c_str(), true), Loader::FILE_FORMAT_NOT_RECOGNIZED);
}

// FT2 pads the title with spaces; a file with FT2's signature and a title padded with zero bytes
// was written by ModPlug, and its pattern loops carry nothing over to the next pattern.
TEST_F(LoaderXmFile, ModPlugFilesLoopByModPlugsRules) {
    struct Case {
        const char* tracker;
        char title_pad;
        bool carries;
    };
    for (const Case& c : {Case{"FastTracker v2.00   ", ' ', true}, Case{"FastTracker v2.00   ", '\0', false},
                          Case{"Wendmoor Tests", '\0', true}}) {
        SCOPED_TRACE(::testing::Message() << c.tracker << (c.title_pad ? ", spaces" : ", zero bytes"));
        Xm_Fixture fixture;
        std::string& bytes = fixture.file.bytes;
        for (int i = 17 + 9; i < 37; i++) bytes[i] = c.title_pad;  // after "Test Song"
        std::string tracker(c.tracker);
        for (int i = 0; i < 20; i++) bytes[38 + i] = i < (int)tracker.size() ? tracker[i] : '\0';
        ASSERT_EQ(load_into_song(write("song.xm", bytes)), Loader::SUCCESS);
        EXPECT_EQ(song.get_variables()->rules.pattern_loop_carries_over, c.carries);
    }
}

TEST_F(LoaderXmFile, LoadsHeaderPatternsAndMessage) {
    Xm_Fixture fixture;
    ASSERT_EQ(load_into_song(write("song.xm", fixture.file.bytes)), Loader::SUCCESS);
    EXPECT_FALSE(loader.is_busy());
    EXPECT_EQ(song.get_variables()->name, "Test Song");
    EXPECT_EQ(song.get_variables()->message,
              "XM Imported file using\n-Wendmoor-\nhttps://wendmoor.org\nOriginal file written with Wendmoor Tests");
    EXPECT_TRUE(song.get_variables()->rules.use_linear_slides);
    EXPECT_EQ(song.get_variables()->rules.fadeout_scale, Playback_Rules::FADEOUT_SCALE_XM);
    EXPECT_TRUE(song.get_variables()->rules.key_off_cuts_without_envelope);
    EXPECT_EQ(song.get_variables()->rules.instrument_without_note, Playback_Rules::INSTRUMENT_WITHOUT_NOTE_RETRIGGERS);
    EXPECT_EQ(song.get_variables()->rules.global_volume_slide_step, 2);
    EXPECT_TRUE(song.get_variables()->rules.pattern_loop_carries_over);
    EXPECT_TRUE(song.get_variables()->rules.offset_past_end_cuts_note);
    EXPECT_TRUE(song.get_variables()->rules.empty_order_ends_song);
    EXPECT_EQ(song.get_initial_variables()->speed, 5);
    EXPECT_EQ(song.get_initial_variables()->tempo, 140);
    EXPECT_EQ(song.get_order(0), 0);
    EXPECT_EQ(song.get_order(2), 1);
    EXPECT_EQ(song.get_order(3), 255);

    Pattern& p = *song.get_pattern(0);
    EXPECT_EQ(p.get_length(), 4);
    Note c = p.get_note(0, 0);
    EXPECT_EQ(c.note, 49);
    EXPECT_EQ(c.instrument, 0);
    EXPECT_EQ(c.volume, 48);
    EXPECT_EQ(command_of(c), "T7D");
    EXPECT_EQ(p.get_note(1, 0).note, NOTE_OFF);
    EXPECT_EQ(p.get_note(1, 0).instrument, 1);
    EXPECT_EQ(command_of(p.get_note(0, 1)), "SB3");
    EXPECT_TRUE(p.get_note(0, 2).is_empty());
    EXPECT_EQ(p.get_note(0, 3).note, NOTE_OFF);
    // Pattern 1 is not in the file: it stays empty.
    EXPECT_TRUE(song.get_pattern(1)->check_for_empty_pattern());
}

TEST_F(LoaderXmFile, LoadsSamplesAndInstruments) {
    Xm_Fixture fixture;
    ASSERT_EQ(load_into_song(write("song.xm", fixture.file.bytes)), Loader::SUCCESS);
    Sample& eight = *song.get_sample(0);
    ASSERT_TRUE(eight.in_use);
    EXPECT_EQ(eight.name, "eight");
    EXPECT_EQ(eight.def_volume, 40);
    EXPECT_EQ(eight.def_panning, 64);
    EXPECT_TRUE(eight.def_panning_active);
    // The instrument's auto-vibrato in the player's units: depth x 4, and the sweep as the
    // depth's growth per tick, 4 x (depth x 256 / sweep ticks).
    EXPECT_EQ(eight.vibrato_type, 1);
    EXPECT_EQ(eight.vibrato_depth, 32);
    EXPECT_EQ(eight.vibrato_speed, 2048);
    EXPECT_EQ(eight.vibrato_rate, 20);
    ASSERT_EQ(eight.data.get_size(), 4);
    EXPECT_FALSE(eight.data.is_16bit());
    const signed char* frames = static_cast<const signed char*>(eight.data.get_data_ptr());
    EXPECT_EQ(frames[0], 10);
    EXPECT_EQ(frames[1], 20);
    EXPECT_EQ(frames[2], -10);
    EXPECT_EQ(frames[3], -9);
    EXPECT_TRUE(eight.data.is_loop_enabled());
    EXPECT_FALSE(eight.data.is_loop_ping_pong());
    EXPECT_EQ(eight.data.get_loop_begin(), 1);
    EXPECT_EQ(eight.data.get_loop_end(), 3);
    EXPECT_EQ(eight.data.get_c5_freq(), 15787);

    // A 16-bit sample of byte length 200 is 100 frames.
    Sample& sixteen = *song.get_sample(1);
    ASSERT_TRUE(sixteen.in_use);
    ASSERT_EQ(sixteen.data.get_size(), 100);
    EXPECT_TRUE(sixteen.data.is_16bit());
    const short* words = static_cast<const short*>(sixteen.data.get_data_ptr());
    EXPECT_EQ(words[0], 300);
    EXPECT_EQ(words[99], 30000);
    EXPECT_TRUE(sixteen.data.is_loop_ping_pong());
    EXPECT_EQ(sixteen.data.get_loop_begin(), 10);
    EXPECT_EQ(sixteen.data.get_loop_end(), 100);
    EXPECT_EQ(sixteen.data.get_c5_freq(), 2 * 15787);
    EXPECT_EQ(sixteen.def_panning, 32);
    EXPECT_FALSE(song.get_sample(2)->in_use);

    Instrument& lead = *song.get_instrument(0);
    EXPECT_EQ(lead.name, "Lead");
    const Instrument::Layer& layer = lead.layers[0];
    // Key n (XM note n + 1) is looked up under the stored note n + 1.
    EXPECT_EQ(layer.sample_table[1], 0);
    EXPECT_EQ(layer.sample_table[48], 0);
    EXPECT_EQ(layer.sample_table[49], 1);
    EXPECT_EQ(layer.sample_table[96], 1);
    EXPECT_EQ(layer.sample_table[0], 255);
    EXPECT_EQ(layer.sample_table[97], 255);
    EXPECT_EQ(layer.volume_fadeout, 0x40);
    const Envelope& volume = layer.volume_envelope;
    EXPECT_TRUE(volume.is_enabled());
    EXPECT_TRUE(volume.is_sustain_loop_enabled());
    EXPECT_TRUE(volume.is_loop_enabled());
    ASSERT_EQ(volume.get_node_count(), 3);
    EXPECT_EQ(volume.get_node_offset(1), 10);
    EXPECT_EQ(volume.get_node_height(1), 32);
    EXPECT_EQ(volume.get_loop_end(), 2);
    EXPECT_EQ(volume.get_sustain_loop_begin(), 1);
    EXPECT_EQ(volume.get_sustain_loop_end(), 1);
    const Envelope& panning = layer.panning_envelope;
    EXPECT_TRUE(panning.is_enabled());
    EXPECT_FALSE(panning.is_loop_enabled());
    ASSERT_EQ(panning.get_node_count(), 2);
    EXPECT_EQ(panning.get_node_height(0), 0);
    EXPECT_EQ(panning.get_node_height(1), 32);
    EXPECT_EQ(song.get_instrument(1)->name, "Empty");
}

// The XM fade-out counts against 32768 per tick, so rates above 0xFFF end a note in a few ticks
// or one; none is cut down to the rate of 0xFFF.
TEST_F(LoaderXmFile, FadeOutKeepsRatesAboveFFF) {
    const size_t fade_at = 239;  // in the first instrument's header
    const std::pair<int, int> cases[] = {{0x400, 0x40}, {0x1000, 0x100}, {0x7FFF, 0x7FF}, {0xFFFF, 0x800}};
    for (auto [stored, rate] : cases) {
        Xm_Fixture fixture;
        fixture.file.bytes[fixture.instruments_start + fade_at] = (char)(stored & 0xFF);
        fixture.file.bytes[fixture.instruments_start + fade_at + 1] = (char)(stored >> 8);
        ASSERT_EQ(load_into_song(write("fade.xm", fixture.file.bytes)), Loader::SUCCESS);
        EXPECT_EQ(song.get_instrument(0)->layers[0].volume_fadeout, rate) << stored;
    }
}

TEST_F(LoaderXmFile, SampleLibraryHandsSamplesToTheSong) {
    Xm_Fixture fixture;
    ASSERT_EQ(loader.load(write("song.xm", fixture.file.bytes).c_str(), false), Loader::SUCCESS);
    ASSERT_EQ(loader.get_amount_of_samples(), 2);
    EXPECT_EQ(loader.get_sample_name(1), "sixteen");
    EXPECT_EQ(loader.get_sample_name(2), "");
    EXPECT_EQ(loader.get_sample_data(2), nullptr);
    ASSERT_NE(loader.get_sample_data(1), nullptr);
    EXPECT_EQ(loader.get_sample_data(1)->get_size(), 100);
    loader.add_sample_to_song(1, 7, true);
    EXPECT_TRUE(song.get_sample(7)->in_use);
    EXPECT_EQ(song.get_sample(7)->data.get_size(), 100);
    EXPECT_EQ(song.get_instrument(0)->layers[0].sample_table[60], 7);
    EXPECT_EQ(song.get_instrument(0)->name, "sixteen");
    loader.free_info(true);
    EXPECT_EQ(loader.get_amount_of_samples(), 0);
}

TEST_F(LoaderXmFile, InstrumentsWithMoreThanSixteenSamples) {
    // Twenty samples of distinct lengths, each on its own key range.
    Byte_Builder b = xm_header(1, 0, 1, {0});
    std::vector<Xm_Sample_Layout> samples(20);
    for (size_t i = 0; i < samples.size(); ++i) samples[i].deltas = std::vector<int>(i + 1, 1);
    std::vector<int> keyboard(96);
    for (int n = 0; n < 96; ++n) keyboard[n] = n / 4;  // keys 80..95 name samples 20..23: none
    add_instrument(b, "Many", samples, keyboard);
    ASSERT_EQ(load_into_song(write("many.xm", b.bytes)), Loader::SUCCESS);
    const Instrument::Layer& layer = song.get_instrument(0)->layers[0];
    for (int s = 0; s < 20; ++s) {
        ASSERT_TRUE(song.get_sample(s)->in_use) << s;
        EXPECT_EQ(song.get_sample(s)->data.get_size(), s + 1);
        EXPECT_EQ(layer.sample_table[s * 4 + 1], s);
        EXPECT_EQ(layer.sample_table[s * 4 + 4], s);
    }
    EXPECT_FALSE(song.get_sample(20)->in_use);
    EXPECT_EQ(layer.sample_table[81], EMPTY_FIELD);

    // More samples than the keyboard can name is no instrument at all.
    Byte_Builder too_many = xm_header(1, 0, 1, {0});
    samples.assign(257, Xm_Sample_Layout());
    add_instrument(too_many, "Too many", samples, {});
    EXPECT_EQ(loader.load(write("too_many.xm", too_many.bytes).c_str(), true), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(loader.get_amount_of_samples(), 0);
    EXPECT_FALSE(loader.is_busy());
}

TEST_F(LoaderXmFile, PatternsKeepAll256RowsAndDropExtraChannels) {
    Byte_Builder b = xm_header(66, 1, 0, {0});
    Byte_Builder cells;
    for (int row = 0; row < 256; ++row)
        for (int ch = 0; ch < 66; ++ch) cells.u8(0x81).u8(1 + (ch % 96));
    add_pattern(b, {256, cells.bytes});
    ASSERT_EQ(load_into_song(write("wide.xm", b.bytes)), Loader::SUCCESS);
    Pattern& p = *song.get_pattern(0);
    EXPECT_EQ(p.get_length(), 256);
    EXPECT_EQ(p.get_note(63, 255).note, 64);
    EXPECT_EQ(p.get_note_count(), 64 * 256);
}

TEST_F(LoaderXmFile, ShortPatternBlockLeavesTheRestEmpty) {
    Byte_Builder b = xm_header(4, 1, 0, {0});
    Byte_Builder cells;
    cells.u8(0x81).u8(20).u8(49);  // the second cell is cut short: 49 would start a plain cell
    add_pattern(b, {16, cells.bytes});
    ASSERT_EQ(load_into_song(write("cut.xm", b.bytes)), Loader::SUCCESS);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).note, 20);
    EXPECT_EQ(song.get_pattern(0)->get_note_count(), 1);
}

// Every prefix of a sound file either fails with a clear error or, once the patterns are whole,
// loads with the instruments that fit; nothing is ever read past the end.
TEST_F(LoaderXmFile, EveryTruncationIsDetected) {
    Xm_Fixture fixture;
    const std::string& full = fixture.file.bytes;
    for (size_t cut = 0; cut < full.size(); ++cut) {
        std::string path = write("cut.xm", full.substr(0, cut));
        Loader::Error e = loader.load(path.c_str(), true);
        if (cut <= 37) {
            EXPECT_EQ(e, Loader::FILE_FORMAT_NOT_RECOGNIZED) << cut;
        } else if (cut < fixture.patterns_start) {
            EXPECT_EQ(e, Loader::HEADER_CORRUPT) << cut;
        } else if (cut < fixture.instruments_start) {
            EXPECT_EQ(e, Loader::FILE_ERROR) << cut;
        } else {
            ASSERT_EQ(e, Loader::SUCCESS) << cut;
            // The first instrument's samples come only with its whole header.
            int expected = cut <= fixture.sample_data_start ? 0 : cut < fixture.sample_data_start + 6 ? 1 : 2;
            EXPECT_EQ(loader.get_amount_of_samples(), expected) << cut;
        }
        EXPECT_FALSE(loader.is_busy());
        loader.free_info(true);
    }
}

TEST_F(LoaderXmFile, TrailingInstrumentsMissingFromTheFile) {
    Xm_Fixture fixture;
    std::string bytes = fixture.file.bytes;
    bytes[72] = 40;  // 40 instruments announced, 2 present
    ASSERT_EQ(load_into_song(write("trailing.xm", bytes)), Loader::SUCCESS);
    EXPECT_EQ(song.get_instrument(0)->name, "Lead");
    EXPECT_EQ(song.get_instrument(1)->name, "Empty");
    EXPECT_TRUE(song.get_sample(1)->in_use);
}

TEST_F(LoaderXmFile, OldLayoutKeepsSampleDataAfterThePatterns) {
    // Version 1.02: instruments first, then patterns with a one-byte row count (minus one), then
    // the sample data of every instrument.
    Byte_Builder b = xm_header(1, 1, 1, {0});
    b.bytes[58] = 0x02;
    b.u32(263).text("Old", 22).u8(0).u16(1).u32(40);
    add_instrument_block(b, {});
    b.fill(20);
    b.u32(3).u32(0).u32(0).u8(64).u8(0).u8(0).u8(128).u8(0).u8(0).text("old", 22);
    Byte_Builder cells;
    cells.u8(0x81).u8(30);
    for (int row = 1; row < 32; ++row) cells.u8(0x80);
    b.u32(8).u8(0).u8(31).u16((int)cells.size()).text(cells.bytes);
    b.u8(4).u8(4).u8(4);
    ASSERT_EQ(load_into_song(write("old.xm", b.bytes)), Loader::SUCCESS);
    EXPECT_EQ(song.get_pattern(0)->get_length(), 32);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).note, 30);
    ASSERT_EQ(song.get_sample(0)->data.get_size(), 3);
    EXPECT_EQ(static_cast<const signed char*>(song.get_sample(0)->data.get_data_ptr())[2], 12);
    EXPECT_EQ(song.get_instrument(0)->layers[0].sample_table[1], 0);
}

TEST_F(LoaderXmFile, AdpcmCompressedSamples) {
    Byte_Builder b = xm_header(1, 0, 1, {0});
    b.u32(263).text("Packed", 22).u8(0).u16(1).u32(40);
    add_instrument_block(b, {});
    b.fill(20);
    b.u32(5).u32(0).u32(0).u8(64).u8(0).u8(0).u8(128).u8(0).u8(0xAD).text("adpcm", 22);
    for (int d : {0, 1, 2, 3, 4, 5, 6, 7, -8, -7, -6, -5, -4, -3, -2, -1}) b.u8(d & 0xFF);
    b.u8(0x21).u8(0x0F).u8(0x08);  // deltas 1, 2, -1, 0, -8
    ASSERT_EQ(load_into_song(write("adpcm.xm", b.bytes)), Loader::SUCCESS);
    const Sample_Data& data = song.get_sample(0)->data;
    ASSERT_EQ(data.get_size(), 5);
    const signed char* frames = static_cast<const signed char*>(data.get_data_ptr());
    EXPECT_EQ(frames[0], 1);
    EXPECT_EQ(frames[1], 3);
    EXPECT_EQ(frames[2], 2);
    EXPECT_EQ(frames[3], 2);
    EXPECT_EQ(frames[4], -6);
}

TEST_F(LoaderXmFile, TruncatedSampleDataKeepsWhatIsThere) {
    Byte_Builder b = xm_header(1, 0, 1, {0});
    Xm_Sample_Layout s;
    s.deltas = std::vector<int>(50, 1);
    s.type_loop = 1;
    s.loop_start = 10;
    s.loop_length = 40;
    add_instrument(b, "Cut", {s}, {});
    std::string bytes = b.bytes.substr(0, b.size() - 20);
    ASSERT_EQ(load_into_song(write("cut.xm", bytes)), Loader::SUCCESS);
    Sample& sample = *song.get_sample(0);
    ASSERT_TRUE(sample.in_use);
    EXPECT_EQ(sample.data.get_size(), 30);
    EXPECT_EQ(static_cast<const signed char*>(sample.data.get_data_ptr())[29], 30);
    EXPECT_EQ(sample.data.get_loop_end(), 30);
}

TEST_F(LoaderXmFile, SizesPointingPastTheEndAreRejected) {
    Xm_Fixture fixture;
    std::string bytes = fixture.file.bytes;
    std::string huge_header = bytes;
    huge_header[60] = '\xFF';
    huge_header[61] = '\xFF';
    EXPECT_EQ(loader.load(write("h.xm", huge_header).c_str(), true), Loader::HEADER_CORRUPT);
    std::string huge_pattern_header = bytes;
    huge_pattern_header[fixture.patterns_start + 2] = '\x7F';
    EXPECT_EQ(loader.load(write("p.xm", huge_pattern_header).c_str(), true), Loader::FILE_ERROR);
    // An instrument whose size runs past the end ends the instrument list.
    std::string huge_instrument = bytes;
    huge_instrument[fixture.instruments_start + 3] = '\xFF';
    EXPECT_EQ(loader.load(write("i.xm", huge_instrument).c_str(), true), Loader::SUCCESS);
    EXPECT_EQ(loader.get_amount_of_samples(), 0);
    loader.free_info(true);
    std::string many_patterns = bytes;
    many_patterns[70] = '\x40';
    EXPECT_EQ(loader.load(write("n.xm", many_patterns).c_str(), true), Loader::FILE_ERROR);
}

TEST_F(LoaderXmFile, XiInstrumentGoesToFreeSampleSlots) {
    Byte_Builder b;
    b.text("Extended Instrument: ").text("Bass", 22).u8(0x1A).text("Wendmoor Tests", 20).u16(0x0102);
    std::vector<int> keyboard(96, 0);
    keyboard[50] = 1;
    add_instrument_block(b, keyboard);
    b.fill(20).u16(2);
    Xm_Sample_Layout low, high;
    low.deltas = {5, 5};
    high.deltas = {1, 2, 3};
    high.name = "high";
    add_samples(b, {low, high});
    std::string path = write("bass.xi", b.bytes);

    song.get_sample(0)->in_use = true;  // slot 0 is taken
    ASSERT_EQ(loader.load_instrument(path.c_str(), 3), Loader::SUCCESS);
    EXPECT_FALSE(loader.is_busy());
    Instrument& bass = *song.get_instrument(3);
    EXPECT_EQ(bass.name, "Bass");
    EXPECT_EQ(bass.layers[0].sample_table[1], 1);
    EXPECT_EQ(bass.layers[0].sample_table[51], 2);
    EXPECT_EQ(song.get_sample(2)->name, "high");
    EXPECT_EQ(song.get_sample(2)->data.get_size(), 3);
    EXPECT_EQ(bass.layers[0].volume_envelope.get_node_count(), 3);

    std::string not_xi = b.bytes;
    not_xi[0] = 'e';
    EXPECT_EQ(loader.load_instrument(write("bad.xi", not_xi).c_str(), 4), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(loader.load_instrument(dir.file("none.xi").c_str(), 4), Loader::FILE_CANNOT_OPEN);
    EXPECT_EQ(loader.load_instrument(write("short.xi", b.bytes.substr(0, 200)).c_str(), 4),
              Loader::HEADER_CORRUPT);
    EXPECT_EQ(song.get_instrument(4)->name, "");
    EXPECT_EQ(loader.load_sample(path.c_str(), 5), Loader::FILE_ERROR);
    EXPECT_EQ(loader.load_samples_from_instrument(path.c_str()), Loader::FILE_ERROR);
    EXPECT_EQ(loader.load_sample(path.c_str()), nullptr);
}

}  // namespace
