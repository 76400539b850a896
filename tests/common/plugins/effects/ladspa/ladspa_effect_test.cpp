#include <gtest/gtest.h>

#include "common/plugins/effects/ladspa/ladspa_effect.h"
#include "ladspa_test_support.h"
#include "support/allocation_counter.h"
#include "support/effect_blocks.h"

namespace {
enum { HINTS = 0, SWAP = 1, REFUSES = 2 };
enum { FREQUENCY, STAGES, BYPASS, OFFSET, LOW, HIGH, MAX, NEGATIVE };

// Progress lines are part of the program's output but noise in test logs.
struct Quiet {
    Quiet() { testing::internal::CaptureStdout(); }
    ~Quiet() { testing::internal::GetCapturedStdout(); }
};
} // namespace

TEST(LADSPAEffect, DefaultsFollowTheHints) {
    Quiet quiet;
    LADSPA_Effect effect(WENDMOOR_TEST_LADSPA_PLUGIN, HINTS);
    ASSERT_TRUE(effect.is_valid());
    Property_Bridge_List props = effect.get_properties();
    ASSERT_EQ(props.size(), 8u) << "the sample-rate port and the output control get no property";

    auto* frequency = property<Float_Property_Bridge>(props, FREQUENCY);
    ASSERT_NE(frequency, nullptr);
    EXPECT_EQ(frequency->get(), 10010.0f);
    EXPECT_EQ(frequency->get_min(), 20.0f);
    EXPECT_EQ(frequency->get_max(), 20000.0f);
    EXPECT_EQ(frequency->get_name(), "Frequency");
    EXPECT_EQ(frequency->get_short_name(), "descr_0");

    auto* stages = property<Int_Property_Bridge>(props, STAGES);
    ASSERT_NE(stages, nullptr);
    EXPECT_EQ(stages->get(), 1) << "an integer port without a fixed default starts at its lower bound";
    EXPECT_EQ(stages->get_max(), 7);

    auto* bypass = property<Bool_Property_Bridge>(props, BYPASS);
    ASSERT_NE(bypass, nullptr);
    EXPECT_FALSE(bypass->get());

    auto* offset = property<Float_Property_Bridge>(props, OFFSET);
    ASSERT_NE(offset, nullptr);
    EXPECT_EQ(offset->get(), 0.0f);
    EXPECT_EQ(offset->get_min(), -9999.0f);
    EXPECT_EQ(offset->get_max(), 9999.0f);

    EXPECT_EQ(property<Float_Property_Bridge>(props, LOW)->get(), 35.0f);
    EXPECT_EQ(property<Float_Property_Bridge>(props, HIGH)->get(), 85.0f);
    EXPECT_EQ(property<Float_Property_Bridge>(props, MAX)->get(), 110.0f);
    EXPECT_EQ(property<Float_Property_Bridge>(props, NEGATIVE)->get(), 0.0f);
    EXPECT_EQ(props[NEGATIVE]->get_short_name(), "descr_7");
}

TEST(LADSPAEffect, InstalledPluginDefaultsAndProgressLines) {
    REQUIRE_INSTALLED_PLUGIN(DELAY_LIBRARY);
    testing::internal::CaptureStdout();
    LADSPA_Effect delay(DELAY_LIBRARY, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "opening: LADSPA ID: 1043 / SUBINDEX: 0\n"
              "parameter Delay (Seconds)\n"
              "parameter Dry/Wet Balance\n"
              "Plugin has 1 inputs, 1 outputs\n");
    EXPECT_EQ(delay.get_display_name(), "Simple Delay Line");
    Property_Bridge_List props = delay.get_properties();
    ASSERT_EQ(props.size(), 2u);
    EXPECT_EQ(property<Float_Property_Bridge>(props, 0)->get(), 1.0f);
    EXPECT_EQ(property<Float_Property_Bridge>(props, 1)->get(), 0.0f) << "the middle of 0..1 starts at 0";

    testing::internal::CaptureStdout();
    std::vector<int> b = stereo_block(16);
    delay.process_buffer(b.data(), 16, true, 44100);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "RESET called\nCreating instances\nCreating links\nActivating plugin\n");
}

