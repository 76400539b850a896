#pragma once

#include <string>
#include <vector>

#include "common/components/audio/effect_source.h"

// The built-in effects, registered by the program entry.
class Effect_Source_Internal : public Effect_Source {
public:
    typedef Effect* (*Constructor)();

    void register_effect_constructor(const std::string& display_name, const std::string& name,
                                     Constructor constructor);

    int get_effect_count() override;
    std::string get_effect_name(int i) override;
    std::string get_effect_display_name(int i) override;
    Effect* instantiate_effect(int i) override;
    std::string get_name() override;

private:
    struct Entry {
        Constructor constructor;
        std::string display_name;
        std::string name;
    };
    bool valid_index(int i) const { return i >= 0 && i < (int)entries.size(); }

    std::vector<Entry> entries;
};
