#include "tracker/edit_effect.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

void Edit_Effect::selected_notify(Sample_Data*, int, int) {}

Property_Bridge_List Edit_Effect::get_property_list() { return {}; }

// Keeps a range inside the frames; false when nothing of it is left.
static bool clip_range(const Sample_Data* data, int* begin, int* end) {
    if (!data || data->get_size() <= 0) return false;
    *begin = std::max(*begin, 0);
    *end = std::min(*end, data->get_size() - 1);
    return *begin <= *end;
}

// Replaces the block with count frames copied from first on, in the same depth.
static bool keep_frames(Sample_Data* data, int first, int count) {
    int bytes_per_frame = data->is_16bit() ? 2 : 1;
    void* block = std::malloc((size_t)count * bytes_per_frame);
    if (!block) return false;  // not enough memory: the sample stays as it was
    std::memcpy(block, (const char*)data->get_data_ptr() + (size_t)first * bytes_per_frame,
                (size_t)count * bytes_per_frame);
    data->set_data_ptr(block, count);
    return true;
}

static bool has_cuttable_loop(const Sample_Data* data) {
    return data && data->get_size() > 0 && data->get_data_ptr() && data->is_loop_enabled() &&
           data->get_loop_end() >= 1;
}

void Edit_Effect_Reverse::process(Sample_Data* data, int begin, int end) {
    if (!clip_range(data, &begin, &end)) return;
    for (int i = 0; i < (end - begin + 1) / 2; i++) {
        float a = data->get_sample(begin + i);
        data->set_sample(begin + i, data->get_sample(end - i));
        data->set_sample(end - i, a);
    }
    auto mirror = [begin, end](int frame) { return frame >= begin && frame <= end ? end - (frame - begin) : frame; };
    int loop_begin = mirror(data->get_loop_begin());
    int loop_end = mirror(data->get_loop_end());
    // Mirroring both points of a loop inside the range swaps them; keep begin before end.
    if (loop_begin > loop_end && data->get_loop_begin() <= data->get_loop_end()) std::swap(loop_begin, loop_end);
    data->set_loop_begin(loop_begin);
    data->set_loop_end(loop_end);
}

void Edit_Effect_PreLoop_Cut::process(Sample_Data* data, int, int) {
    if (!has_cuttable_loop(data)) return;
    int loop_begin = data->get_loop_begin();
    if (loop_begin < 0 || loop_begin >= data->get_size()) return;
    if (!keep_frames(data, loop_begin, data->get_size() - loop_begin)) return;
    data->set_loop_end(data->get_loop_end() - loop_begin);
    data->set_loop_begin(0);
}

void Edit_Effect_PostLoop_Cut::process(Sample_Data* data, int, int) {
    if (!has_cuttable_loop(data)) return;
    int frames = std::min(data->get_loop_end() + 1, data->get_size());
    keep_frames(data, 0, frames);
}

void Edit_Effect_SelToLoop::process(Sample_Data* data, int begin, int end) {
    if (!data || data->get_size() <= 0) return;
    data->set_loop_enabled(true);
    data->set_loop_begin(begin);
    data->set_loop_end(end);
}

void Edit_Effect_Center::process(Sample_Data* data, int begin, int end) {
    if (!clip_range(data, &begin, &end)) return;
    float hi = -2, lo = 2;
    for (int i = begin; i <= end; i++) {
        float v = data->get_sample(i);
        hi = std::max(hi, v);
        lo = std::min(lo, v);
    }
    float shift = -(hi + lo) / 2;
    for (int i = begin; i <= end; i++) data->set_sample(i, data->get_sample(i) + shift);
}

Edit_Effect_Normalize::Edit_Effect_Normalize() : amplify_prop("Amplify(%):", &amplify, 0, 999999) {}

void Edit_Effect_Normalize::selected_notify(Sample_Data* data, int begin, int end) {
    float peak = 1.0f;
    if (clip_range(data, &begin, &end)) {
        peak = 0;
        for (int i = begin; i <= end; i++) peak = std::max(peak, std::fabs(data->get_sample(i)));
        if (peak == 0) peak = 0.0001f;
    }
    amplify = (int)std::min(std::trunc(100.0 / peak), 999999.0);
}

void Edit_Effect_Normalize::process(Sample_Data* data, int begin, int end) {
    if (!clip_range(data, &begin, &end)) return;
    float factor = amplify * 0.01f;
    for (int i = begin; i <= end; i++) data->set_sample(i, data->get_sample(i) * factor);
}

void Edit_Effect_Toggle_Sign::process(Sample_Data* data, int, int) {
    if (data && data->get_size() > 0) data->change_sign();
}

void Edit_Effect_Toggle_Depth::process(Sample_Data* data, int, int) {
    if (data && data->get_size() > 0) data->toggle_quality();
}

Edit_Effect_Tuner::Edit_Effect_Tuner() : cycles_prop("Cycles Selected:", &cycles, 1, 100) {}

void Edit_Effect_Tuner::selected_notify(Sample_Data*, int, int) { cycles = 4; }

void Edit_Effect_Tuner::process(Sample_Data* data, int begin, int end) {
    if (!data || data->get_size() <= 0 || cycles < 1) return;
    float length = (float)(end - begin);
    if (length < 3) return;
    data->set_c5_freq((int)std::trunc(length / cycles * C5_HZ));
}

// A range of one frame has no slope to follow; it stays as it is.
void Edit_Effect_FadeIn::process(Sample_Data* data, int begin, int end) {
    if (!clip_range(data, &begin, &end) || end == begin) return;
    float length = (float)(end - begin);
    for (int i = begin; i <= end; i++) data->set_sample(i, data->get_sample(i) * ((i - begin) / length));
}

void Edit_Effect_FadeOut::process(Sample_Data* data, int begin, int end) {
    if (!clip_range(data, &begin, &end) || end == begin) return;
    float length = (float)(end - begin);
    for (int i = begin; i <= end; i++) data->set_sample(i, data->get_sample(i) * ((end - i) / length));
}
