#include "common/components/audio/chorus_effect.h"

#include <cmath>
#include <cstdint>

#include "common/components/audio/effect_sample_math.h"

using namespace effect_sample_math;

Chorus_Effect::Chorus_Effect()
    : voices_bridge("Voices", &voices, 1, 5, "voices"),
      delay_bridge("Delay(1/10 ms)", &delay, 1, 127, "delay"),
      lfo_speed_bridge("Speed(hz)", &lfo_speed, 1, 50, "lfo_speed"),
      lfo_depth_bridge("Depth(ms)", &lfo_depth, 1, 127, "lfo_depth"),
      wet_bridge("Wet%", &wet, 0, 127, "lfo_feedback"),
      dry_bridge("Dry%", &dry, 0, 127, "lfo_feedback"),
      width_bridge("Width%", &width, -64, 64, "width") {}

Effect* Chorus_Effect::create_this() { return new Chorus_Effect; }

void Chorus_Effect::reset() { line.assign(line.size(), 0); }

int Chorus_Effect::line_frames_for(const Params& p, int mix_rate) {
    const long needed = (long)((p.voices * p.delay + 2 * p.lfo_depth) * mix_rate * 0.001) + 30000;
    long size = 1;
    while (size <= needed) size <<= 1;
    return (int)size;
}

void Chorus_Effect::run_voice(int* buffer, int frames, const Params& p, int v, int mix_rate) const {
    const int mask = line_frames - 1;
    const double depth_samples = p.lfo_depth * 0.01 * mix_rate * 0.001;
    const double base = (v + 1) * p.delay * mix_rate * 0.001;
    const double lfo_step = 1000.0 / mix_rate;
    const int w = (v & 1) ? -p.width : p.width;
    const int64_t a = (int64_t)p.wet * ((w * 65535) / 64) / 127;
    const int64_t b = (int64_t)p.wet * (((64 - w) * 65535) / 64) / 127;

    int pos = write_pos;
    double t = lfo_time;
    for (int k = 0; k < frames; k++) {
        const double s = std::sin(t * p.lfo_speed * 0.006283185307179587);
        t += lfo_step;
        const double d = base + s * depth_samples + depth_samples;
        const int i = (int)std::lround(d);
        const int f = (int)std::lround((d - i) * 8192);
        pos = (pos - 1) & mask;
        const int* x0 = &line[(size_t)((pos + i) & mask) * 2];
        const int* x1 = &line[(size_t)((pos + i + 1) & mask) * 2];
        const int64_t dl = hi(x0[0]) + (((hi(x1[0]) - hi(x0[0])) * f) >> 13);
        const int64_t dr = hi(x0[1]) + (((hi(x1[1]) - hi(x0[1])) * f) >> 13);
        buffer[k * 2] = saturate(buffer[k * 2] + dr * a + dl * b);
        buffer[k * 2 + 1] = saturate(buffer[k * 2 + 1] + dr * b + dl * a);
    }
}

void Chorus_Effect::process_buffer(int* buffer, int frames, bool stereo, int mix_rate) {
    if (!stereo || mix_rate <= 0 || frames <= 0) return;
    // Edits from the interface land between blocks; one block sees one set of values.
    const Params p{voices, delay, lfo_speed, lfo_depth, wet, dry, width};

    const int wanted = line_frames_for(p, mix_rate);
    if (wanted != line_frames) {
        line_frames = wanted;
        line.assign((size_t)wanted * 2, 0);
        write_pos = 0;
    }

    const int mask = line_frames - 1;
    const int dg = p.dry * 65535 / 127;
    int pos = write_pos;
    for (int k = 0; k < frames; k++) {
        pos = (pos - 1) & mask;
        line[(size_t)pos * 2] = buffer[k * 2];
        line[(size_t)pos * 2 + 1] = buffer[k * 2 + 1];
        buffer[k * 2] = hi(buffer[k * 2]) * dg;
        buffer[k * 2 + 1] = hi(buffer[k * 2 + 1]) * dg;
    }

    for (int v = 0; v < p.voices; v++) run_voice(buffer, frames, p, v, mix_rate);

    write_pos = pos;
    // Integer LFO speeds all repeat within one second, so folding the clock keeps sin() precise.
    lfo_time = std::fmod(lfo_time + frames * (1000.0 / mix_rate), 1000.0);
}

Property_Bridge_List Chorus_Effect::get_properties() {
    return {&voices_bridge, &delay_bridge, &lfo_speed_bridge, &lfo_depth_bridge,
            &wet_bridge,    &dry_bridge,   &width_bridge};
}
