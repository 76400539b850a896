#include "tracker/sample_view_cache.h"

#include <algorithm>
#include <cstdint>

#include "common/components/audio/sample_data.h"

namespace {

using Peak = Sample_View_Cache::Peak;

// 8-bit frames are shown on the 16-bit scale.
inline int scaled(std::int8_t frame) { return frame * 256; }
inline int scaled(std::int16_t frame) { return frame; }

template <class Frame> Peak peak_of(const Frame* frames, int begin, int end) {
    int lo = scaled(frames[begin]), hi = lo;
    for (int i = begin + 1; i < end; i++) {
        int v = scaled(frames[i]);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return {(std::int16_t)lo, (std::int16_t)hi};
}

// Whole runs with a fixed count, which the compiler turns into vector minimum and maximum.
template <class Frame> void reduce_frames(const Frame* frames, int size, std::vector<Peak>& out) {
    constexpr int run = Sample_View_Cache::FIRST_FACTOR;
    const int whole = size / run;
    out.resize((size + run - 1) / run);
    for (int i = 0; i < whole; i++) {
        const Frame* first = frames + (size_t)i * run;
        Frame lo = first[0], hi = first[0];
        for (int j = 1; j < run; j++) {
            lo = std::min(lo, first[j]);
            hi = std::max(hi, first[j]);
        }
        out[i] = {(std::int16_t)scaled(lo), (std::int16_t)scaled(hi)};
    }
    if (whole < (int)out.size()) out[whole] = peak_of(frames, whole * run, size);
}

Peak merge(Peak a, Peak b) { return {std::min(a.min, b.min), std::max(a.max, b.max)}; }

}  // namespace

void Sample_View_Cache::clear() {
    levels.clear();
    block = nullptr;
    size = 0;
    sixteen_bit = false;
}

bool Sample_View_Cache::matches(const Sample_Data* data) const {
    if (!data) return block == nullptr && size == 0;
    return data->get_data_ptr() == block && data->get_size() == size && data->is_16bit() == sixteen_bit;
}

void Sample_View_Cache::build(const Sample_Data* data) {
    clear();
    if (!data || !data->get_data_ptr() || data->get_size() <= 0) return;
    block = data->get_data_ptr();
    size = data->get_size();
    sixteen_bit = data->is_16bit();
    if (size <= FIRST_FACTOR) return;
    levels.emplace_back();
    if (sixteen_bit)
        reduce_frames(static_cast<const std::int16_t*>(block), size, levels.back());
    else
        reduce_frames(static_cast<const std::int8_t*>(block), size, levels.back());
    while (levels.back().size() > 1) {
        const std::vector<Peak>& finer = levels.back();
        std::vector<Peak> coarser((finer.size() + 1) / 2);
        for (size_t i = 0; i < coarser.size(); i++)
            coarser[i] = 2 * i + 1 < finer.size() ? merge(finer[2 * i], finer[2 * i + 1]) : finer[2 * i];
        levels.push_back(std::move(coarser));
    }
}

int Sample_View_Cache::get_factor(double frames_per_pixel) const {
    if (levels.empty() || get_level_factor(0) > frames_per_pixel) return -1;
    for (int level = 0; level < (int)levels.size(); level++)
        if (get_level_factor(level) > frames_per_pixel) return level;
    return (int)levels.size() - 1;
}

Sample_View_Cache::Peak Sample_View_Cache::get_peak(const Sample_Data* data, int level, int begin, int end) const {
    if (!data || !data->get_data_ptr()) return {0, 0};
    begin = std::max(begin, 0);
    end = std::min(end, data->get_size());
    if (begin >= end) return {0, 0};
    if (level < 0 || level >= (int)levels.size()) {
        if (data->is_16bit()) return peak_of(static_cast<const std::int16_t*>(data->get_data_ptr()), begin, end);
        return peak_of(static_cast<const std::int8_t*>(data->get_data_ptr()), begin, end);
    }
    const std::vector<Peak>& entries = levels[level];
    int factor = get_level_factor(level);
    int first = begin / factor;
    int last = std::min((end - 1) / factor, (int)entries.size() - 1);
    Peak peak = entries[first];
    for (int i = first + 1; i <= last; i++) peak = merge(peak, entries[i]);
    return peak;
}

Sample_View_Cache::Peak Sample_View_Cache::get_range_peak(const Sample_Data* data, int begin, int end) const {
    if (!data || !data->get_data_ptr()) return {0, 0};
    begin = std::max(begin, 0);
    end = std::min(end, data->get_size());
    if (begin >= end) return {0, 0};
    // The whole first-level runs inside the range; the frames around them are read directly.
    int first = (begin + FIRST_FACTOR - 1) / FIRST_FACTOR, last = end / FIRST_FACTOR;
    if (levels.empty() || !matches(data) || first >= last) return get_peak(data, -1, begin, end);
    Peak peak = {INT16_MAX, INT16_MIN};
    if (begin < first * FIRST_FACTOR) peak = merge(peak, get_peak(data, -1, begin, first * FIRST_FACTOR));
    if (last * FIRST_FACTOR < end) peak = merge(peak, get_peak(data, -1, last * FIRST_FACTOR, end));
    // Up the levels: an odd entry at either end is taken alone, the pairs between go one level up.
    for (int level = 0; first < last && level < (int)levels.size(); level++) {
        const std::vector<Peak>& entries = levels[level];
        if (first & 1) peak = merge(peak, entries[first++]);
        if (last & 1) peak = merge(peak, entries[--last]);
        first /= 2;
        last /= 2;
    }
    return peak;
}
