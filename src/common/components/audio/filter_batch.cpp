#include "common/components/audio/filter_batch.h"

#include "common/components/audio/resampler_wide.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/components/audio/mixer.h"
#include "common/components/audio/sample_data.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

// Frames near the end of the data that linear interpolation reads raw (it would read one
// frame past them), exactly as the linear resampler decides it.
int linear_guard_frames(int increment, int count) {
    int step = std::abs(increment);
    int k = (step >= 2048 ? 1 : 2048 / step) + 5;
    return k < count ? k : count;
}

// Coefficients whose magnitudes sum below 2^16 keep every sum of the recurrence inside 32 bits
// (inputs and outputs are 16-bit), which is all the coefficient calculation ever produces.
bool fits_32bit(const int* c) {
    std::int64_t sum = std::llabs((std::int64_t)c[0]) + std::llabs((std::int64_t)c[1]) + std::llabs((std::int64_t)c[2]);
    return sum < 65536;
}

}  // namespace

struct Filter_Batch::Renderer {
    // Interpolated, unfiltered frames [from, to) of a run into s. The reads are scalar; the
    // arithmetic after them runs in vector registers.
    template <typename T, bool LINEAR>
    [[gnu::always_inline]] static inline void interpolate(Filter_Batch& b, const Run& r, int from, int to,
                                                          int* __restrict s) {
        const T* base = (const T*)r.data + r.frame;
        const int increment = r.increment;
        const int start = r.fraction + from * increment;
        const int n = to - from;
        int* __restrict pairs = b.pairs;
        int a = start;
        for (int i = 0; i < n; i++) {
            pairs[i] = read_frame_pair<T, LINEAR>(base + (a >> 11));
            a += increment;
        }
        interpolate_pairs<T, LINEAR>(pairs, n, start, increment, s);
    }

    template <typename T, bool AVX2>
    [[gnu::always_inline]] static inline void interpolate_run(Filter_Batch& b, const Run& r, bool linear, int from,
                                                              int to, int* s) {
#if defined(__x86_64__) && defined(__GNUC__)
        if constexpr (AVX2) {
            // Raw frames, relative to `from`: all of them, or the guard at one end of the run.
            int raw_from = 0;
            int raw_to = to - from;
            if (linear) {
                raw_from = r.raw_tail ? r.frames - r.raw_tail - from : 0;
                raw_to = r.raw_tail ? to - from : r.raw_head - from;
            }
            resampler_wide::interpolate((const T*)r.data + r.frame, -r.frame, r.size - r.frame,
                                        r.fraction + from * r.increment, r.increment, to - from, raw_from, raw_to, s);
            return;
        }
#endif
        if (!linear) {
            interpolate<T, false>(b, r, from, to, s);
            return;
        }
        const int head_end = std::min(to, r.raw_head);
        const int middle_begin = std::max(from, r.raw_head);
        const int middle_end = std::min(to, r.frames - r.raw_tail);
        const int tail_begin = std::max(from, r.frames - r.raw_tail);
        if (from < head_end) interpolate<T, false>(b, r, from, head_end, s);
        if (middle_begin < middle_end) interpolate<T, true>(b, r, middle_begin, middle_end, s + (middle_begin - from));
        if (tail_begin < to) interpolate<T, false>(b, r, tail_begin, to, s + (tail_begin - from));
    }

    // Frames [from, to) of a run at their ramped volumes, added with saturation.
    [[gnu::always_inline]] static inline void add_run(const Run& r, int from, int to, const int* __restrict s) {
        int* __restrict d = r.dest + 2 * from;
        const int n = to - from;
        const int left_step = r.left_step;
        const int right_step = r.right_step;
        if (left_step == 0 && right_step == 0) {
            const int lv = r.left >> 11;
            const int rv = r.right >> 11;
            for (int i = 0; i < n; i++) {
                d[2 * i] = mixer_add_saturating(d[2 * i], lv * s[i]);
                d[2 * i + 1] = mixer_add_saturating(d[2 * i + 1], rv * s[i]);
            }
        } else {
            const int l = r.left + from * left_step;
            const int rr = r.right + from * right_step;
            for (int i = 0; i < n; i++) {
                d[2 * i] = mixer_add_saturating(d[2 * i], ((l + (i + 1) * left_step) >> 11) * s[i]);
                d[2 * i + 1] = mixer_add_saturating(d[2 * i + 1], ((rr + (i + 1) * right_step) >> 11) * s[i]);
            }
        }
    }

