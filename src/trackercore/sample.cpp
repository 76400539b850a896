#include "trackercore/sample.h"

const char* const Sample::vibrato_type_names[4] = {"Sine", "Saw", "Square", "Random"};

Sample::Sample()
    : name_prop("Name", &name),
      filename_prop("File Name", &filename),
      def_volume_prop("Default Volume", &def_volume, 0, 64),
      glb_volume_prop("Global Volume", &glb_volume, 0, 64),
      def_panning_active_prop("Enable Default Pan", &def_panning_active),
      def_panning_prop("Default Panning", &def_panning, 0, 64),
      vibrato_type_prop("Vibrato Type", &vibrato_type, vibrato_type_names, 4),
      // Speed is the depth's growth per tick in 1/256 steps; XM's instant or short sweeps need more than 64.
      vibrato_speed_prop("Vibrato Speed", &vibrato_speed, 0, MAX_VIBRATO_SPEED),
      vibrato_depth_prop("Vibrato Depth", &vibrato_depth, 0, 64),
      vibrato_rate_prop("Vibrato Rate", &vibrato_rate, 0, 255),
      properties{&name_prop,         &filename_prop,           &def_volume_prop,
                 &glb_volume_prop,   &def_panning_active_prop, &def_panning_prop,
                 &vibrato_type_prop, &vibrato_speed_prop,      &vibrato_depth_prop,
                 &vibrato_rate_prop} {
    reset(false);
}

Sample::Sample(const Sample& from) : Sample() { *this = from; }

void Sample::copy_settings(const Sample& from) {
    name = from.name;
    filename = from.filename;
    def_volume = from.def_volume;
    glb_volume = from.glb_volume;
    def_panning_active = from.def_panning_active;
    def_panning = from.def_panning;
    vibrato_type = from.vibrato_type;
    vibrato_speed = from.vibrato_speed;
    vibrato_depth = from.vibrato_depth;
    vibrato_rate = from.vibrato_rate;
    finetune = from.finetune;
}

Sample& Sample::operator=(const Sample& from) {
    if (this == &from) return *this;
    copy_settings(from);
    // Sample_Data's own assignment allocates a fresh block: the source is never shared.
    data = from.data;
    in_use = from.in_use;
    return *this;
}

void Sample::reset(bool free_data) {
    name.clear();
    filename.clear();
    def_volume = 64;
    glb_volume = 64;
    def_panning_active = false;
    def_panning = 32;
    vibrato_type = 0;
    vibrato_speed = 0;
    vibrato_depth = 0;
    vibrato_rate = 0;
    data.set_loop_enabled(false);
    data.set_loop_ping_pong(false);
    data.set_loop_begin(0);
    data.set_loop_end(5);
    data.set_c5_freq(0);
    // A block the slot still owns is freed even when the slot is marked unused: forgetting it would leak.
    if (!free_data) data.release_data_ptr();
    data.set_data_ptr(nullptr, 0, false);
    in_use = false;
}

std::string Sample::file_part(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Sample::name_from_path(const std::string& path) {
    std::string file = file_part(path);
    size_t dot = file.find_last_of('.');
    // A name that is all extension (".wav") keeps it: it has nothing else.
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

std::string Sample::get_name_to_save() const {
    if (name == filename && name.find('/') != std::string::npos) return name_from_path(name);
    return name;
}
