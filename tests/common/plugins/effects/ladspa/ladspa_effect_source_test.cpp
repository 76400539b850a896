#include <gtest/gtest.h>

#include <memory>

#include "common/components/audio/effect_source_manager.h"
#include "common/plugins/effects/ladspa/ladspa_effect.h"
#include "common/plugins/effects/ladspa/ladspa_effect_source.h"
#include "ladspa_test_support.h"

namespace {
int find_effect(LADSPA_Effect_Source& source, const std::string& name) {
    for (int i = 0; i < source.get_effect_count(); i++)
        if (source.get_effect_name(i) == name) return i;
    return -1;
}
} // namespace

TEST(LADSPAEffectSource, FindsInstalledPluginsWithIdentifiersAndStereoNames) {
    REQUIRE_INSTALLED_PLUGIN(AMP_LIBRARY);
    Ladspa_Path_Override path(nullptr);
    testing::internal::CaptureStdout();
    LADSPA_Effect_Source source;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "scanning is silent";
    EXPECT_EQ(source.get_name(), "LADSPA");

    const int mono = find_effect(source, "LADSPA ID: 1048 / SUBINDEX: 0");
    const int stereo = find_effect(source, "LADSPA ID: 1049 / SUBINDEX: 1");
    ASSERT_GE(mono, 0);
    ASSERT_GE(stereo, 0);
    EXPECT_EQ(source.get_effect_display_name(mono), "Mono Amplifier");
    EXPECT_EQ(source.get_effect_display_name(stereo), "Stereo Amplifier (STEREO)");

    for (int i = 1; i < source.get_effect_count(); i++) {
        std::string a = source.get_effect_display_name(i - 1), b = source.get_effect_display_name(i);
        a = a.substr(0, a.rfind(" (STEREO)"));
        b = b.substr(0, b.rfind(" (STEREO)"));
        ASSERT_LE(a, b) << "sorted by display name at " << i;
    }

    std::unique_ptr<Effect> effect(source.instantiate_effect(stereo));
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->get_name(), "LADSPA ID: 1049 / SUBINDEX: 1");
    EXPECT_EQ(effect->get_display_name(), "Stereo Amplifier");
}

TEST(LADSPAEffectSource, LadspaPathReplacesTheDefaultDirectories) {
    Ladspa_Path_Override path(WENDMOOR_TEST_LADSPA_DIR);
    LADSPA_Effect_Source source;
    ASSERT_EQ(source.get_effect_count(), 3);
    EXPECT_EQ(source.get_effect_display_name(0), "Wendmoor Test Hints");
    EXPECT_EQ(source.get_effect_display_name(1), "Wendmoor Test Refuses (STEREO)");
    EXPECT_EQ(source.get_effect_display_name(2), "Wendmoor Test Swap (STEREO)");
    EXPECT_EQ(source.get_effect_name(2), "LADSPA ID: 4242002 / SUBINDEX: 1");
    EXPECT_EQ(source.get_effect_name(3), "");
    EXPECT_EQ(source.get_effect_display_name(-1), "");
    EXPECT_EQ(source.instantiate_effect(3), nullptr);
}

// Commands that use no plug-in never pay for opening them: the folders are read on the
// first question, so the path in force then is the one that counts.
TEST(LADSPAEffectSource, PluginsAreLookedUpWhenFirstAskedFor) {
    std::unique_ptr<LADSPA_Effect_Source> source;
    {
        Ladspa_Path_Override nowhere("/nonexistent/wendmoor-ladspa");
        source = std::make_unique<LADSPA_Effect_Source>();
    }
    Ladspa_Path_Override path(WENDMOOR_TEST_LADSPA_DIR);
    EXPECT_EQ(source->get_effect_count(), 3);
    Ladspa_Path_Override later("/nonexistent/wendmoor-ladspa");
    EXPECT_EQ(source->get_effect_count(), 3) << "looked up once";
}

TEST(LADSPAEffectSource, StoredChainsFindPluginsThroughTheManager) {
    Ladspa_Path_Override path(WENDMOOR_TEST_LADSPA_DIR);
    Effect_Source_Manager manager;
    LADSPA_Effect_Source source;
    manager.register_effect_source(&source);
    testing::internal::CaptureStdout();
    std::unique_ptr<Effect> effect(manager.instantiate_effect_by_name("LADSPA ID: 4242001 / SUBINDEX: 0"));
    testing::internal::GetCapturedStdout();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->get_display_name(), "Wendmoor Test Hints");
    EXPECT_EQ(manager.instantiate_effect_by_name("LADSPA ID: 4242001 / SUBINDEX: 1"), nullptr);
}
