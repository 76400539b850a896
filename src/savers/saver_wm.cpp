#include "savers/saver_wm.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include <zlib.h>

#include "common/components/audio/dds_helpers.h"
#include "common/components/data/dds_packer.h"
#include "common/components/data/error_line.h"
#include "loaders/loader_wm.h"
#include "trackercore/song.h"

namespace {
const char* const SOURCE = "savers/saver_wm";

// One layer's plain integer and flag fields, stored under these keys.
struct Layer_Int_Key {
    const char* key;
    int Instrument::Layer::*field;
};
struct Layer_Bool_Key {
    const char* key;
    bool Instrument::Layer::*field;
};
const Layer_Int_Key layer_int_keys[] = {
    {"channel_output", &Instrument::Layer::channel_output},
    {"nna_type", &Instrument::Layer::nna_type},
    {"dc_type", &Instrument::Layer::dc_type},
    {"dc_action", &Instrument::Layer::dc_action},
    {"volume_amount", &Instrument::Layer::volume_amount},
    {"volume_fadeuout", &Instrument::Layer::volume_fadeout},
    {"volume_random", &Instrument::Layer::volume_random},
    {"pan_default", &Instrument::Layer::pan_default},
    {"pitch_separation", &Instrument::Layer::pitch_separation},
    {"pitch_center", &Instrument::Layer::pitch_center},
    {"pan_random", &Instrument::Layer::pan_random},
    {"pitch_default_cutoff", &Instrument::Layer::pitch_default_cutoff},
    {"pitch_default_Q", &Instrument::Layer::pitch_default_Q},
};
const Layer_Bool_Key layer_bool_keys[] = {
    {"override_instrument_output", &Instrument::Layer::override_instrument_output},
    {"pan_use_default", &Instrument::Layer::pan_use_default},
    {"pitch_use_as_filter", &Instrument::Layer::pitch_use_as_filter},
    {"pitch_use_default_cutoff", &Instrument::Layer::pitch_use_default_cutoff},
    {"pitch_use_default_Q", &Instrument::Layer::pitch_use_default_Q},
};

DDS layer_tree(Instrument::Layer& layer, const unsigned char* sample_table) {
    DDS t;
    for (const Layer_Int_Key& k : layer_int_keys) t.set_int_var(k.key, layer.*k.field);
    for (const Layer_Bool_Key& k : layer_bool_keys) t.set_int_var(k.key, layer.*k.field ? 1 : 0);
    t.set_int_var("pitch_filter_type", 0);
    DDS env;
    DDS_Helpers::get_envelope(&layer.volume_envelope, &env);
    t.set_dynamic_data_struct_var("volume_envelope", std::move(env));
    env = DDS();
    DDS_Helpers::get_envelope(&layer.panning_envelope, &env);
    t.set_dynamic_data_struct_var("panning_envelope", std::move(env));
    env = DDS();
    DDS_Helpers::get_envelope(&layer.pitch_envelope, &env);
    t.set_dynamic_data_struct_var("pitch_envelope", std::move(env));
    t.set_int_array_var("note_table", std::vector<int>(layer.note_table, layer.note_table + NOTE_COUNT));
    t.set_int_array_var("sample_table", std::vector<int>(sample_table, sample_table + NOTE_COUNT));
    return t;
}
}  // namespace

void Saver_WM::get_dds_from_sample(Sample* sample, DDS* dds) {
    dds->set_str_var("name", sample->name);
    dds->set_int_var("def_volume", sample->def_volume);
    dds->set_int_var("glb_volume", sample->glb_volume);
    dds->set_int_var("def_panning_active", sample->def_panning_active ? 1 : 0);
    dds->set_int_var("def_panning", sample->def_panning);
    dds->set_int_var("vibrato_type", sample->vibrato_type);
    dds->set_int_var("vibrato_speed", sample->vibrato_speed);
    dds->set_int_var("vibrato_depth", sample->vibrato_depth);
    dds->set_int_var("vibrato_rate", sample->vibrato_rate);
    dds->set_int_var("in_use", sample->in_use ? 1 : 0);
    if (sample->in_use) {
        DDS data;
        DDS_Helpers::get_sample_data(&sample->data, &data);
        dds->set_dynamic_data_struct_var("data", std::move(data));
    }
}

