#pragma once

#include <vector>

class Effect;

// An ordered list of effects run in place on a bus. The chain owns its effects.
class Effect_Chain {
public:
    Effect_Chain() = default;
    ~Effect_Chain();
    Effect_Chain(const Effect_Chain&) = delete;
    Effect_Chain& operator=(const Effect_Chain&) = delete;
    Effect_Chain(Effect_Chain&& from) noexcept;
    Effect_Chain& operator=(Effect_Chain&& from) noexcept;

    void add_effect(Effect* effect);  // takes ownership
    int get_effect_count() const { return (int)effects.size(); }
    Effect* get_effect(int index);    // null when out of range
    bool remove_effect(int index);    // deletes the effect
    bool move_effect_up(int index);
    bool move_effect_down(int index);

    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate);

private:
    void delete_all();

    std::vector<Effect*> effects;
};
