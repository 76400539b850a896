#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "loaders/loader_mod.h"
#include "trackercore/song.h"

// Loaders read files, so each input goes through one scratch file of this process.
static std::string scratch_path() {
    return "/tmp/wendmoor_fuzz_mod_" + std::to_string(getpid());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = scratch_path();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    static Song song;
    Loader_MOD loader;
    loader.set_song(&song);
    if (loader.test(path.c_str()) && loader.load(path.c_str(), true) == Loader::SUCCESS) {
        song.reset_data();
        loader.transfer_data_to_song();
        loader.free_info(false);
    }
    return 0;
}