    // Walks a lane's runs up to frame t_end of the block, its stretches read into the lane's
    // column (READ) or added from it into the buses; returns the frames walked.
    template <bool READ, bool AVX2>
    [[gnu::always_inline]] static inline int walk(Filter_Batch& b, int l, Cursor& at, int t_end) {
        const Lane& lane = b.lanes[l];
        int* column = b.columns[l];
        int j = 0;
        while (at.run < lane.run_end) {
            const Run& r = b.runs[at.run];
            const int start = r.offset + at.frame;
            if (start >= t_end) break;
            const int k = std::min(r.frames - at.frame, t_end - start);
            if constexpr (!READ) {
#if defined(__x86_64__) && defined(__GNUC__)
                if constexpr (AVX2)
                    resampler_wide::add_frames(r.dest + 2 * at.frame, column + j, k, r.left + at.frame * r.left_step,
                                               r.right + at.frame * r.right_step, r.left_step, r.right_step);
                else
#endif
                    add_run(r, at.frame, at.frame + k, column + j);
            }
            else if (lane.sixteen)
                interpolate_run<std::int16_t, AVX2>(b, r, lane.linear, at.frame, at.frame + k, column + j);
            else
                interpolate_run<std::int8_t, AVX2>(b, r, lane.linear, at.frame, at.frame + k, column + j);
            j += k;
            at.frame += k;
            if (at.frame == r.frames) {
                at.run++;
                at.frame = 0;
            }
        }
        return j;
    }

    // A few lanes: their recurrences in place on their columns, interleaved as scalar chains
    // that the core overlaps, with no transposing.
    template <int LANES>
    [[gnu::always_inline]] static inline void filter_columns(Filter_Batch& b, int first, int rows) {
        std::int64_t c0[LANES], c1[LANES], c2[LANES], y1[LANES], y2[LANES];
        int* s[LANES];
        for (int k = 0; k < LANES; k++) {
            const int l = first + k;
            c0[k] = b.coefficient[0][l];
            c1[k] = b.coefficient[1][l];
            c2[k] = b.coefficient[2][l];
            y1[k] = b.history1[l];
            y2[k] = b.history2[l];
            s[k] = b.columns[l];
        }
        for (int i = 0; i < rows; i++) {
#pragma GCC unroll 4
            for (int l = 0; l < LANES; l++) {
                // Only y1 x c1 waits for the previous frame, and a predicted branch keeps
                // the clamp off that path.
                std::int64_t early = s[l][i] * c0[l] + y2[l] * c2[l];
#if defined(__GNUC__)
                asm("" : "+r"(early));
#endif
                std::int64_t y = (early + y1[l] * c1[l]) >> 12;
                if (__builtin_expect((std::uint64_t)(y + 32768) > 65535, 0)) y = y > 0 ? 32767 : -32768;
                y2[l] = y1[l];
                y1[l] = y;
                s[l][i] = (int)y;
            }
        }
    }

#if defined(__x86_64__) && defined(__GNUC__)
    // The recurrences with each group of eight lanes in one register: a 32-bit multiply, add,
    // shift and clamp per step of eight voices; two groups overlap in the core. Only for
    // coefficients that keep the sums within 32 bits.
    template <int GROUPS>
    __attribute__((target("avx2"))) static void filter_rows_avx2(Filter_Batch& b, int rows) {
        const __m256i low = _mm256_set1_epi32(-32768);
        const __m256i high = _mm256_set1_epi32(32767);
        __m256i c0[GROUPS], c1[GROUPS], c2[GROUPS], y1[GROUPS], y2[GROUPS];
        for (int g = 0; g < GROUPS; g++) {
            c0[g] = _mm256_load_si256((const __m256i*)(b.coefficient[0] + GROUP * g));
            c1[g] = _mm256_load_si256((const __m256i*)(b.coefficient[1] + GROUP * g));
            c2[g] = _mm256_load_si256((const __m256i*)(b.coefficient[2] + GROUP * g));
            y1[g] = _mm256_load_si256((const __m256i*)(b.history1 + GROUP * g));
            y2[g] = _mm256_load_si256((const __m256i*)(b.history2 + GROUP * g));
        }
        for (int i = 0; i < rows; i++) {
            for (int g = 0; g < GROUPS; g++) {
                __m256i* row = (__m256i*)b.rows[g][i];
                const __m256i s = _mm256_load_si256(row);
                const __m256i early =
                    _mm256_add_epi32(_mm256_mullo_epi32(s, c0[g]), _mm256_mullo_epi32(y2[g], c2[g]));
                __m256i y = _mm256_srai_epi32(_mm256_add_epi32(early, _mm256_mullo_epi32(y1[g], c1[g])), 12);
                y = _mm256_min_epi32(_mm256_max_epi32(y, low), high);
                _mm256_store_si256(row, y);
                y2[g] = y1[g];
                y1[g] = y;
            }
        }
    }

