#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/components/data/property_bridge.h"

TEST(PropertyBridge, IntClampsIntoRange) {
    int v = 0;
    Int_Property_Bridge b("Speed", &v, 1, 255, "speed");
    b.set(300);
    EXPECT_EQ(v, 255);
    b.set(-5);
    EXPECT_EQ(v, 1);
    b.set(6);
    EXPECT_EQ(b.get(), 6);
    EXPECT_EQ(b.get_type(), "int");
    EXPECT_EQ(b.get_name(), "Speed");
    EXPECT_EQ(b.get_short_name(), "speed");
}

TEST(PropertyBridge, FloatClampsAndRejectsNaN) {
    float v = 0.5f;
    Float_Property_Bridge b("Gain", &v, -1.0f, 1.0f, "gain");
    b.set(2.0f);
    EXPECT_EQ(v, 1.0f);
    b.set(std::numeric_limits<float>::quiet_NaN());
    EXPECT_FALSE(std::isnan(v));
    EXPECT_EQ(b.get_type(), "float");
}

TEST(PropertyBridge, StringKeepsOnlyMaxLength) {
    std::string s;
    String_Property_Bridge limited("Name", &s, 5, "name");
    limited.set("abcdefgh");
    EXPECT_EQ(s, "abcde");
    String_Property_Bridge unlimited("File Name", &s, "filename");
    unlimited.set(std::string(1000, 'x'));
    EXPECT_EQ(s.size(), 1000u);
    EXPECT_LT(unlimited.get_max_length(), 0);
}

TEST(PropertyBridge, OptionsTextOutsideRangeIsNull) {
    static const char* const opts[] = {"Sine", "Saw", "Square", "Random"};
    int v = 0;
    Options_Property_Bridge b("Vibrato Type", &v, opts, 4, "vibrato_type");
    EXPECT_STREQ(b.get_option_text(3), "Random");
    EXPECT_EQ(b.get_option_text(4), nullptr);
    EXPECT_EQ(b.get_option_text(-1), nullptr);
    b.set(2);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(b.get_type(), "options");
}

TEST(PropertyBridge, DisplayPreferenceIsStored) {
    bool v = false;
    Bool_Property_Bridge b("Stereo", &v, "stereo");
    EXPECT_EQ(b.get_display_preference(), "");
    b.set_display_preference("checkbox");
    EXPECT_EQ(b.get_display_preference(), "checkbox");
    b.set(true);
    EXPECT_TRUE(v);
}
