#include "common/components/audio/freeverb_effect.h"

#include <algorithm>
#include <cmath>

#include "common/components/audio/effect_sample_math.h"

using namespace effect_sample_math;

Freeverb_Effect::Freeverb_Effect()
    : room_size_bridge("Room Size", &room_size, 0, 127, "room_size"),
      damping_bridge("Damping", &damping, 0, 127, "damping"),
      wet_bridge("Wet Amount", &wet, 0, 127, "wet_mount"),
      dry_bridge("Dry Amount", &dry, 0, 127, "dry_amount"),
      width_bridge("Width", &width, 0, 127, "width"),
      in_l(WORK_FRAMES), in_r(WORK_FRAMES), out_l(WORK_FRAMES), out_r(WORK_FRAMES) {}

Effect* Freeverb_Effect::create_this() { return new Freeverb_Effect; }

void Freeverb_Effect::apply_changed_properties(int mix_rate) {
    if (room_size == last_room_size && damping == last_damping && wet == last_wet && dry == last_dry &&
        width == last_width && mix_rate == last_mix_rate)
        return;
    last_room_size = room_size;
    last_damping = damping;
    last_wet = wet;
    last_dry = dry;
    last_width = width;
    last_mix_rate = mix_rate;
    model.setroomsize(room_size / 127.0f);
    model.setdamp(damping / 127.0f);
    model.setwet(wet / 127.0f);
    model.setdry(dry / 127.0f);
    model.setwidth(width / 127.0f);
}

void Freeverb_Effect::process_buffer(int* buffer, int frames, bool stereo, int mix_rate) {
    if (!stereo || frames <= 0) return;
    apply_changed_properties(mix_rate);

    for (int done = 0; done < frames;) {
        const int chunk = std::min(frames - done, WORK_FRAMES);
        int* io = buffer + done * 2;
        for (int k = 0; k < chunk; k++) {
            in_l[k] = hi(io[k * 2]) * 0.65f;
            in_r[k] = hi(io[k * 2 + 1]) * 0.65f;
        }
        model.processreplace(in_l.data(), in_r.data(), out_l.data(), out_r.data(), chunk, 1);
        for (int k = 0; k < chunk; k++) {
            io[k * 2] = saturate_16(std::lround(std::clamp(out_l[k], -32768.0f, 32767.0f))) * 65536;
            io[k * 2 + 1] = saturate_16(std::lround(std::clamp(out_r[k], -32768.0f, 32767.0f))) * 65536;
        }
        done += chunk;
    }
}

Property_Bridge_List Freeverb_Effect::get_properties() {
    return {&room_size_bridge, &damping_bridge, &wet_bridge, &dry_bridge, &width_bridge};
}
