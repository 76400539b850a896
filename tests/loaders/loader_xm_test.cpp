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
    EXPECT_EQ(Loader_XM::convert_volume(0x6F), 104);  // slide down capped at 9
    EXPECT_EQ(Loader_XM::convert_volume(0x73), 88);
    EXPECT_EQ(Loader_XM::convert_volume(0x82), 77);
    EXPECT_EQ(Loader_XM::convert_volume(0x9C), 74);
    EXPECT_EQ(Loader_XM::convert_volume(0xA5), 255);  // vibrato speed has no IT column
    EXPECT_EQ(Loader_XM::convert_volume(0xB4), 207);
    EXPECT_EQ(Loader_XM::convert_volume(0xC0), 128);
    EXPECT_EQ(Loader_XM::convert_volume(0xC8), 128 + 8 * 65 / 15);
    EXPECT_EQ(Loader_XM::convert_volume(0xCF), 192);
    EXPECT_EQ(Loader_XM::convert_volume(0xD3), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0xE3), 255);
    EXPECT_EQ(Loader_XM::convert_volume(0xF8), 197);
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
    for (int unmapped : {18, 19, 21, 22, 23, 24, 26, 28, 30, 33, 254})
        EXPECT_EQ(command_of(translate_effect(unmapped, 0x11)), "") << unmapped;
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
}

TEST(LoaderXmTables, SetVolumeUsesAFreeVolumeColumn) {
    Note free_column = translate_effect(12, 0x20);
    EXPECT_EQ(free_column.volume, 0x20);
    EXPECT_EQ(command_of(free_column), "");
    EXPECT_EQ(translate_effect(12, 0x70).volume, 64);
    Note taken = translate_effect(12, 0x20, 48, 10);
    EXPECT_EQ(taken.volume, 10);
    EXPECT_EQ(command_of(taken), "M20");
}

TEST(LoaderXmTables, KeyOff) {
    Note without_note = translate_effect(20, 0x00);
    EXPECT_EQ(without_note.note, NOTE_OFF);
    EXPECT_EQ(command_of(without_note), "");
    Note with_note = translate_effect(20, 0x05, 48);
    EXPECT_EQ(with_note.note, 48);
    EXPECT_EQ(command_of(with_note), "");
}

TEST(LoaderXmTables, ExtendedEffects) {
    EXPECT_EQ(command_of(translate_effect(14, 0x10)), "");
    EXPECT_EQ(command_of(translate_effect(14, 0x15)), "FF5");
    EXPECT_EQ(command_of(translate_effect(14, 0x20)), "");
    EXPECT_EQ(command_of(translate_effect(14, 0x2A)), "EFA");
    EXPECT_EQ(command_of(translate_effect(14, 0x31)), "S11");  // glissando
    EXPECT_EQ(command_of(translate_effect(14, 0x42)), "S32");  // vibrato waveform
    EXPECT_EQ(command_of(translate_effect(14, 0x58)), "S28");  // finetune
    EXPECT_EQ(command_of(translate_effect(14, 0x63)), "SB3");  // pattern loop
    EXPECT_EQ(command_of(translate_effect(14, 0x71)), "S41");  // tremolo waveform
    EXPECT_EQ(command_of(translate_effect(14, 0x8C)), "S8C");
    EXPECT_EQ(command_of(translate_effect(14, 0x90)), "");
    EXPECT_EQ(command_of(translate_effect(14, 0x93)), "Q03");
    EXPECT_EQ(command_of(translate_effect(14, 0xA0)), "");
    EXPECT_EQ(command_of(translate_effect(14, 0xA4)), "D4F");
    EXPECT_EQ(command_of(translate_effect(14, 0xB0)), "");
    EXPECT_EQ(command_of(translate_effect(14, 0xB4)), "DF4");
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
