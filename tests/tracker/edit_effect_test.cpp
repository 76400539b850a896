#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tracker/edit_effect.h"
#include "tracker/selection.h"

// 16-bit frames holding the given values (exact multiples of 1/32768 survive the round trip).
static void fill(Sample_Data* data, const std::vector<float>& values, bool sixteen = true) {
    data->set_data_ptr(std::malloc(values.size() * (sixteen ? 2 : 1)), (int)values.size(), sixteen);
    for (int i = 0; i < (int)values.size(); i++) data->set_sample(i, values[i]);
}

static std::vector<float> frames(const Sample_Data& data) {
    std::vector<float> out;
    for (int i = 0; i < data.get_size(); i++) out.push_back(data.get_sample(i));
    return out;
}

static std::vector<float> ramp(int n) {
    std::vector<float> values;
    for (int i = 0; i < n; i++) values.push_back(i / 1024.0f);
    return values;
}

TEST(Edit_Effect, NamesInListOrder) {
    Edit_Effect_Normalize normalize;
    EXPECT_EQ(normalize.get_description(), "Performs Amplification,\n defaults to normalize");
    ASSERT_EQ(normalize.get_property_list().size(), 1u);
    EXPECT_EQ(normalize.get_property_list()[0]->get_name(), "Amplify(%):");
    Edit_Effect_Reverse reverse;
    EXPECT_TRUE(reverse.get_property_list().empty());
    EXPECT_FALSE(reverse.is_destructive());
    EXPECT_TRUE(Edit_Effect_Toggle_Depth().is_destructive());
    EXPECT_TRUE(Edit_Effect_PreLoop_Cut().is_destructive());
}

TEST(Edit_Effect, ReverseSwapsFramesAndKeepsLoopsOrdered) {
    Sample_Data data;
    fill(&data, {0.25f, 0.5f, 0.75f, -0.5f});
    Edit_Effect_Reverse().process(&data, 0, 3);
    EXPECT_EQ(frames(data), (std::vector<float>{-0.5f, 0.75f, 0.5f, 0.25f}));

    fill(&data, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, false);
    std::vector<float> before = frames(data);
    Edit_Effect_Reverse().process(&data, 0, 4);
    EXPECT_EQ(frames(data)[2], before[2]);
    EXPECT_EQ(frames(data)[0], before[4]);

    fill(&data, ramp(100));
    data.set_loop_begin(20);
    data.set_loop_end(30);
    Edit_Effect_Reverse().process(&data, 10, 50);
    EXPECT_EQ(data.get_loop_begin(), 30);
    EXPECT_EQ(data.get_loop_end(), 40);
    data.set_loop_begin(5);  // outside: stays; the end is mirrored alone
    Edit_Effect_Reverse().process(&data, 10, 50);
    EXPECT_EQ(data.get_loop_begin(), 5);
    EXPECT_EQ(data.get_loop_end(), 20);
}

TEST(Edit_Effect, LoopCuts) {
    Sample_Data data;
    fill(&data, ramp(1000));
    data.set_loop_enabled(true);
    data.set_loop_begin(100);
    data.set_loop_end(199);
    Edit_Effect_PreLoop_Cut().process(&data, 0, 999);
    EXPECT_EQ(data.get_size(), 900);
    EXPECT_EQ(data.get_loop_begin(), 0);
    EXPECT_EQ(data.get_loop_end(), 99);
    EXPECT_EQ(data.get_sample(0), 100 / 1024.0f);

    fill(&data, ramp(1000));
    data.set_loop_begin(0);
    data.set_loop_end(99);
    Edit_Effect_PostLoop_Cut().process(&data, 0, 999);
    EXPECT_EQ(data.get_size(), 100);
    EXPECT_EQ(data.get_sample(99), 99 / 1024.0f);
    EXPECT_EQ(data.get_loop_end(), 99);

    data.set_loop_enabled(false);  // needs an enabled loop
    data.set_loop_end(10);
    Edit_Effect_PostLoop_Cut().process(&data, 0, 99);
    EXPECT_EQ(data.get_size(), 100);
    data.set_loop_enabled(true);
    data.set_loop_begin(500);  // past the data: nothing to keep
    Edit_Effect_PreLoop_Cut().process(&data, 0, 99);
    EXPECT_EQ(data.get_size(), 100);
}

TEST(Edit_Effect, SelectionToLoopAndCenter) {
    Sample_Data data;
    fill(&data, {-0.25f, 0.5f, 0.125f, 0.5f});
    Edit_Effect_SelToLoop().process(&data, 1, 3);
    EXPECT_TRUE(data.is_loop_enabled());
    EXPECT_EQ(data.get_loop_begin(), 1);
    EXPECT_EQ(data.get_loop_end(), 3);

    fill(&data, {-0.2f, 0.6f, 0.1f});
    Edit_Effect_Center().process(&data, 0, 2);
    EXPECT_NEAR(data.get_sample(0), -0.4f, 1e-4);
    EXPECT_NEAR(data.get_sample(1), 0.4f, 1e-4);
    EXPECT_NEAR(data.get_sample(2), -0.1f, 1e-4);
}

