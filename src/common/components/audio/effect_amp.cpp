#include "common/components/audio/effect_amp.h"

#include "common/components/audio/effect_sample_math.h"

Effect_Amp::Effect_Amp() : amp_bridge("Amp%", &amp, 0, 32767, "amp") {}

Effect* Effect_Amp::create_this() { return new Effect_Amp; }

void Effect_Amp::process_buffer(int* buffer, int frames, bool stereo, int /*mix_rate*/) {
    const int g = (amp * 256) / 100;
    const int count = stereo ? frames * 2 : frames;
    for (int i = 0; i < count; i++) buffer[i] = effect_sample_math::wrap_mul(buffer[i] >> 8, g);
}

Property_Bridge_List Effect_Amp::get_properties() { return {&amp_bridge}; }
