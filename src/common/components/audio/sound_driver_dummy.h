#pragma once

#include "common/components/audio/sound_driver.h"

// Plays nothing and never asks the mixers for samples, so songs do not advance.
class Sound_Driver_Dummy : public Sound_Driver {
public:
    int get_mix_frequency() override { return mix_frequency; }
    bool get_mix_stereo() override { return mix_stereo; }
    bool get_mix_16bits() override { return mix_16bits; }
    int get_mix_buffer_size() override { return buffer_size; }
    std::string get_name() override { return "Dummy Sound Driver"; }
    int init() override {
        active = true;
        return 0;
    }
    bool finish() override {
        active = false;
        return true;
    }
    bool is_active() override { return active; }
    int process() override { return 1; }
    void flush() override {}

private:
    bool active = false;
};
