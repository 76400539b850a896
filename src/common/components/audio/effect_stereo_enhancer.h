#pragma once

#include "common/components/audio/effect.h"
#include "common/components/audio/stereo_delay_line.h"

// Widens the image by feeding each channel the other one, delayed and attenuated.
class Effect_Stereo_Enhancer : public Effect {
public:
    Effect_Stereo_Enhancer();

    static Effect* create_this();

    void reset() override { line.clear(); }
    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) override;
    std::string get_display_name() override { return "Stereo Enhancer"; }
    std::string get_name() override { return "stereo_enhancer"; }
    Property_Bridge_List get_properties() override;

    int get_line_length() const { return line.get_length(); }

private:
    int delay = 10;
    int feedback = 50;
    Int_Property_Bridge delay_bridge;
    Int_Property_Bridge feedback_bridge;
    Stereo_Delay_Line line;
};
