#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/components/audio/effect_echo.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "common/components/audio/tracker_voice.h"
#include "support/allocation_counter.h"
#include "support/sample_data_builder.h"

// A song playing on the audio thread: a tick handler starting and stopping voices, loops,
// filters, stolen voices with tails, buses with effects, level meters and channel scopes. None
// of it may allocate.
TEST(MixerAllocation, RenderingDoesNotAllocateAfterWarmUp) {
    Resampler_Manager manager;
    Resampler_Raw raw;
    Resampler_Linear linear;
    manager.register_resampler(&raw);
    manager.register_resampler(&linear);

    std::vector<std::int16_t> frames(5000);
    for (size_t i = 0; i < frames.size(); i++) frames[i] = (std::int16_t)((i * 37) % 20000 - 10000);
    auto looped = make_sample_16(frames);
    set_loop(*looped, 1000, 4000, true);
    auto plain = make_sample_16(frames);

    Mixer mixer;
    mixer.set_mix_frequency(44100);
    mixer.set_level_meters(true);
    mixer.set_channel_scopes(true);
    mixer.add_buffer();
    mixer.get_buffer_effect_chain(0)->add_effect(Effect_Echo::create_this());
    mixer.set_channel_output_buffer_index(1, 0, 0);
    mixer.add_channel_output(1);

    std::vector<Tracker_Voice> voices(160);
    int tick = 0;
    mixer.process_callback.connect([&] {
        Tracker_Voice& v = voices[tick % voices.size()];
        if (mixer.get_voice_index(&v) >= 0) mixer.eliminate_voice(&v);
        v.reset();
        v.set_resampler(&manager, tick % 2);
        v.set_channel(tick % 16);
        v.set_pattern_channel(tick % 3 == 0 ? -1 : tick % 64);  // a preview is not scoped
        v.set_priority(tick % 7 == 0 ? 0 : 3);  // some leave after the block
        v.set_frequency(8000 + (tick * 997) % 60000);
        v.set_volume(8000);
        v.set_panning(tick % 3 == 0 ? 512 : tick % 256);
        v.set_filter(2000, 2500, -600, tick % 2 == 0);
        v.setup_sample(tick % 3 ? looped.get() : plain.get(), tick % 4000);
        mixer.allocate_voice(&v);  // past 128 voices this steals
        tick++;
        mixer.set_process_callback_interval(300 + tick % 700);
    });
    mixer.set_process_callback_interval(500);

    auto render = [&](int frames) {
        while (frames > 0) frames -= mixer.write_samples(frames);
    };
    render(44100 * 2);  // warm-up: buffers, effects, outputs touched once

    allocation_counter::Scope scope;
    render(44100 * 5);
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_GT(tick, 300);
    EXPECT_GT(mixer.get_active_voices_count(), 0);
}
