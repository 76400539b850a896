#pragma once

#include "common/components/audio/effect.h"

// Gain followed by a hard clip at a fraction of full scale.
class Effect_Distort : public Effect {
public:
    Effect_Distort();

    static Effect* create_this();

    void reset() override {}
    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) override;
    std::string get_display_name() override { return "Distort"; }
    std::string get_name() override { return "distort"; }
    Property_Bridge_List get_properties() override;

private:
    int amp = 100;
    int clip = 0;
    Int_Property_Bridge amp_bridge;
    Int_Property_Bridge clip_bridge;
};
