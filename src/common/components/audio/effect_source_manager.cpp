#include "common/components/audio/effect_source_manager.h"

#include "common/components/data/error_line.h"

Effect_Source_Manager* Effect_Source_Manager::singleton_instance = nullptr;

Effect_Source_Manager::Effect_Source_Manager() {
    if (singleton_instance) {
        ERROR_LINE("common/components/audio/effect_source_manager.cpp", 73, "Singleton instance exists!!!");
        return;
    }
    singleton_instance = this;
}

Effect_Source_Manager::~Effect_Source_Manager() {
    if (singleton_instance == this) singleton_instance = nullptr;
}

Effect_Source_Manager* Effect_Source_Manager::get_singleton_instance() { return singleton_instance; }

void Effect_Source_Manager::register_effect_source(Effect_Source* source) {
    if (source) sources.push_back(source);
}

int Effect_Source_Manager::get_effect_source_count() { return (int)sources.size(); }

Effect_Source* Effect_Source_Manager::get_effect_source(int i) {
    return (i >= 0 && i < (int)sources.size()) ? sources[i] : nullptr;
}

std::string Effect_Source_Manager::get_effect_source_name(int i) {
    Effect_Source* source = get_effect_source(i);
    return source ? source->get_name() : "<ERROR>";
}

Effect* Effect_Source_Manager::instantiate_effect_by_name(const std::string& name) {
    for (Effect_Source* source : sources) {
        int count = source->get_effect_count();
        for (int i = 0; i < count; i++)
            if (source->get_effect_name(i) == name) return source->instantiate_effect(i);
    }
    return nullptr;
}
