#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/components/audio/chorus_effect.h"
#include "common/components/audio/dds_helpers.h"
#include "common/components/audio/mixer.h"
#include "support/native_song.h"
#include "support/sample_data_builder.h"
#include "support/song_compare.h"
#include "tracker/audio_components.h"
#include "trackercore/envelope.h"

TEST(DDSHelpers, EnvelopeRoundTripAndWrongCounts) {
    Envelope env(-32, 32);
    env.set_max_nodes(25);
    env.add_node_at_offset(0, -10);
    env.add_node_at_offset(15, 30);
    env.add_node_at_offset(40, -32);
    env.set_enabled(true);
    env.set_sustain_loop_enabled(true);
    env.set_carry_enabled(true);
    env.set_sustain_loop_begin(1);
    env.set_sustain_loop_end(2);
    DDS tree;
    DDS_Helpers::get_envelope(&env, &tree);
    EXPECT_EQ(tree.get_int_var("max_nodes"), 25);
    EXPECT_EQ(tree.get_int_var("node_count"), 3);

    Envelope back(-32, 32);
    DDS_Helpers::set_envelope(&tree, &back);
    expect_envelopes_equal(env, back, "envelope");

    tree.set_int_var("node_count", 4);
    testing::internal::CaptureStdout();
    DDS_Helpers::set_envelope(&tree, &back);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Wrong node offset count in envelope"), std::string::npos);
    EXPECT_EQ(back.get_node_count(), 0);
    EXPECT_FALSE(back.is_enabled());

    tree.set_int_var("node_count", 3);
    tree.delete_var("node_heights");
    tree.set_int_array_var("node_heights", {1, 2});
    testing::internal::CaptureStdout();
    DDS_Helpers::set_envelope(&tree, &back);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Wrong node height count in envelope"), std::string::npos);
    EXPECT_EQ(back.get_node_count(), 0);
}

TEST(DDSHelpers, SampleDataBytesAndCompression) {
    auto sixteen = make_sample_16({0x1234, -2, 32767});
    DDS tree;
    DDS_Helpers::get_sample_data(sixteen.get(), &tree);
    ASSERT_EQ(tree.get_data_var_size("data"), 6);
    const unsigned char* bytes = static_cast<const unsigned char*>(tree.get_data_var("data"));
    const unsigned char expected[] = {0x12, 0x34, 0xFF, 0xFE, 0x7F, 0xFF};  // most significant byte first
    EXPECT_EQ(std::memcmp(bytes, expected, 6), 0);
    EXPECT_EQ(tree.get_str_var("compression_type"), "none");

    auto eight = make_sample_8({-128, 0, 127, 5});
    set_loop(*eight, 1, 3, true);
    eight->set_c5_freq(22050);
    DDS tree8;
    DDS_Helpers::get_sample_data(eight.get(), &tree8);
    Sample_Data back;
    DDS_Helpers::set_sample_data(&tree8, &back);
    ASSERT_EQ(back.get_size(), 4);
    EXPECT_FALSE(back.is_16bit());
    EXPECT_EQ(std::memcmp(back.get_data_ptr(), eight->get_data_ptr(), 4), 0);
    EXPECT_TRUE(back.is_loop_ping_pong());
    EXPECT_EQ(back.get_loop_end(), 3);
    EXPECT_EQ(back.get_c5_freq(), 22050);

    tree8.delete_var("compression_type");
    tree8.set_str_var("compression_type", "adpcm");
    testing::internal::CaptureStdout();
    DDS_Helpers::set_sample_data(&tree8, &back);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Unsupported compression"), std::string::npos);
    EXPECT_EQ(back.get_size(), 0);
    EXPECT_EQ(back.get_data_ptr(), nullptr);
    EXPECT_EQ(back.get_c5_freq(), 22050);  // the settings still load
}

TEST(DDSHelpers, SameNamedPropertiesRestoreInOrder) {
    Chorus_Effect saved, loaded;
    Property_Bridge_List props = saved.get_properties();
    auto* wet = dynamic_cast<Int_Property_Bridge*>(props[4]);
    auto* dry = dynamic_cast<Int_Property_Bridge*>(props[5]);
    ASSERT_TRUE(wet && dry);
    ASSERT_EQ(wet->get_short_name(), dry->get_short_name());
    wet->set(11);
    dry->set(99);
    VectorPointer<DDS> stored;
    DDS_Helpers::get_property_bridge_list_data(&props, stored);
    ASSERT_EQ(stored.size(), props.size());
    EXPECT_EQ(stored[4]->get_str_var("name"), "lfo_feedback");
    EXPECT_EQ(stored[5]->get_str_var("name"), "lfo_feedback");

    Property_Bridge_List target = loaded.get_properties();
    DDS_Helpers::set_property_bridge_list_data(stored, &target);
    EXPECT_EQ(dynamic_cast<Int_Property_Bridge*>(target[4])->get(), 11);
    EXPECT_EQ(dynamic_cast<Int_Property_Bridge*>(target[5])->get(), 99);
}

