#include "savers/saver_it.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "trackercore/instrument.h"
#include "trackercore/pattern.h"
#include "trackercore/sample.h"
#include "trackercore/song.h"

namespace {

constexpr int OFFSET_MESSAGE_OFFSET = 56;
constexpr int OFFSET_ORDERS = 192;
constexpr unsigned short TRACKER_VERSION = 0x0214;
constexpr unsigned short FLAG_MIDI_CONFIG = 1 << 7;     // play the macros the file carries
constexpr unsigned short SPECIAL_MESSAGE = 1 << 0;
constexpr unsigned short SPECIAL_MIDI_CONFIG = 1 << 3;  // the macros follow the offset tables

bool layer_names_a_sample(const Instrument::Layer& layer) {
    for (unsigned char s : layer.sample_table)
        if (s < 255) return true;
    return false;
}

}  // namespace

bool Saver_IT::claims_song_name(const char* file) {
    if (!file) return false;
    size_t len = std::strlen(file);
    if (len <= 3) return false;
    const char* tail = file + len - 3;
    return tail[0] == '.' && std::toupper((unsigned char)tail[1]) == 'I' &&
           std::toupper((unsigned char)tail[2]) == 'T';
}

void Saver_IT::write_name(const std::string& name) {
    unsigned char buf[MAX_NAME + 1] = {};
    std::memcpy(buf, name.data(), std::min(name.size(), MAX_NAME));
    writer.store_byte_array(buf, (int)sizeof buf);
}

void Saver_IT::write_file_name(const std::string& file_name) {
    std::string name = Sample::file_part(file_name);
    if (name.empty()) name = "XXXXXXXX.YYY";
    unsigned char buf[MAX_FILE_NAME] = {};
    std::memcpy(buf, name.data(), std::min(name.size(), MAX_FILE_NAME));
    writer.store_byte_array(buf, (int)sizeof buf);
}

Saver_IT::Counts Saver_IT::calculate_values() {
    Counts c;
    c.orders = 1;
    for (int i = Song::MAX_ORDERS - 1; i >= 0; i--)
        if (song->get_order(i) != Song::ORDER_EMPTY) {
            c.orders = i + 2 > 255 ? 255 : i + 2;
            break;
        }
    for (int i = Song::MAX_SAMPLES - 1; i >= 0; i--) {
        const Sample& s = *song->get_sample(i);
        if (s.in_use || !s.name.empty()) {
            c.samples = i + 1;
            break;
        }
    }
    // A named instrument is kept even when it plays nothing, as a named sample is.
    for (int i = Song::MAX_INSTRUMENTS - 1; i >= 0; i--)
        if (layer_names_a_sample(song->get_instrument(i)->layers[0]) || !song->get_instrument(i)->name.empty()) {
            c.instruments = i + 1;
            break;
        }
    // An empty pattern with its own length must be written too, or it comes back with 64 rows.
    for (int i = Song::MAX_PATTERNS - 1; i >= 0; i--) {
        Pattern& p = *song->get_pattern(i);
        if (!p.check_for_empty_pattern() || p.get_length() != Pattern::DEFAULT_LENGTH) {
            c.patterns = i + 1;
            break;
        }
    }
    size_t msg = song->get_variables()->message.size();
    c.message_length = (int)(msg > MAX_MESSAGE ? MAX_MESSAGE : msg) + 1;
    return c;
}

int Saver_IT::save(const char* file) {
    if (!claims_song_name(file)) return -2;
    if (!song) return refuse_save("no song to save");
    if (open_for_save(file) != 0) return -1;
    write_song();
    if (finish_save() != 0) return -1;
    song->get_variables()->filename = file;
    return 0;
}

