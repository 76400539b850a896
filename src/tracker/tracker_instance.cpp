#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {
    file_format_manager.set_song(&song);
    // The order of registration is the order in which files are tried.
    file_format_manager.register_loader(&loader_it);
    file_format_manager.register_saver(&saver_it);
    player.link_to_song(&song);
    player.link_to_mixer(&mixer);
}

Tracker_Instance::~Tracker_Instance() {
    // The song dies before the player: voices still sounding must be let go while the sample
    // data they read (their fade-out tail included) still exists. No locks: by now the mixer
    // is out of the driver manager's list and the locks may be gone.
    player.set_variables_lock(nullptr);
    player.set_info_lock(nullptr);
    player.link_to_mixer(nullptr);
}
