#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {
    file_format_manager.set_song(&song);
    // The registry tries loaders in this order.
    file_format_manager.register_loader(&loader_xm);
    file_format_manager.register_loader(&loader_s3m);
    file_format_manager.register_loader(&loader_wav);
    file_format_manager.register_saver(&saver_wav);
    file_format_manager.register_saver(&saver_raw);
}

Tracker_Instance::~Tracker_Instance() {}
