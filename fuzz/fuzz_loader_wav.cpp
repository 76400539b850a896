#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "common/components/audio/sample_data.h"
#include "loaders/loader_wav.h"
#include "trackercore/song.h"

// Loaders read files, so each input goes through one scratch file of this process.
static std::string scratch_path() {
    return "/tmp/wendmoor_fuzz_wav_" + std::to_string(getpid());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = scratch_path();
    static bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;  // error lines on every input
    (void)quiet;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    static Song song;
    Loader_WAV loader;
    loader.set_song(&song);
    loader.load_sample(path.c_str(), 0);
    delete loader.load_sample(path.c_str());
    return 0;
}
