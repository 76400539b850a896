#include "common/components/audio/sound_driver.h"

#include <algorithm>
#include <cstring>

#include "common/components/audio/mixer_base.h"

void Sound_Driver::render_mixers(short* out, int* accumulator, int frames, bool stereo) {
    const int channels = stereo ? 2 : 1;
    std::memset(accumulator, 0, sizeof(int) * frames * channels);
    if (mixer_list) {
        for (Mixer_Base* mixer : *mixer_list) {
            mixer->set_mix_frequency((float)mix_frequency);
            int left = frames;
            int* dest = accumulator;
            while (left > 0) {
                int k = mixer->write_samples(left);
                if (k <= 0) break;  // a mixer that renders nothing must not stall the device
                const int* src = mixer->get_mixdown_buffer_ptr();
                if (stereo) {
                    for (int i = 0; i < k * 2; i++) dest[i] += src[i] >> 16;
                } else {
                    for (int i = 0; i < k; i++)
                        dest[i] += ((src[i * 2] >> 2) + (src[i * 2 + 1] >> 2)) >> 16;
                }
                dest += k * channels;
                left -= k;
            }
        }
    }
    for (int i = 0; i < frames * channels; i++)
        out[i] = (short)std::clamp(accumulator[i], -32768, 32767);
}
