#pragma once

#include "common/components/audio/effect.h"

// Gain in percent; the product wraps on overflow like every mixer sum.
class Effect_Amp : public Effect {
public:
    Effect_Amp();

    static Effect* create_this();

    void reset() override {}
    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) override;
    std::string get_display_name() override { return "Amplifier"; }
    std::string get_name() override { return "amplifier"; }
    Property_Bridge_List get_properties() override;

private:
    int amp = 100;
    Int_Property_Bridge amp_bridge;
};
