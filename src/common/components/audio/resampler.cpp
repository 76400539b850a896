#include "common/components/audio/resampler.h"

#include <atomic>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "common/components/audio/resampler_wide.h"

#include "common/components/audio/sample_data.h"

namespace {

enum class Interpolation { Raw, Linear };

// What carries over from one stretch of frames to the next within a run.
struct Run_State {
    int* dest;
    int left;   // volume x 2048
    int right;
    int left_step;
    int right_step;
    int accumulator;  // position relative to the run's base frame, 11 fractional bits
    int y1;
    int y2;
};

// Branch-free, so the mixing loops vectorise: a sum can only overflow when both terms
// share a sign, and then it clips towards that sign.
inline int add_saturating(int a, int b) {
    int sum = (int)((unsigned)a + (unsigned)b);
    int overflow = ((a ^ sum) & (b ^ sum)) >> 31;
    int limit = (a >> 31) ^ INT32_MAX;
    return (sum & ~overflow) | (limit & overflow);
}

// Unpacks a chunk of frame pairs, interpolates, applies the volume ramp (l and r are the
// volumes x 2048 before the chunk's first frame) and adds into dest with saturation.
// The resonant filter's state across chunks; histories kept 64-bit so the recurrence needs
// no widening step.
struct Chunk_Filter {
    std::int64_t c0, c1, c2;
    std::int64_t y1, y2;
};

template <typename T, Interpolation INTERPOLATION>
[[gnu::always_inline]] inline void mix_chunk_body(const int* __restrict pairs, int* __restrict s, int n,
                                                  int start, int increment, int* __restrict d, int l, int r,
                                                  int left_step, int right_step, Chunk_Filter* filter) {
    interpolate_pairs<T, INTERPOLATION == Interpolation::Linear>(pairs, n, start, increment, s);
    if (filter != nullptr) {
        // A recurrence: one frame at a time, with nothing else in the loop.
        const std::int64_t c0 = filter->c0;
        const std::int64_t c1 = filter->c1;
        const std::int64_t c2 = filter->c2;
        std::int64_t y1 = filter->y1;
        std::int64_t y2 = filter->y2;
        for (int i = 0; i < n; i++) {
            // Only y1 x c1 waits for the previous frame: the rest is summed first, so each
            // frame costs one multiply, one add and the shift on the recurrence's path.
            std::int64_t early = s[i] * c0 + y2 * c2;
#if defined(__GNUC__)
            asm("" : "+r"(early));  // keep the compiler from folding y1 x c1 in before it
#endif
            std::int64_t y = (early + y1 * c1) >> 12;
            // A resonant filter can overshoot; keep it within 16 bits like the data. A
            // predicted branch keeps the clamp off the recurrence's critical path.
            if (__builtin_expect((std::uint64_t)(y + 32768) > 65535, 0)) y = y > 0 ? 32767 : -32768;
            y2 = y1;
            y1 = y;
            s[i] = (int)y;
        }
        filter->y1 = y1;
        filter->y2 = y2;
    }
    if (left_step == 0 && right_step == 0) {
        const int lv = l >> 11;
        const int rv = r >> 11;
        for (int i = 0; i < n; i++) {
            d[2 * i] = add_saturating(d[2 * i], lv * s[i]);
            d[2 * i + 1] = add_saturating(d[2 * i + 1], rv * s[i]);
        }
    } else {
        for (int i = 0; i < n; i++) {
            d[2 * i] = add_saturating(d[2 * i], ((l + (i + 1) * left_step) >> 11) * s[i]);
            d[2 * i + 1] = add_saturating(d[2 * i + 1], ((r + (i + 1) * right_step) >> 11) * s[i]);
        }
    }
}

template <typename T, Interpolation INTERPOLATION>
void mix_chunk_generic(const int* pairs, int* s, int n, int start, int increment, int* d, int l, int r,
                       int left_step, int right_step, Chunk_Filter* filter) {
    mix_chunk_body<T, INTERPOLATION>(pairs, s, n, start, increment, d, l, r, left_step, right_step, filter);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Same code with 8-lane vectors and a native 32-bit multiply, chosen at run time, so the
// binary still runs on any x86-64 machine.
template <typename T, Interpolation INTERPOLATION>
__attribute__((target("avx2"))) void mix_chunk_avx2(const int* pairs, int* s, int n, int start, int increment,
                                                    int* d, int l, int r, int left_step, int right_step, Chunk_Filter* filter) {
    mix_chunk_body<T, INTERPOLATION>(pairs, s, n, start, increment, d, l, r, left_step, right_step, filter);
}

// A whole unfiltered run, eight frames at a time. Frames raw_from..raw_to-1 are read raw
// (the linear resampler's guard at the end of the data, or all of them for the raw one);
// a raw frame is the linear formula with its fraction taken as zero, so it reads nothing
// past its own frame. base[low_limit] .. base[limit - 1] may be read.
template <typename T>
__attribute__((target("avx2"))) void mix_unfiltered_avx2(const T* __restrict base, std::int64_t low_limit,
                                                         std::int64_t limit, int a0, int increment, int count,
                                                         int raw_from, int raw_to, int* __restrict d, int l, int r,
                                                         int left_step, int right_step) {
    const __m256i steps = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(increment));
    const int span = increment < 0 ? -increment : increment;
    resampler_wide::Ramp ramp(l, r, left_step, right_step);
    int a = a0;
    for (int first = 0; first < count; first += 8, a += 8 * increment, d += 16) {
        const int valid = count - first < 8 ? count - first : 8;
        ramp.add(d, resampler_wide::group_samples(base, low_limit, limit, a, increment, span, steps, first, valid,
                                                  raw_from, raw_to),
                 valid);
    }
}

bool detect_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
const bool cpu_supports_avx2 = detect_avx2();
std::atomic<bool> cpu_has_avx2{cpu_supports_avx2};
#endif

template <typename T, Interpolation INTERPOLATION>
inline void mix_chunk(const int* pairs, int* s, int n, int start, int increment, int* d, int l, int r,
                      int left_step, int right_step, Chunk_Filter* filter) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (cpu_has_avx2.load(std::memory_order_relaxed)) {
        mix_chunk_avx2<T, INTERPOLATION>(pairs, s, n, start, increment, d, l, r, left_step, right_step, filter);
        return;
    }
#endif
    mix_chunk_generic<T, INTERPOLATION>(pairs, s, n, start, increment, d, l, r, left_step, right_step, filter);
}

