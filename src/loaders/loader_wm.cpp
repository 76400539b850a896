#include "loaders/loader_wm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <unistd.h>

#include <zlib.h>

#include "common/components/audio/dds_helpers.h"
#include "common/components/data/dds_packer.h"
#include "common/components/data/error_line.h"
#include "trackercore/song.h"

using DDS_Helpers::read_int;
using DDS_Helpers::read_int_array;
using DDS_Helpers::read_string;
using DDS_Helpers::read_tree;
using DDS_Helpers::read_tree_array;

namespace {
const char* const SOURCE = "loaders/loader_wm";
constexpr unsigned HEADER_SIZE = 14;

int clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void read_int_into(DDS* dds, const char* key, Int_Property_Bridge& bridge) {
    int v;
    if (read_int(dds, key, v)) bridge.set(v);
}

void read_bool_into(DDS* dds, const char* key, Bool_Property_Bridge& bridge) {
    int v;
    if (read_int(dds, key, v)) bridge.set(v != 0);
}

// Kept as stored within a byte, like the IT loader does: the player treats values past the
// named options as none of them.
void read_byte_into(DDS* dds, const char* key, int& field) {
    int v;
    if (read_int(dds, key, v)) field = clamp(v, 0, 255);
}

// Where a missing section ends the transfer.
void broken(int line, const char* what) { ERROR_LINE(SOURCE, line, what); }

// How many bytes a zlib stream really inflates to, counted through a small buffer and never
// kept; limit + 1 once it passes `limit`, -1 when the stream is damaged or cut short. The
// header's size is only a claim: the packed tree is allocated for what this finds.
long long inflated_size(const unsigned char* data, size_t size, unsigned long long limit) {
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK) return -1;
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = (uInt)size;
    unsigned char scratch[65536];
    unsigned long long total = 0;
    int result = Z_OK;
    while (result == Z_OK && total <= limit) {
        stream.next_out = scratch;
        stream.avail_out = sizeof scratch;
        result = inflate(&stream, Z_NO_FLUSH);
        total += sizeof scratch - stream.avail_out;
        // Nothing more in and nothing out: the stream stops before its end.
        bool stuck = result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0;
        if (result == Z_BUF_ERROR || stuck) result = Z_DATA_ERROR;
    }
    inflateEnd(&stream);
    if (total > limit) return (long long)limit + 1;
    return result == Z_STREAM_END ? (long long)total : -1;
}
}  // namespace

Loader_WM::Loader_WM() { format_name = "Wendmoor"; }

const char* Loader_WM::refuse_sizes(unsigned long long packed, unsigned long long compressed,
                                    unsigned long long memory) {
    const unsigned long long field_max = 0xFFFFFFFFull;
    if (packed > field_max || compressed > field_max) return "uncompressed file is just too big, this cant be true";
    // A stream may exceed the packed size by zlib's worst-case overhead (incompressible data).
    if (compressed > compressBound((uLong)packed)) return "File compressed cant be greater than uncompressed";
    if (packed > compressed * MAX_COMPRESSION_RATIO + 64) return "uncompressed size cant come from this compressed size";
    // The packed tree is held twice (bytes and tree) next to the compressed stream.
    if (2 * packed + compressed > memory) return "uncompressed file is just too big, this cant be true";
    return nullptr;
}

unsigned long long Loader_WM::physical_memory() {
    long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return ~0ull;
    return (unsigned long long)pages * (unsigned long long)page_size;
}

bool Loader_WM::check_version(unsigned char major, unsigned char minor) {
    if (major >= 2) {
        ERROR_LINE(SOURCE, 62, "File format is too new!! I cant read this");
        return false;
    }
    if (minor > 1)
        ERROR_LINE(SOURCE, 66, "This file was created with a sightly newer version of this program, consider upgrading");
    return true;
}

bool Loader_WM::test(const char* file) {
    if (reader.open(file) != 0) return false;
    unsigned char header[6] = {};
    reader.get_byte_array(header, 6);
    bool ok = reader.get_file_size() >= 6 && std::memcmp(header, "WDMM", 4) == 0 && check_version(header[4], header[5]);
    reader.close();
    return ok;
}

