#include "common/components/audio/dds_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "common/components/audio/effect.h"
#include "common/components/audio/effect_chain.h"
#include "common/components/audio/effect_source_manager.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/sample_data.h"
#include "common/components/data/error_line.h"
#include "trackercore/envelope.h"

namespace DDS_Helpers {

namespace {
const char* const SOURCE = "common/components/audio/dds_helpers";

void set_output_list(DDS* dds, const std::vector<std::vector<int>>& outputs) {
    VectorPointer<DDS> list;
    for (const std::vector<int>& o : outputs) {
        DDS* t = new DDS;
        t->set_int_var("index", o[0]);
        t->set_int_var("initial_send_level", o[1]);
        t->set_int_var("send_controller", o[2]);
        list.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("outputs", std::move(list));
}

struct Stored_Output {
    int index = -1;
    int send_level = 127;
    int send_control = -1;
};

// The outputs of a stored bus that can exist in this mixer; a target that does not exist
// (or, for buffers, one that would make a cycle) is dropped rather than redirected.
std::vector<Stored_Output> read_outputs(DDS* bus, int highest_target) {
    std::vector<Stored_Output> result;
    const VectorPointer<DDS>* list = read_tree_array(bus, "outputs");
    if (!list) return result;
    for (DDS* t : *list) {
        if (!t) continue;
        if ((int)result.size() >= MAX_LOADED_OUTPUTS) {
            ERROR_LINE(SOURCE, 63, "Too many outputs in stored bus, the rest are dropped");
            break;
        }
        Stored_Output o;
        read_int(t, "index", o.index);
        read_int(t, "initial_send_level", o.send_level);
        read_int(t, "send_controller", o.send_control);
        if (o.index < -1 || o.index > highest_target) {
            ERROR_LINE(SOURCE, 72, "Stored output to unexisting buffer " + std::to_string(o.index) + " dropped");
            continue;
        }
        result.push_back(o);
    }
    return result;
}
}  // namespace

bool read_int(const DDS* dds, const char* key, int& out) {
    if (!dds || !dds->is_var(key, DDS::TYPE_INT)) return false;
    out = dds->get_int_var(key);
    return true;
}

bool read_string(const DDS* dds, const char* key, std::string& out) {
    if (!dds || !dds->is_var(key, DDS::TYPE_STRING)) return false;
    out = dds->get_str_var(key);
    return true;
}

const std::vector<int>* read_int_array(DDS* dds, const char* key) {
    if (!dds || !dds->is_var(key, DDS::TYPE_INT_ARRAY)) return nullptr;
    return &dds->get_int_array_var(key);
}

DDS* read_tree(const DDS* dds, const char* key) {
    if (!dds || !dds->is_var(key, DDS::TYPE_DDS)) return nullptr;
    return dds->get_dynamic_data_struct_var(key);
}

const VectorPointer<DDS>* read_tree_array(DDS* dds, const char* key) {
    if (!dds || !dds->is_var(key, DDS::TYPE_DDS_ARRAY)) return nullptr;
    return &dds->get_dynamic_data_struct_array_var(key);
}

void get_envelope(const Envelope* envelope, DDS* dds) {
    dds->set_int_var("max_nodes", envelope->get_max_nodes());
    dds->set_int_var("min_nodes", envelope->get_min_nodes());
    dds->set_int_var("node_count", envelope->get_node_count());
    dds->set_int_var("enabled", envelope->is_enabled());
    dds->set_int_var("has_loop", envelope->is_loop_enabled());
    dds->set_int_var("loop_begin", envelope->get_loop_begin());
    dds->set_int_var("loop_end", envelope->get_loop_end());
    dds->set_int_var("has_sustain_loop", envelope->is_sustain_loop_enabled());
    dds->set_int_var("sustain_loop_begin", envelope->get_sustain_loop_begin());
    dds->set_int_var("sustain_loop_end", envelope->get_sustain_loop_end());
    dds->set_int_var("carry", envelope->is_carry_enabled());
    std::vector<int> offsets, heights;
    for (int i = 0; i < envelope->get_node_count(); i++) {
        offsets.push_back(envelope->get_node_offset(i));
        heights.push_back(envelope->get_node_height(i));
    }
    dds->set_int_array_var("node_offsets", std::move(offsets));
    dds->set_int_array_var("node_heights", std::move(heights));
}

void set_envelope(DDS* dds, Envelope* envelope) {
    envelope->reset();
    int count = 0;
    read_int(dds, "node_count", count);
    const std::vector<int>* offsets = read_int_array(dds, "node_offsets");
    const std::vector<int>* heights = read_int_array(dds, "node_heights");
    if (!offsets || (int)offsets->size() != count) {
        ERROR_LINE(SOURCE, 128, "Wrong node offset count in envelope");
        return;
    }
    if (!heights || (int)heights->size() != count) {
        ERROR_LINE(SOURCE, 132, "Wrong node height count in envelope");
        return;
    }
    // Adding through the envelope keeps its invariants (offsets rising, heights in range,
    // node limit) whatever the file says.
    for (int i = 0; i < count; i++) envelope->add_node_at_offset((*offsets)[i], (*heights)[i]);
    int value = 0;
    if (read_int(dds, "enabled", value)) envelope->set_enabled(value != 0);
    if (read_int(dds, "has_loop", value)) envelope->set_loop_enabled(value != 0);
    if (read_int(dds, "loop_begin", value)) envelope->set_loop_begin(value);
    if (read_int(dds, "loop_end", value)) envelope->set_loop_end(value);
    if (read_int(dds, "has_sustain_loop", value)) envelope->set_sustain_loop_enabled(value != 0);
    if (read_int(dds, "sustain_loop_begin", value)) envelope->set_sustain_loop_begin(value);
    if (read_int(dds, "sustain_loop_end", value)) envelope->set_sustain_loop_end(value);
    if (read_int(dds, "carry", value)) envelope->set_carry_enabled(value != 0);
}

void get_sample_data(const Sample_Data* data, DDS* dds) {
    dds->set_int_var("c5_freq", data->get_c5_freq());
    dds->set_int_var("has_loop", data->is_loop_enabled());
    dds->set_int_var("has_pingpong_loop", data->is_loop_ping_pong());
    dds->set_int_var("loop_begin", data->get_loop_begin());
    dds->set_int_var("loop_end", data->get_loop_end());
    dds->set_int_var("is_16bits", data->is_16bit());
    dds->set_str_var("compression_type", "none");
    const unsigned char* frames = static_cast<const unsigned char*>(data->get_data_ptr());
    int size = frames ? data->get_size() : 0;
    if (!data->is_16bit()) {
        dds->set_data_var("data", frames, size);
        return;
    }
    // 16-bit frames are stored most significant byte first, whatever the host.
    std::vector<unsigned char> bytes((size_t)size * 2);
    const short* words = static_cast<const short*>(data->get_data_ptr());
    for (int i = 0; i < size; i++) {
        unsigned short w = (unsigned short)words[i];
        bytes[2 * i] = (unsigned char)(w >> 8);
        bytes[2 * i + 1] = (unsigned char)(w & 0xFF);
    }
    dds->set_data_var("data", bytes.data(), (int)bytes.size());
}

void set_sample_data(DDS* dds, Sample_Data* data) {
    int value = 0;
    if (read_int(dds, "c5_freq", value)) data->set_c5_freq(value);
    if (read_int(dds, "has_loop", value)) data->set_loop_enabled(value != 0);
    if (read_int(dds, "has_pingpong_loop", value)) data->set_loop_ping_pong(value != 0);
    if (read_int(dds, "loop_begin", value)) data->set_loop_begin(value);
    if (read_int(dds, "loop_end", value)) data->set_loop_end(value);
    bool is_16bit = read_int(dds, "is_16bits", value) && value != 0;
    std::string compression = "none";
    read_string(dds, "compression_type", compression);
    if (compression != "none") {
        ERROR_LINE(SOURCE, 190, "Unsupported compression");
        data->set_data_ptr(nullptr, 0, is_16bit);
        return;
    }
    int bytes = dds->is_var("data", DDS::TYPE_DATA) ? dds->get_data_var_size("data") : 0;
    int frames = is_16bit ? bytes / 2 : bytes;
    if (frames <= 0) {
        data->set_data_ptr(nullptr, 0, is_16bit);
        return;
    }
    const unsigned char* src = static_cast<const unsigned char*>(dds->get_data_var("data"));
    void* block = std::malloc((size_t)frames * (is_16bit ? 2 : 1));
    if (!block) {
        ERROR_LINE(SOURCE, 203, "Not enough memory for sample data");
        data->set_data_ptr(nullptr, 0, is_16bit);
        return;
    }
    if (is_16bit) {
        short* words = static_cast<short*>(block);
        for (int i = 0; i < frames; i++) words[i] = (short)(unsigned short)((src[2 * i] << 8) | src[2 * i + 1]);
    } else {
        std::memcpy(block, src, (size_t)frames);
    }
    data->set_data_ptr(block, frames, is_16bit);
}

void get_property_bridge_list_data(const Property_Bridge_List* list, VectorPointer<DDS>& out) {
    for (Property_Bridge* bridge : *list) {
        std::string type = bridge->get_type();
        DDS* t = new DDS;
        t->set_str_var("name", bridge->get_short_name());
        t->set_str_var("type", type);
        if (type == "int") t->set_int_var("value", static_cast<Int_Property_Bridge*>(bridge)->get());
        else if (type == "float") t->set_float_var("value", static_cast<Float_Property_Bridge*>(bridge)->get());
        else if (type == "bool") t->set_int_var("value", static_cast<Bool_Property_Bridge*>(bridge)->get());
        else if (type == "string") t->set_str_var("value", static_cast<String_Property_Bridge*>(bridge)->get());
        else if (type == "options") t->set_int_var("value", static_cast<Options_Property_Bridge*>(bridge)->get());
        else {
            ERROR_LINE(SOURCE, 229, "Cant save property, unknown type: " + type);
            delete t;
            continue;
        }
        out.push_back(t);
    }
}

void set_property_bridge_list_data(const VectorPointer<DDS>& in, const Property_Bridge_List* list) {
    // Several bridges may share one name (the chorus's wet and dry levels do): the n-th stored
    // property of a name and type goes to the n-th bridge of that name and type.
    std::map<std::pair<std::string, std::string>, int> seen;
    for (DDS* t : in) {
        std::string name, type;
        if (!t || !read_string(t, "name", name) || !read_string(t, "type", type)) continue;
        if (type != "int" && type != "float" && type != "bool" && type != "string" && type != "options") {
            ERROR_LINE(SOURCE, 244, "Cant load property, unknown type: " + type);
            continue;
        }
        int wanted = seen[{name, type}]++;
        Property_Bridge* bridge = nullptr;
        for (Property_Bridge* b : *list)
            if (b->get_short_name() == name && b->get_type() == type && wanted-- == 0) {
                bridge = b;
                break;
            }
        if (!bridge) continue;

        if (type == "float") {
            auto* fb = dynamic_cast<Float_Property_Bridge*>(bridge);
            if (!fb) {
                ERROR_LINE(SOURCE, 259, "Bridge is not float?");
                continue;
            }
            if (t->is_var("value", DDS::TYPE_FLOAT)) fb->set(t->get_float_var("value"));
            continue;
        }
        if (type == "string") {
            std::string value;
            auto* sb = dynamic_cast<String_Property_Bridge*>(bridge);
            if (sb && read_string(t, "value", value)) sb->set(value);
            continue;
        }
        int value = 0;
        if (!read_int(t, "value", value)) continue;
        if (type == "int") {
            auto* ib = dynamic_cast<Int_Property_Bridge*>(bridge);
            if (!ib) {
                std::printf("Warning: int bridge failed dynamic cast!\n");
                continue;
            }
            ib->set(value);
        } else if (type == "bool") {
            if (auto* bb = dynamic_cast<Bool_Property_Bridge*>(bridge)) bb->set(value != 0);
        } else if (auto* ob = dynamic_cast<Options_Property_Bridge*>(bridge)) {
            // The options bridge stores what it is given; an index past the list is no option.
            if (value >= 0 && value < ob->get_option_count()) ob->set(value);
        }
    }
}

void get_effect_chain_data(Effect_Chain* chain, DDS* dds) {
    VectorPointer<DDS> effects;
    for (int i = 0; i < chain->get_effect_count(); i++) {
        Effect* effect = chain->get_effect(i);
        DDS* t = new DDS;
        t->set_str_var("name", effect->get_name());
        Property_Bridge_List props = effect->get_properties();
        VectorPointer<DDS> controls;
        get_property_bridge_list_data(&props, controls);
        t->set_dynamic_data_struct_array_var("controls", std::move(controls));
        effects.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("effects", std::move(effects));
}

void set_effect_chain_data(DDS* dds, Effect_Chain* chain, int* budget) {
    const VectorPointer<DDS>* effects = read_tree_array(dds, "effects");
    if (!effects) return;
    Effect_Source_Manager* sources = Effect_Source_Manager::get_singleton_instance();
    for (DDS* t : *effects) {
        std::string name;
        if (!t || !read_string(t, "name", name)) continue;
        if (budget && *budget <= 0) {
            ERROR_LINE(SOURCE, 312, "Too many effects in stored mixer, '" + name + "' dropped");
            continue;
        }
        Effect* effect = sources ? sources->instantiate_effect_by_name(name) : nullptr;
        if (!effect) {
            ERROR_LINE(SOURCE, 317, "Effect '" + name + "' not found!!");
            continue;
        }
        if (budget) (*budget)--;
        chain->add_effect(effect);
        if (const VectorPointer<DDS>* controls = read_tree_array(t, "controls")) {
            Property_Bridge_List props = effect->get_properties();
            set_property_bridge_list_data(*controls, &props);
        }
    }
}

void get_mixer_data(Mixer* mixer, DDS* dds) {
    dds->set_float_var("preamp", mixer->get_preamp());
    VectorPointer<DDS> channels;
    for (int c = 0; c < mixer->get_channel_count(); c++) {
        DDS* t = new DDS;
        t->set_str_var("name", "Channel " + std::to_string(c));
        DDS chain;
        get_effect_chain_data(mixer->get_channel_effect_chain(c), &chain);
        t->set_dynamic_data_struct_var("effect_chain", std::move(chain));
        std::vector<std::vector<int>> outputs;
        for (int o = 0; o < mixer->get_channel_output_count(c); o++)
            outputs.push_back({mixer->get_channel_output_buffer_index(c, o), mixer->get_channel_output_send_level(c, o),
                               mixer->get_channel_output_send_control(c, o)});
        set_output_list(t, outputs);
        channels.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("channels", std::move(channels));

    VectorPointer<DDS> buffers;
    for (int b = 0; b < mixer->get_buffer_count(); b++) {
        DDS* t = new DDS;
        t->set_str_var("name", mixer->get_buffer_name(b));
        DDS chain;
        get_effect_chain_data(mixer->get_buffer_effect_chain(b), &chain);
        t->set_dynamic_data_struct_var("effect_chain", std::move(chain));
        std::vector<std::vector<int>> outputs;
        for (int o = 0; o < mixer->get_buffer_output_count(b); o++)
            outputs.push_back({mixer->get_buffer_output_buffer_index(b, o), mixer->get_buffer_output_send_level(b, o),
                               mixer->get_buffer_output_send_control(b, o)});
        set_output_list(t, outputs);
        buffers.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("buffers", std::move(buffers));
}

void set_mixer_data(DDS* dds, Mixer* mixer) {
    int effect_budget = MAX_LOADED_EFFECTS;
    if (const VectorPointer<DDS>* buffers = read_tree_array(dds, "buffers")) {
        int added = 0;
        for (DDS* t : *buffers) {
            if (!t) continue;
            if (added == MAX_LOADED_BUFFERS) {
                ERROR_LINE(SOURCE, 370, "Too many buffers in stored mixer, the rest are dropped");
                break;
            }
            added++;
            mixer->add_buffer();
            int b = mixer->get_buffer_count() - 1;
            std::string name;
            if (read_string(t, "name", name)) mixer->set_buffer_name(b, name);
            if (DDS* chain = read_tree(t, "effect_chain"))
                set_effect_chain_data(chain, mixer->get_buffer_effect_chain(b), &effect_budget);
            if (!t->is_var("outputs", DDS::TYPE_DDS_ARRAY)) continue;
            // A buffer may only send to lower buffers, which are already in place.
            std::vector<Stored_Output> outputs = read_outputs(t, b - 1);
            while (mixer->get_buffer_output_count(b) > 0) mixer->remove_buffer_output(b, 0);
            for (const Stored_Output& o : outputs) {
                mixer->add_buffer_output(b);
                int i = mixer->get_buffer_output_count(b) - 1;
                mixer->set_buffer_output_buffer_index(b, i, o.index);
                mixer->set_buffer_output_send_level(b, i, o.send_level);
                mixer->set_buffer_output_send_control(b, i, o.send_control);
            }
        }
    }
    if (const VectorPointer<DDS>* channels = read_tree_array(dds, "channels")) {
        int c = 0;
        for (DDS* t : *channels) {
            if (c >= mixer->get_channel_count()) break;
            int ch = c++;
            if (!t) continue;
            if (DDS* chain = read_tree(t, "effect_chain"))
                set_effect_chain_data(chain, mixer->get_channel_effect_chain(ch), &effect_budget);
            if (!t->is_var("outputs", DDS::TYPE_DDS_ARRAY)) continue;
            std::vector<Stored_Output> outputs = read_outputs(t, mixer->get_buffer_count() - 1);
            while (mixer->get_channel_output_count(ch) > 0) mixer->remove_channel_output(ch, 0);
            for (const Stored_Output& o : outputs) {
                mixer->add_channel_output(ch);
                int i = mixer->get_channel_output_count(ch) - 1;
                mixer->set_channel_output_buffer_index(ch, i, o.index);
                mixer->set_channel_output_send_level(ch, i, o.send_level);
                mixer->set_channel_output_send_control(ch, i, o.send_control);
            }
        }
    }
}

void reset_mixer(Mixer* mixer) {
    while (mixer->get_buffer_count() > 0) mixer->remove_buffer(mixer->get_buffer_count() - 1);
    for (int c = 0; c < mixer->get_channel_count(); c++) {
        Effect_Chain* chain = mixer->get_channel_effect_chain(c);
        while (chain->get_effect_count() > 0) chain->remove_effect(chain->get_effect_count() - 1);
        while (mixer->get_channel_output_count(c) > 0) mixer->remove_channel_output(c, 0);
        mixer->add_channel_output(c);
    }
}

}  // namespace DDS_Helpers