// The inner loop; eight instantiations (sample type x interpolation x filter) so nothing
// is decided per frame. Reading the data and the filter recurrence are scalar; everything
// else runs in vector registers over chunks.
template <typename T, Interpolation INTERPOLATION, bool FILTERED>
void mix_frames(const T* __restrict base, int increment, int count, const Resampler::Mix_Data& md,
                Run_State& st) {
    int* __restrict dest = st.dest;
    const int left_step = st.left_step;
    const int right_step = st.right_step;
    const int left0 = st.left;
    const int right0 = st.right;
    const int a0 = st.accumulator;
    Chunk_Filter filter{md.a0, md.b0, md.b1, st.y1, st.y2};
    Chunk_Filter* const filter_ptr = FILTERED ? &filter : nullptr;
    // Reading the data is scalar (no gathers on plain x86-64): one load fetches both
    // frames a linear step needs. The interpolation, volume and saturating sums then
    // run over the chunk in vector registers.
    constexpr int CHUNK = 256;
    int pairs[CHUNK];
    int s[CHUNK];
    for (int done = 0; done < count; done += CHUNK) {
        const int n = count - done < CHUNK ? count - done : CHUNK;
        const int start = a0 + done * increment;
        int a = start;
        for (int i = 0; i < n; i++) {
            pairs[i] = read_frame_pair<T, INTERPOLATION == Interpolation::Linear>(base + (a >> 11));
            a += increment;
        }
        mix_chunk<T, INTERPOLATION>(pairs, s, n, start, increment, dest + 2 * done,
                                    left0 + done * left_step, right0 + done * right_step, left_step,
                                    right_step, filter_ptr);
    }
    st.y1 = (int)filter.y1;
    st.y2 = (int)filter.y2;
    st.dest = dest + 2 * count;
    st.left = left0 + count * left_step;
    st.right = right0 + count * right_step;
    st.accumulator = a0 + count * increment;
}

// Frames near the end of the data that linear interpolation must render raw, since it
// would read one frame past them.
int linear_guard_frames(int increment, int count) {
    int step = std::abs(increment);
    int k = (step >= 2048 ? 1 : 2048 / step) + 5;
    return k < count ? k : count;
}

