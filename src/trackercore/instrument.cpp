#include "trackercore/instrument.h"

#include <cstring>

#include "common/components/data/error_line.h"

const char* const Instrument::Layer::nna_type_names[4] = {"Note Cut", "Note Continue", "Note Off", "Note Fade"};
const char* const Instrument::Layer::dc_type_names[4] = {"Disabled", "Note", "Sample", "Instrument"};
const char* const Instrument::Layer::dc_action_names[3] = {"Note Cut", "Note Off", "Note Fade"};

Instrument::Layer::Layer()
    : override_instrument_output_prop("Override Instrument Output", &override_instrument_output),
      channel_output_prop("Channel#", &channel_output, 0, 15),
      volume_amount_prop("Global Send", &volume_amount, 0, 128),
      volume_fadeout_prop("Fadeout", &volume_fadeout, 0, MAX_VOLUME_FADEOUT),
      volume_random_prop("Random Send", &volume_random, 0, 100),
      pan_use_default_prop("Use Default", &pan_use_default),
      pan_default_prop("Default Pan", &pan_default, 0, 64),
      pitch_center_prop("Pitch/Pan Center", &pitch_center, 0, 119),
      pitch_separation_prop("Pitch/Pan Sep.", &pitch_separation, -32, 32),
      pan_random_prop("Random Send", &pan_random, 0, 64),
      pitch_use_as_filter_prop("Use As Filter", &pitch_use_as_filter),
      pitch_use_default_cutoff_prop("Use Default Cutoff", &pitch_use_default_cutoff),
      pitch_use_default_Q_prop("Use Default Q", &pitch_use_default_Q),
      pitch_default_cutoff_prop("Default Cutoff", &pitch_default_cutoff, 0, 127),
      pitch_default_Q_prop("Default Q", &pitch_default_Q, 0, 127),
      properties{&override_instrument_output_prop,
                 &channel_output_prop,
                 &volume_amount_prop,
                 &volume_fadeout_prop,
                 &volume_random_prop,
                 &pan_use_default_prop,
                 &pan_default_prop,
                 &pitch_center_prop,
                 &pitch_separation_prop,
                 &pan_random_prop,
                 &pitch_use_as_filter_prop,
                 &pitch_use_default_cutoff_prop,
                 &pitch_use_default_Q_prop,
                 &pitch_default_cutoff_prop,
                 &pitch_default_Q_prop} {
    reset();
}

Instrument::Layer::Layer(const Layer& from) : Layer() { *this = from; }

Instrument::Layer& Instrument::Layer::operator=(const Layer& from) {
    if (this == &from) return *this;
    // Values only: the bridges stay bound to this layer's own fields.
    override_instrument_output = from.override_instrument_output;
    channel_output = from.channel_output;
    std::memcpy(sample_table, from.sample_table, sizeof(sample_table));
    std::memcpy(note_table, from.note_table, sizeof(note_table));
    nna_type = from.nna_type;
    dc_type = from.dc_type;
    dc_action = from.dc_action;
    volume_envelope = from.volume_envelope;
    volume_amount = from.volume_amount;
    volume_fadeout = from.volume_fadeout;
    volume_random = from.volume_random;
    panning_envelope = from.panning_envelope;
    pan_use_default = from.pan_use_default;
    pan_default = from.pan_default;
    pitch_separation = from.pitch_separation;
    pitch_center = from.pitch_center;
    pan_random = from.pan_random;
    pitch_envelope = from.pitch_envelope;
    pitch_use_as_filter = from.pitch_use_as_filter;
    pitch_use_default_cutoff = from.pitch_use_default_cutoff;
    pitch_default_cutoff = from.pitch_default_cutoff;
    pitch_use_default_Q = from.pitch_use_default_Q;
    pitch_default_Q = from.pitch_default_Q;
    return *this;
}

static void reset_envelope(Envelope& envelope, int height) {
    envelope.reset();
    envelope.set_max_nodes(25);
    envelope.set_min_nodes(2);
    envelope.add_node_at_offset(0, height);
    envelope.add_node_at_offset(20, height);
    // Inserting nodes shifts the loop indices along; a reset envelope has them all at 0.
    envelope.set_loop_end(0);
    envelope.set_sustain_loop_end(0);
}

void Instrument::Layer::reset() {
    override_instrument_output = false;
    channel_output = 0;
    for (int n = 0; n < NOTE_COUNT; n++) {
        sample_table[n] = EMPTY_FIELD;
        note_table[n] = (unsigned char)n;
    }
    nna_type = 0;
    dc_type = 0;
    dc_action = 0;
    reset_envelope(volume_envelope, 64);
    volume_amount = 128;
    volume_fadeout = 0;
    volume_random = 0;
    reset_envelope(panning_envelope, 0);
    pan_use_default = false;
    pan_default = 32;
    pitch_separation = 0;
    pitch_center = 48;
    pan_random = 0;
    reset_envelope(pitch_envelope, 0);
    pitch_use_as_filter = false;
    pitch_use_default_cutoff = false;
    pitch_default_cutoff = 127;
    pitch_use_default_Q = false;
    pitch_default_Q = 127;
}

Instrument::Instrument()
    : name_prop("Name", &name, 25),
      filename_prop("File Name", &filename),
      channel_output_prop("Channel#", &channel_output, 0, 15),
      properties{&name_prop, &filename_prop, &channel_output_prop} {
    reset();
}

Instrument::Instrument(const Instrument& from) : Instrument() { *this = from; }

Instrument& Instrument::operator=(const Instrument& from) {
    if (this == &from) return *this;
    name = from.name;
    filename = from.filename;
    channel_output = from.channel_output;
    for (int i = 0; i < LAYERS; i++) layers[i] = from.layers[i];
    return *this;
}

void Instrument::reset() {
    name.clear();
    filename.clear();
    channel_output = 0;
    for (Layer& layer : layers) layer.reset();
}

Instrument::Layer* Instrument::get_layer(int index) {
    if (index < 0) {
        ERROR_LINE("trackercore/instrument", 177, "Wrong layer!");
        return nullptr;
    }
    if (index >= LAYERS) {
        ERROR_LINE("trackercore/instrument", 181, "Wrong layer!");
        return nullptr;
    }
    return &layers[index];
}