std::vector<int> Saver_WM::compress_pattern(Pattern* pattern, bool* has_cells) {
    std::vector<int> out;
    int last_mask[Pattern::CHANNELS] = {};
    Note last[Pattern::CHANNELS];
    for (Note& n : last) n = Note{255, 255, 255, 255, 0};
    bool any = false;
    for (int row = 0; row < pattern->get_length(); row++) {
        for (int c = 0; c < Pattern::CHANNELS; c++) {
            Note n = pattern->get_note(c, row);
            if (n.note == 255 && n.instrument == 255 && n.volume == 255 && n.command == 255 && n.parameter == 0)
                continue;
            any = true;
            int mask = 0;
            if (n.note < 255) mask |= (n.note != last[c].note) ? 1 : 16;
            if (n.instrument < 255) mask |= (n.instrument != last[c].instrument) ? 2 : 32;
            if (n.volume < 255) mask |= (n.volume != last[c].volume) ? 4 : 64;
            if (!(n.command == 255 && n.parameter == 0)) {
                if (n.command == last[c].command && n.parameter == last[c].parameter) {
                    mask |= 128;
                } else {
                    mask |= 8;
                    last[c].command = n.command;
                    last[c].parameter = n.parameter;
                }
            }
            if (n.note < 255) last[c].note = n.note;
            if (n.instrument < 255) last[c].instrument = n.instrument;
            if (n.volume < 255) last[c].volume = n.volume;
            if (mask == last_mask[c]) {
                out.push_back(c + 1);
            } else {
                out.push_back((c + 1) | 128);
                out.push_back(mask);
                last_mask[c] = mask;
            }
            if (mask & 1) out.push_back(n.note == NOTE_OFF ? 255 : (n.note == NOTE_CUT ? 254 : n.note));
            if (mask & 2) out.push_back((n.instrument + 1) & 0xFF);
            if (mask & 4) out.push_back(n.volume);
            if (mask & 8) {
                out.push_back((n.command + 1) & 0xFF);
                out.push_back(n.parameter);
            }
        }
        out.push_back(0);
    }
    if (has_cells) *has_cells = any;
    return out;
}

void Saver_WM::get_dds_from_pattern(Pattern* pattern, DDS* dds) {
    dds->set_int_var("rows", pattern->get_length());
    dds->set_int_array_var("compressed_block", compress_pattern(pattern));
}

