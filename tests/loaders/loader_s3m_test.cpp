#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loaders/loader_s3m.h"
#include "support/byte_builder.h"
#include "support/scratch_dir.h"
#include "trackercore/song.h"

namespace {

TEST(LoaderS3mCells, NoteRules) {
    EXPECT_EQ(Loader_S3M::convert_note(0x45), 4 * 12 + 5);
    EXPECT_EQ(Loader_S3M::convert_note(0x00), 0);
    EXPECT_EQ(Loader_S3M::convert_note(0x9B), 119);
    EXPECT_EQ(Loader_S3M::convert_note(254), NOTE_CUT);
    EXPECT_EQ(Loader_S3M::convert_note(255), EMPTY_FIELD);
    // Octaves past 9 are no notes of the song.
    EXPECT_EQ(Loader_S3M::convert_note(0xA0), EMPTY_FIELD);
    EXPECT_EQ(Loader_S3M::convert_note(0xE5), EMPTY_FIELD);
}

TEST(LoaderS3mCells, InstrumentVolumeAndCommandRules) {
    EXPECT_EQ(Loader_S3M::convert_instrument(0), EMPTY_FIELD);
    EXPECT_EQ(Loader_S3M::convert_instrument(1), 0);
    EXPECT_EQ(Loader_S3M::convert_instrument(99), 98);
    EXPECT_EQ(Loader_S3M::convert_instrument(100), EMPTY_FIELD);
    EXPECT_EQ(Loader_S3M::convert_volume(80), 64);
    EXPECT_EQ(Loader_S3M::convert_volume(64), 64);
    EXPECT_EQ(Loader_S3M::convert_volume(0), 0);
    EXPECT_EQ(Loader_S3M::convert_command(0), EMPTY_FIELD);
    EXPECT_EQ(Loader_S3M::convert_command(1), 0);   // A
    EXPECT_EQ(Loader_S3M::convert_command(19), 18); // S
    EXPECT_EQ(Loader_S3M::convert_command(26), 25); // Z
    EXPECT_EQ(Loader_S3M::convert_command(27), EMPTY_FIELD);
}

TEST(LoaderS3mCells, UnpacksRowsUntilTheBlockEnds) {
    Byte_Builder b;
    b.u8(0x20 | 3).u8(0x45).u8(2);          // row 0 ch 3: note, instrument
    b.u8(0x40 | 1).u8(80);                   // row 0 ch 1: volume 80 → 64
    b.u8(0);
    b.u8(0x80 | 31).u8(1).u8(6);             // row 1 ch 31: A06
    b.u8(0);
    b.u8(0xE0 | 0).u8(254).u8(0).u8(10).u8(20).u8(0x10);  // row 2 ch 0: all fields
    b.u8(0);
    b.u8(0x20).u8(0x30);                     // row 3: cut inside the cell
    Pattern p;
    Loader_S3M::unpack_pattern(reinterpret_cast<const unsigned char*>(b.bytes.data()), (int)b.size(), p);
    EXPECT_EQ(p.get_length(), 64);
    EXPECT_EQ(p.get_note(3, 0).note, 53);
    EXPECT_EQ(p.get_note(3, 0).instrument, 1);
    EXPECT_EQ(p.get_note(3, 0).volume, 255);
    EXPECT_EQ(p.get_note(1, 0).volume, 64);
    EXPECT_EQ(p.get_note(31, 1).command, 0);
    EXPECT_EQ(p.get_note(31, 1).parameter, 6);
    Note full = p.get_note(0, 2);
    EXPECT_EQ(full.note, NOTE_CUT);
    EXPECT_EQ(full.instrument, EMPTY_FIELD);
    EXPECT_EQ(full.volume, 10);
    EXPECT_EQ(full.command, 19);
    EXPECT_EQ(full.parameter, 0x10);
    EXPECT_EQ(p.get_note_count(), 4);
}

// One 8-bit and one 16-bit sample, one pattern, orders 0 254 0 255.
struct S3m_Fixture {
    Byte_Builder file;
    S3m_Fixture(bool valid_magic = true) {
        const int orders = 4, samples = 2, patterns = 1;
        file.text("S3M Song", 28).u8(0x1A).u8(16).u16(0);
        file.u16(orders).u16(samples).u16(patterns).u16(0).u16(0x1320).u16(2);
        file.text(valid_magic ? "SCRM" : "SCRX").u8(48).u8(4).u8(150).u8(0x80 | 40).u8(0).u8(0);
        file.fill(8).u16(0).fill(32);
        file.u8(0).u8(254).u8(0).u8(255);
        // Pointers in paragraphs: samples at 0x10, 0x15; pattern at 0x1A; data at 0x20 and 0x21.
        file.u16(0x10).u16(0x15).u16(0x1A);
        file.fill(0x100 - file.size());
        add_sample(0x20, 3, 0, "eight", "EIGHT.SMP");
        add_sample(0x21, 2, 4, "sixteen", "SIXTEEN.SMP");
        file.fill(0x1A0 - file.size());
        Byte_Builder cells;
        cells.u8(0x20).u8(0x40).u8(1).u8(0);
        file.u16((int)cells.size() + 2).text(cells.bytes);
        file.fill(0x200 - file.size());
        file.u8(0x80).u8(0xFF).u8(0x00);  // 8-bit: 0, 127, -128
        file.fill(0x210 - file.size());
        file.u16(0x0000).u16(0xFFFF);     // 16-bit: -32768, 32767
    }
    void add_sample(int segment, int length, int flags, const std::string& name, const std::string& dos) {
        file.u8(1).text(dos, 12).u8(0).u16(segment).u32(length).u32(1).u32(3).u8(50).u8(0).u8(0).u8(flags | 1);
        file.u32(8363).fill(12).text(name, 28).text("SCRS");
    }
};

class LoaderS3mFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        loader.set_song(&song);
    }
    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = dir.file(name);
        Scratch_Dir::write(path, bytes);
        return path;
    }
    Scratch_Dir dir;
    Song song;
    Loader_S3M loader;
};

