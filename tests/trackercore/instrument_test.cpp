#include <gtest/gtest.h>

#include "trackercore/instrument.h"
#include "support/property_test_util.h"

TEST(Instrument, ResetLayerDefaults) {
    Instrument instrument;
    for (int l = 0; l < Instrument::LAYERS; l++) {
        Instrument::Layer* layer = instrument.get_layer(l);
        ASSERT_NE(layer, nullptr);
        for (int n = 0; n < NOTE_COUNT; n++) {
            ASSERT_EQ(layer->sample_table[n], 255);
            ASSERT_EQ(layer->note_table[n], n);
        }
        EXPECT_EQ(layer->volume_amount, 128);
        EXPECT_EQ(layer->pan_default, 32);
        EXPECT_EQ(layer->pitch_center, 48);
        EXPECT_EQ(layer->pitch_default_cutoff, 127);
        EXPECT_EQ(layer->pitch_default_Q, 127);
        EXPECT_EQ(layer->volume_envelope.get_node_count(), 2);
        EXPECT_EQ(layer->volume_envelope.get_node_offset(1), 20);
        EXPECT_EQ(layer->volume_envelope.get_loop_begin(), 0);
        EXPECT_EQ(layer->volume_envelope.get_loop_end(), 0);
        EXPECT_EQ(layer->volume_envelope.get_sustain_loop_end(), 0);
        EXPECT_EQ(layer->volume_envelope.get_max_nodes(), 25);
        EXPECT_EQ(layer->volume_envelope.get_min_nodes(), 2);
    }
}

TEST(Instrument, ResetEnvelopesAreFlat) {
    Instrument instrument;
    Instrument::Layer* layer = instrument.get_layer(0);
    for (float pos : {0.0f, 7.5f, 20.0f, 500.0f}) {
        EXPECT_FLOAT_EQ(layer->volume_envelope.get_height_at_pos(pos), 64.0f);
        EXPECT_FLOAT_EQ(layer->panning_envelope.get_height_at_pos(pos), 0.0f);
        EXPECT_FLOAT_EQ(layer->pitch_envelope.get_height_at_pos(pos), 0.0f);
    }
    EXPECT_EQ(layer->volume_envelope.get_max_height(), 64);
    EXPECT_EQ(layer->volume_envelope.get_min_height(), 0);
    EXPECT_EQ(layer->panning_envelope.get_min_height(), -32);
    EXPECT_EQ(layer->pitch_envelope.get_max_height(), 32);
}

TEST(Instrument, WrongLayerPrintsErrorAndGivesNull) {
    Instrument instrument;
    testing::internal::CaptureStdout();
    EXPECT_EQ(instrument.get_layer(-1), nullptr);
    EXPECT_EQ(instrument.get_layer(4), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: trackercore/instrument:177: Wrong layer!\n"
              "Error: trackercore/instrument:181: Wrong layer!\n");
}

TEST(Instrument, LayerPropertiesInCreationOrder) {
    Instrument::Layer layer;
    std::vector<std::string> expected = {
        "Override Instrument Output", "Channel#", "Global Send", "Fadeout", "Random Send",
        "Use Default", "Default Pan", "Pitch/Pan Center", "Pitch/Pan Sep.", "Random Send",
        "Use As Filter", "Use Default Cutoff", "Use Default Q", "Default Cutoff", "Default Q"};
    EXPECT_EQ(property_names(layer.get_properties()), expected);
    EXPECT_EQ(property_names(Instrument().get_properties()),
              (std::vector<std::string>{"Name", "File Name", "Channel#"}));
    EXPECT_STREQ(Instrument::Layer::nna_type_names[3], "Note Fade");
    EXPECT_STREQ(Instrument::Layer::dc_type_names[3], "Instrument");
    EXPECT_STREQ(Instrument::Layer::dc_action_names[1], "Note Off");
}

TEST(Instrument, LayerPropertiesClamp) {
    Instrument::Layer layer;
    layer.pitch_separation_prop.set(-100);
    EXPECT_EQ(layer.pitch_separation, -32);
    layer.volume_fadeout_prop.set(5000);
    EXPECT_EQ(layer.volume_fadeout, Instrument::Layer::MAX_VOLUME_FADEOUT);
    layer.channel_output_prop.set(16);
    EXPECT_EQ(layer.channel_output, 15);
    Instrument instrument;
    instrument.name_prop.set(std::string(40, 'a'));
    EXPECT_EQ(instrument.name.size(), 25u);
}

TEST(Instrument, CopyIsDeepAndBridgesStayOwn) {
    Instrument original;
    original.name = "lead";
    original.channel_output = 3;
    Instrument::Layer& layer = original.layers[2];
    layer.sample_table[60] = 7;
    layer.nna_type = 3;
    layer.volume_envelope.add_node_at_offset(10, 30);
    layer.pitch_default_Q = 40;

    Instrument copy(original);
    EXPECT_EQ(copy.name, "lead");
    EXPECT_EQ(copy.channel_output, 3);
    EXPECT_EQ(copy.layers[2].sample_table[60], 7);
    EXPECT_EQ(copy.layers[2].nna_type, 3);
    EXPECT_EQ(copy.layers[2].pitch_default_Q, 40);
    EXPECT_EQ(copy.layers[2].volume_envelope.get_node_count(), 3);

    copy.layers[2].volume_envelope.delete_node(1);
    copy.layers[2].sample_table[60] = 8;
    EXPECT_EQ(original.layers[2].volume_envelope.get_node_count(), 3);
    EXPECT_EQ(original.layers[2].sample_table[60], 7);

    expect_bridges_bound_to_own_fields(original.get_properties(), copy.get_properties());
    for (int l = 0; l < Instrument::LAYERS; l++)
        expect_bridges_bound_to_own_fields(original.layers[l].get_properties(), copy.layers[l].get_properties());

    Instrument assigned;
    assigned = original;
    expect_bridges_bound_to_own_fields(original.layers[0].get_properties(), assigned.layers[0].get_properties());
    EXPECT_EQ(assigned.layers[2].sample_table[60], 7);
}