TEST(LADSPAEffect, MonoPluginRunsAsTwoInstancesOneChannelEach) {
    REQUIRE_INSTALLED_PLUGIN(AMP_LIBRARY);
    Quiet quiet;
    LADSPA_Effect amp(AMP_LIBRARY, 0);
    ASSERT_TRUE(amp.is_valid());
    EXPECT_FALSE(amp.is_stereo());
    EXPECT_EQ(amp.get_instance_count(), 0) << "instances are made on first use";
    Property_Bridge_List props = amp.get_properties();
    ASSERT_EQ(props.size(), 1u);
    EXPECT_EQ(property<Float_Property_Bridge>(props, 0)->get(), 1.0f);
    EXPECT_EQ(property<Float_Property_Bridge>(props, 0)->get_max(), 9999.0f);

    property<Float_Property_Bridge>(props, 0)->set(2.0f);
    std::vector<int> b = stereo_block(100, sample16(1000), sample16(-3000));
    amp.process_buffer(b.data(), 100, true, 44100);
    EXPECT_EQ(amp.get_instance_count(), 2);
    EXPECT_EQ(left_at(b, 50), sample16(2000));
    EXPECT_EQ(right_at(b, 50), sample16(-6000));
}

TEST(LADSPAEffect, StereoPluginRunsAsOneInstanceOnBothChannels) {
    Quiet quiet;
    Test_Plugin_Counters counters;
    const int before = counters.live_instances();
    {
        LADSPA_Effect swap(WENDMOOR_TEST_LADSPA_PLUGIN, SWAP);
        EXPECT_TRUE(swap.is_stereo());
        std::vector<int> b = stereo_block(10, sample16(100), sample16(-200));
        swap.process_buffer(b.data(), 10, true, 44100);
        EXPECT_EQ(swap.get_instance_count(), 1);
        EXPECT_EQ(counters.live_instances(), before + 1);
        EXPECT_EQ(left_at(b, 3), sample16(-200));
        EXPECT_EQ(right_at(b, 3), sample16(100));
    }
    EXPECT_EQ(counters.live_instances(), before) << "destroying the effect cleans up its instances";
}

TEST(LADSPAEffect, RateChangeRecreatesInstances) {
    Quiet quiet;
    Test_Plugin_Counters counters;
    LADSPA_Effect hints(WENDMOOR_TEST_LADSPA_PLUGIN, HINTS);
    const int activations = counters.activations();
    std::vector<int> b = stereo_block(32);
    hints.process_buffer(b.data(), 32, true, 44100);
    hints.process_buffer(b.data(), 32, true, 44100);
    EXPECT_EQ(counters.activations(), activations + 2) << "one pair of instances while the rate holds";
    EXPECT_EQ(counters.last_rate_port(), 44100.0f) << "the sample-rate port is fed the rate";

    hints.process_buffer(b.data(), 32, true, 48000);
    EXPECT_EQ(counters.activations(), activations + 4);
    EXPECT_EQ(counters.last_instantiate_rate(), 48000u);
    EXPECT_EQ(counters.last_rate_port(), 48000.0f);
    EXPECT_EQ(hints.get_instance_count(), 2);
}

TEST(LADSPAEffect, RateChangeLosesTheInstalledDelayLine) {
    REQUIRE_INSTALLED_PLUGIN(DELAY_LIBRARY);
    Quiet quiet;
    auto run = [](bool change_rate) {
        LADSPA_Effect delay(DELAY_LIBRARY, 0);
        Property_Bridge_List props = delay.get_properties();
        property<Float_Property_Bridge>(props, 0)->set(0.01f); // 441 frames at 44100 Hz
        property<Float_Property_Bridge>(props, 1)->set(1.0f);  // all wet
        std::vector<int> first = stereo_block(300);
        first[0] = first[1] = sample16(10000);
        delay.process_buffer(first.data(), 300, true, 44100);
        std::vector<int> second = stereo_block(300);
        delay.process_buffer(second.data(), 300, true, change_rate ? 48000 : 44100);
        long energy = 0;
        for (int v : second) energy += std::abs(v >> 16);
        return energy;
    };
    EXPECT_GT(run(false), 0) << "the echo arrives in the second block";
    EXPECT_EQ(run(true), 0) << "new instances start with an empty line";
}

