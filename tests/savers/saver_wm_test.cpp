#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <zlib.h>

#include "common/components/data/dds_packer.h"
#include "savers/saver_wm.h"
#include "support/native_song.h"
#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

namespace {
std::uint32_t dword_at(const std::string& s, size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; i--) v = (v << 8) | (unsigned char)s[at + i];
    return v;
}
}  // namespace

TEST(SaverWM, ContainerHeaderAndStream) {
    Tracker_Instance ti;
    Scratch_Dir dir;
    std::string file = dir.file("a.wm");
    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.saver_wm.save(file.c_str()), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("file is " + file + "\ntype recognized\nwriter going\ncreating file...\nwriter no error\n"),
              std::string::npos);
    std::string bytes = Scratch_Dir::read(file);
    ASSERT_GT(bytes.size(), 14u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("WDMM\x01\x01", 6));
    std::uint32_t u = dword_at(bytes, 6), z = dword_at(bytes, 10);
    EXPECT_EQ(z + 14, bytes.size());
    std::vector<unsigned char> packed(u);
    uLongf len = u;
    ASSERT_EQ(uncompress(packed.data(), &len, (const Bytef*)bytes.data() + 14, z), Z_OK);
    EXPECT_EQ(len, u);
    DDS tree;
    ASSERT_TRUE(DDSPacker::unpack(&tree, packed.data(), u));
    for (const char* key : {"variables", "initial_variables", "order_list", "samples", "instruments", "patterns", "mixer"})
        EXPECT_TRUE(tree.is_var(key)) << key;
    EXPECT_EQ(tree.get_int_array_var("order_list").size(), 255u);
}

TEST(SaverWM, NamesAndFailures) {
    Tracker_Instance ti;
    Scratch_Dir dir;
    for (std::string name : {dir.file("x.Wm"), std::string(".wm"), dir.file("x.it"), dir.file("song.wmx")})
        EXPECT_EQ(ti.saver_wm.save(name.c_str()), -2) << name;
    EXPECT_EQ(ti.saver_wm.save(dir.file("upper.WM").c_str()), 0);
    EXPECT_EQ(ti.saver_wm.save_instrument(dir.file("i.WI").c_str(), 0), 0);
    EXPECT_EQ(ti.saver_wm.save_instrument(dir.file("i.wi").c_str(), 99), -1);
    EXPECT_EQ(ti.saver_wm.save((dir.path() + "/no/such/dir/s.wm").c_str()), -1);

    // A save that cannot finish leaves the previous file as it was.
    std::string file = dir.file("keep.wm");
    Scratch_Dir::write(file, "previous");
    // A file size limit makes the writes fail part way, whoever runs the test.
    fill_sample(*ti.song.get_sample(0), 200000, true, 5);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStdout();
    int result = ti.saver_wm.save(file.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("Error writing to file!!!"), std::string::npos);
    EXPECT_EQ(out.find("writer no error"), std::string::npos);
    EXPECT_EQ(Scratch_Dir::read(file), "previous");
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path()) == std::filesystem::directory_iterator(), false);
}

TEST(SaverWM, SongTreeHoldsUsedSamplesAllInstrumentsAndNonEmptyPatterns) {
    Tracker_Instance ti;
    fill_sample(*ti.song.get_sample(5), 16, false, 1);
    ti.song.get_pattern(3)->get_note_ref(0, 0).note = 48;
    ti.song.get_pattern(3)->get_note_ref(0, 1);
    DDS tree;
    ti.saver_wm.get_dds_from_song(&tree);
    VectorPointer<DDS>& samples = tree.get_dynamic_data_struct_array_var("samples");
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0]->get_int_var("index"), 5);
    EXPECT_EQ(tree.get_dynamic_data_struct_array_var("instruments").size(), 99u);
    VectorPointer<DDS>& patterns = tree.get_dynamic_data_struct_array_var("patterns");
    ASSERT_EQ(patterns.size(), 1u);
    EXPECT_EQ(patterns[0]->get_int_var("index"), 3);
    DDS* mixer = tree.get_dynamic_data_struct_var("mixer");
    ASSERT_TRUE(mixer);
    EXPECT_EQ(mixer->get_dynamic_data_struct_array_var("channels").size(), 16u);
    EXPECT_EQ(mixer->get_dynamic_data_struct_array_var("channels")[15]->get_str_var("name"), "Channel 15");
    EXPECT_EQ(mixer->get_dynamic_data_struct_array_var("buffers").size(), 0u);
    EXPECT_FLOAT_EQ(mixer->get_float_var("preamp"), 0.3f);
}