Loader::Error Loader_WM::read_container(const char* file, const char* magic, DDS& tree) {
    if (reader.is_open()) return FILE_IN_USE;
    if (reader.open(file) != 0) return FILE_CANNOT_OPEN;
    if (reader.get_file_size() < HEADER_SIZE) return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    unsigned char id[4];
    reader.get_byte_array(id, 4);
    if (std::memcmp(id, magic, 4) != 0) return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    unsigned char major = reader.get_byte();
    unsigned char minor = reader.get_byte();
    if (!check_version(major, minor)) return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    unsigned uncompressed_size = reader.get_dword();
    unsigned compressed_size = reader.get_dword();
    if (const char* refusal = refuse_sizes(uncompressed_size, compressed_size, physical_memory())) {
        ERROR_LINE(SOURCE, __LINE__, refusal);
        return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    }
    if (compressed_size > reader.bytes_left()) {
        ERROR_LINE(SOURCE, 103, "File is shorter than its compressed data");
        return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    }
    std::vector<unsigned char> compressed, packed;
    try {
        compressed.resize(compressed_size);
    } catch (const std::bad_alloc&) {
        ERROR_LINE(SOURCE, __LINE__, "Not enough memory!");
        return abort_load(FILE_ERROR);
    }
    // Block reads take an int count; a stream may be up to 4 GiB.
    for (size_t done = 0; done < compressed.size();) {
        size_t chunk = std::min<size_t>(compressed.size() - done, 1u << 30);
        reader.get_byte_array(compressed.data() + done, (int)chunk);
        done += chunk;
    }
    if (reader.error_loading()) return abort_load(FILE_ERROR);
    // A stream that holds more than the header says, or is damaged, is refused before the
    // packed tree is allocated; one that holds less gets no more room than it fills.
    long long real_size = inflated_size(compressed.data(), compressed.size(), uncompressed_size);
    if (real_size < 0 || real_size > (long long)uncompressed_size) {
        ERROR_LINE(SOURCE, 116, "Couldnt decompress buffer!");
        return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    }
    try {
        packed.resize((size_t)real_size);
    } catch (const std::bad_alloc&) {
        ERROR_LINE(SOURCE, __LINE__, "Not enough memory!");
        return abort_load(FILE_ERROR);
    }
    uLongf unpacked_size = (uLongf)real_size;
    // uncompress wants a non-null destination even for an empty tree.
    unsigned char dummy = 0;
    if (uncompress(packed.empty() ? &dummy : packed.data(), &unpacked_size, compressed.data(), compressed_size) != Z_OK) {
        ERROR_LINE(SOURCE, 116, "Couldnt decompress buffer!");
        return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    }
    compressed = std::vector<unsigned char>();
    // A failed unpack keeps what was read before the damage.
    DDSPacker::unpack(&tree, packed.data(), (unsigned)unpacked_size);
    reader.close();
    return SUCCESS;
}

Loader::Error Loader_WM::load(const char* file, bool) {
    if (reader.is_open()) return FILE_IN_USE;
    staged.clear();
    Error e = read_container(file, "WDMM", staged);
    if (e != SUCCESS) {
        staged.clear();
        return e;
    }
    file_name = file;
    return SUCCESS;
}

void Loader_WM::free_info(bool) { staged.clear(); }

void Loader_WM::set_dds_to_sample(DDS* dds, Sample* sample) {
    read_string(dds, "name", sample->name);
    read_int_into(dds, "def_volume", sample->def_volume_prop);
    read_int_into(dds, "glb_volume", sample->glb_volume_prop);
    read_bool_into(dds, "def_panning_active", sample->def_panning_active_prop);
    read_int_into(dds, "def_panning", sample->def_panning_prop);
    read_byte_into(dds, "vibrato_type", sample->vibrato_type);
    read_int_into(dds, "vibrato_speed", sample->vibrato_speed_prop);
    read_int_into(dds, "vibrato_depth", sample->vibrato_depth_prop);
    read_int_into(dds, "vibrato_rate", sample->vibrato_rate_prop);
    int in_use = 0;
    read_int(dds, "in_use", in_use);
    DDS* data = in_use ? read_tree(dds, "data") : nullptr;
    // A slot in use without data would be a sample with nothing to play.
    sample->in_use = data != nullptr;
    if (data) DDS_Helpers::set_sample_data(data, &sample->data);
}

