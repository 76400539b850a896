#pragma once

#include <string>

#include "common/components/audio/sample_data.h"
#include "common/components/data/property_bridge.h"

// One of the song's sample slots: name, playback defaults and the PCM data.
// Its properties are bound to its own fields; copies get their own bridges and their own block.
class Sample {
public:
    static const char* const vibrato_type_names[4];  // "Sine", "Saw", "Square", "Random"
    static constexpr int MAX_VIBRATO_SPEED = 16384;

    Sample();
    Sample(const Sample& from);
    Sample& operator=(const Sample& from);

    // Back to the defaults of an empty slot. With free_data, the data block is freed;
    // otherwise it is forgotten (its ownership has passed elsewhere).
    void reset(bool free_data);
    // The bridges in creation order.
    const Property_Bridge_List& get_properties() const { return properties; }

    // What a sample read from a file is called: the file's name without its folder and
    // extension ("/home/x/kicks/kick.wav" gives "kick").
    static std::string name_from_path(const std::string& path);
    // The file's name without its folder ("kick.wav").
    static std::string file_part(const std::string& path);
    // The name to write: samples loaded before names were taken from the file's name carry the
    // whole path as their name, and are written as if loaded now.
    std::string get_name_to_save() const;

    std::string name;
    std::string filename;
    int def_volume;
    int glb_volume;
    bool def_panning_active;
    int def_panning;
    int vibrato_type;
    int vibrato_speed;
    int vibrato_depth;
    int vibrato_rate;
    // FT2's finetune (-128..127, 1/128 semitone), already part of the data's c5 frequency; kept
    // for E5x, which tunes a note afresh from the untuned pitch.
    int finetune = 0;
    Sample_Data data;
    bool in_use;

    String_Property_Bridge name_prop;
    String_Property_Bridge filename_prop;
    Int_Property_Bridge def_volume_prop;
    Int_Property_Bridge glb_volume_prop;
    Bool_Property_Bridge def_panning_active_prop;
    Int_Property_Bridge def_panning_prop;
    Options_Property_Bridge vibrato_type_prop;
    Int_Property_Bridge vibrato_speed_prop;
    Int_Property_Bridge vibrato_depth_prop;
    Int_Property_Bridge vibrato_rate_prop;

private:
    void copy_settings(const Sample& from);

    Property_Bridge_List properties;
};
