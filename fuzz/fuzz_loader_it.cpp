#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "tracker/tracker_instance.h"

// Feeds each input to the IT loader as a module, a stand-alone sample and an instrument.
// The loaders read files, so the input goes through a scratch file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Tracker_Instance* ti = new Tracker_Instance;
    static const std::string path = "/tmp/fuzz_loader_it_" + std::to_string((long)getpid()) + ".it";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    ti->song.reset_data();
    ti->file_format_manager.load_module(path.c_str());
    ti->loader_it.load_sample(path.c_str(), 3);
    delete ti->loader_it.load_sample(path.c_str());
    if (ti->loader_it.load_samples_from_instrument(path.c_str()) == Loader::SUCCESS) {
        for (int i = 0; i < ti->loader_it.get_amount_of_samples(); i++) {
            ti->loader_it.get_sample_name(i);
            ti->loader_it.add_sample_to_song(i, 5, true);
        }
        ti->loader_it.free_info(true);
    }
    ti->loader_it.load_instrument(path.c_str(), 7);
    return 0;
}