void Loader_WM::set_dds_to_pattern(DDS* dds, Pattern* pattern) {
    pattern->clear();
    int rows = Pattern::DEFAULT_LENGTH;
    read_int(dds, "rows", rows);
    // Lengths the pattern cannot hold keep the older reading: the low byte.
    pattern->set_length(rows >= 1 && rows <= Pattern::MAX_LENGTH ? rows : rows & 0xFF);
    const std::vector<int>* block = read_int_array(dds, "compressed_block");
    if (!block) return;

    int last_mask[Pattern::CHANNELS] = {};
    Note last[Pattern::CHANNELS];
    size_t pos = 0, size = block->size();
    auto next = [&](int& out) {
        if (pos >= size) return false;
        out = (*block)[pos++] & 0xFF;
        return true;
    };
    bool wrote = false;
    int row = 0;
    while (row < pattern->get_length()) {
        int channel_byte;
        if (!next(channel_byte)) break;
        if (channel_byte == 0) {
            row++;
            continue;
        }
        int c = (channel_byte - 1) & 63;
        if (channel_byte & 128) {
            int mask;
            if (!next(mask)) break;
            last_mask[c] = mask;
        }
        int mask = last_mask[c], v, p;
        Note note;
        if (mask & 1) {
            if (!next(v)) break;
            last[c].note = v < NOTE_COUNT || v == NOTE_FADE ? v : (v == 255 ? NOTE_OFF : (v == 254 ? NOTE_CUT : EMPTY_FIELD));
        }
        if (mask & 2) {
            if (!next(v)) break;
            last[c].instrument = (v >= 1 && v <= 99) ? v - 1 : EMPTY_FIELD;
        }
        if (mask & 4) {
            if (!next(v)) break;
            last[c].volume = v <= VOLUME_COLUMN_LAST ? v : EMPTY_FIELD;  // the column's ranges, XM's included
        }
        if (mask & 8) {
            if (!next(v) || !next(p)) break;
            last[c].command = v < 213 ? (unsigned char)(v - 1) : EMPTY_FIELD;
            last[c].parameter = (unsigned char)p;
        }
        if (mask & (1 | 16)) note.note = last[c].note;
        if (mask & (2 | 32)) note.instrument = last[c].instrument;
        if (mask & (4 | 64)) note.volume = last[c].volume;
        if (mask & (8 | 128)) {
            note.command = last[c].command;
            note.parameter = last[c].parameter;
        }
        pattern->get_note_ref(c, row) = note;
        wrote = true;
    }
    // Commit the last cell from the pattern's write cache.
    if (wrote) pattern->get_note_ref(0, 0);
}

void Loader_WM::set_dds_to_instrument(DDS* dds, Instrument* instrument) {
    std::string name;
    if (read_string(dds, "name", name)) instrument->name_prop.set(name);
    read_int_into(dds, "channel_output", instrument->channel_output_prop);

    // Samples carried by an instrument file go into free song slots; position -> slot.
    std::vector<int> slot_of;
    const VectorPointer<DDS>* samples = read_tree_array(dds, "samples");
    if (samples) {
        for (DDS* t : *samples) {
            int slot = song ? song->find_unused_sample_slot() : -1;
            if (t && slot >= 0) {
                Sample* s = song->get_sample(slot);
                s->reset(true);
                set_dds_to_sample(t, s);
                // A carried sample without data leaves its slot free; nothing can name it.
                if (!s->in_use) slot = -1;
            } else {
                slot = -1;
            }
            slot_of.push_back(slot);
        }
    }

    const VectorPointer<DDS>* layers = read_tree_array(dds, "layers");
    if (!layers) return;
    if (layers->size() > (size_t)Instrument::LAYERS)
        ERROR_LINE(SOURCE, 262, "This version doesnt support more than " + std::to_string(Instrument::LAYERS) + " layers.");
    for (int l = 0; l < Instrument::LAYERS && l < (int)layers->size(); l++) {
        DDS* t = (*layers)[l];
        if (!t) continue;
        Instrument::Layer& layer = instrument->layers[l];
        read_bool_into(t, "override_instrument_output", layer.override_instrument_output_prop);
        read_int_into(t, "channel_output", layer.channel_output_prop);
        read_byte_into(t, "nna_type", layer.nna_type);
        read_byte_into(t, "dc_type", layer.dc_type);
        read_byte_into(t, "dc_action", layer.dc_action);
        read_int_into(t, "volume_amount", layer.volume_amount_prop);
        read_int_into(t, "volume_fadeuout", layer.volume_fadeout_prop);
        read_int_into(t, "volume_random", layer.volume_random_prop);
        read_bool_into(t, "pan_use_default", layer.pan_use_default_prop);
        read_int_into(t, "pan_default", layer.pan_default_prop);
        read_int_into(t, "pitch_separation", layer.pitch_separation_prop);
        read_int_into(t, "pitch_center", layer.pitch_center_prop);
        read_int_into(t, "pan_random", layer.pan_random_prop);
        read_bool_into(t, "pitch_use_as_filter", layer.pitch_use_as_filter_prop);
        read_bool_into(t, "pitch_use_default_cutoff", layer.pitch_use_default_cutoff_prop);
        read_bool_into(t, "pitch_use_default_Q", layer.pitch_use_default_Q_prop);
        read_int_into(t, "pitch_default_cutoff", layer.pitch_default_cutoff_prop);
        read_int_into(t, "pitch_default_Q", layer.pitch_default_Q_prop);
        if (DDS* env = read_tree(t, "volume_envelope")) DDS_Helpers::set_envelope(env, &layer.volume_envelope);
        if (DDS* env = read_tree(t, "panning_envelope")) DDS_Helpers::set_envelope(env, &layer.panning_envelope);
        if (DDS* env = read_tree(t, "pitch_envelope")) DDS_Helpers::set_envelope(env, &layer.pitch_envelope);
        if (const std::vector<int>* notes = read_int_array(t, "note_table"))
            for (int n = 0; n < NOTE_COUNT && n < (int)notes->size(); n++)
                layer.note_table[n] = (unsigned char)clamp((*notes)[n], 0, 255);
        if (const std::vector<int>* table = read_int_array(t, "sample_table")) {
            for (int n = 0; n < NOTE_COUNT && n < (int)table->size(); n++) {
                int v = (*table)[n];
                if (samples) {
                    bool mapped = v >= 0 && v < (int)slot_of.size() && slot_of[v] >= 0;
                    layer.sample_table[n] = mapped ? (unsigned char)slot_of[v] : EMPTY_FIELD;
                } else {
                    layer.sample_table[n] = (v >= 0 && v < Song::MAX_SAMPLES) ? (unsigned char)v : EMPTY_FIELD;
                }
            }
        }
    }
}