void Saver_WM::get_dds_from_instrument(Instrument* instrument, DDS* dds, bool include_samples) {
    dds->set_str_var("name", instrument->name);
    dds->set_int_var("channel_output", instrument->channel_output);

    // In instrument files the tables name positions in the file's own sample list.
    std::vector<int> file_samples;
    int position_of[Song::MAX_SAMPLES];
    for (int& p : position_of) p = -1;
    if (include_samples) {
        for (int l = 0; l < Instrument::LAYERS; l++)
            for (int n = 0; n < NOTE_COUNT; n++) {
                int s = instrument->layers[l].sample_table[n];
                if (s < Song::MAX_SAMPLES && position_of[s] < 0) {
                    position_of[s] = (int)file_samples.size();
                    file_samples.push_back(s);
                }
            }
    }
    VectorPointer<DDS> layers;
    for (Instrument::Layer& layer : instrument->layers) {
        unsigned char table[NOTE_COUNT];
        for (int n = 0; n < NOTE_COUNT; n++) {
            int s = layer.sample_table[n];
            table[n] = (include_samples && s < Song::MAX_SAMPLES) ? (unsigned char)position_of[s] : (unsigned char)s;
        }
        layers.push_back(new DDS(layer_tree(layer, table)));
    }
    dds->set_dynamic_data_struct_array_var("layers", std::move(layers));
    if (!include_samples) return;
    VectorPointer<DDS> samples;
    for (int s : file_samples) {
        DDS* t = new DDS;
        get_dds_from_sample(song->get_sample(s), t);
        samples.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("samples", std::move(samples));
}

void Saver_WM::get_dds_from_song(DDS* dds) {
    Song::Song_Variables& v = *song->get_variables();
    DDS vars;
    vars.set_str_var("title", v.name);
    vars.set_str_var("message", v.message);
    vars.set_int_var("row_hilight_major", v.row_hilight_major);
    vars.set_int_var("row_hilight_minor", v.row_hilight_minor);
    vars.set_int_var("mixing_volume", v.mixing_volume);
    vars.set_int_var("stereo_separation", v.stereo_separation);
    vars.set_int_var("use_stereo", v.use_stereo ? 1 : 0);
    for (const Playback_Rules::Entry& rule : Playback_Rules::list())
        vars.set_int_var(rule.key, rule.flag ? (v.rules.*rule.flag ? 1 : 0) : v.rules.*rule.number);
    std::vector<std::string> macros;
    for (int i = 0; i < Midi_Config::MACROS; i++) macros.push_back(v.midi_config.text(i));
    vars.set_str_array_var("midi_macros", std::move(macros));
    dds->set_dynamic_data_struct_var("variables", std::move(vars));

    Song::Initial_Variables& iv = *song->get_initial_variables();
    DDS initial;
    initial.set_int_var("global_volume", iv.global_volume);
    initial.set_int_var("speed", iv.speed);
    initial.set_int_var("tempo", iv.tempo);
    VectorPointer<DDS> channels;
    for (const Song::Initial_Variables::Channel_State& ch : iv.channel) {
        DDS* t = new DDS;
        t->set_int_var("pan", ch.pan);
        t->set_int_var("volume", ch.volume);
        t->set_int_var("surround", ch.surround ? 1 : 0);
        t->set_int_var("mute", ch.mute ? 1 : 0);
        channels.push_back(t);
    }
    initial.set_dynamic_data_struct_array_var("channel", std::move(channels));
    dds->set_dynamic_data_struct_var("initial_variables", std::move(initial));

    std::vector<int> orders;
    for (int i = 0; i < Song::MAX_ORDERS; i++) orders.push_back(song->get_order(i));
    dds->set_int_array_var("order_list", std::move(orders));

    VectorPointer<DDS> samples;
    for (int i = 0; i < Song::MAX_SAMPLES; i++) {
        // Empty slots with a name are kept too: modules write text into sample names.
        if (!song->get_sample(i)->in_use && song->get_sample(i)->name.empty()) continue;
        DDS* t = new DDS;
        get_dds_from_sample(song->get_sample(i), t);
        t->set_int_var("index", i);
        samples.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("samples", std::move(samples));

    VectorPointer<DDS> instruments;
    for (int i = 0; i < Song::MAX_INSTRUMENTS; i++) {
        DDS* t = new DDS;
        get_dds_from_instrument(song->get_instrument(i), t, false);
        t->set_int_var("index", i);
        instruments.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("instruments", std::move(instruments));

    VectorPointer<DDS> patterns;
    for (int i = 0; i < Song::MAX_PATTERNS; i++) {
        Pattern* p = song->get_pattern(i);
        bool has_cells = false;
        std::vector<int> block = compress_pattern(p, &has_cells);
        // An empty pattern with its own length is kept too, or it would come back with 64 rows.
        if (!has_cells && p->get_length() == Pattern::DEFAULT_LENGTH) continue;
        DDS* t = new DDS;
        t->set_int_var("rows", p->get_length());
        t->set_int_array_var("compressed_block", std::move(block));
        t->set_int_var("index", i);
        patterns.push_back(t);
    }
    dds->set_dynamic_data_struct_array_var("patterns", std::move(patterns));

    DDS mixer_tree;
    if (mixer) DDS_Helpers::get_mixer_data(mixer, &mixer_tree);
    dds->set_dynamic_data_struct_var("mixer", std::move(mixer_tree));
}

int Saver_WM::write_file(const char* file, const char* magic, const DDS& tree) {
    // Everything is packed and checked before the file is touched: a file the loader would
    // refuse must not replace one it can read.
    std::vector<unsigned char> packed;
    std::vector<unsigned char> compressed;
    uLongf compressed_size = 0;
    int result = Z_OK;
    try {
        DDSPacker::pack(&tree, packed, 0);
        // Room for zlib's worst case: data that does not compress (noise samples) grows a
        // little, and refusing to save it would lose the song.
        compressed_size = compressBound((uLong)packed.size());
        compressed.resize(compressed_size);
        result = compress(compressed.data(), &compressed_size, packed.data(), (uLong)packed.size());
    } catch (const std::bad_alloc&) {
        result = Z_MEM_ERROR;
    }
    if (result != Z_OK) {
        ERROR_LINE(SOURCE, 170, "cant zlib compress this!");
        if (result == Z_BUF_ERROR) ERROR_LINE(SOURCE, 172, "DST Buffer is to small?");
        if (result == Z_MEM_ERROR) ERROR_LINE(SOURCE, 174, "Not enough memory!");
        return refuse_save(result == Z_MEM_ERROR ? "not enough memory" : "the data could not be compressed");
    }
    const size_t packed_size = packed.size();
    if (const char* refusal = Loader_WM::refuse_sizes(packed_size, compressed_size, Loader_WM::physical_memory())) {
        std::string why = std::string("it could not be loaded again (") + refusal + ")";
        ERROR_LINE(SOURCE, __LINE__, std::string("Cannot save ") + file + ": " + why);
        return refuse_save(why);
    }
    packed = std::vector<unsigned char>();

    if (open_for_save(file) != 0) return -1;
    if (std::strcmp(magic, "WDMM") == 0) std::printf("writer going\n");
    writer.store_byte_array((const unsigned char*)magic, 4);
    writer.store_byte(VERSION_MAJOR);
    writer.store_byte(VERSION_MINOR);
    std::printf("creating file...\n");
    writer.store_dword((unsigned)packed_size);
    writer.store_dword((unsigned)compressed_size);
    writer.store_byte_array(compressed.data(), (int)compressed_size);
    // Only a file that reached the disk whole is free of errors.
    if (finish_save() != 0) return -1;
    std::printf("writer no error\n");
    return 0;
}

int Saver_WM::save(const char* file) {
    if (!has_extension(file, ".wm", ".WM")) return -2;
    std::printf("file is %s\n", file);
    std::printf("type recognized\n");
    if (!song) return refuse_save("no song to save");
    DDS tree;
    get_dds_from_song(&tree);
    return write_file(file, "WDMM", tree);
}

int Saver_WM::save_sample(const char* file, int slot) {
    if (!has_extension(file, ".ws", ".WS")) return -2;
    Sample* sample = song ? song->get_sample(slot) : nullptr;
    if (!sample || !sample->in_use) return refuse_save("the sample slot is empty");
    DDS tree;
    get_dds_from_sample(sample, &tree);
    return write_file(file, "WDMS", tree);
}

int Saver_WM::save_instrument(const char* file, int slot) {
    if (!has_extension(file, ".wi", ".WI")) return -2;
    Instrument* instrument = song ? song->get_instrument(slot) : nullptr;
    if (!instrument) return refuse_save("no such instrument slot");
    DDS tree;
    get_dds_from_instrument(instrument, &tree, true);
    return write_file(file, "WDMI", tree);
}
