#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loaders/it_builder.h"
#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

// The compressed-sample decoder, driven through stand-alone .its files whose data the tests
// compress by hand.
namespace {

constexpr unsigned COMPRESSED_8 = 1 | 8;
constexpr unsigned COMPRESSED_16 = 1 | 2 | 8;
constexpr unsigned CONVERT_IT215 = 1 | 4;

// One block of full-width deltas that make d1 (IT 2.14) follow the frames.
std::string block_of_deltas(const std::vector<int>& frames, size_t from, size_t count, bool is_16bit) {
    Bit_Writer w;
    int previous = 0;  // the integrators restart with each block
    for (size_t i = from; i < from + count; i++) {
        int delta = frames[i] - previous;
        previous = frames[i];
        if (is_16bit)
            w.put((unsigned)delta & 0xFFFF, 17);
        else
            w.put((unsigned)delta & 0xFF, 9);
    }
    return w.block();
}

class ITDecompress : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }

    // Loads a one-sample .its file; returns the frames, or none when the sample has no data.
    std::vector<int> load(unsigned flags, unsigned convert, unsigned length, const std::string& data) {
        IT_Sample_Spec s;
        s.flags = flags;
        s.convert = convert;
        s.length = length;
        std::string path = dir.file("s.its");
        Scratch_Dir::write(path, it_sample_header(s, 80) + data);
        std::vector<int> frames;
        Sample_Data* d = ti.file_format_manager.load_sample(path.c_str());
        if (!d) return frames;
        for (int i = 0; i < d->get_size(); i++)
            frames.push_back(d->is_16bit() ? static_cast<const short*>(d->get_data_ptr())[i]
                                           : static_cast<const signed char*>(d->get_data_ptr())[i]);
        delete d;
        return frames;
    }

    Scratch_Dir dir;
    Tracker_Instance ti;
};

}  // namespace

TEST_F(ITDecompress, EightBitSamplesComeInBlocksOf32768Frames) {
    std::vector<int> frames(40000);
    for (size_t i = 0; i < frames.size(); i++) frames[i] = (int)(i % 7) * 9 - 27;
    std::string data = block_of_deltas(frames, 0, 32768, false) + block_of_deltas(frames, 32768, 7232, false);
    EXPECT_EQ(load(COMPRESSED_8, 1, 40000, data), frames);
    // One block too few: the stream ends early and the sample gets no data.
    EXPECT_TRUE(load(COMPRESSED_8, 1, 40000, block_of_deltas(frames, 0, 32768, false)).empty());
}

TEST_F(ITDecompress, SixteenBitSamplesComeInBlocksOf16384Frames) {
    std::vector<int> frames(20000);
    for (size_t i = 0; i < frames.size(); i++) frames[i] = (int)(i % 11) * 3000 - 15000;
    std::string data = block_of_deltas(frames, 0, 16384, true) + block_of_deltas(frames, 16384, 3616, true);
    EXPECT_EQ(load(COMPRESSED_16, 1, 20000, data), frames);
}

TEST_F(ITDecompress, WidthChangesFollowTheThreeRules) {
    Bit_Writer w;
    w.put(5, 9);             // width 9: delta 5 -> 5
    w.put(256 + 2, 9);       // bit 8 set: width becomes (258 + 1) & 255 = 3
    w.put(3, 3);             // delta 3 -> 8
    w.put(7, 3);             // delta -1 (sign-extended) -> 7
    w.put(4, 3);             // 1 << 2: width change, 3 more bits
    w.put(5, 3);             // n = 6, not below 3: width 7
    w.put(0x7F, 7);          // delta -1 -> 6
    w.put(59 + 8, 7);        // border 59 + 8: n = 8, not below 7: width 9
    w.put(0xF0, 9);          // delta -16 -> -10
    w.put(256 + 7, 9);       // width 8
    w.put(127, 8);           // border (255 >> 1) - 4 = 123: n = 4, width 4, no frame
    std::vector<int> got = load(COMPRESSED_8, 1, 6, w.block());
    // The sixth frame comes from the zero bits past the block's end: delta 0.
    EXPECT_EQ(got, (std::vector<int>{5, 8, 7, 6, -10, -10}));
}

TEST_F(ITDecompress, CompatibleWith215OutputsTheSecondIntegrator) {
    Bit_Writer w;
    for (int i = 0; i < 4; i++) w.put(1, 9);
    EXPECT_EQ(load(COMPRESSED_8, CONVERT_IT215, 4, w.block()), (std::vector<int>{1, 3, 6, 10}));
    EXPECT_EQ(load(COMPRESSED_8, 1, 4, w.block()), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(ITDecompress, IntegratorsWrapAtTheSampleWidth) {
    Bit_Writer w;
    w.put(100, 9);
    w.put(100, 9);  // 200 wraps to -56
    EXPECT_EQ(load(COMPRESSED_8, 1, 2, w.block()), (std::vector<int>{100, -56}));
}

TEST_F(ITDecompress, IllegalSixteenBitWidthLeavesTheSampleWithoutData) {
    Bit_Writer w;
    w.put(1000, 17);
    w.put(65536 + 17, 17);  // width (65553 + 1) & 255 = 18
    w.put(0, 32);
    testing::internal::CaptureStdout();
    std::vector<int> got = load(COMPRESSED_16, 1, 3, w.block());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(got.empty());
    EXPECT_NE(out.find("Sample has illegal BitWidth "), std::string::npos);
}

TEST_F(ITDecompress, ModuleLoadsWhenOneCompressedSampleIsBroken) {
    Bit_Writer bad;
    bad.put(256 + 255, 9);  // width 0 is no width at all
    Bit_Writer good;
    good.put(9, 9);
    IT_Module_Builder layout;
    IT_Sample_Spec a, b;
    a.flags = b.flags = COMPRESSED_8;
    a.length = 10;
    a.data = bad.block();
    b.length = 1;
    b.data = good.block();
    IT_Sample_Spec huge = b;  // a length no file of this size could encode
    huge.length = 0x7FFFFFFF;
    layout.samples = {a, b, huge};
    std::string path = dir.file("m.it");
    Scratch_Dir::write(path, layout.build());
    ASSERT_EQ(ti.file_format_manager.load_module(path.c_str()), Loader::SUCCESS);
    EXPECT_EQ(ti.song.get_sample(0)->data.get_data_ptr(), nullptr);
    EXPECT_EQ(ti.song.get_sample(0)->data.get_size(), 0);
    ASSERT_EQ(ti.song.get_sample(1)->data.get_size(), 1);
    EXPECT_EQ(static_cast<const signed char*>(ti.song.get_sample(1)->data.get_data_ptr())[0], 9);
    EXPECT_EQ(ti.song.get_sample(2)->data.get_data_ptr(), nullptr);
}
