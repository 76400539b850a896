#include "common/components/audio/effect_stereo_enhancer.h"

#include <cstdint>

#include "common/components/audio/effect_sample_math.h"

using namespace effect_sample_math;

Effect_Stereo_Enhancer::Effect_Stereo_Enhancer()
    : delay_bridge("Delay(ms)", &delay, 1, 500, "delay"),
      feedback_bridge("Feedback%", &feedback, 0, 80, "feedback") {}

Effect* Effect_Stereo_Enhancer::create_this() { return new Effect_Stereo_Enhancer; }

void Effect_Stereo_Enhancer::process_buffer(int* buffer, int frames, bool stereo, int mix_rate) {
    if (!stereo || mix_rate <= 0 || frames <= 0) return;
    line.set_length(Stereo_Delay_Line::frames_for(delay, mix_rate));

    const int g = feedback * 65535 / 100;
    for (int k = 0; k < frames; k++) {
        int* io = buffer + k * 2;
        int* d = line.frame();
        const int l = io[0], r = io[1];
        io[0] = saturate((int64_t)l + d[0]);
        io[1] = saturate((int64_t)r + d[1]);
        d[0] = hi(r) * g;
        d[1] = hi(l) * g;
        line.advance();
    }
}

Property_Bridge_List Effect_Stereo_Enhancer::get_properties() { return {&delay_bridge, &feedback_bridge}; }