void Loader_WM::transfer_data_to_song() {
    if (!song) return;
    // A loaded song brings its own mixer; nothing of the previous song's routing stays.
    if (mixer) DDS_Helpers::reset_mixer(mixer);
    song->variables.filename = file_name;

    DDS* vars = read_tree(&staged, "variables");
    if (!vars) return broken(301, "Broken file on purpose?!!!");
    Song::Song_Variables& v = *song->get_variables();
    std::string text;
    if (read_string(vars, "title", text)) v.name_prop.set(text);
    if (read_string(vars, "message", text)) v.message_prop.set(text);
    read_int_into(vars, "row_hilight_major", v.row_hilight_major_prop);
    read_int_into(vars, "row_hilight_minor", v.row_hilight_minor_prop);
    read_int_into(vars, "mixing_volume", v.mixing_volume_prop);
    read_int_into(vars, "stereo_separation", v.stereo_separation_prop);
    read_bool_into(vars, "use_stereo", v.use_stereo_prop);
    // A rule the file does not store keeps what Wendmoor did before the rule existed.
    v.rules = Playback_Rules::of_format(Playback_Rules::Format::OLD_NATIVE);
    for (size_t i = 0; i < Playback_Rules::list().size(); i++) {
        const Playback_Rules::Entry& rule = Playback_Rules::list()[i];
        if (rule.flag)
            read_bool_into(vars, rule.key, *static_cast<Bool_Property_Bridge*>(v.get_rule_property(i)));
        else
            read_int_into(vars, rule.key, *static_cast<Int_Property_Bridge*>(v.get_rule_property(i)));
    }
    // Files from before the macros were kept play with the default ones, as they were made.
    v.midi_config = Midi_Config::default_config();
    if (vars->is_var("midi_macros", DDS::TYPE_STRING_ARRAY)) {
        const std::vector<std::string>& macros = vars->get_str_array_var("midi_macros");
        if (macros.size() == Midi_Config::MACROS)
            for (int i = 0; i < Midi_Config::MACROS; i++) v.midi_config.set_text(i, macros[(size_t)i]);
    }

    DDS* initial = read_tree(&staged, "initial_variables");
    if (!initial) return broken(318, "Broken file on purpose, initial variables?!!!");
    Song::Initial_Variables& iv = *song->get_initial_variables();
    read_int_into(initial, "global_volume", iv.global_volume_prop);
    read_int_into(initial, "speed", iv.speed_prop);
    read_int_into(initial, "tempo", iv.tempo_prop);
    const VectorPointer<DDS>* channels = read_tree_array(initial, "channel");
    if (!channels) return broken(324, "Broken file on purpose, initial channel vals?!!!");
    for (int c = 0; c < Song::CHANNELS && c < (int)channels->size(); c++) {
        DDS* t = (*channels)[c];
        if (!t) continue;
        Song::Initial_Variables::Channel_State& ch = iv.channel[c];
        read_int_into(t, "pan", ch.pan_prop);
        read_int_into(t, "volume", ch.volume_prop);
        read_bool_into(t, "surround", ch.surround_prop);
        read_bool_into(t, "mute", ch.mute_prop);
    }

    const std::vector<int>* orders = read_int_array(&staged, "order_list");
    if (!orders) return broken(336, "Broken file on purpose, order_list?!!!");
    for (int i = 0; i < Song::MAX_ORDERS && i < (int)orders->size(); i++) {
        int o = (*orders)[i];
        // Anything that is neither a pattern nor a marker would send playback nowhere.
        song->set_order(i, (o >= 0 && o < Song::MAX_PATTERNS) || (o >= 253 && o <= 255) ? (short)o : Song::ORDER_EMPTY);
    }

    const VectorPointer<DDS>* samples = read_tree_array(&staged, "samples");
    if (!samples) return broken(344, "Broken file on purpose, samples?!!!");
    for (DDS* t : *samples) {
        int index;
        if (!read_int(t, "index", index)) {
            std::fprintf(stderr, "Warning: a sample without an index in %s was skipped\n", file_name.c_str());
            continue;
        }
        if (Sample* s = song->get_sample(index)) {
            s->reset(true);
            set_dds_to_sample(t, s);
        }
    }

    const VectorPointer<DDS>* instruments = read_tree_array(&staged, "instruments");
    if (!instruments) return broken(357, "Broken file on purpose, instruments?!!!");
    for (DDS* t : *instruments) {
        int index;
        if (!read_int(t, "index", index)) {
            std::fprintf(stderr, "Warning: an instrument without an index in %s was skipped\n", file_name.c_str());
            continue;
        }
        if (Instrument* ins = song->get_instrument(index)) {
            // A song's instruments never carry samples; the tables name song slots.
            if (t->is_var("samples")) t->delete_var("samples");
            set_dds_to_instrument(t, ins);
        }
    }

    const VectorPointer<DDS>* patterns = read_tree_array(&staged, "patterns");
    if (!patterns) return broken(371, "Broken file on purpose, patterns?!!!");
    for (DDS* t : *patterns) {
        int index;
        if (!read_int(t, "index", index)) {
            std::fprintf(stderr, "Warning: a pattern without an index in %s was skipped\n", file_name.c_str());
            continue;
        }
        if (Pattern* p = song->get_pattern(index)) set_dds_to_pattern(t, p);
    }

    DDS* mixer_tree = read_tree(&staged, "mixer");
    if (!mixer_tree) return broken(382, "Broken file on purpose, mixer?!!!");
    if (mixer) DDS_Helpers::set_mixer_data(mixer_tree, mixer);
}

