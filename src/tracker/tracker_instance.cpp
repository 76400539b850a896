#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {
    player.link_to_song(&song);
    player.link_to_mixer(&mixer);
}

Tracker_Instance::~Tracker_Instance() {}