template <typename T, Interpolation INTERPOLATION>
void mix_run(Resampler::Mix_Data* md, const T* data, std::int64_t size) {
    const int count = md->frames;
    const int increment = md->increment;
    // Every frame read must lie inside the data; the voice guarantees it, this keeps a
    // faulty caller from reading outside.
    std::int64_t first = md->frame + (md->fraction >> 11);
    std::int64_t last = md->frame + ((md->fraction + (std::int64_t)(count - 1) * increment) >> 11);
    if (first < 0 || last < 0 || first >= size || last >= size) return;

    Run_State st;
    st.dest = md->dest;
    st.left = md->left_volume_start * 2048;
    st.right = md->right_volume_start * 2048;
    const int left_change = md->left_volume_end - md->left_volume_start;
    const int right_change = md->right_volume_end - md->right_volume_start;
    st.left_step = left_change ? (int)lrintf((float)left_change / count * 2048.0f) : 0;
    st.right_step = right_change ? (int)lrintf((float)right_change / count * 2048.0f) : 0;
    st.accumulator = md->fraction;
    st.y1 = md->y1;
    st.y2 = md->y2;
    const T* base = data + md->frame;

    auto stretch = [&](auto interpolation_tag, int frames) {
        constexpr Interpolation I = decltype(interpolation_tag)::value;
        if (frames <= 0) return;
        if (md->filter_on)
            mix_frames<T, I, true>(base, increment, frames, *md, st);
        else
            mix_frames<T, I, false>(base, increment, frames, *md, st);
    };
    using Raw = std::integral_constant<Interpolation, Interpolation::Raw>;
    using Linear = std::integral_constant<Interpolation, Interpolation::Linear>;

    // Frames read raw: all of them for the raw resampler; for the linear one, the few next to
    // the end of the data it would read one frame past.
    int raw_from = 0;
    int raw_to = 0;
    if constexpr (INTERPOLATION == Interpolation::Raw) {
        raw_to = count;
    } else {
        int guard = linear_guard_frames(increment, count);
        if (increment < 0 && first + guard >= size) {
            raw_to = guard;
        } else if (increment > 0 && last + guard >= size) {
            raw_from = count - guard;
            raw_to = count;
        }
    }
#if defined(__x86_64__) && defined(__GNUC__)
    if (!md->filter_on && cpu_has_avx2.load(std::memory_order_relaxed)) {
        mix_unfiltered_avx2<T>(base, -md->frame, size - md->frame, st.accumulator, increment, count, raw_from, raw_to,
                               st.dest, st.left, st.right, st.left_step, st.right_step);
        return;
    }
#endif
    if (raw_from > 0) stretch(Linear{}, raw_from);
    stretch(Raw{}, raw_to - raw_from);
    if (raw_to < count) stretch(Linear{}, count - raw_to);
    md->y1 = st.y1;
    md->y2 = st.y2;
}

template <Interpolation INTERPOLATION>
void mix_any(Resampler::Mix_Data* md) {
    if (md == nullptr || md->sample_data == nullptr || md->dest == nullptr || md->frames <= 0 ||
        md->increment == 0)
        return;
    const Sample_Data* sd = md->sample_data;
    const void* data = sd->get_data_ptr();
    if (data == nullptr || sd->get_size() <= 0) return;
    if (sd->is_16bit())
        mix_run<std::int16_t, INTERPOLATION>(md, (const std::int16_t*)data, sd->get_size());
    else
        mix_run<std::int8_t, INTERPOLATION>(md, (const std::int8_t*)data, sd->get_size());
}

}  // namespace

void Resampler_Raw::mix(Mix_Data* data) { mix_any<Interpolation::Raw>(data); }

void Resampler_Linear::mix(Mix_Data* data) { mix_any<Interpolation::Linear>(data); }

bool resampler_use_cpu_extensions(bool on) {
#if defined(__x86_64__) && defined(__GNUC__)
    cpu_has_avx2.store(on && cpu_supports_avx2);
    return cpu_has_avx2.load();
#else
    (void)on;
    return false;
#endif
}

bool resampler_cpu_extensions_in_use() {
#if defined(__x86_64__) && defined(__GNUC__)
    return cpu_has_avx2.load(std::memory_order_relaxed);
#else
    return false;
#endif
}