    // Transposed into rows for the 8-lane registers and back.
    template <int GROUPS>
    [[gnu::always_inline]] static inline void filter_groups_avx2(Filter_Batch& b, int rows) {
        for (int g = 0; g < GROUPS; g++)
            for (int i = 0; i < rows; i++)
                for (int l = 0; l < GROUP; l++) b.rows[g][i][l] = b.columns[GROUP * g + l][i];
        filter_rows_avx2<GROUPS>(b, rows);
        for (int g = 0; g < GROUPS; g++)
            for (int i = 0; i < rows; i++)
                for (int l = 0; l < GROUP; l++) b.columns[GROUP * g + l][i] = b.rows[g][i][l];
    }
#endif

    template <bool AVX2>
    [[gnu::always_inline]] static inline void render(Filter_Batch& b, int t_begin, int t_end, bool narrow) {
        Cursor gather_at[MAX_LANES];
        Cursor add_at[MAX_LANES];
        for (int l = 0; l < b.lane_count; l++) gather_at[l] = add_at[l] = Cursor{b.lanes[l].first_run, 0};
        int rows_of[MAX_LANES];
        for (int t = t_begin; t < t_end; t += CHUNK) {
            const int chunk_end = std::min(t + CHUNK, t_end);
            int rows = 0;
            for (int l = 0; l < b.lane_count; l++) {
                rows_of[l] = walk<true, AVX2>(b, l, gather_at[l], chunk_end);
                rows = std::max(rows, rows_of[l]);
            }
            // Lanes with fewer frames in this stretch run on silence, their history taken
            // back from their own last frames below.
            for (int l = 0; l < b.lane_count; l++)
                for (int i = rows_of[l]; i < rows; i++) b.columns[l][i] = 0;
#if defined(__x86_64__) && defined(__GNUC__)
            if (AVX2 && narrow && b.lane_count > 3) {
                if (b.lane_count <= GROUP)
                    filter_groups_avx2<1>(b, rows);
                else
                    filter_groups_avx2<2>(b, rows);
            } else
#endif
            {
                // Without 8-lane registers, up to four scalar chains at a time.
                int l = 0;
                for (; l + 4 <= b.lane_count; l += 4) filter_columns<4>(b, l, rows);
                switch (b.lane_count - l) {
                case 1: filter_columns<1>(b, l, rows); break;
                case 2: filter_columns<2>(b, l, rows); break;
                case 3: filter_columns<3>(b, l, rows); break;
                default: break;
                }
            }
            for (int l = 0; l < b.lane_count; l++) {
                const int n = rows_of[l];
                if (n >= 2) {
                    b.history1[l] = b.columns[l][n - 1];
                    b.history2[l] = b.columns[l][n - 2];
                } else if (n == 1) {
                    b.history2[l] = b.history1[l];
                    b.history1[l] = b.columns[l][0];
                }
            }
            // In voice order, so each frame of a bus receives its sums in the order the
            // voices would have added them one by one.
            for (int l = 0; l < b.lane_count; l++) walk<false, AVX2>(b, l, add_at[l], chunk_end);
        }
    }

    static void render_generic(Filter_Batch& b, int t_begin, int t_end, bool narrow) {
        render<false>(b, t_begin, t_end, narrow);
    }

#if defined(__x86_64__) && defined(__GNUC__)
    __attribute__((target("avx2"))) static void render_avx2(Filter_Batch& b, int t_begin, int t_end, bool narrow) {
        render<true>(b, t_begin, t_end, narrow);
    }
#endif
};

Filter_Batch::Filter_Batch() : run_recorder(*this) {
    std::memset(lanes, 0, sizeof(lanes));
    std::memset(runs, 0, sizeof(runs));
    std::memset(pairs, 0, sizeof(pairs));
    std::memset(columns, 0, sizeof(columns));
    std::memset(rows, 0, sizeof(rows));
    std::memset(history1, 0, sizeof(history1));
    std::memset(history2, 0, sizeof(history2));
    std::memset(coefficient, 0, sizeof(coefficient));
}

void Filter_Batch::begin_voice(int* buffer, bool linear, Resampler* fallback) {
    voice_buffer = buffer;
    voice_linear = linear;
    voice_fallback = fallback;
    voice_has_lane = false;
}

void Filter_Batch::end_voice() {
    voice_buffer = nullptr;
    voice_fallback = nullptr;
    voice_has_lane = false;
    if (lane_count == MAX_LANES) flush();
}

bool Filter_Batch::writes_to(const int* buffer) const {
    for (int l = 0; l < lane_count; l++)
        if (lanes[l].buffer == buffer) return true;
    return false;
}

