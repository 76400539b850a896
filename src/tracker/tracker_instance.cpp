#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {
    file_format_manager.set_song(&song);
    // The order of registration is the order in which files are tried.
    file_format_manager.register_loader(&loader_it);
    file_format_manager.register_saver(&saver_it);
}

Tracker_Instance::~Tracker_Instance() {}
