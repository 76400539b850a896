#pragma once

#include <string>
#include <vector>

#include "common/components/audio/effect_source.h"

// Process-wide list of effect sources, in registration order. Owns none of them.
class Effect_Source_Manager {
public:
    Effect_Source_Manager();
    ~Effect_Source_Manager();
    Effect_Source_Manager(const Effect_Source_Manager&) = delete;
    Effect_Source_Manager& operator=(const Effect_Source_Manager&) = delete;

    static Effect_Source_Manager* get_singleton_instance();

    void register_effect_source(Effect_Source* source);
    int get_effect_source_count();
    Effect_Source* get_effect_source(int i);
    std::string get_effect_source_name(int i);

    // How stored effect chains are rebuilt: the first effect of any source whose
    // identifier matches; null when none does.
    Effect* instantiate_effect_by_name(const std::string& name);

private:
    static Effect_Source_Manager* singleton_instance;
    std::vector<Effect_Source*> sources;
};
