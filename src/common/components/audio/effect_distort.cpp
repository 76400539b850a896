#include "common/components/audio/effect_distort.h"

#include <algorithm>
#include <cstdint>

Effect_Distort::Effect_Distort()
    : amp_bridge("amp%", &amp, 0, 32767, "amp"), clip_bridge("Clip%", &clip, 0, 100, "clip") {}

Effect* Effect_Distort::create_this() { return new Effect_Distort; }

void Effect_Distort::process_buffer(int* buffer, int frames, bool stereo, int /*mix_rate*/) {
    const int64_t g = (amp * 256) / 100;
    const int64_t limit = (int64_t)std::min(((100 - clip) * 65536) / 100, 65535) * 32768;
    const int count = stereo ? frames * 2 : frames;
    for (int i = 0; i < count; i++)
        buffer[i] = (int)std::clamp((int64_t)(buffer[i] >> 8) * g, -limit, limit);
}

Property_Bridge_List Effect_Distort::get_properties() { return {&amp_bridge, &clip_bridge}; }