// ST3.00 files, and later ones whose header asks for them, slide volumes on the first tick too.
TEST_F(LoaderS3mFile, FastVolumeSlidesFromTheHeader) {
    struct Case {
        int flags, version;
        bool fast;
    };
    const Case cases[] = {{0, 0x1320, false}, {0, 0x1300, true}, {64, 0x1320, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        S3m_Fixture fixture;
        std::string& bytes = fixture.file.bytes;
        bytes[38] = (char)c.flags;
        bytes[40] = (char)(c.version & 0xFF);
        bytes[41] = (char)(c.version >> 8);
        std::string path = write("song.s3m", bytes);
        ASSERT_EQ(loader.load(path.c_str(), true), Loader::SUCCESS);
        song.reset_data();
        loader.transfer_data_to_song();
        loader.free_info(false);
        EXPECT_EQ(song.get_variables()->rules.fast_volume_slides, c.fast);
    }
}

TEST_F(LoaderS3mFile, LoadsSongVariablesSamplesAndPatterns) {
    S3m_Fixture fixture;
    std::string path = write("song.s3m", fixture.file.bytes);
    ASSERT_TRUE(loader.test(path.c_str()));
    ASSERT_EQ(loader.load(path.c_str(), true), Loader::SUCCESS);
    EXPECT_FALSE(loader.is_busy());
    song.reset_data();
    loader.transfer_data_to_song();
    loader.free_info(false);

    EXPECT_EQ(song.get_variables()->name, "S3M Song");
    EXPECT_EQ(song.get_variables()->mixing_volume, 40);
    EXPECT_FALSE(song.get_variables()->rules.use_linear_slides);
    EXPECT_TRUE(song.get_variables()->rules.old_effects);
    EXPECT_TRUE(song.get_variables()->rules.compatible_gxx);
    EXPECT_EQ(song.get_initial_variables()->global_volume, 96);
    EXPECT_EQ(song.get_initial_variables()->speed, 4);
    EXPECT_EQ(song.get_initial_variables()->tempo, 150);
    EXPECT_EQ(song.get_order(0), 0);
    EXPECT_EQ(song.get_order(1), 254);
    EXPECT_EQ(song.get_order(3), 255);

    Sample& eight = *song.get_sample(0);
    ASSERT_TRUE(eight.in_use);
    EXPECT_EQ(eight.name, "eight");
    EXPECT_EQ(eight.filename, "EIGHT.SMP");
    EXPECT_EQ(eight.def_volume, 50);
    ASSERT_EQ(eight.data.get_size(), 3);
    const signed char* bytes = static_cast<const signed char*>(eight.data.get_data_ptr());
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 127);
    EXPECT_EQ(bytes[2], -128);
    EXPECT_EQ(eight.data.get_c5_freq(), 16726);
    EXPECT_TRUE(eight.data.is_loop_enabled());
    EXPECT_EQ(eight.data.get_loop_begin(), 1);
    EXPECT_EQ(eight.data.get_loop_end(), 2);

    Sample& sixteen = *song.get_sample(1);
    ASSERT_EQ(sixteen.data.get_size(), 2);
    ASSERT_TRUE(sixteen.data.is_16bit());
    const short* words = static_cast<const short*>(sixteen.data.get_data_ptr());
    EXPECT_EQ(words[0], -32768);
    EXPECT_EQ(words[1], 32767);

    EXPECT_EQ(song.get_instrument(1)->name, "sixteen");
    EXPECT_EQ(song.get_instrument(1)->layers[0].sample_table[60], 1);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).note, 48);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).instrument, 0);
}

