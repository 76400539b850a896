#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "support/sample_data_builder.h"
#include "tracker/sample_view_cache.h"

namespace {

// A noisy ramp, so that every run has its own lowest and highest frame.
std::vector<std::int16_t> frames_16(int count) {
    std::vector<std::int16_t> frames(count);
    std::uint32_t noise = 7;
    for (int i = 0; i < count; i++) {
        noise = noise * 1103515245u + 12345u;
        frames[i] = (std::int16_t)((i * 37) % 50000 - 25000 + (int)((noise >> 16) % 4000) - 2000);
    }
    return frames;
}

// What a level must give for begin..end-1: the frames of every run the range touches.
Sample_View_Cache::Peak expected(const std::vector<int>& values, int factor, int begin, int end) {
    int first = factor > 1 ? begin / factor * factor : begin;
    int last = factor > 1 ? std::min(((end - 1) / factor + 1) * factor, (int)values.size()) : end;
    auto [lo, hi] = std::minmax_element(values.begin() + first, values.begin() + last);
    return {(std::int16_t)*lo, (std::int16_t)*hi};
}

}  // namespace

TEST(Sample_View_Cache, EveryLevelGivesTheExtremesOfTheRunsARangeTouches) {
    for (int size : {17, 1000, 100003}) {
        for (bool sixteen : {true, false}) {
            SCOPED_TRACE(testing::Message() << size << (sixteen ? " 16-bit" : " 8-bit"));
            std::vector<std::int16_t> source = frames_16(size);
            std::vector<int> values(size);
            std::unique_ptr<Sample_Data> data;
            if (sixteen) {
                data = make_sample_16(source);
                for (int i = 0; i < size; i++) values[i] = source[i];
            } else {
                std::vector<std::int8_t> bytes(size);
                for (int i = 0; i < size; i++) bytes[i] = (std::int8_t)(source[i] >> 8);
                data = make_sample_8(bytes);
                for (int i = 0; i < size; i++) values[i] = bytes[i] * 256;
            }
            Sample_View_Cache cache;
            cache.build(data.get());
            ASSERT_TRUE(cache.matches(data.get()));
            ASSERT_GE(cache.get_level_count(), 1);
            EXPECT_EQ(cache.get_level(cache.get_level_count() - 1).size(), 1u);
            const int ranges[][2] = {{0, size}, {3, 4}, {5, 40}, {size / 3, size / 2 + 1}, {size - 2, size + 50}};
            for (int level = -1; level < cache.get_level_count(); level++)
                for (const auto& range : ranges) {
                    int factor = level < 0 ? 1 : cache.get_level_factor(level);
                    Sample_View_Cache::Peak peak = cache.get_peak(data.get(), level, range[0], range[1]);
                    Sample_View_Cache::Peak want = expected(values, factor, range[0], std::min(range[1], size));
                    ASSERT_EQ(peak.min, want.min) << "level " << level << " range " << range[0];
                    ASSERT_EQ(peak.max, want.max) << "level " << level << " range " << range[0];
                }
            Sample_View_Cache::Peak none = cache.get_peak(data.get(), 0, 10, 10);
            EXPECT_EQ(none.min, 0);
            EXPECT_EQ(none.max, 0);
        }
    }
}

