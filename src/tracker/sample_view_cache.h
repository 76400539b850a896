#pragma once

#include <cstdint>
#include <vector>

class Sample_Data;

// The lowest and highest frame of every run of `factor` frames, at factors FIRST_FACTOR,
// twice that and so on, so that a waveform view of any zoom reads at most a few entries per
// pixel. Values are 16-bit (8-bit frames times 256). Built from one Sample_Data; rebuilt when
// its frames change.
class Sample_View_Cache {
public:
    static constexpr int FIRST_FACTOR = 16;

    struct Peak {
        std::int16_t min;
        std::int16_t max;
    };

    void build(const Sample_Data* data);
    void clear();
    // Built from this block, with this length and depth.
    bool matches(const Sample_Data* data) const;

    int get_level_count() const { return (int)levels.size(); }
    int get_level_factor(int level) const { return FIRST_FACTOR << level; }
    const std::vector<Peak>& get_level(int level) const { return levels[level]; }

    // The level to draw from at this many frames per pixel: -1 when the first level is
    // already coarser (draw from the frames), else the first level coarser than a pixel, or
    // the last level when none is.
    int get_factor(double frames_per_pixel) const;

    // Lowest and highest frame of begin..end-1 (clipped to the data), read at `level` (-1: the
    // frames). At a level the runs that hold the two ends count whole. {0, 0} for an empty range.
    Peak get_peak(const Sample_Data* data, int level, int begin, int end) const;
    // Exactly the lowest and highest frame of begin..end-1 (clipped to the data): whole runs
    // from the coarsest levels that fit inside, the frames at the two ends. What a pixel
    // column shows, so that a repeating wave looks the same in every column whatever the zoom.
    Peak get_range_peak(const Sample_Data* data, int begin, int end) const;

private:
    std::vector<std::vector<Peak>> levels;
    const void* block = nullptr;
    int size = 0;
    bool sixteen_bit = false;
};
