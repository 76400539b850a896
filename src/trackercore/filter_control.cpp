#include "trackercore/filter_control.h"

#include <algorithm>
#include <cmath>

namespace {

std::array<float, Filter_Control::CUTOFF_STEPS> make_cutoff_table() {
    std::array<float, Filter_Control::CUTOFF_STEPS> table{};
    for (int i = 0; i < Filter_Control::CUTOFF_STEPS; i++)
        table[i] = (float)std::floor(110.0 * std::pow(2.0, 0.25 + (double)i / 48.0));
    return table;
}

std::array<float, Filter_Control::RESONANCE_STEPS> make_damping_table() {
    std::array<float, Filter_Control::RESONANCE_STEPS> table{};
    for (int i = 0; i < Filter_Control::RESONANCE_STEPS; i++)
        table[i] = (float)std::floor(131072.0 * std::pow(10.0, -0.009375 * (double)i));
    return table;
}

}  // namespace

const std::array<float, Filter_Control::CUTOFF_STEPS> Filter_Control::filter_cutoff = make_cutoff_table();
const std::array<float, Filter_Control::RESONANCE_STEPS> Filter_Control::dmpfac = make_damping_table();

void Filter_Control::recalculate_coheficients(float mix_frequency) {
    if (cutoff == worked_cutoff && resonance == worked_resonance && envelope == worked_envelope &&
        mix_frequency == worked_rate && it_filters == worked_it_filters)
        return;
    worked_it_filters = it_filters;
    worked_cutoff = cutoff;
    worked_resonance = resonance;
    worked_envelope = envelope;
    worked_rate = mix_frequency;
    // The stored envelope input stays unscaled so that a second call gives the same result.
    effective_cutoff = std::clamp(cutoff, 0, CUTOFF_OFF);
    if (envelope >= 0) {
        int scaled_envelope = std::min(envelope, 64) * 255 / 64;
        effective_cutoff = std::min(effective_cutoff * scaled_envelope / 255, CUTOFF_OFF - 1);
    }
    // Without a mix rate there is nothing to tune to; leave the filter open.
    if (!(mix_frequency > 0.0f)) {
        effective_cutoff = CUTOFF_OFF;
        a0 = b0 = b1 = 0;
        return;
    }
    int damping_index = std::clamp(resonance, 0, RESONANCE_STEPS - 1);
    if (it_filters) {
        // The top cutoff without resonance is no setting IT filters take: a filter that is on
        // keeps what it was set to before (Z7F after Z40 still sounds as Z40).
        if (effective_cutoff >= CUTOFF_OFF - 1 && damping_index == 0) return;
        engaged = true;
    }

    double fc = (double)filter_cutoff[effective_cutoff] * (2.0 * M_PI / (double)mix_frequency);
    double r = (double)(dmpfac[damping_index] * (it_filters ? 1.0f / 131072.0f : 1.0f / 32768.0f));
    double d = (1.0 - r) * fc;
    if (d > 2.0) d = 2.0;
    d = (r - d) / fc;
    double e = 1.0 / (fc * fc);
    double g = 1.0 / (1.0 + d + e);

    a0 = (int)(g * 4096.0);
    b0 = (int)((d + 2.0 * e) * g * 4096.0);
    b1 = (int)(-e * g * 4096.0);
}