void Saver_IT::write_song() {
    Counts c = calculate_values();
    const Song::Song_Variables& v = *song->get_variables();
    const Song::Initial_Variables& init = *song->get_initial_variables();

    writer.store_byte_array((const unsigned char*)"IMPM", 4);
    write_name(v.name);
    writer.store_byte((unsigned char)v.row_hilight_minor);
    writer.store_byte((unsigned char)v.row_hilight_major);
    writer.store_word((unsigned short)c.orders);
    writer.store_word((unsigned short)c.instruments);
    writer.store_word((unsigned short)c.samples);
    writer.store_word((unsigned short)c.patterns);
    writer.store_word(TRACKER_VERSION);
    writer.store_word(TRACKER_VERSION);
    unsigned short flags = 1 << 2;
    if (v.use_stereo) flags |= 1 << 0;
    if (v.rules.use_linear_slides) flags |= 1 << 3;
    if (v.rules.old_effects) flags |= 1 << 4;
    if (v.rules.compatible_gxx) flags |= 1 << 5;
    writer.store_word(flags | FLAG_MIDI_CONFIG);
    writer.store_word(SPECIAL_MIDI_CONFIG | (v.message.empty() ? 0 : SPECIAL_MESSAGE));
    writer.store_byte((unsigned char)init.global_volume);
    writer.store_byte((unsigned char)v.mixing_volume);
    writer.store_byte((unsigned char)init.speed);
    writer.store_byte((unsigned char)init.tempo);
    writer.store_byte((unsigned char)v.stereo_separation);
    writer.store_byte(0);
    writer.store_word((unsigned short)c.message_length);
    writer.store_dword(0);  // message offset, patched below
    writer.store_dword(0);
    for (int ch = 0; ch < Song::CHANNELS; ch++) {
        const Song::Initial_Variables::Channel_State& cs = init.channel[ch];
        writer.store_byte(cs.surround ? 100 : cs.mute ? 128 : (unsigned char)cs.pan);
    }
    for (int ch = 0; ch < Song::CHANNELS; ch++) writer.store_byte((unsigned char)init.channel[ch].volume);
    for (int i = 0; i < c.orders; i++) {
        short o = i < Song::MAX_ORDERS ? song->get_order(i) : Song::ORDER_EMPTY;
        writer.store_byte(o == Song::ORDER_SEPARATOR ? 254 : (unsigned char)o);
    }
    int tables = OFFSET_ORDERS + c.orders;
    for (int i = 0; i < c.instruments + c.samples + c.patterns; i++) writer.store_dword(0);
    for (const Midi_Config::Macro& macro : v.midi_config.macros)
        writer.store_byte_array((const unsigned char*)macro.data(), Midi_Config::MACRO_SIZE);

    int message_pos = writer.get_file_pos();
    // Impulse Tracker ends message lines with carriage returns; the loader turns them back.
    std::string text = v.message.substr(0, (size_t)c.message_length - 1);
    for (char& ch : text)
        if (ch == '\n') ch = '\r';
    writer.store_byte_array((const unsigned char*)text.c_str(), c.message_length);

    std::vector<unsigned> offsets;
    for (int i = 0; i < c.instruments; i++) {
        offsets.push_back((unsigned)writer.get_file_pos());
        write_instrument_internal(*song->get_instrument(i));
    }
    for (int i = 0; i < c.samples; i++) {
        offsets.push_back((unsigned)writer.get_file_pos());
        write_sample_internal(*song->get_sample(i), true);
    }
    for (int i = 0; i < c.patterns; i++) {
        offsets.push_back((unsigned)writer.get_file_pos());
        write_pattern(*song->get_pattern(i));
    }
    writer.set_file_pos(tables);
    for (unsigned o : offsets) writer.store_dword(o);
    writer.set_file_pos(OFFSET_MESSAGE_OFFSET);
    writer.store_dword((unsigned)message_pos);
}