TEST(Edit_Effect, NormalizePresetsAndAmplifies) {
    Sample_Data data;
    fill(&data, {0.25f, -0.5f, 0.125f, 0.0f});
    Edit_Effect_Normalize normalize;
    normalize.selected_notify(&data, 0, 3);
    EXPECT_EQ(normalize.amplify, 200);
    normalize.process(&data, 0, 2);
    EXPECT_EQ(frames(data), (std::vector<float>{0.5f, -1.0f, 0.25f, 0.0f}));

    normalize.selected_notify(&data, 3, 3);  // silent
    EXPECT_EQ(normalize.amplify, 999999);
    Sample_Data empty;
    normalize.selected_notify(&empty, 0, -1);
    EXPECT_EQ(normalize.amplify, 100);
    normalize.amplify_prop.set(2000000);
    EXPECT_EQ(normalize.amplify, 999999);
}

TEST(Edit_Effect, SignAndDepthOnTheWholeSample) {
    Sample_Data data;
    fill(&data, {0.5f, -0.5f}, false);
    Edit_Effect_Toggle_Sign().process(&data, 1, 1);
    EXPECT_EQ(data.get_sample(0), -0.5f);  // 64 - 128
    EXPECT_EQ(data.get_sample(1), 0.5f);
    Edit_Effect_Toggle_Depth().process(&data, 0, 0);
    EXPECT_TRUE(data.is_16bit());
    EXPECT_EQ(data.get_sample(1), 0.5f);
}

TEST(Edit_Effect, TunerCountsCycles) {
    Sample_Data data;
    fill(&data, ramp(500));
    Edit_Effect_Tuner tuner;
    tuner.cycles = 9;
    tuner.selected_notify(&data, 0, 441);
    EXPECT_EQ(tuner.cycles, 4);
    tuner.process(&data, 0, 441);
    EXPECT_EQ(data.get_c5_freq(), 28844);
    data.set_c5_freq(8000);
    tuner.process(&data, 10, 12);  // too short to count
    EXPECT_EQ(data.get_c5_freq(), 8000);
}

TEST(Edit_Effect, Fades) {
    Sample_Data data;
    std::vector<float> ones(11, 0.5f);
    fill(&data, ones);
    Edit_Effect_FadeIn().process(&data, 0, 10);
    EXPECT_EQ(data.get_sample(0), 0.0f);
    EXPECT_NEAR(data.get_sample(5), 0.25f, 1e-4);
    EXPECT_EQ(data.get_sample(10), 0.5f);

    fill(&data, ones);
    Edit_Effect_FadeOut().process(&data, 0, 10);
    EXPECT_EQ(data.get_sample(0), 0.5f);
    EXPECT_EQ(data.get_sample(10), 0.0f);

    fill(&data, ones);
    Edit_Effect_FadeIn().process(&data, 4, 4);  // one frame: unchanged
    Edit_Effect_FadeOut().process(&data, 4, 4);
    EXPECT_EQ(data.get_sample(4), 0.5f);
}

TEST(Edit_Effect, EffectsWithoutDataDoNothing) {
    Sample_Data data;
    data.set_loop_enabled(true);
    data.set_loop_end(10);
    Edit_Effect_PreLoop_Cut().process(&data, 0, 10);
    Edit_Effect_PostLoop_Cut().process(&data, 0, 10);
    Edit_Effect_SelToLoop().process(&data, 3, 4);
    Edit_Effect_Center().process(&data, 0, 10);
    Edit_Effect_Reverse().process(&data, 0, 10);
    EXPECT_EQ(data.get_size(), 0);
    EXPECT_EQ(data.get_loop_begin(), 0);
}

TEST(Selection, PointsAreLimited) {
    Selection selection;
    selection.set_max(99);
    selection.set_point_1(150);
    selection.set_point_2(-5);
    EXPECT_EQ(selection.get_point_1(), 99);
    EXPECT_EQ(selection.get_point_2(), 0);
    EXPECT_EQ(selection.get_begin(), 0);
    EXPECT_EQ(selection.get_end(), 99);
    EXPECT_FALSE(selection.is_in_range(50));
    selection.set_active(true);
    EXPECT_TRUE(selection.is_in_range(50));
    selection.clear();
    EXPECT_FALSE(selection.is_active());
    EXPECT_EQ(selection.get_max(), -1);
    selection.set_point_1(100000);
    EXPECT_EQ(selection.get_point_1(), 100000);
}
