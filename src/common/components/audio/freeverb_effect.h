#pragma once

#include <vector>

#include "common/components/audio/effect.h"
#include "common/components/audio/revmodel.h"

class Freeverb_Effect : public Effect {
public:
    static constexpr int WORK_FRAMES = 8192;

    Freeverb_Effect();

    static Effect* create_this();

    void reset() override { model.mute(); }
    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) override;
    std::string get_display_name() override { return "Reverb"; }
    std::string get_name() override { return "freeverb"; }
    Property_Bridge_List get_properties() override;

private:
    void apply_changed_properties(int mix_rate);

    int room_size = 105;
    int damping = 80;
    int wet = 80;
    int dry = 0;
    int width = 110;
    Int_Property_Bridge room_size_bridge;
    Int_Property_Bridge damping_bridge;
    Int_Property_Bridge wet_bridge;
    Int_Property_Bridge dry_bridge;
    Int_Property_Bridge width_bridge;

    // What the model was last given; -1 forces the first block to apply everything.
    int last_room_size = -1, last_damping = -1, last_wet = -1, last_dry = -1, last_width = -1;
    int last_mix_rate = -1;

    revmodel model;
    std::vector<float> in_l, in_r, out_l, out_r;
};
