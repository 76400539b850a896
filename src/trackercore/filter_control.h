#pragma once

#include <array>

// Resonant low-pass settings of one voice and the coefficients derived from them.
// Coefficients are scaled by 4096 for the resampler's integer filter.
class Filter_Control {
public:
    static constexpr int CUTOFF_STEPS = 256;
    static constexpr int RESONANCE_STEPS = 128;
    static constexpr int CUTOFF_OFF = 255;

    // Entry i = floor(110 x 2^(0.25 + i/48)) Hz.
    static const std::array<float, CUTOFF_STEPS> filter_cutoff;
    // Entry i = floor(131072 x 10^(-0.009375 i)); IT filters damp by half of it.
    static const std::array<float, RESONANCE_STEPS> dmpfac;

    void recalculate_coheficients(float mix_frequency);
    // Takes another filter's settings, keeping what was worked out from this one's.
    void take_settings(const Filter_Control& from) {
        resonance = from.resonance;
        cutoff = from.cutoff;
        envelope = from.envelope;
    }
    // Filtering is audible only below the open setting. An instrument's default cutoff at its top
    // (127, doubled to 254) without resonance is how IT instruments say "no filter". IT filters
    // take that from the cutoff after the envelope, and once a note's filter is on it stays on
    // (the open setting then leaves it as it was last set).
    bool is_active() const {
        if (it_filters) return engaged;
        if (effective_cutoff > CUTOFF_OFF - 1) return false;
        return envelope >= 0 || effective_cutoff < CUTOFF_OFF - 1 || resonance > 0;
    }

    int resonance = 0;          // index into dmpfac, 0..127
    int cutoff = CUTOFF_OFF;    // 0..255
    int envelope = -1;          // -1 none, else 0..64 from the pitch envelope in filter mode
    bool it_filters = false;    // damping and the open setting as IT has them (rule "it_filters")
    bool engaged = false;       // IT filters: this note's filter has been switched on
    int effective_cutoff = CUTOFF_OFF;
    int a0 = 0;
    int b0 = 0;
    int b1 = 0;

private:
    // The settings the coefficients were last worked out for: most ticks change none of them.
    int worked_cutoff = -1;
    int worked_resonance = -1;
    int worked_envelope = -2;
    bool worked_it_filters = false;
    float worked_rate = -1.0f;
};
