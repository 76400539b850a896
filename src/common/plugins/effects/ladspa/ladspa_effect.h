#pragma once

#include <ladspa.h>

#include <string>
#include <vector>

#include "common/components/audio/effect.h"

// One LADSPA plug-in in an effect chain. Its input control ports become properties;
// a plug-in without a stereo pair of audio ports runs as two instances, one per channel.
class LADSPA_Effect : public Effect {
public:
    static constexpr int WORK_FRAMES = 8192;

    struct Property {
        Property_Bridge* bridge = nullptr;
        int type = 0; // 0 integer, 1 toggle, 2 float
        float float_value = 0;
        int int_value = 0;
        bool bool_value = false;
        LADSPA_Data port_value = 0;
    };

    LADSPA_Effect(const std::string& path, int subindex);
    ~LADSPA_Effect() override;

    void reset() override;
    void process_buffer(int* buffer, int frames, bool stereo, int mix_rate) override;
    std::string get_display_name() override { return display_name; }
    std::string get_name() override { return name; }
    Property_Bridge_List get_properties() override;

    bool is_valid() const { return valid; }
    bool is_stereo() const { return stereo; }
    int get_instance_count() const { return (instance ? 1 : 0) + (instance_right ? 1 : 0); }

private:
    enum Work_Buffer { IN_LEFT, IN_RIGHT, OUT_LEFT, OUT_RIGHT, SCRATCH_OUT, SCRATCH_IN, WORK_BUFFER_COUNT };

    void add_property(unsigned long port);
    void destroy_instances();
    void connect_ports(LADSPA_Handle handle, bool right);
    void process_piece(int* buffer, int frames);

    std::vector<float> work[WORK_BUFFER_COUNT];
    std::vector<Property*> properties;
    bool valid = false;
    const LADSPA_Descriptor* descriptor = nullptr;
    bool stereo = false;
    LADSPA_Handle instance = nullptr;
    LADSPA_Handle instance_right = nullptr;
    bool instances_tried = false; // so a plug-in that refuses to instantiate is not retried every block
    std::string display_name;
    std::string name;
    LADSPA_Data rate = 44100;
    void* library = nullptr;
};
