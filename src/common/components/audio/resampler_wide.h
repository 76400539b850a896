#pragma once

// The resamplers' eight-frames-at-a-time pieces for AVX2, shared by the unfiltered loop and the
// batched filtered voices. A group of eight frames stepping at most two frames each spans at
// most sixteen data frames, so both frames every step reads come from two plain loads and a
// permute instead of eight scalar reads. The arithmetic is the portable loops', operation for
// operation, so the output is the same.

#include <cstdint>
#include <cstring>

// Both frames a linear step reads, packed low/high into one int (a raw read takes only the
// first): the portable loops read this way, one load a frame.
template <typename T, bool LINEAR>
inline int read_frame_pair(const T* p) {
    if constexpr (!LINEAR) {
        return sizeof(T) == 1 ? (std::uint8_t)p[0] : (std::uint16_t)p[0];
    } else if constexpr (sizeof(T) == 1) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return (int)v;
    }
}

// Unpacks n frame pairs read at positions start + i x increment and interpolates them into s.
template <typename T, bool LINEAR>
inline void interpolate_pairs(const int* __restrict pairs, int n, int start, int increment, int* __restrict s) {
    for (int i = 0; i < n; i++) {
        const int v = pairs[i];
        int s0, s1;
        if constexpr (sizeof(T) == 1) {
            s0 = (int)(std::int8_t)(v & 0xFF) * 256;
            s1 = (int)(std::int8_t)((v >> 8) & 0xFF) * 256;
        } else {
            s0 = (int)(std::int16_t)(v & 0xFFFF);
            s1 = v >> 16;
        }
        if constexpr (LINEAR)
            s[i] = s0 + (((s1 - s0) * ((start + i * increment) & 2047)) >> 11);
        else
            s[i] = s0;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace resampler_wide {

inline int to_16bit(std::int8_t s) { return s * 256; }
inline int to_16bit(std::int16_t s) { return s; }

template <typename T>
__attribute__((target("avx2"))) inline __m256i load_eight(const T* p) {
    if constexpr (sizeof(T) == 1)
        return _mm256_slli_epi32(_mm256_cvtepi8_epi32(_mm_loadl_epi64((const __m128i*)p)), 8);
    else
        return _mm256_cvtepi16_epi32(_mm_loadu_si128((const __m128i*)p));
}

// The mixer's saturating sum, eight at a time.
__attribute__((target("avx2"))) inline __m256i add_saturating8(__m256i a, __m256i b) {
    const __m256i sum = _mm256_add_epi32(a, b);
    const __m256i overflow = _mm256_and_si256(_mm256_xor_si256(a, sum), _mm256_xor_si256(b, sum));
    const __m256i limit = _mm256_xor_si256(_mm256_srai_epi32(a, 31), _mm256_set1_epi32(INT32_MAX));
    // blendv looks at each lane's sign bit only: set exactly where the sum overflowed.
    return _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(sum), _mm256_castsi256_ps(limit),
                                                 _mm256_castsi256_ps(overflow)));
}

// Lane i gets frame index[i] (0..15) of the sixteen held in low and high.
__attribute__((target("avx2"))) inline __m256i pick_of_sixteen(__m256i low, __m256i high, __m256i index) {
    const __m256i use_high = _mm256_slli_epi32(_mm256_and_si256(index, _mm256_set1_epi32(8)), 28);
    return _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(low, index)),
                                                _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(high, index)),
                                                _mm256_castsi256_ps(use_high)));
}

// The interpolated frames of one group of eight starting at position a (11 fractional bits,
// relative to base), steps = increment x lane: the linear formula, with the fraction taken
// as zero for frames raw_from..raw_to-1 of the run (first_frame is the group's first), so a
// raw frame reads nothing past its own. base[low_limit] .. base[limit - 1] may be read; only
// the first `valid` frames are read when the group cannot use the wide reads.
template <typename T>
__attribute__((target("avx2"))) inline __m256i group_samples(const T* __restrict base, std::int64_t low_limit,
                                                              std::int64_t limit, int a, int increment, int span,
                                                              __m256i steps, int first_frame, int valid, int raw_from,
                                                              int raw_to) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i pos = _mm256_add_epi32(_mm256_set1_epi32(a), steps);
    __m256i frac = _mm256_and_si256(pos, _mm256_set1_epi32(2047));
    if (first_frame + 8 > raw_from && first_frame < raw_to) {
        const __m256i frame = _mm256_add_epi32(_mm256_set1_epi32(first_frame), lane);
        const __m256i raw = _mm256_and_si256(_mm256_cmpgt_epi32(frame, _mm256_set1_epi32(raw_from - 1)),
                                             _mm256_cmpgt_epi32(_mm256_set1_epi32(raw_to), frame));
        frac = _mm256_andnot_si256(raw, frac);
    }
    const int first = a >> 11;
    const int last = (a + 7 * increment) >> 11;
    const int lo = first < last ? first : last;
    const __m256i offset = _mm256_sub_epi32(_mm256_srai_epi32(pos, 11), _mm256_set1_epi32(lo));
    __m256i s0, s1;
    if (span <= 2048 && lo >= low_limit && lo + 9 <= limit) {
        s0 = _mm256_permutevar8x32_epi32(load_eight(base + lo), offset);
        s1 = _mm256_permutevar8x32_epi32(load_eight(base + lo + 1), offset);
    } else if (span <= 4096 && lo >= low_limit && lo + 16 <= limit) {
        // Offsets 0..15: the low three bits pick within a half, bit 3 picks the half.
        const __m256i low = load_eight(base + lo);
        const __m256i high = load_eight(base + lo + 8);
        s0 = pick_of_sixteen(low, high, offset);
        s1 = pick_of_sixteen(low, high, _mm256_add_epi32(offset, _mm256_set1_epi32(1)));
    } else {
        // Frame by frame, touching only what the run's own frames read.
        alignas(32) int f0[8] = {}, f1[8] = {};
        int p = a;
        for (int i = 0; i < valid; i++, p += increment) {
            const T* q = base + (p >> 11);
            f0[i] = f1[i] = to_16bit(q[0]);
            const int frame = first_frame + i;
            if (frame < raw_from || frame >= raw_to) f1[i] = to_16bit(q[1]);
        }
        s0 = _mm256_load_si256((const __m256i*)f0);
        s1 = _mm256_load_si256((const __m256i*)f1);
    }
    return _mm256_add_epi32(s0, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(s1, s0), frac), 11));
}