// Channel settings name each channel's side; a pan byte with bit 5 set overrides it, and a
// mono song (master volume bit 7 clear) plays every channel centred.
TEST_F(LoaderS3mFile, ChannelsTakeTheirStereoPositions) {
    struct Case {
        const char* name;
        bool stereo, pan_bytes;
        int pans[3];
    } cases[] = {
        {"sides", true, false, {14, 50, 14}},
        {"pan bytes", true, true, {62, 50, 30}},
        {"mono", false, true, {32, 32, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        S3m_Fixture fixture;
        std::string& bytes = fixture.file.bytes;
        bytes[64 + 1] = 8;  // R1
        if (!c.stereo) bytes[51] = (char)(bytes[51] & 0x7F);
        if (c.pan_bytes) {
            // The pan bytes follow the pointers; the padding before the samples makes room.
            std::string pans(32, '\0');
            pans[0] = 0x20 | 15;
            pans[2] = 0x20 | 7;
            bytes[53] = (char)252;
            const size_t after_pointers = 96 + 4 + 3 * 2;
            bytes.insert(after_pointers, pans);
            bytes.erase(0x100, 32);
        }
        ASSERT_EQ(loader.load(write("pan.s3m", bytes).c_str(), true), Loader::SUCCESS);
        song.reset_data();
        loader.transfer_data_to_song();
        loader.free_info(false);
        for (int ch = 0; ch < 3; ch++) EXPECT_EQ(song.get_initial_variables()->channel[ch].pan, c.pans[ch]) << ch;
        EXPECT_EQ(song.get_sample(0)->data.get_size(), 3);  // nothing after the header moved
    }
}

TEST_F(LoaderS3mFile, WithoutPatternsOnlySamplesAreStaged) {
    S3m_Fixture fixture;
    ASSERT_EQ(loader.load(write("song.s3m", fixture.file.bytes).c_str(), false), Loader::SUCCESS);
    EXPECT_EQ(loader.get_staged_sample_count(), 2);
    EXPECT_EQ(loader.get_staged_pattern_count(), 0);
}

TEST_F(LoaderS3mFile, RejectsOtherFiles) {
    S3m_Fixture fixture(false);
    std::string path = write("x.s3m", fixture.file.bytes);
    EXPECT_FALSE(loader.test(path.c_str()));
    EXPECT_EQ(loader.load(path.c_str(), true), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(loader.get_staged_sample_count(), 0);
    // Missing files are claimed so that load names the error.
    EXPECT_TRUE(loader.test(dir.file("none.s3m").c_str()));
    EXPECT_EQ(loader.load(dir.file("none.s3m").c_str(), true), Loader::FILE_CANNOT_OPEN);
    EXPECT_EQ(loader.load_sample(path.c_str(), 0), Loader::FILE_ERROR);
    EXPECT_EQ(loader.load_instrument(path.c_str(), 0), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(loader.load_sample(path.c_str()), nullptr);
}

TEST_F(LoaderS3mFile, TruncationsLoadSafely) {
    S3m_Fixture fixture;
    const std::string& full = fixture.file.bytes;
    for (size_t cut = 0; cut < full.size(); ++cut) {
        Loader::Error e = loader.load(write("cut.s3m", full.substr(0, cut)).c_str(), true);
        if (cut < 48)
            EXPECT_EQ(e, Loader::FILE_FORMAT_NOT_RECOGNIZED) << cut;
        else if (cut < 96 + 4 + 6)
            EXPECT_EQ(e, Loader::HEADER_CORRUPT) << cut;
        else
            EXPECT_EQ(e, Loader::SUCCESS) << cut;
        EXPECT_FALSE(loader.is_busy());
        loader.free_info(true);
    }
    // Cut inside the 16-bit data: the one whole frame stays.
    ASSERT_EQ(loader.load(write("cut.s3m", full.substr(0, full.size() - 1)).c_str(), true), Loader::SUCCESS);
    song.reset_data();
    loader.transfer_data_to_song();
    loader.free_info(false);
    EXPECT_EQ(song.get_sample(1)->data.get_size(), 1);
}

TEST_F(LoaderS3mFile, FaultySamplesStayEmpty) {
    S3m_Fixture fixture;
    std::string bytes = fixture.file.bytes;
    bytes[0x150 + 76] = 'X';  // second sample's magic
    ASSERT_EQ(loader.load(write("bad.s3m", bytes).c_str(), true), Loader::SUCCESS);
    song.reset_data();
    loader.transfer_data_to_song();
    loader.free_info(false);
    EXPECT_TRUE(song.get_sample(0)->in_use);
    EXPECT_FALSE(song.get_sample(1)->in_use);
    EXPECT_EQ(song.get_sample(1)->name, "sixteen");
}

}  // namespace

namespace {

// Pack byte 4: a delta table, then nibble indices low first: 3 5 6 2 1 give 16, -113, 15, 14, 15.
TEST_F(LoaderS3mFile, AdpcmSamplesDecodeAndShortOnesKeepWhatIsThere) {
    S3m_Fixture fixture;
    std::string bytes = fixture.file.bytes;
    bytes.resize(0x220, '\0');
    bytes[0x100 + 14] = 0x22;  // first sample's data at 0x220
    bytes[0x100 + 16] = 5;     // five frames
    bytes[0x100 + 30] = 4;
    bytes += std::string("\x00\x01\xFF\x10\xF0\x7F\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00", 16);
    bytes += std::string("\x53\x26\x01", 3);
    const signed char expected[] = {16, -113, 15, 14, 15};
    for (int cut = 0; cut <= 2; ++cut) {
        ASSERT_EQ(loader.load(write("adpcm.s3m", bytes.substr(0, bytes.size() - cut)).c_str(), true), Loader::SUCCESS);
        song.reset_data();
        loader.transfer_data_to_song();
        loader.free_info(false);
        const Sample_Data& data = song.get_sample(0)->data;
        int frames = cut == 0 ? 5 : cut == 1 ? 4 : 2;
        ASSERT_EQ(data.get_size(), frames) << cut;
        const signed char* f = static_cast<const signed char*>(data.get_data_ptr());
        for (int i = 0; i < frames; ++i) EXPECT_EQ(f[i], expected[i]) << cut << ":" << i;
    }
    ASSERT_EQ(loader.load(write("adpcm.s3m", bytes.substr(0, 0x220 + 10)).c_str(), true), Loader::SUCCESS);
    song.reset_data();
    loader.transfer_data_to_song();
    loader.free_info(false);
    EXPECT_EQ(song.get_sample(0)->data.get_data_ptr(), nullptr);
    EXPECT_EQ(song.get_sample(1)->data.get_size(), 2);
}

}  // namespace
