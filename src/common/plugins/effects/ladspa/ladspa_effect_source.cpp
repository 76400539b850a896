#include "common/plugins/effects/ladspa/ladspa_effect_source.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "common/plugins/effects/ladspa/ladspa_descriptor_lookup.h"
#include "common/plugins/effects/ladspa/ladspa_effect.h"

// Opening every plug-in library costs more than most commands take: the scan waits until
// someone asks what is there.
void LADSPA_Effect_Source::ensure_scanned() {
    std::call_once(scanned, [this] { scan(); });
}

void LADSPA_Effect_Source::scan() {
    if (const char* env = std::getenv("LADSPA_PATH")) {
        scan_directory(env);
    } else {
        scan_directory("/usr/lib/ladspa");
        scan_directory("/usr/local/lib/ladspa");
        scan_directory("/opt/ladspa/lib");
    }
    scan_directory("../Resources/ladspa");
    scan_directory("~/Library/Application Support/ladspa");
    scan_directory("/Library/Application Support/ladspa");
    scan_directory("/System/Library/Application Support/ladspa");

    std::stable_sort(plugins.begin(), plugins.end(),
                     [](const PluginData& a, const PluginData& b) { return a.display_name < b.display_name; });
}

std::string LADSPA_Effect_Source::make_identifier(unsigned long unique_id, int subindex) {
    return "LADSPA ID: " + std::to_string(unique_id) + " / SUBINDEX: " + std::to_string(subindex);
}

void LADSPA_Effect_Source::scan_directory(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* entry = readdir(d)) {
        char path[1024];
        // A truncated path could name a different file.
        if (std::snprintf(path, sizeof(path), "%s/%s", dir.c_str(), entry->d_name) >= (int)sizeof(path))
            continue;
        void* library = dlopen(path, RTLD_LAZY);
        if (!library) continue;
        if (LADSPA_Descriptor_Function descriptor_function = ladspa_descriptor_function(library)) {
            for (unsigned long i = 0;; i++) {
                const LADSPA_Descriptor* descriptor = descriptor_function(i);
                if (!descriptor) break;
                plugins.push_back({path, make_identifier(descriptor->UniqueID, (int)i),
                                   descriptor->Name ? descriptor->Name : "", (int)i,
                                   ladspa_descriptor_is_stereo(descriptor)});
            }
        }
        dlclose(library);
    }
    closedir(d);
}

int LADSPA_Effect_Source::get_effect_count() {
    ensure_scanned();
    return (int)plugins.size();
}

std::string LADSPA_Effect_Source::get_effect_name(int i) {
    ensure_scanned();
    return valid_index(i) ? plugins[i].name : "";
}

std::string LADSPA_Effect_Source::get_effect_display_name(int i) {
    ensure_scanned();
    if (!valid_index(i)) return "";
    return plugins[i].display_name + (plugins[i].stereo ? " (STEREO)" : "");
}

Effect* LADSPA_Effect_Source::instantiate_effect(int i) {
    ensure_scanned();
    if (!valid_index(i)) return nullptr;
    return new LADSPA_Effect(plugins[i].path, plugins[i].subindex);
}

std::string LADSPA_Effect_Source::get_name() { return "LADSPA"; }
