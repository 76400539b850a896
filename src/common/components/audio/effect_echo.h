#pragma once

#include "common/components/audio/effect.h"
#include "common/components/audio/stereo_delay_line.h"

// Stereo feedback delay with cross-feed; separation 64 is ping-pong.
class Effect_Echo : public Effect {
public:
    Effect_Echo();

    static Effect* create_this();

    void reset() override { line.clear(); }
    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) override;
    std::string get_display_name() override { return "Echo"; }
    std::string get_name() override { return "echo"; }
    Property_Bridge_List get_properties() override;

    int get_line_length() const { return line.get_length(); }

private:
    int delay = 250;
    int separation = 0;
    int feedback = 30;
    Int_Property_Bridge delay_bridge;
    Int_Property_Bridge separation_bridge;
    Int_Property_Bridge feedback_bridge;
    Stereo_Delay_Line line;
};
