#include "common/components/audio/effect_echo.h"

#include <cstdint>

#include "common/components/audio/effect_sample_math.h"

using namespace effect_sample_math;

Effect_Echo::Effect_Echo()
    : delay_bridge("Delay(ms)", &delay, 1, 500, "delay"),
      separation_bridge("Separation", &separation, -64, 64, "separation"),
      feedback_bridge("Feedback%", &feedback, 0, 80, "feedback") {}

Effect* Effect_Echo::create_this() { return new Effect_Echo; }

void Effect_Echo::process_buffer(int* buffer, int frames, bool stereo, int mix_rate) {
    // Echo only knows stereo frames; a mono block is left alone rather than overrun.
    if (!stereo || mix_rate <= 0 || frames <= 0) return;
    line.set_length(Stereo_Delay_Line::frames_for(delay, mix_rate));

    const int64_t a = (int64_t)feedback * ((separation * 65535) / 64) / 100;
    const int64_t b = (int64_t)feedback * (((64 - separation) * 65535) / 64) / 100;
    for (int k = 0; k < frames; k++) {
        int* io = buffer + k * 2;
        int* e = line.frame();
        const int l = io[0], r = io[1];
        const int64_t ml = hi(e[0]) + hi(l);
        const int64_t mr = hi(e[1]) + hi(r);
        io[0] = saturate((int64_t)l + e[0]);
        io[1] = saturate((int64_t)r + e[1]);
        e[0] = saturate(mr * a + ml * b);
        e[1] = saturate(mr * b + ml * a);
        line.advance();
    }
}

Property_Bridge_List Effect_Echo::get_properties() {
    return {&delay_bridge, &separation_bridge, &feedback_bridge};
}
