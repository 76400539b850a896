#include "common/components/audio/effect_chain.h"

#include <utility>

#include "common/components/audio/effect.h"

Effect_Chain::~Effect_Chain() { delete_all(); }

Effect_Chain::Effect_Chain(Effect_Chain&& from) noexcept : effects(std::move(from.effects)) {
    from.effects.clear();
}

Effect_Chain& Effect_Chain::operator=(Effect_Chain&& from) noexcept {
    if (this != &from) {
        delete_all();
        effects = std::move(from.effects);
        from.effects.clear();
    }
    return *this;
}

void Effect_Chain::delete_all() {
    for (Effect* e : effects) delete e;
    effects.clear();
}

void Effect_Chain::add_effect(Effect* effect) {
    if (effect != nullptr) effects.push_back(effect);
}

Effect* Effect_Chain::get_effect(int index) {
    if (index < 0 || index >= (int)effects.size()) return nullptr;
    return effects[index];
}

bool Effect_Chain::remove_effect(int index) {
    if (index < 0 || index >= (int)effects.size()) return false;
    delete effects[index];
    effects.erase(effects.begin() + index);
    return true;
}

bool Effect_Chain::move_effect_up(int index) {
    if (index < 1 || index >= (int)effects.size()) return false;
    std::swap(effects[index], effects[index - 1]);
    return true;
}

bool Effect_Chain::move_effect_down(int index) {
    if (index < 0 || index >= (int)effects.size() - 1) return false;
    std::swap(effects[index], effects[index + 1]);
    return true;
}

void Effect_Chain::process_buffer(int* buffer, int frames, bool stereo, int mix_rate) {
    for (Effect* e : effects) e->process_buffer(buffer, frames, stereo, mix_rate);
}