void Saver_IT::write_instrument_internal(const Instrument& ins) {
    const Instrument::Layer& layer = ins.layers[0];
    writer.store_byte_array((const unsigned char*)"IMPI", 4);
    write_file_name(ins.filename);
    writer.store_byte(0);
    writer.store_byte((unsigned char)layer.nna_type);
    writer.store_byte((unsigned char)layer.dc_type);
    writer.store_byte((unsigned char)layer.dc_action);
    writer.store_word((unsigned short)layer.volume_fadeout);
    writer.store_byte((unsigned char)layer.pitch_separation);
    writer.store_byte((unsigned char)layer.pitch_center);
    writer.store_byte((unsigned char)layer.volume_amount);
    writer.store_byte((unsigned char)(layer.pan_default | (layer.pan_use_default ? 0 : 128)));
    writer.store_byte((unsigned char)layer.volume_random);
    writer.store_byte((unsigned char)layer.pan_random);
    writer.store_word(TRACKER_VERSION);
    bool named[Song::MAX_SAMPLES] = {};
    int different = 0;
    for (unsigned char s : layer.sample_table)
        if (s < Song::MAX_SAMPLES && !named[s]) {
            named[s] = true;
            different++;
        }
    writer.store_byte((unsigned char)different);
    writer.store_byte(0);
    write_name(ins.name);
    writer.store_byte((unsigned char)(layer.pitch_default_cutoff | (layer.pitch_use_default_cutoff ? 128 : 0)));
    writer.store_byte((unsigned char)(layer.pitch_default_Q | (layer.pitch_use_default_Q ? 128 : 0)));
    writer.store_byte(0);
    writer.store_byte(0);
    writer.store_word(0);
    for (int n = 0; n < NOTE_COUNT; n++) {
        writer.store_byte(layer.note_table[n]);
        writer.store_byte((unsigned char)(layer.sample_table[n] + 1));
    }
    const Envelope* envelopes[3] = {&layer.volume_envelope, &layer.panning_envelope, &layer.pitch_envelope};
    for (int e = 0; e < 3; e++) {
        const Envelope& env = *envelopes[e];
        unsigned char flags = 0;
        if (env.is_enabled()) flags |= 1;
        if (env.is_loop_enabled()) flags |= 2;
        if (env.is_sustain_loop_enabled()) flags |= 4;
        if (env.is_carry_enabled()) flags |= 8;
        if (e == 2 && layer.pitch_use_as_filter) flags |= 128;
        writer.store_byte(flags);
        int count = env.get_node_count();
        writer.store_byte((unsigned char)std::min(count, MAX_ENVELOPE_NODES));
        writer.store_byte((unsigned char)env.get_loop_begin());
        writer.store_byte((unsigned char)env.get_loop_end());
        writer.store_byte((unsigned char)env.get_sustain_loop_begin());
        writer.store_byte((unsigned char)env.get_sustain_loop_end());
        for (int i = 0; i < MAX_ENVELOPE_NODES; i++) {
            writer.store_byte((unsigned char)env.get_node_height(i));
            writer.store_word((unsigned short)env.get_node_offset(i));
        }
        writer.store_byte(0);
    }
    writer.store_dword(0);
}

int Saver_IT::write_sample_internal(const Sample& s, bool with_data) {
    const Sample_Data& d = s.data;
    writer.store_byte_array((const unsigned char*)"IMPS", 4);
    write_file_name(s.filename);
    writer.store_byte(0);
    writer.store_byte((unsigned char)s.glb_volume);
    unsigned char flags = 0;
    if (s.in_use) flags |= 1;
    if (d.is_16bit()) flags |= 2;
    if (d.is_loop_enabled()) flags |= 16;
    if (d.is_loop_ping_pong()) flags |= 64;
    writer.store_byte(flags);
    writer.store_byte((unsigned char)s.def_volume);
    write_name(s.get_name_to_save());
    writer.store_byte(1);  // signed data
    writer.store_byte((unsigned char)(s.def_panning | (s.def_panning_active ? 128 : 0)));
    // A sample without a block has no frames to write, whatever its size says.
    int frames = d.get_data_ptr() ? d.get_size() : 0;
    writer.store_dword((unsigned)frames);
    writer.store_dword((unsigned)d.get_loop_begin());
    writer.store_dword((unsigned)d.get_loop_end());
    writer.store_dword((unsigned)d.get_c5_freq());
    writer.store_dword(0);
    writer.store_dword(0);
    int data_offset_field = writer.get_file_pos();
    writer.store_dword((unsigned)(data_offset_field + 8));
    writer.store_byte((unsigned char)std::min(s.vibrato_speed, 255));
    writer.store_byte((unsigned char)s.vibrato_depth);
    writer.store_byte((unsigned char)s.vibrato_rate);
    writer.store_byte((unsigned char)s.vibrato_type);
    if (with_data && s.in_use) write_sample_data(s);
    return data_offset_field;
}

void Saver_IT::write_sample_data(const Sample& s) {
    const Sample_Data& d = s.data;
    if (!d.get_data_ptr() || d.get_size() <= 0) return;
    if (!d.is_16bit()) {
        writer.store_byte_array(static_cast<const unsigned char*>(d.get_data_ptr()), d.get_size());
        return;
    }
    // Little-endian words whatever the host's order; converted in chunks to keep writes large.
    const short* frames = static_cast<const short*>(d.get_data_ptr());
    unsigned char chunk[8192];
    int total = d.get_size();
    for (int done = 0; done < total;) {
        int n = total - done < 4096 ? total - done : 4096;
        for (int i = 0; i < n; i++) {
            unsigned short v = (unsigned short)frames[done + i];
            chunk[2 * i] = (unsigned char)(v & 0xFF);
            chunk[2 * i + 1] = (unsigned char)(v >> 8);
        }
        writer.store_byte_array(chunk, 2 * n);
        done += n;
    }
}