void Filter_Batch::open_lane(Resampler::Mix_Data* md, bool sixteen) {
    if (lane_count == MAX_LANES) flush();
    Lane& lane = lanes[lane_count];
    lane.buffer = voice_buffer;
    lane.mix_data = md;
    lane.linear = voice_linear;
    lane.sixteen = sixteen;
    lane.first_run = lane.run_end = run_count;
    lane.coefficients[0] = md->a0;
    lane.coefficients[1] = md->b0;
    lane.coefficients[2] = md->b1;
    history1[lane_count] = md->y1;
    history2[lane_count] = md->y2;
    lane_count++;
    voice_has_lane = true;
}

// The resampler's own checks: a run it would refuse is dropped here too, history untouched.
void Filter_Batch::add_run(Resampler::Mix_Data* md) {
    if (md == nullptr || voice_buffer == nullptr) return;
    if (!md->filter_on) {
        flush();
        if (voice_fallback != nullptr) voice_fallback->mix(md);
        return;
    }
    const Sample_Data* sd = md->sample_data;
    if (sd == nullptr || md->dest == nullptr || md->frames <= 0 || md->increment == 0) return;
    const void* data = sd->get_data_ptr();
    const std::int64_t size = sd->get_size();
    if (data == nullptr || size <= 0) return;
    const int count = md->frames;
    const int increment = md->increment;
    const std::int64_t first = md->frame + (md->fraction >> 11);
    const std::int64_t last = md->frame + ((md->fraction + (std::int64_t)(count - 1) * increment) >> 11);
    if (first < 0 || last < 0 || first >= size || last >= size) return;

    const bool sixteen = sd->is_16bit();
    if (voice_has_lane) {
        const Lane& lane = lanes[lane_count - 1];
        const bool same = lane.mix_data == md && lane.sixteen == sixteen && lane.coefficients[0] == md->a0 &&
                          lane.coefficients[1] == md->b0 && lane.coefficients[2] == md->b1;
        // A lane's history runs straight through its runs: anything else starts afresh.
        if (!same) flush();
    }
    if (run_count == MAX_RUNS) flush();
    if (!voice_has_lane) open_lane(md, sixteen);

    Run& r = runs[run_count++];
    lanes[lane_count - 1].run_end = run_count;
    r.data = data;
    r.dest = md->dest;
    r.frame = md->frame;
    r.size = size;
    r.fraction = md->fraction;
    r.increment = increment;
    r.frames = count;
    r.offset = (int)((md->dest - voice_buffer) / 2);
    r.raw_head = r.raw_tail = 0;
    if (voice_linear) {
        const int guard = linear_guard_frames(increment, count);
        if (increment < 0 && first + guard >= size)
            r.raw_head = guard;
        else if (increment > 0 && last + guard >= size)
            r.raw_tail = guard;
    }
    r.left = md->left_volume_start * 2048;
    r.right = md->right_volume_start * 2048;
    const int left_change = md->left_volume_end - md->left_volume_start;
    const int right_change = md->right_volume_end - md->right_volume_start;
    r.left_step = left_change ? (int)lrintf((float)left_change / count * 2048.0f) : 0;
    r.right_step = right_change ? (int)lrintf((float)right_change / count * 2048.0f) : 0;
}

void Filter_Batch::flush() {
    if (lane_count == 0) return;
    int t_begin = runs[lanes[0].first_run].offset;
    int t_end = 0;
    bool narrow = true;
    for (int l = 0; l < MAX_LANES; l++) {
        if (l < lane_count) {
            const Lane& lane = lanes[l];
            t_begin = std::min(t_begin, runs[lane.first_run].offset);
            const Run& last = runs[lane.run_end - 1];
            t_end = std::max(t_end, last.offset + last.frames);
            narrow = narrow && fits_32bit(lane.coefficients);
            for (int c = 0; c < 3; c++) coefficient[c][l] = lane.coefficients[c];
        } else {
            for (int c = 0; c < 3; c++) coefficient[c][l] = 0;
            history1[l] = history2[l] = 0;
        }
    }
#if defined(__x86_64__) && defined(__GNUC__)
    if (resampler_cpu_extensions_in_use())
        Renderer::render_avx2(*this, t_begin, t_end, narrow);
    else
#endif
        Renderer::render_generic(*this, t_begin, t_end, narrow);
    for (int l = 0; l < lane_count; l++) {
        lanes[l].mix_data->y1 = history1[l];
        lanes[l].mix_data->y2 = history2[l];
    }
    lane_count = 0;
    run_count = 0;
    voice_has_lane = false;
}
