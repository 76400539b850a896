#pragma once

#include <string>

#include "common/components/data/property_bridge.h"
#include "trackercore/envelope.h"
#include "trackercore/note.h"

// One of the song's instrument slots: four layers, each a complete instrument definition,
// so one note can start up to four voices.
class Instrument {
public:
    static constexpr int LAYERS = 4;

    class Layer {
    public:
        static const char* const nna_type_names[4];   // "Note Cut", "Note Continue", "Note Off", "Note Fade"
        static const char* const dc_type_names[4];    // "Disabled", "Note", "Sample", "Instrument"
        static const char* const dc_action_names[3];  // "Note Cut", "Note Off", "Note Fade"

        Layer();
        Layer(const Layer& from);
        Layer& operator=(const Layer& from);

        void reset();
        // The bridges in creation order.
        const Property_Bridge_List& get_properties() const { return properties; }

        bool override_instrument_output;
        int channel_output;
        unsigned char sample_table[NOTE_COUNT];  // 255 = no sample
        unsigned char note_table[NOTE_COUNT];
        int nna_type;
        int dc_type;
        int dc_action;
        Envelope volume_envelope{0, 64};
        int volume_amount;
        int volume_fadeout;
        // Up to the largest fade-out scale: XM rates that high end a note within a tick.
        static constexpr int MAX_VOLUME_FADEOUT = 2048;
        int volume_random;
        Envelope panning_envelope{-32, 32};
        bool pan_use_default;
        int pan_default;
        int pitch_separation;
        int pitch_center;
        int pan_random;
        Envelope pitch_envelope{-32, 32};
        bool pitch_use_as_filter;
        bool pitch_use_default_cutoff;
        int pitch_default_cutoff;
        bool pitch_use_default_Q;
        int pitch_default_Q;

        Bool_Property_Bridge override_instrument_output_prop;
        Int_Property_Bridge channel_output_prop;
        Int_Property_Bridge volume_amount_prop;
        Int_Property_Bridge volume_fadeout_prop;
        Int_Property_Bridge volume_random_prop;
        Bool_Property_Bridge pan_use_default_prop;
        Int_Property_Bridge pan_default_prop;
        Int_Property_Bridge pitch_center_prop;
        Int_Property_Bridge pitch_separation_prop;
        Int_Property_Bridge pan_random_prop;
        Bool_Property_Bridge pitch_use_as_filter_prop;
        Bool_Property_Bridge pitch_use_default_cutoff_prop;
        Bool_Property_Bridge pitch_use_default_Q_prop;
        Int_Property_Bridge pitch_default_cutoff_prop;
        Int_Property_Bridge pitch_default_Q_prop;

    private:
        Property_Bridge_List properties;
    };

    Instrument();
    Instrument(const Instrument& from);
    Instrument& operator=(const Instrument& from);

    void reset();
    Layer* get_layer(int index);  // null, with an error line, outside 0..3
    const Property_Bridge_List& get_properties() const { return properties; }

    std::string name;
    std::string filename;
    int channel_output;
    Layer layers[LAYERS];

    String_Property_Bridge name_prop;
    String_Property_Bridge filename_prop;
    Int_Property_Bridge channel_output_prop;

private:
    Property_Bridge_List properties;
};
