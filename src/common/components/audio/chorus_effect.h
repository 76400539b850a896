#pragma once

#include <vector>

#include "common/components/audio/effect.h"

// Up to five LFO-modulated delay voices; voice v sits at (v + 1) times the base delay,
// and odd voices mirror the width so the voices spread across the image.
class Chorus_Effect : public Effect {
public:
    Chorus_Effect();

    static Effect* create_this();

    void reset() override;
    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) override;
    std::string get_display_name() override { return "Chorus"; }
    std::string get_name() override { return "chorus"; }
    Property_Bridge_List get_properties() override;

    int get_line_frames() const { return line_frames; }

private:
    struct Params {
        int voices, delay, lfo_speed, lfo_depth, wet, dry, width;
    };
    static int line_frames_for(const Params& p, int mix_rate);
    void run_voice(int* buffer, int frames, const Params& p, int v, int mix_rate) const;

    int voices = 1;
    int delay = 20;
    int lfo_speed = 3;
    int lfo_depth = 20;
    int wet = 80;
    int dry = 80;
    int width = 20;
    Int_Property_Bridge voices_bridge;
    Int_Property_Bridge delay_bridge;
    Int_Property_Bridge lfo_speed_bridge;
    Int_Property_Bridge lfo_depth_bridge;
    Int_Property_Bridge wet_bridge;
    Int_Property_Bridge dry_bridge;
    Int_Property_Bridge width_bridge;

    std::vector<int> line; // two ints per frame; a power-of-two frame count
    int line_frames = 0;
    int write_pos = 0;
    double lfo_time = 0; // milliseconds
};
