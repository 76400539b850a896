#pragma once

#include <cstdint>

#include "common/components/audio/resampler.h"

// Mixes the filtered voices of a block several at a time. A filter's recurrence waits on its
// own previous frame, so one voice alone leaves the core idle; the recurrences of up to
// MAX_LANES voices run side by side instead. A voice hands its runs over through recorder()
// (standing in for its raw or linear resampler); they are rendered on flush() with the same
// arithmetic as the resamplers, so the output is exactly what the voices would have mixed one
// by one. Frames are added in voice order within each stretch of CHUNK frames, so sums that
// saturate come out the same too. Fixed-size storage: nothing is allocated while mixing.
class Filter_Batch {
public:
    static constexpr int GROUP = 8;  // lanes per vector register
    static constexpr int MAX_LANES = 2 * GROUP;
    static constexpr int MAX_RUNS = 128;
    static constexpr int CHUNK = 256;

    Filter_Batch();
    Filter_Batch(const Filter_Batch&) = delete;
    Filter_Batch& operator=(const Filter_Batch&) = delete;

    // Brackets one voice's block: `buffer` is where the block starts, `linear` whether its
    // resampler interpolates. Runs without the filter go straight to `fallback` (after the
    // batch, so the order of the sums holds). The filter history is read from the runs'
    // Mix_Data and written back into it on flush.
    void begin_voice(int* buffer, bool linear, Resampler* fallback);
    void end_voice();
    Resampler* recorder() { return &run_recorder; }

    // True when a voice not in the batch must wait for it: the batch adds into `buffer`.
    bool writes_to(const int* buffer) const;

    // Renders and adds everything recorded, then forgets it.
    void flush();

private:
    class Recorder : public Resampler {
    public:
        explicit Recorder(Filter_Batch& owner) : batch(owner) {}
        void mix(Mix_Data* data) override { batch.add_run(data); }
        std::string get_name() override { return "Batch"; }
        bool has_interpolation() override { return false; }

    private:
        Filter_Batch& batch;
    };

    // One run as the resampler would render it: frames [offset, offset + frames) of the
    // voice's block.
    struct Run {
        const void* data;
        int* dest;
        std::int64_t frame;
        std::int64_t size;  // frames in the data
        int fraction;
        int increment;
        int frames;
        int offset;
        int raw_head;  // frames at the start and the end read without interpolation, as the
        int raw_tail;  // linear resampler does near the end of the data
        int left;      // volume x 2048 before the first frame
        int right;
        int left_step;
        int right_step;
    };

    struct Lane {
        int* buffer;
        Resampler::Mix_Data* mix_data;
        bool linear;
        bool sixteen;
        int first_run;
        int run_end;
        int coefficients[3];
    };

    // Where a lane has got to: the run and the frame within it.
    struct Cursor {
        int run;
        int frame;
    };

    // The rendering loops, compiled twice (portable and AVX2) from one template.
    struct Renderer;

    void add_run(Resampler::Mix_Data* md);
    void open_lane(Resampler::Mix_Data* md, bool sixteen);

    Recorder run_recorder;
    // The voice being recorded.
    int* voice_buffer = nullptr;
    bool voice_linear = false;
    Resampler* voice_fallback = nullptr;
    bool voice_has_lane = false;

    Lane lanes[MAX_LANES];
    int lane_count = 0;
    Run runs[MAX_RUNS];
    int run_count = 0;
    // Each lane's frames of the stretch being rendered, unfiltered and then filtered; the
    // filter works on them transposed, one row holding one step of a group of lanes.
    alignas(32) int pairs[CHUNK];
    alignas(32) int columns[MAX_LANES][CHUNK];
    alignas(32) int rows[MAX_LANES / GROUP][CHUNK][GROUP];
    alignas(32) int history1[MAX_LANES];
    alignas(32) int history2[MAX_LANES];
    alignas(32) int coefficient[3][MAX_LANES];
};
