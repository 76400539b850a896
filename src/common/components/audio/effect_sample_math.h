#pragma once

#include <cstdint>

// Shared fixed-point helpers of the built-in effects.
namespace effect_sample_math {

// The audible signed 16-bit value of a mixer sample.
inline int hi(int x) { return x >> 16; }

// A wide intermediate stored back as a mixer sample clips at full scale instead of wrapping.
inline int saturate(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int)v;
}

inline int saturate_16(long v) {
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return (int)v;
}

// Two's-complement wrap without signed overflow.
inline int wrap_mul(int a, int b) { return (int)((uint32_t)a * (uint32_t)b); }

} // namespace effect_sample_math
