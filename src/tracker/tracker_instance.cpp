#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {
    file_format_manager.set_song(&song);
    // The order of registration is the order in which files are tried.
    file_format_manager.register_loader(&loader_it);
    file_format_manager.register_loader(&loader_xm);
    file_format_manager.register_loader(&loader_s3m);
    file_format_manager.register_loader(&loader_wav);
    file_format_manager.register_saver(&saver_it);
    file_format_manager.register_saver(&saver_wav);
    file_format_manager.register_saver(&saver_raw);
    player.link_to_song(&song);
    player.link_to_mixer(&mixer);
}

Tracker_Instance::~Tracker_Instance() {}