TEST(Sample_View_Cache, LevelForAZoomAndWhenToRebuild) {
    auto data = make_sample_16(frames_16(1000));  // levels of 16, 32, 64, 128, 256, 512, 1024
    Sample_View_Cache cache;
    EXPECT_EQ(cache.get_factor(100.0), -1);  // nothing built: draw from the frames
    cache.build(data.get());
    ASSERT_EQ(cache.get_level_count(), 7);
    const struct {
        double frames_per_pixel;
        int level;
    } table[] = {{0.25, -1}, {15.9, -1}, {16.0, 1}, {20.0, 1}, {32.0, 2}, {1000.0, 6}, {5000.0, 6}};
    for (const auto& row : table) EXPECT_EQ(cache.get_factor(row.frames_per_pixel), row.level) << row.frames_per_pixel;

    // Another block, another length or another depth is another sample.
    data->toggle_quality();
    EXPECT_FALSE(cache.matches(data.get()));
    auto tiny = make_sample_16({1, -2, 3});
    cache.build(tiny.get());
    EXPECT_TRUE(cache.matches(tiny.get()));
    EXPECT_EQ(cache.get_level_count(), 0);
    EXPECT_EQ(cache.get_peak(tiny.get(), -1, 0, 3).min, -2);
    cache.clear();
    EXPECT_FALSE(cache.matches(tiny.get()));
}

// A pixel column shows exactly the extremes of its own frames, so a repeating wave looks the
// same wherever it falls: with columns as wide as a period every column spans the whole
// sawtooth, and with a period of whole columns the columns repeat with it.
TEST(Sample_View_Cache, ColumnsOfASawtoothAreEven) {
    const struct {
        int period;
        int frames;
        int width;
        int offset;
    } table[] = {
        {1000, 100000, 1000, 0},   // 100 frames a column: ten columns a period
        {1000, 100000, 1000, 7},   // the same, not on a run boundary
        {64, 100000, 1000, 0},     // 100 frames a column, more than a period
        {250, 1000000, 1000, 33},  // 1000 frames a column
        {900, 300000, 640, 0},     // 468.75 frames a column
        {40, 20000, 1000, 5},      // 20 frames a column, between the first two levels
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "period " << row.period << ", " << row.frames << " frames in "
                                        << row.width << " columns");
        std::vector<std::int16_t> saw(row.frames);
        for (int i = 0; i < row.frames; i++) saw[i] = (std::int16_t)(i % row.period * 60000 / row.period - 30000);
        auto data = make_sample_16(saw);
        Sample_View_Cache cache;
        cache.build(data.get());
        const double per_column = (double)row.frames / row.width;
        const auto lowest = *std::min_element(saw.begin(), saw.end());
        const auto highest = *std::max_element(saw.begin(), saw.end());
        std::vector<Sample_View_Cache::Peak> columns;
        for (int x = 0; x + 1 < row.width; x++) {
            // As the viewer maps pixels to frames.
            int begin = (int)(x * per_column + row.offset), end = (int)((x + 1) * per_column + row.offset);
            Sample_View_Cache::Peak peak = cache.get_range_peak(data.get(), begin, end);
            auto [lo, hi] = std::minmax_element(saw.begin() + begin, saw.begin() + std::min(end, row.frames));
            ASSERT_EQ(peak.min, *lo) << "column " << x;
            ASSERT_EQ(peak.max, *hi) << "column " << x;
            columns.push_back(peak);
        }
        if (per_column >= row.period) {
            for (const auto& peak : columns) {
                ASSERT_EQ(peak.min, lowest);
                ASSERT_EQ(peak.max, highest);
            }
        } else if (row.period % (int)per_column == 0 && per_column == (int)per_column) {
            const size_t repeat = row.period / (size_t)per_column;
            for (size_t x = 0; x + repeat < columns.size(); x++) {
                ASSERT_EQ(columns[x].min, columns[x + repeat].min) << "column " << x;
                ASSERT_EQ(columns[x].max, columns[x + repeat].max) << "column " << x;
            }
        }
    }
    // The ends of the data and empty ranges.
    auto tiny = make_sample_16({5, -7, 9});
    Sample_View_Cache cache;
    cache.build(tiny.get());
    EXPECT_EQ(cache.get_range_peak(tiny.get(), -4, 100).min, -7);
    EXPECT_EQ(cache.get_range_peak(tiny.get(), -4, 100).max, 9);
    EXPECT_EQ(cache.get_range_peak(tiny.get(), 2, 2).max, 0);
}
