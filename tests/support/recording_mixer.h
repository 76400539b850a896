#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "common/components/audio/mixer_base.h"
#include "common/components/audio/voice.h"

// A Mixer_Base that renders nothing: it runs the player one tick per run_ticks step and
// records which voices were allocated and eliminated on which tick, and the tick lengths
// it was asked for. Tests read the voices' state through the player after each tick.
class Recording_Mixer : public Mixer_Base {
public:
    struct Voice_Event {
        int tick;
        Voice* voice;
    };

    int* get_mixdown_buffer_ptr() override { return nullptr; }
    int* get_channel_buffer_ptr(int) override { return nullptr; }
    bool is_channel_in_use(int) override { return false; }
    int get_active_voices_count() override { return (int)voices.size(); }
    void set_mix_frequency(float hz) override { mix_frequency = hz; }
    float get_mix_frequency() override { return mix_frequency; }
    void set_preamp(float) override {}
    int write_samples(int frames) override { return frames; }

    void allocate_voice(Voice* voice) override {
        voice->clear_status();
        voice->set_mix_frequency(mix_frequency);
        voices.push_back(voice);
        allocated.push_back({tick, voice});
    }
    void replace_voice(Voice* old_voice, Voice* new_voice) override {
        eliminate_voice(old_voice);
        allocate_voice(new_voice);
    }
    void eliminate_voice(Voice* voice) override {
        auto found = std::find(voices.begin(), voices.end(), voice);
        if (found == voices.end()) {
            unknown_eliminations++;
            return;
        }
        voices.erase(found);
        voice->remove_from_mixer();
        eliminated.push_back({tick, voice});
    }
    void set_process_callback_interval(int frames) override { intervals.push_back(frames); }

    // Emits the process callback once per tick; after_tick (if set) sees the state each tick
    // leaves behind.
    void run_ticks(int count) {
        for (int i = 0; i < count; i++) {
            process_callback.emit();
            if (after_tick) after_tick(tick);
            tick++;
        }
    }

    // Voices allocated on the given tick.
    std::vector<Voice*> started_on(int on_tick) const {
        std::vector<Voice*> out;
        for (const Voice_Event& event : allocated)
            if (event.tick == on_tick) out.push_back(event.voice);
        return out;
    }
    bool holds(const Voice* voice) const { return std::find(voices.begin(), voices.end(), voice) != voices.end(); }

    float mix_frequency = 44100.0f;
    int tick = 0;
    std::vector<Voice*> voices;
    std::vector<Voice_Event> allocated;
    std::vector<Voice_Event> eliminated;
    std::vector<int> intervals;
    int unknown_eliminations = 0;
    std::function<void(int)> after_tick;
};
