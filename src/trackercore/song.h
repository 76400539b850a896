#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/components/data/property_bridge.h"
#include "trackercore/instrument.h"
#include "trackercore/midi_config.h"
#include "trackercore/pattern.h"
#include "trackercore/playback_rules.h"
#include "trackercore/sample.h"

// The whole module in memory. Every slot always exists; "empty" is a state of a slot.
// Accessors hand out plain pointers that stay valid for the song's life.
class Song {
public:
    static constexpr int MAX_ORDERS = 255;
    static constexpr int MAX_PATTERNS = 200;
    static constexpr int MAX_SAMPLES = 99;
    static constexpr int MAX_INSTRUMENTS = 99;
    static constexpr int CHANNELS = Pattern::CHANNELS;
    static constexpr short ORDER_SEPARATOR = 253;  // skipped in playback
    static constexpr short ORDER_SKIP = 254;       // skipped in playback
    static constexpr short ORDER_EMPTY = 255;      // the first one ends the list for counting

    // Each value sits next to the bridge that edits it; copies rebind to their own fields.
    struct Song_Variables {
        Song_Variables();
        Song_Variables(const Song_Variables& from);
        Song_Variables& operator=(const Song_Variables& from);
        void reset();
        const Property_Bridge_List& get_properties() const { return properties; }

        std::string name;
        String_Property_Bridge name_prop;
        std::string filename;
        String_Property_Bridge filename_prop;
        std::string message;
        String_Property_Bridge message_prop;
        int row_hilight_minor;
        Int_Property_Bridge row_hilight_minor_prop;
        int row_hilight_major;
        Int_Property_Bridge row_hilight_major_prop;
        int mixing_volume;
        Int_Property_Bridge mixing_volume_prop;
        int stereo_separation;
        Int_Property_Bridge stereo_separation_prop;
        bool use_stereo;
        Bool_Property_Bridge use_stereo_prop;
        // Where the formats disagree on how a song plays. Songs made here use the IT rules;
        // each rule is a property after the ones above, in the order of Playback_Rules::list.
        Playback_Rules rules;
        Property_Bridge* get_rule_property(size_t index) const { return rule_properties[index].get(); }
        // The macros behind SFx, Zxx and \xx.
        Midi_Config midi_config;

    private:
        std::vector<std::unique_ptr<Property_Bridge>> rule_properties;
        Property_Bridge_List properties;
    };

    struct Initial_Variables {
        struct Channel_State {
            Channel_State();
            Channel_State(const Channel_State& from);
            Channel_State& operator=(const Channel_State& from);
            void reset();
            const Property_Bridge_List& get_properties() const { return properties; }

            int pan;  // 0 left, 32 centre, 64 right
            Int_Property_Bridge pan_prop;
            int volume;
            Int_Property_Bridge volume_prop;
            bool surround;
            Bool_Property_Bridge surround_prop;
            bool mute;
            Bool_Property_Bridge mute_prop;

        private:
            Property_Bridge_List properties;
        };

        Initial_Variables();
        Initial_Variables(const Initial_Variables& from);
        Initial_Variables& operator=(const Initial_Variables& from);
        void reset();  // channels included
        // Global volume, speed and tempo; the channels list their own.
        const Property_Bridge_List& get_properties() const { return properties; }

        int global_volume;
        Int_Property_Bridge global_volume_prop;
        int speed;
        Int_Property_Bridge speed_prop;
        int tempo;
        Int_Property_Bridge tempo_prop;
        Channel_State channel[CHANNELS];

    private:
        Property_Bridge_List properties;
    };

    Song();
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    Pattern* get_pattern(int index);
    Sample* get_sample(int index);
    Instrument* get_instrument(int index);
    // Positions 0..254; anything else reads 255 and writes nothing.
    short get_order(int position) const;
    void set_order(int position, short value);

    Song_Variables* get_variables() { return &variables; }
    Initial_Variables* get_initial_variables() { return &initial_variables; }

    void reset_data();
    void clear_all_patterns();
    void clear_all_instruments();
    void clear_all_orders();
    void clear_unused_samples();
    void recreate_all_instruments();
    void make_instrument_out_of_sample(int sample);
    void make_instrument_out_of_sample_at(int sample, int instrument);
    // A sample loaded into a slot whose same-numbered instrument is empty (no name, no sample
    // named in any layer) gets that instrument, every note playing it, so that a new song plays
    // what was loaded at once. Other settings of the instrument stay. True when it was made.
    bool make_instrument_if_empty(int sample);
    void clear_default_sample_pannings();
    void clear_default_instrument_pannings();

    int get_next_order(int position) const;  // the next position holding a pattern, wrapping; -1 if none
    int get_used_orders_amount() const;
    int get_patterns_used() const;
    int find_pattern_in_orderlist(int pattern) const;
    int find_unused_instrument() const;
    // Some note of some layer plays a sample that is in use.
    bool instrument_plays_a_sample(int instrument) const;
    int find_unused_sample_slot() const;
    int find_sample_in_instrument(int sample) const;
    int find_first_sample_in_instrument(int instrument) const;

    short order[MAX_ORDERS];
    Pattern pattern[MAX_PATTERNS];
    Sample sample[MAX_SAMPLES];
    Instrument instrument[MAX_INSTRUMENTS];
    Song_Variables variables;
    Initial_Variables initial_variables;
};
