#pragma once

#include <string>

#include "common/components/audio/effect.h"

// Lists effects of one kind and creates them by index.
class Effect_Source {
public:
    virtual ~Effect_Source() = default;

    virtual int get_effect_count() = 0;
    virtual std::string get_effect_name(int i) = 0;
    virtual std::string get_effect_display_name(int i) = 0;
    // The caller owns the returned effect; null for a bad index.
    virtual Effect* instantiate_effect(int i) = 0;
    virtual std::string get_name() = 0;
};
