// Feeds Loader_WM song, sample and instrument files. The first byte chooses the kind (bits 0-1:
// song, sample, instrument) and whether the rest is a whole file (bit 2) or a packed tree that
// is wrapped in a valid compressed container, so mutations reach the trees past zlib's checksum.
// Whatever loads is turned back into trees by the saver.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>
#include <zlib.h>

#include "common/components/audio/dds_helpers.h"
#include "common/components/data/dds_packer.h"
#include "tracker/audio_components.h"
#include "tracker/tracker_instance.h"

namespace {
struct Fixture {
    Fixture() {
        setenv("LADSPA_PATH", "/usr/lib/ladspa", 0);
        components = new Audio_Components;
        ti = new Tracker_Instance;
        path = "/tmp/fuzz_loader_wm_" + std::to_string((long)getpid());
        std::freopen("/dev/null", "w", stdout);  // the loader's progress lines
    }
    Audio_Components* components;
    Tracker_Instance* ti;
    std::string path;
};

std::string container(const char* magic, const std::uint8_t* tree, std::size_t size) {
    uLongf z = compressBound((uLong)size);
    std::vector<unsigned char> stream(z);
    compress(stream.data(), &z, tree, (uLong)size);
    std::string out(magic, 4);
    out += '\x01';
    out += '\x01';
    for (std::uint32_t v : {(std::uint32_t)size, (std::uint32_t)z})
        for (int i = 0; i < 4; i++) out += (char)((v >> (8 * i)) & 0xFF);
    out.append((const char*)stream.data(), z);
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fx;
    if (size < 1 || size > 4 * 1024 * 1024) return 0;
    int kind = data[0] & 3;
    bool raw = data[0] & 4;
    static const char* const magics[] = {"WDMM", "WDMS", "WDMI", "WDMM"};
    std::string file = raw ? std::string((const char*)data + 1, size - 1) : container(magics[kind], data + 1, size - 1);
    FILE* f = std::fopen(fx.path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);

    Tracker_Instance& ti = *fx.ti;
    ti.song.reset_data();
    DDS tree;
    if (kind == 1) {
        ti.loader_wm.load_sample(fx.path.c_str(), 3);
        delete ti.loader_wm.load_sample(fx.path.c_str());
        ti.saver_wm.get_dds_from_sample(ti.song.get_sample(3), &tree);
    } else if (kind == 2) {
        ti.loader_wm.load_instrument(fx.path.c_str(), 5);
        ti.saver_wm.get_dds_from_instrument(ti.song.get_instrument(5), &tree, true);
    } else {
        ti.file_format_manager.load_module(fx.path.c_str());
        // The whole song tree walks every cell of 200 patterns; the loaded parts are enough.
        for (int p = 0; p < Song::MAX_PATTERNS; p++)
            if (ti.song.get_pattern(p)->get_note_count() > 0) ti.saver_wm.get_dds_from_pattern(ti.song.get_pattern(p), &tree);
        DDS_Helpers::get_mixer_data(&ti.mixer, &tree);
    }
    std::vector<unsigned char> packed;
    DDSPacker::pack(&tree, packed, 0);
    return 0;
}
