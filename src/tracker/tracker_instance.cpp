#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {
    file_format_manager.set_song(&song);
}

Tracker_Instance::~Tracker_Instance() {}