// The interpolated frames 0..count-1 of a run starting at position a0, into s.
template <typename T>
__attribute__((target("avx2"))) inline void interpolate(const T* __restrict base, std::int64_t low_limit,
                                                        std::int64_t limit, int a0, int increment, int count,
                                                        int raw_from, int raw_to, int* __restrict s) {
    const __m256i steps = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(increment));
    const int span = increment < 0 ? -increment : increment;
    int a = a0;
    int first = 0;
    for (; first + 8 <= count; first += 8, a += 8 * increment)
        _mm256_storeu_si256((__m256i*)(s + first), group_samples(base, low_limit, limit, a, increment, span, steps,
                                                                 first, 8, raw_from, raw_to));
    const int valid = count - first;
    if (valid <= 0) return;
    const __m256i mask = _mm256_cmpgt_epi32(_mm256_set1_epi32(valid), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    _mm256_maskstore_epi32(s + first, mask,
                           group_samples(base, low_limit, limit, a, increment, span, steps, first, valid, raw_from,
                                         raw_to));
}

// Volumes x 2048 after frames 1..4 and 5..8 of a group, left and right interleaved, moved on
// eight frames at a time: frame i of a run plays at (l + (i + 1) x left_step) >> 11 on the
// left, the same on the right, l and r being the volumes x 2048 before its first frame.
struct Ramp {
    __m256i low, high, advance;

    __attribute__((target("avx2"))) Ramp(int l, int r, int left_step, int right_step) {
        low = _mm256_setr_epi32(l + left_step, r + right_step, l + 2 * left_step, r + 2 * right_step, l + 3 * left_step,
                                r + 3 * right_step, l + 4 * left_step, r + 4 * right_step);
        const __m256i half = _mm256_setr_epi32(4 * left_step, 4 * right_step, 4 * left_step, 4 * right_step,
                                               4 * left_step, 4 * right_step, 4 * left_step, 4 * right_step);
        high = _mm256_add_epi32(low, half);
        advance = _mm256_add_epi32(half, half);
    }

    // Adds the group's eight frames s at these volumes into the pairs of d, only the first
    // `valid` frames' when the group is short; then moves on to the next group.
    __attribute__((target("avx2"))) void add(int* d, __m256i s, int valid) {
        const __m256i m_low = _mm256_mullo_epi32(_mm256_permutevar8x32_epi32(s, _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3)),
                                                 _mm256_srai_epi32(low, 11));
        const __m256i m_high = _mm256_mullo_epi32(
            _mm256_permutevar8x32_epi32(s, _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7)), _mm256_srai_epi32(high, 11));
        if (valid >= 8) {
            _mm256_storeu_si256((__m256i*)d, add_saturating8(_mm256_loadu_si256((const __m256i*)d), m_low));
            _mm256_storeu_si256((__m256i*)(d + 8), add_saturating8(_mm256_loadu_si256((const __m256i*)(d + 8)), m_high));
        } else {
            const __m256i ints = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
            const __m256i mask_low = _mm256_cmpgt_epi32(_mm256_set1_epi32(2 * valid), ints);
            const __m256i mask_high = _mm256_cmpgt_epi32(_mm256_set1_epi32(2 * valid - 8), ints);
            _mm256_maskstore_epi32(d, mask_low, add_saturating8(_mm256_maskload_epi32(d, mask_low), m_low));
            _mm256_maskstore_epi32(d + 8, mask_high, add_saturating8(_mm256_maskload_epi32(d + 8, mask_high), m_high));
        }
        low = _mm256_add_epi32(low, advance);
        high = _mm256_add_epi32(high, advance);
    }
};

// Adds frames 0..count-1 of s into the left/right pairs of d at their ramped volumes.
__attribute__((target("avx2"))) inline void add_frames(int* __restrict d, const int* __restrict s, int count, int l,
                                                       int r, int left_step, int right_step) {
    Ramp ramp(l, r, left_step, right_step);
    for (int first = 0; first < count; first += 8, d += 16) {
        const int valid = count - first;
        const __m256i v =
            valid >= 8 ? _mm256_loadu_si256((const __m256i*)(s + first))
                       : _mm256_maskload_epi32(s + first, _mm256_cmpgt_epi32(_mm256_set1_epi32(valid),
                                                                              _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
        ramp.add(d, v, valid);
    }
}

}  // namespace resampler_wide
#endif