TEST(SaverWM, PatternPacking) {
    Pattern p;
    p.set_length(4);
    Note n;
    n.note = 60;
    n.instrument = 0;
    p.get_note_ref(0, 0) = n;
    p.get_note_ref(0, 0);
    std::vector<int> block = Saver_WM::compress_pattern(&p);
    EXPECT_EQ(block, (std::vector<int>{129, 3, 60, 1, 0, 0, 0, 0}));

    // The same note and instrument again: remembered values, no value bytes.
    p.get_note_ref(0, 1) = n;
    // A command with its parameter, then a note off and cut in channel 63, then a lone parameter.
    Note c;
    c.command = 3;
    c.parameter = 0x10;
    p.get_note_ref(5, 2) = c;
    Note off;
    off.note = NOTE_OFF;
    p.get_note_ref(63, 2) = off;
    Note cut;
    cut.note = NOTE_CUT;
    cut.volume = 30;
    p.get_note_ref(63, 3) = cut;
    Note lone;
    lone.parameter = 7;
    p.get_note_ref(5, 3) = lone;
    p.get_note_ref(0, 0);
    block = Saver_WM::compress_pattern(&p);
    EXPECT_EQ(block, (std::vector<int>{129, 3, 60, 1, 0,          // row 0
                                       129, 48, 0,                // row 1: bits 4 and 5
                                       134, 8, 4, 0x10,           // row 2: channel 5 command D10
                                       128 | 64, 1, 255, 0,       //        channel 63 note off
                                       6, 0, 7,                   // row 3: empty command, parameter 7
                                       128 | 64, 5, 254, 30, 0}));
}

TEST(SaverWM, InstrumentTablesNamePositionsInTheFile) {
    Tracker_Instance ti;
    Instrument& ins = *ti.song.get_instrument(0);
    for (int s : {7, 3}) fill_sample(*ti.song.get_sample(s), 8, false, 1);
    ins.layers[0].sample_table[0] = 7;
    ins.layers[1].sample_table[0] = 3;
    ins.layers[0].sample_table[1] = 3;
    ins.layers[2].sample_table[5] = 150;  // no sample: written unchanged
    DDS tree;
    ti.saver_wm.get_dds_from_instrument(&ins, &tree, true);
    ASSERT_EQ(tree.get_dynamic_data_struct_array_var("samples").size(), 2u);
    VectorPointer<DDS>& layers = tree.get_dynamic_data_struct_array_var("layers");
    ASSERT_EQ(layers.size(), 4u);
    EXPECT_EQ(layers[0]->get_int_array_var("sample_table")[0], 0);
    EXPECT_EQ(layers[1]->get_int_array_var("sample_table")[0], 1);
    EXPECT_EQ(layers[0]->get_int_array_var("sample_table")[1], 1);
    EXPECT_EQ(layers[2]->get_int_array_var("sample_table")[5], 150);
    EXPECT_EQ(layers[0]->get_int_var("pitch_filter_type"), 0);
    DDS plain;
    ti.saver_wm.get_dds_from_instrument(&ins, &plain, false);
    EXPECT_FALSE(plain.is_var("samples"));
    EXPECT_EQ(plain.get_dynamic_data_struct_array_var("layers")[0]->get_int_array_var("sample_table")[0], 7);
}