std::vector<unsigned char> Saver_IT::pack_pattern(Pattern& pattern) {
    std::vector<unsigned char> out;
    unsigned char last_mask[64] = {};
    Note last[64];
    int rows = pattern.get_length();
    for (int row = 0; row < rows; row++) {
        for (int c = 0; c < Pattern::CHANNELS; c++) {
            Note n = pattern.get_note(c, row);
            if (n.is_empty()) continue;
            unsigned char mask = 0;
            if (n.note < 255) {
                mask |= n.note != last[c].note ? 1 : 16;
                last[c].note = n.note;
            }
            if (n.instrument < 255) {
                mask |= n.instrument != last[c].instrument ? 2 : 32;
                last[c].instrument = n.instrument;
            }
            if (n.volume < 255) {
                mask |= n.volume != last[c].volume ? 4 : 64;
                last[c].volume = n.volume;
            }
            if (!(n.command == 255 && n.parameter == 0)) {
                if (n.command == last[c].command && n.parameter == last[c].parameter) {
                    mask |= 128;
                } else {
                    mask |= 8;
                    last[c].command = n.command;
                    last[c].parameter = n.parameter;
                }
            }
            if (mask == last_mask[c]) {
                out.push_back((unsigned char)(c + 1));
            } else {
                out.push_back((unsigned char)((c + 1) | 128));
                out.push_back(mask);
                last_mask[c] = mask;
            }
            if (mask & 1) out.push_back(n.note == NOTE_OFF ? 255 : n.note == NOTE_CUT ? 254 : n.note == NOTE_FADE ? 246 : n.note);
            if (mask & 2) out.push_back((unsigned char)(n.instrument + 1));
            if (mask & 4) out.push_back(n.volume);
            if (mask & 8) {
                out.push_back((unsigned char)(n.command + 1));
                out.push_back(n.parameter);
            }
        }
        out.push_back(0);
    }
    return out;
}

void Saver_IT::write_pattern(Pattern& pattern) {
    std::vector<unsigned char> packed = pack_pattern(pattern);
    writer.store_word((unsigned short)packed.size());
    writer.store_word((unsigned short)pattern.get_length());
    writer.store_dword(0);
    writer.store_byte_array(packed.data(), (int)packed.size());
}

int Saver_IT::save_sample(const char* file, int slot) {
    if (!has_extension(file, ".is", ".IS")) return -2;
    if (!song || !song->get_sample(slot)) return refuse_save("no such sample slot");
    if (open_for_save(file) != 0) return -1;
    write_sample_internal(*song->get_sample(slot), true);
    return finish_save();
}

int Saver_IT::save_instrument(const char* file, int slot) {
    if (!has_extension(file, ".ii", ".II")) return -2;
    if (!song || !song->get_instrument(slot)) return refuse_save("no such instrument slot");
    if (open_for_save(file) != 0) return -1;
    Instrument copy = *song->get_instrument(slot);
    unsigned char* table = copy.layers[0].sample_table;
    std::vector<int> used;  // song slots, in order of first appearance by note
    int position_of[Song::MAX_SAMPLES];
    for (int& p : position_of) p = -1;
    for (int n = 0; n < NOTE_COUNT; n++) {
        unsigned char s = table[n];
        if (s < Song::MAX_SAMPLES && song->get_sample(s)->in_use && position_of[s] < 0) {
            position_of[s] = (int)used.size();
            used.push_back(s);
        }
        table[n] = s < Song::MAX_SAMPLES && position_of[s] >= 0 ? (unsigned char)position_of[s] : 255;
    }
    write_instrument_internal(copy);
    std::vector<int> offset_fields;
    for (int s : used) offset_fields.push_back(write_sample_internal(*song->get_sample(s), false));
    for (size_t i = 0; i < used.size(); i++) {
        int data_pos = writer.get_file_pos();
        writer.set_file_pos(offset_fields[i]);
        writer.store_dword((unsigned)data_pos);
        writer.set_file_pos(data_pos);
        write_sample_data(*song->get_sample(used[i]));
    }
    return finish_save();
}
