#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "common/components/audio/effect_source.h"

// Lists every LADSPA plug-in on the system, looked up the first time the list is asked for.
class LADSPA_Effect_Source : public Effect_Source {
public:
    struct PluginData {
        std::string path;
        std::string name;
        std::string display_name;
        int subindex;
        bool stereo;
    };

    LADSPA_Effect_Source() = default;

    int get_effect_count() override;
    std::string get_effect_name(int i) override;
    std::string get_effect_display_name(int i) override;
    Effect* instantiate_effect(int i) override;
    std::string get_name() override;

    static std::string make_identifier(unsigned long unique_id, int subindex);

private:
    void ensure_scanned();
    void scan();
    void scan_directory(const std::string& dir);
    bool valid_index(int i) const { return i >= 0 && i < (int)plugins.size(); }

    std::once_flag scanned;
    std::vector<PluginData> plugins;
};
