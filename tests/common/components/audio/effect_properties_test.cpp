#include <gtest/gtest.h>

#include <memory>

#include "common/components/audio/chorus_effect.h"
#include "common/components/audio/effect_amp.h"
#include "common/components/audio/effect_distort.h"
#include "common/components/audio/effect_echo.h"
#include "common/components/audio/effect_stereo_enhancer.h"
#include "common/components/audio/freeverb_effect.h"

namespace {

struct Expected_Property {
    const char* name;
    const char* short_name;
    int min, max, def;
};

struct Expected_Effect {
    Effect* (*create)();
    const char* display_name;
    const char* name;
    std::vector<Expected_Property> properties;
};

// Short names and identifiers are what song files contain, so they are pinned here.
const std::vector<Expected_Effect> builtin_effects = {
    {Effect_Amp::create_this, "Amplifier", "amplifier", {{"Amp%", "amp", 0, 32767, 100}}},
    {Effect_Distort::create_this, "Distort", "distort", {{"amp%", "amp", 0, 32767, 100}, {"Clip%", "clip", 0, 100, 0}}},
    {Effect_Echo::create_this,
     "Echo",
     "echo",
     {{"Delay(ms)", "delay", 1, 500, 250},
      {"Separation", "separation", -64, 64, 0},
      {"Feedback%", "feedback", 0, 80, 30}}},
    {Effect_Stereo_Enhancer::create_this,
     "Stereo Enhancer",
     "stereo_enhancer",
     {{"Delay(ms)", "delay", 1, 500, 10}, {"Feedback%", "feedback", 0, 80, 50}}},
    {Chorus_Effect::create_this,
     "Chorus",
     "chorus",
     {{"Voices", "voices", 1, 5, 1},
      {"Delay(1/10 ms)", "delay", 1, 127, 20},
      {"Speed(hz)", "lfo_speed", 1, 50, 3},
      {"Depth(ms)", "lfo_depth", 1, 127, 20},
      {"Wet%", "lfo_feedback", 0, 127, 80},
      {"Dry%", "lfo_feedback", 0, 127, 80},
      {"Width%", "width", -64, 64, 20}}},
    {Freeverb_Effect::create_this,
     "Reverb",
     "freeverb",
     {{"Room Size", "room_size", 0, 127, 105},
      {"Damping", "damping", 0, 127, 80},
      {"Wet Amount", "wet_mount", 0, 127, 80},
      {"Dry Amount", "dry_amount", 0, 127, 0},
      {"Width", "width", 0, 127, 110}}},
};

} // namespace

TEST(BuiltinEffects, NamesPropertiesRangesAndDefaults) {
    for (const Expected_Effect& ex : builtin_effects) {
        std::unique_ptr<Effect> e(ex.create());
        SCOPED_TRACE(ex.name);
        EXPECT_EQ(e->get_display_name(), ex.display_name);
        EXPECT_EQ(e->get_name(), ex.name);
        Property_Bridge_List props = e->get_properties();
        ASSERT_EQ(props.size(), ex.properties.size());
        for (size_t i = 0; i < props.size(); i++) {
            const Expected_Property& p = ex.properties[i];
            ASSERT_EQ(props[i]->get_type(), "int");
            auto* bridge = static_cast<Int_Property_Bridge*>(props[i]);
            EXPECT_EQ(bridge->get_name(), p.name);
            EXPECT_EQ(bridge->get_short_name(), p.short_name);
            EXPECT_EQ(bridge->get_min(), p.min);
            EXPECT_EQ(bridge->get_max(), p.max);
            EXPECT_EQ(bridge->get(), p.def);
        }
    }
}

TEST(BuiltinEffects, PropertiesClampIntoTheirRanges) {
    for (const Expected_Effect& ex : builtin_effects) {
        std::unique_ptr<Effect> e(ex.create());
        SCOPED_TRACE(ex.name);
        Property_Bridge_List props = e->get_properties();
        for (size_t i = 0; i < props.size(); i++) {
            auto* bridge = static_cast<Int_Property_Bridge*>(props[i]);
            bridge->set(ex.properties[i].max + 1000);
            EXPECT_EQ(bridge->get(), ex.properties[i].max);
            bridge->set(ex.properties[i].min - 1000);
            EXPECT_EQ(bridge->get(), ex.properties[i].min);
        }
    }
}

TEST(BuiltinEffects, ZeroFramesAndBadRatesChangeNothing) {
    for (const Expected_Effect& ex : builtin_effects) {
        std::unique_ptr<Effect> e(ex.create());
        SCOPED_TRACE(ex.name);
        std::vector<int> b(64, 12345 << 8);
        const std::vector<int> in = b;
        e->process_buffer(b.data(), 0, true, 44100);
        EXPECT_EQ(b, in);
        if (ex.name == std::string("echo") || ex.name == std::string("stereo_enhancer") ||
            ex.name == std::string("chorus")) {
            e->process_buffer(b.data(), 32, true, 0);
            EXPECT_EQ(b, in);
        }
    }
}