TEST(LADSPAEffect, OutputIsClampedToSixteenBits) {
    Quiet quiet;
    LADSPA_Effect hints(WENDMOOR_TEST_LADSPA_PLUGIN, HINTS);
    Property_Bridge_List props = hints.get_properties();
    auto* offset = property<Float_Property_Bridge>(props, OFFSET);

    std::vector<int> b = stereo_block(4, sample16(1000), sample16(-1000));
    hints.process_buffer(b.data(), 4, true, 44100);
    EXPECT_EQ(left_at(b, 0), sample16(1000)) << "zero offset passes audio through exactly";
    EXPECT_EQ(right_at(b, 0), sample16(-1000));

    offset->set(2.0f);
    b = stereo_block(4);
    hints.process_buffer(b.data(), 4, true, 44100);
    EXPECT_EQ(left_at(b, 0), 32767 * 65536);
    EXPECT_EQ(right_at(b, 0), 32767 * 65536);

    offset->set(-2.0f);
    hints.process_buffer(b.data(), 4, true, 44100);
    EXPECT_EQ(left_at(b, 0), -32768 * 65536);
    EXPECT_EQ(right_at(b, 0), -32768 * 65536);
}

TEST(LADSPAEffect, InstalledStereoAmplifierClamps) {
    REQUIRE_INSTALLED_PLUGIN(AMP_LIBRARY);
    Quiet quiet;
    LADSPA_Effect amp(AMP_LIBRARY, 1);
    EXPECT_TRUE(amp.is_stereo());
    Property_Bridge_List props = amp.get_properties();
    property<Float_Property_Bridge>(props, 0)->set(4.0f);
    std::vector<int> b = stereo_block(8, sample16(16384), sample16(-16384)); // 0.5 * 4 = 2.0
    amp.process_buffer(b.data(), 8, true, 44100);
    EXPECT_EQ(amp.get_instance_count(), 1);
    EXPECT_EQ(left_at(b, 0), 32767 * 65536);
    EXPECT_EQ(right_at(b, 0), -32768 * 65536);
}

TEST(LADSPAEffect, LoadFailuresLeaveAPassThroughEffect) {
    const std::vector<int> in = stereo_block(16, sample16(123), sample16(-456));
    struct Case {
        std::string path;
        int subindex;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"/nonexistent/gone.so", 0,
         "Error: common/plugins/effects/ladspa/ladspa_effect.cpp:257: Cant open LADSPA plugin at: "
         "/nonexistent/gone.so\n"},
        {"libz.so.1", 0,
         "Error: common/plugins/effects/ladspa/ladspa_effect.cpp:268: INVALID LADSPA Plugin at: libz.so.1\n"},
        {WENDMOOR_TEST_LADSPA_PLUGIN, 3,
         "Error: common/plugins/effects/ladspa/ladspa_effect.cpp:275: Wrong index of subplugin for LADSPA: 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        testing::internal::CaptureStdout();
        LADSPA_Effect effect(c.path, c.subindex);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
        EXPECT_FALSE(effect.is_valid());
        EXPECT_TRUE(effect.get_properties().empty());
        std::vector<int> b = in;
        effect.process_buffer(b.data(), 16, true, 44100);
        EXPECT_EQ(b, in);
    }
}

TEST(LADSPAEffect, RefusedInstantiationPassesThroughWithoutRetrying) {
    testing::internal::CaptureStdout();
    LADSPA_Effect refuses(WENDMOOR_TEST_LADSPA_PLUGIN, REFUSES);
    const std::vector<int> in = stereo_block(16, sample16(7), sample16(8));
    std::vector<int> b = in;
    refuses.process_buffer(b.data(), 16, true, 44100);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(refuses.is_valid());
    EXPECT_EQ(b, in);
    testing::internal::CaptureStdout();
    refuses.process_buffer(b.data(), 16, true, 44100);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no new attempt while the rate holds";
    EXPECT_EQ(b, in);
}

TEST(LADSPAEffect, LongBlocksAndSteadyRenderingDoNotAllocate) {
    Quiet quiet;
    LADSPA_Effect hints(WENDMOOR_TEST_LADSPA_PLUGIN, HINTS);
    std::vector<int> b = stereo_block(20000, sample16(500), sample16(-500));
    hints.process_buffer(b.data(), 64, true, 44100);
    allocation_counter::Scope scope;
    hints.process_buffer(b.data(), 20000, true, 44100); // three pieces of at most 8192 frames
    hints.process_buffer(b.data(), 512, true, 44100);
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_EQ(left_at(b, 19999), sample16(500));
    EXPECT_EQ(right_at(b, 19999), sample16(-500));
}
