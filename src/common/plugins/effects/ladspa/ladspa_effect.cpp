#include "common/plugins/effects/ladspa/ladspa_effect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/components/data/error_line.h"
#include "common/plugins/effects/ladspa/ladspa_descriptor_lookup.h"

namespace {

const char* const SOURCE = "common/plugins/effects/ladspa/ladspa_effect.cpp";

// Plug-ins may declare bounds far outside int; truncate without overflowing.
int trunc_to_int(float v) {
    if (!(v > -2147483648.0f)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return (int)v;
}

float default_value(LADSPA_PortRangeHintDescriptor hint, float lower, float upper) {
    switch (hint & LADSPA_HINT_DEFAULT_MASK) {
    case LADSPA_HINT_DEFAULT_MINIMUM: return lower;
    case LADSPA_HINT_DEFAULT_LOW: return lower + (upper - lower) * 0.25f;
    case LADSPA_HINT_DEFAULT_HIGH: return lower + (upper - lower) * 0.75f;
    case LADSPA_HINT_DEFAULT_MAXIMUM: return upper;
    case LADSPA_HINT_DEFAULT_0: return 0;
    case LADSPA_HINT_DEFAULT_1: return 1;
    case LADSPA_HINT_DEFAULT_100: return 100;
    case LADSPA_HINT_DEFAULT_440: return 440;
    default: break;
    }
    if (LADSPA_IS_HINT_INTEGER(hint)) return lower;
    if (lower <= 0 && upper >= 0) return 0;
    if (upper < 0) return 0;
    return lower + (upper - lower) * 0.5f;
}

int to_sample(float out) {
    const float v = out * 32768.0f;
    if (v != v) return 0; // a NaN from a misbehaving plug-in becomes silence
    return (int)std::lround(std::clamp(v, -32768.0f, 32767.0f)) * 65536;
}

void print_line(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

} // namespace

LADSPA_Effect::LADSPA_Effect(const std::string& path, int subindex) {
    for (std::vector<float>& w : work) w.assign(WORK_FRAMES, 0.0f);

    library = dlopen(path.c_str(), RTLD_NOW);
    if (!library) {
        ERROR_LINE(SOURCE, 257, "Cant open LADSPA plugin at: " + path);
        return;
    }
    LADSPA_Descriptor_Function descriptor_function = ladspa_descriptor_function(library);
    if (!descriptor_function) {
        dlclose(library);
        library = nullptr;
        ERROR_LINE(SOURCE, 268, "INVALID LADSPA Plugin at: " + path);
        return;
    }
    descriptor = subindex < 0 ? nullptr : descriptor_function((unsigned long)subindex);
    if (!descriptor) {
        dlclose(library);
        library = nullptr;
        ERROR_LINE(SOURCE, 275, "Wrong index of subplugin for LADSPA: " + std::to_string(subindex));
        return;
    }

    display_name = descriptor->Name ? descriptor->Name : "";
    name = "LADSPA ID: " + std::to_string(descriptor->UniqueID) + " / SUBINDEX: " + std::to_string(subindex);
    std::printf("opening: %s\n", name.c_str());

    int inputs = 0, outputs = 0;
    for (unsigned long p = 0; p < descriptor->PortCount; p++) {
        const LADSPA_PortDescriptor pd = descriptor->PortDescriptors[p];
        if (LADSPA_IS_PORT_AUDIO(pd)) {
            if (LADSPA_IS_PORT_INPUT(pd)) inputs++;
            if (LADSPA_IS_PORT_OUTPUT(pd)) outputs++;
        } else if (LADSPA_IS_PORT_CONTROL(pd) && LADSPA_IS_PORT_INPUT(pd) &&
                   !LADSPA_IS_HINT_SAMPLE_RATE(descriptor->PortRangeHints[p].HintDescriptor)) {
            add_property(p);
        }
    }
    std::printf("Plugin has %i inputs, %i outputs\n", inputs, outputs);
    std::fflush(stdout);

    stereo = ladspa_descriptor_is_stereo(descriptor);
    rate = 44100;
    valid = true;
}

void LADSPA_Effect::add_property(unsigned long port) {
    const char* port_name = descriptor->PortNames[port] ? descriptor->PortNames[port] : "";
    std::printf("parameter %s\n", port_name);

    const LADSPA_PortRangeHint& range = descriptor->PortRangeHints[port];
    const LADSPA_PortRangeHintDescriptor hint = range.HintDescriptor;
    const float lower = LADSPA_IS_HINT_BOUNDED_BELOW(hint) ? range.LowerBound : -9999.0f;
    const float upper = LADSPA_IS_HINT_BOUNDED_ABOVE(hint) ? range.UpperBound : 9999.0f;
    const std::string short_name = "descr_" + std::to_string(port);

    Property* prop = new Property;
    if (LADSPA_IS_HINT_TOGGLED(hint)) {
        prop->type = 1;
        prop->bool_value = false;
        prop->bridge = new Bool_Property_Bridge(port_name, &prop->bool_value, short_name);
    } else {
        const float d = default_value(hint, lower, upper);
        if (LADSPA_IS_HINT_INTEGER(hint)) {
            prop->type = 0;
            prop->int_value = trunc_to_int(d);
            prop->bridge = new Int_Property_Bridge(port_name, &prop->int_value, trunc_to_int(lower),
                                                   trunc_to_int(upper), short_name);
        } else {
            prop->type = 2;
            prop->float_value = std::trunc(d);
            prop->bridge = new Float_Property_Bridge(port_name, &prop->float_value, lower, upper, short_name);
        }
    }
    properties.push_back(prop);
}

LADSPA_Effect::~LADSPA_Effect() {
    destroy_instances();
    for (Property* prop : properties) {
        delete prop->bridge;
        delete prop;
    }
    if (library) dlclose(library);
}

void LADSPA_Effect::destroy_instances() {
    for (LADSPA_Handle* handle : {&instance, &instance_right}) {
        if (!*handle) continue;
        if (descriptor->deactivate) descriptor->deactivate(*handle);
        descriptor->cleanup(*handle);
        *handle = nullptr;
    }
}

void LADSPA_Effect::reset() {
    print_line("RESET called");
    if (!valid) return;
    instances_tried = true;
    destroy_instances();

    print_line("Creating instances");
    instance = descriptor->instantiate(descriptor, (unsigned long)rate);
    if (!stereo && instance) {
        instance_right = descriptor->instantiate(descriptor, (unsigned long)rate);
        // One channel alone would be lopsided: without both instances the effect passes audio through.
        if (!instance_right) destroy_instances();
    }
    if (!instance) return;

    print_line("Creating links");
    connect_ports(instance, false);
    if (instance_right) connect_ports(instance_right, true);

    for (std::vector<float>& w : work) std::fill(w.begin(), w.end(), 0.0f);
    print_line("Activating plugin");
    if (descriptor->activate) {
        descriptor->activate(instance);
        if (instance_right) descriptor->activate(instance_right);
    }
}

void LADSPA_Effect::connect_ports(LADSPA_Handle handle, bool right) {
    int audio_in = 0, audio_out = 0;
    size_t next_property = 0;
    for (unsigned long p = 0; p < descriptor->PortCount; p++) {
        const LADSPA_PortDescriptor pd = descriptor->PortDescriptors[p];
        LADSPA_Data* target;
        if (LADSPA_IS_PORT_CONTROL(pd)) {
            if (LADSPA_IS_PORT_OUTPUT(pd)) {
                print_line("Skpping output..");
                target = work[SCRATCH_OUT].data();
            } else if (LADSPA_IS_HINT_SAMPLE_RATE(descriptor->PortRangeHints[p].HintDescriptor)) {
                target = &rate;
            } else {
                target = &properties[next_property++]->port_value;
            }
        } else if (LADSPA_IS_PORT_INPUT(pd)) {
            const int n = audio_in++;
            Work_Buffer b = SCRATCH_IN;
            if (n == 0) b = (stereo || !right) ? IN_LEFT : IN_RIGHT;
            else if (n == 1 && stereo) b = IN_RIGHT;
            target = work[b].data();
        } else {
            const int m = audio_out++;
            Work_Buffer b = SCRATCH_OUT;
            if (m == 0) b = (stereo || !right) ? OUT_LEFT : OUT_RIGHT;
            else if (m == 1 && stereo) b = OUT_RIGHT;
            target = work[b].data();
        }
        descriptor->connect_port(handle, p, target);
    }
}

void LADSPA_Effect::process_buffer(int* buffer, int frames, bool stereo_buffer, int mix_rate) {
    if (!valid || !stereo_buffer || frames <= 0) return;
    if (!instances_tried || (LADSPA_Data)mix_rate != rate) {
        rate = (LADSPA_Data)mix_rate;
        reset();
    }
    if (!instance) return;

    for (int done = 0; done < frames;) {
        const int piece = std::min(frames - done, WORK_FRAMES);
        process_piece(buffer + done * 2, piece);
        done += piece;
    }
}

void LADSPA_Effect::process_piece(int* buffer, int frames) {
    for (Property* prop : properties) {
        switch (prop->type) {
        case 0: prop->port_value = (LADSPA_Data)prop->int_value; break;
        case 1: prop->port_value = prop->bool_value ? 1.0f : 0.0f; break;
        default: prop->port_value = prop->float_value; break;
        }
    }
    float* in_l = work[IN_LEFT].data();
    float* in_r = work[IN_RIGHT].data();
    for (int k = 0; k < frames; k++) {
        in_l[k] = (buffer[k * 2] >> 16) / 32768.0f;
        in_r[k] = (buffer[k * 2 + 1] >> 16) / 32768.0f;
    }

    descriptor->run(instance, (unsigned long)frames);
    if (instance_right) descriptor->run(instance_right, (unsigned long)frames);

    const float* out_l = work[OUT_LEFT].data();
    const float* out_r = work[OUT_RIGHT].data();
    for (int k = 0; k < frames; k++) {
        buffer[k * 2] = to_sample(out_l[k]);
        buffer[k * 2 + 1] = to_sample(out_r[k]);
    }
}

Property_Bridge_List LADSPA_Effect::get_properties() {
    Property_Bridge_List list;
    for (Property* prop : properties) list.push_back(prop->bridge);
    return list;
}
