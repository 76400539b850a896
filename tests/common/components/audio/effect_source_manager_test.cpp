#include <gtest/gtest.h>

#include <memory>

#include "common/components/audio/chorus_effect.h"
#include "common/components/audio/effect_amp.h"
#include "common/components/audio/effect_distort.h"
#include "common/components/audio/effect_echo.h"
#include "common/components/audio/effect_source_internal.h"
#include "common/components/audio/effect_source_manager.h"
#include "common/components/audio/effect_stereo_enhancer.h"
#include "common/components/audio/freeverb_effect.h"

namespace {

void register_builtins(Effect_Source_Internal& internal) {
    internal.register_effect_constructor("Amplifier", "amplifier", Effect_Amp::create_this);
    internal.register_effect_constructor("Distort", "distort", Effect_Distort::create_this);
    internal.register_effect_constructor("Echo", "echo", Effect_Echo::create_this);
    internal.register_effect_constructor("Stereo Enhancer", "stereo_enhancer", Effect_Stereo_Enhancer::create_this);
    internal.register_effect_constructor("Chorus", "chorus", Chorus_Effect::create_this);
    internal.register_effect_constructor("Reverb", "freeverb", Freeverb_Effect::create_this);
}

// A second source whose only effect shares an identifier with a built-in one.
class Shadow_Source : public Effect_Source {
public:
    int get_effect_count() override { return 1; }
    std::string get_effect_name(int) override { return "echo"; }
    std::string get_effect_display_name(int) override { return "Shadow"; }
    Effect* instantiate_effect(int) override {
        instantiated++;
        return Effect_Amp::create_this();
    }
    std::string get_name() override { return "Shadow"; }
    int instantiated = 0;
};

} // namespace

TEST(EffectSourceInternal, ListsRegisteredEffectsAndRejectsBadIndices) {
    Effect_Source_Internal internal;
    register_builtins(internal);
    EXPECT_EQ(internal.get_name(), "Internal");
    ASSERT_EQ(internal.get_effect_count(), 6);
    EXPECT_EQ(internal.get_effect_name(3), "stereo_enhancer");
    EXPECT_EQ(internal.get_effect_display_name(5), "Reverb");
    EXPECT_EQ(internal.get_effect_name(6), "<INVALID>");
    EXPECT_EQ(internal.get_effect_display_name(-1), "<INVALID>");
    EXPECT_EQ(internal.instantiate_effect(6), nullptr);
    std::unique_ptr<Effect> chorus(internal.instantiate_effect(4));
    ASSERT_NE(chorus, nullptr);
    EXPECT_EQ(chorus->get_name(), "chorus");
}

TEST(EffectSourceManager, InstantiatesByNameInRegistrationOrder) {
    Effect_Source_Manager manager;
    ASSERT_EQ(Effect_Source_Manager::get_singleton_instance(), &manager);
    Effect_Source_Internal internal;
    register_builtins(internal);
    Shadow_Source shadow;
    manager.register_effect_source(&internal);
    manager.register_effect_source(&shadow);

    EXPECT_EQ(manager.get_effect_source_count(), 2);
    EXPECT_EQ(manager.get_effect_source(1), &shadow);
    EXPECT_EQ(manager.get_effect_source(2), nullptr);
    EXPECT_EQ(manager.get_effect_source_name(0), "Internal");
    EXPECT_EQ(manager.get_effect_source_name(2), "<ERROR>");
    EXPECT_EQ(manager.get_effect_source_name(-1), "<ERROR>");

    std::unique_ptr<Effect> reverb(manager.instantiate_effect_by_name("freeverb"));
    ASSERT_NE(reverb, nullptr);
    EXPECT_EQ(reverb->get_display_name(), "Reverb");
    EXPECT_EQ(static_cast<Int_Property_Bridge*>(reverb->get_properties()[0])->get(), 105);

    std::unique_ptr<Effect> echo(manager.instantiate_effect_by_name("echo"));
    ASSERT_NE(echo, nullptr);
    EXPECT_EQ(echo->get_name(), "echo") << "the first registered source wins";
    EXPECT_EQ(shadow.instantiated, 0);

    EXPECT_EQ(manager.instantiate_effect_by_name("flanger"), nullptr);
    EXPECT_EQ(manager.instantiate_effect_by_name(""), nullptr);
}

TEST(EffectSourceManager, SecondInstanceIsReportedAndNotRegistered) {
    Effect_Source_Manager first;
    testing::internal::CaptureStdout();
    {
        Effect_Source_Manager second;
        EXPECT_EQ(Effect_Source_Manager::get_singleton_instance(), &first);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: common/components/audio/effect_source_manager.cpp:73: Singleton instance exists!!!\n");
    EXPECT_EQ(Effect_Source_Manager::get_singleton_instance(), &first) << "destroying the second keeps the first";
}