TEST(DDSHelpers, PropertyTypesMustMatch) {
    int i = 5;
    float f = 0.5f;
    bool b = false;
    std::string s = "abc";
    int option = 1;
    static const char* const options[] = {"a", "b", "c"};
    Int_Property_Bridge ib("I", &i, 0, 10, "i");
    Float_Property_Bridge fb("F", &f, 0.0f, 1.0f, "f");
    Bool_Property_Bridge bb("B", &b, "b");
    String_Property_Bridge sb("S", &s, 4, "s");
    Options_Property_Bridge ob("O", &option, options, 3, "o");
    Property_Bridge_List list = {&ib, &fb, &bb, &sb, &ob};

    auto prop = [](const char* name, const char* type) {
        DDS* t = new DDS;
        t->set_str_var("name", name);
        t->set_str_var("type", type);
        return t;
    };
    VectorPointer<DDS> stored;
    DDS* t = prop("i", "int");
    t->set_int_var("value", 50);  // clamped by the bridge
    stored.push_back(t);
    t = prop("f", "float");
    t->set_float_var("value", 0.25f);
    stored.push_back(t);
    t = prop("b", "bool");
    t->set_int_var("value", 1);
    stored.push_back(t);
    t = prop("s", "string");
    t->set_str_var("value", "longer text");
    stored.push_back(t);
    t = prop("o", "options");
    t->set_int_var("value", 7);  // no such option: ignored
    stored.push_back(t);
    t = prop("i", "float");  // same name, other type: no bridge
    t->set_float_var("value", 0.9f);
    stored.push_back(t);
    t = prop("x", "complex");
    stored.push_back(t);
    testing::internal::CaptureStdout();
    DDS_Helpers::set_property_bridge_list_data(stored, &list);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(i, 10);
    EXPECT_FLOAT_EQ(f, 0.25f);
    EXPECT_TRUE(b);
    EXPECT_EQ(s, "long");
    EXPECT_EQ(option, 1);
    EXPECT_NE(out.find("Cant load property, unknown type: complex"), std::string::npos);
}

TEST(DDSHelpers, MixerRoundTripAndBadRouting) {
    Audio_Components components;
    Mixer original;
    build_rich_mixer(original);
    DDS tree;
    DDS_Helpers::get_mixer_data(&original, &tree);

    Mixer loaded;
    DDS_Helpers::set_mixer_data(&tree, &loaded);
    expect_mixers_equal(original, loaded);

    // Applying again on a reset mixer gives the same mixer, not twice the buses.
    DDS_Helpers::reset_mixer(&loaded);
    EXPECT_EQ(loaded.get_buffer_count(), 0);
    DDS_Helpers::set_mixer_data(&tree, &loaded);
    expect_mixers_equal(original, loaded);

    // A buffer that sends upwards, a channel to a missing buffer, an unknown effect.
    DDS* buffers0 = tree.get_dynamic_data_struct_array_var("buffers")[0];
    buffers0->get_dynamic_data_struct_array_var("outputs")[0]->set_int_var("index", 0);
    DDS* channel0 = tree.get_dynamic_data_struct_array_var("channels")[0];
    channel0->get_dynamic_data_struct_array_var("outputs")[0]->set_int_var("index", 9);
    DDS* chain = buffers0->get_dynamic_data_struct_var("effect_chain");
    chain->get_dynamic_data_struct_array_var("effects")[0]->set_str_var("name", "no_such_effect");
    Mixer bad;
    testing::internal::CaptureStdout();
    DDS_Helpers::set_mixer_data(&tree, &bad);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Effect 'no_such_effect' not found!!"), std::string::npos);
    EXPECT_EQ(bad.get_buffer_output_count(0), original.get_buffer_output_count(0) - 1);
    EXPECT_EQ(bad.get_channel_output_count(0), original.get_channel_output_count(0) - 1);
    EXPECT_EQ(bad.get_buffer_effect_chain(0)->get_effect_count(),
              original.get_buffer_effect_chain(0)->get_effect_count() - 1);
}

TEST(DDSHelpers, StoredMixerSizesAreBounded) {
    Audio_Components components;
    DDS tree;
    VectorPointer<DDS> buffers;
    for (int i = 0; i < DDS_Helpers::MAX_LOADED_BUFFERS + 50; i++) {
        DDS* b = new DDS;
        DDS chain;
        VectorPointer<DDS> effects;
        for (int e = 0; e < 5; e++) {
            DDS* fx = new DDS;
            fx->set_str_var("name", "amplifier");
            effects.push_back(fx);
        }
        chain.set_dynamic_data_struct_array_var("effects", effects);
        b->set_dynamic_data_struct_var("effect_chain", chain);
        buffers.push_back(b);
    }
    tree.set_dynamic_data_struct_array_var("buffers", buffers);
    Mixer mixer;
    testing::internal::CaptureStdout();
    DDS_Helpers::set_mixer_data(&tree, &mixer);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(mixer.get_buffer_count(), DDS_Helpers::MAX_LOADED_BUFFERS);
    int effects = 0;
    for (int b = 0; b < mixer.get_buffer_count(); b++) effects += mixer.get_buffer_effect_chain(b)->get_effect_count();
    EXPECT_EQ(effects, DDS_Helpers::MAX_LOADED_EFFECTS);
}