Loader::Error Loader_WM::load_sample(const char* file, int slot) {
    Sample* sample = song ? song->get_sample(slot) : nullptr;
    DDS tree;
    Error e = read_container(file, "WDMS", tree);
    if (e != SUCCESS) return e;
    if (!sample) return FILE_ERROR;
    sample->reset(true);
    set_dds_to_sample(&tree, sample);
    return SUCCESS;
}

Sample_Data* Loader_WM::load_sample(const char* file) {
    DDS tree;
    if (read_container(file, "WDMS", tree) != SUCCESS) return nullptr;
    int in_use = 0;
    DDS* data = read_int(&tree, "in_use", in_use) && in_use ? read_tree(&tree, "data") : nullptr;
    if (!data) return nullptr;
    Sample_Data* result = new Sample_Data;
    DDS_Helpers::set_sample_data(data, result);
    return result;
}

Loader::Error Loader_WM::load_instrument(const char* file, int slot) {
    Instrument* instrument = song ? song->get_instrument(slot) : nullptr;
    DDS tree;
    Error e = read_container(file, "WDMI", tree);
    if (e != SUCCESS) return e;
    if (!instrument) return FILE_ERROR;
    Mutex_Lock_Guard guard(song_lock);
    instrument->reset();
    set_dds_to_instrument(&tree, instrument);
    return SUCCESS;
}
