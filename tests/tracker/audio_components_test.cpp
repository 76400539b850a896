#include <gtest/gtest.h>

#include <memory>

#include "common/components/audio/effect.h"
#include "tracker/audio_components.h"

TEST(AudioComponents, BuiltInEffectsInTheirFixedOrderThenPlugins) {
    Audio_Components components;
    Effect_Source_Manager* manager = Effect_Source_Manager::get_singleton_instance();
    ASSERT_EQ(manager, &components.effect_source_manager);
    ASSERT_EQ(manager->get_effect_source_count(), 2);
    EXPECT_EQ(manager->get_effect_source_name(0), "Internal");
    Effect_Source* internal = manager->get_effect_source(0);
    const char* names[] = {"amplifier", "distort", "echo", "stereo_enhancer", "chorus", "freeverb"};
    const char* shown[] = {"Amplifier", "Distort", "Echo", "Stereo Enhancer", "Chorus", "Reverb"};
    ASSERT_EQ(internal->get_effect_count(), 6);
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(internal->get_effect_name(i), names[i]);
        EXPECT_EQ(internal->get_effect_display_name(i), shown[i]);
        std::unique_ptr<Effect> e(manager->instantiate_effect_by_name(names[i]));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->get_name(), names[i]);
    }
    EXPECT_EQ(manager->get_effect_source(1), &components.ladspa_effects);
}

TEST(AudioComponents, RawThenLinearWhichIsTheDefault) {
    Audio_Components components;
    Resampler_Manager* manager = Resampler_Manager::get_resampler_manager();
    ASSERT_EQ(manager, &components.resampler_manager);
    ASSERT_EQ(manager->get_resampler_count(), 2);
    EXPECT_EQ(manager->get_resampler(0)->get_name(), "Raw");
    EXPECT_EQ(manager->get_resampler(1)->get_name(), "Linear");
    EXPECT_EQ(manager->get_default_resampler(), 1);
}
