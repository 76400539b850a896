#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {
    player.link_to_song(&song);
    player.link_to_mixer(&mixer);
    file_format_manager.set_song(&song);
    // The native files carry the mixer's buses and effect chains.
    loader_wm.set_mixer(&mixer);
    saver_wm.set_mixer(&mixer);
    // The order of registration is the order in which files are tried.
    file_format_manager.register_loader(&loader_wm);
    file_format_manager.register_loader(&loader_it);
    file_format_manager.register_saver(&saver_wm);
    file_format_manager.register_saver(&saver_it);
}

Tracker_Instance::~Tracker_Instance() {}
