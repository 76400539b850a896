#include "common/components/audio/effect_source_internal.h"

void Effect_Source_Internal::register_effect_constructor(const std::string& display_name,
                                                         const std::string& name, Constructor constructor) {
    entries.push_back({constructor, display_name, name});
}

int Effect_Source_Internal::get_effect_count() { return (int)entries.size(); }

std::string Effect_Source_Internal::get_effect_name(int i) {
    return valid_index(i) ? entries[i].name : "<INVALID>";
}

std::string Effect_Source_Internal::get_effect_display_name(int i) {
    return valid_index(i) ? entries[i].display_name : "<INVALID>";
}

Effect* Effect_Source_Internal::instantiate_effect(int i) {
    if (!valid_index(i) || !entries[i].constructor) return nullptr;
    return entries[i].constructor();
}

std::string Effect_Source_Internal::get_name() { return "Internal"; }
