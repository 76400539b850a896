#include "common/components/audio/resampler.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

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

inline int to_16bit(std::int8_t s) { return s * 256; }
inline int to_16bit(std::int16_t s) { return s; }

inline int add_saturating(int a, int b) {
    int sum;
    // Overflow is rare: one flag test per add keeps the inner loop short.
    if (__builtin_expect(__builtin_add_overflow(a, b, &sum), 0)) return b > 0 ? INT32_MAX : INT32_MIN;
    return sum;
}

// The inner loop; eight instantiations (sample type x interpolation x filter) so nothing
// is decided per frame.
template <typename T, Interpolation INTERPOLATION, bool FILTERED>
void mix_frames(const T* base, int increment, int count, const Resampler::Mix_Data& md,
                Run_State& st) {
    int* dest = st.dest;
    int left = st.left;
    int right = st.right;
    int a = st.accumulator;
    int y1 = st.y1;
    int y2 = st.y2;
    for (int i = 0; i < count; i++) {
        left += st.left_step;
        right += st.right_step;
        const T* p = base + (a >> 11);
        int s;
        if constexpr (INTERPOLATION == Interpolation::Raw) {
            s = to_16bit(p[0]);
        } else {
            int s0 = to_16bit(p[0]);
            int s1 = to_16bit(p[1]);
            s = s0 + (((s1 - s0) * (a & 2047)) >> 11);
        }
        if constexpr (FILTERED) {
            std::int64_t y = ((std::int64_t)s * md.a0 + (std::int64_t)y1 * md.b0 +
                              (std::int64_t)y2 * md.b1) >> 12;
            // A resonant filter can overshoot; keep it within 16 bits like the data.
            if (y > 32767) y = 32767;
            if (y < -32768) y = -32768;
            y2 = y1;
            y1 = (int)y;
            s = (int)y;
        }
        dest[0] = add_saturating(dest[0], (left >> 11) * s);
        dest[1] = add_saturating(dest[1], (right >> 11) * s);
        dest += 2;
        a += increment;
    }
    st.dest = dest;
    st.left = left;
    st.right = right;
    st.accumulator = a;
    st.y1 = y1;
    st.y2 = y2;
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
    st.left_step = (int)lrintf((float)(md->left_volume_end - md->left_volume_start) / count * 2048.0f);
    st.right_step = (int)lrintf((float)(md->right_volume_end - md->right_volume_start) / count * 2048.0f);
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

    if constexpr (INTERPOLATION == Interpolation::Raw) {
        stretch(Raw{}, count);
    } else {
        int guard = linear_guard_frames(increment, count);
        if (increment < 0 && first + guard >= size) {
            stretch(Raw{}, guard);
            stretch(Linear{}, count - guard);
        } else if (increment > 0 && last + guard >= size) {
            stretch(Linear{}, count - guard);
            stretch(Raw{}, guard);
        } else {
            stretch(Linear{}, count);
        }
    }
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
