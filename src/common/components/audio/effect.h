#pragma once

#include <string>

#include "common/components/data/property_bridge.h"

// A processing unit of an effect chain. Works in place on the mixer's 32-bit
// stereo-interleaved buffer, whose audible 16-bit value sits in the upper 16 bits.
class Effect {
public:
    virtual ~Effect() = default;

    virtual void reset() = 0;
    virtual void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) = 0;
    virtual std::string get_display_name() = 0;
    virtual std::string get_name() = 0;
    virtual Property_Bridge_List get_properties() = 0;

protected:
    Effect() = default;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;
};
