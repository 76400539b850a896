#include "loaders/loader_it.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/components/data/error_line.h"
#include "loaders/adpcm_sample.h"
#include "trackercore/instrument.h"
#include "trackercore/sample.h"
#include "trackercore/song.h"

namespace {

// Header fields at fixed offsets.
constexpr unsigned OFFSET_ORDERS = 192;

constexpr unsigned short COMPATIBLE_IT215 = 0x0215;
constexpr unsigned short COMPATIBLE_NEW_INSTRUMENTS = 0x0200;  // below: the IT 1.x instrument layout
constexpr unsigned short CREATED_BY_MODPLUG = 0x0217;    // with COMPATIBLE_MODPLUG: written by ModPlug Tracker
constexpr unsigned short COMPATIBLE_MODPLUG = 0x0200;

constexpr unsigned char SAMPLE_PRESENT = 1 << 0;
constexpr unsigned char SAMPLE_16BIT = 1 << 1;
constexpr unsigned char SAMPLE_STEREO = 1 << 2;
constexpr unsigned char SAMPLE_COMPRESSED = 1 << 3;
constexpr unsigned char SAMPLE_LOOP = 1 << 4;
constexpr unsigned char SAMPLE_PINGPONG = 1 << 6;
constexpr unsigned char CONVERT_SIGNED = 1 << 0;  // clear: unsigned frames (IT 1.x and some converters)
constexpr unsigned char CONVERT_DELTA = 1 << 2;  // compressed data is IT 2.15's double-delta
constexpr unsigned char CONVERT_ADPCM = 0xFF;    // 8-bit data packed as 4-bit ADPCM

constexpr unsigned short FLAG_STEREO = 1 << 0;
constexpr unsigned short FLAG_INSTRUMENTS = 1 << 2;
constexpr unsigned short FLAG_LINEAR_SLIDES = 1 << 3;
constexpr unsigned short FLAG_OLD_EFFECTS = 1 << 4;
constexpr unsigned short FLAG_COMPATIBLE_GXX = 1 << 5;
constexpr unsigned short SPECIAL_MESSAGE = 1 << 0;
constexpr unsigned short SPECIAL_EDIT_HISTORY = 1 << 1;  // a count, then 8 bytes an entry, after the offset tables
constexpr unsigned short SPECIAL_MIDI_CONFIG = 1 << 3;   // the macros follow the edit history
constexpr unsigned EDIT_HISTORY_ENTRY = 8;

constexpr int MAX_NAME = 25;         // song and instrument names hold at most 25 characters
constexpr int MAX_SAMPLE_NAME = 26;  // sample names are unlimited: keep all the field holds

// How a warning names a slot: numbered from 1 as the pages show it, with its name when it has one.
std::string slot_label(const char* kind, int index, const std::string& name) {
    std::string label = std::string(kind) + " " + std::to_string(index + 1);
    return name.empty() ? label : label + " \"" + name + "\"";
}

std::string read_text(File_Reader& reader, int size, int keep) {
    char buf[32] = {};
    reader.get_byte_array((unsigned char*)buf, size);
    size_t len = strnlen(buf, (size_t)size);
    if (len > (size_t)keep) len = (size_t)keep;
    return std::string(buf, len);
}

// Hands the block and its format over; the staging forgets the block.
void move_sample_data(Sample_Data& from, Sample_Data& to) {
    to.set_loop_enabled(from.is_loop_enabled());
    to.set_loop_ping_pong(from.is_loop_ping_pong());
    to.set_loop_begin(from.get_loop_begin());
    to.set_loop_end(from.get_loop_end());
    to.set_c5_freq(from.get_c5_freq());
    to.set_data_ptr(from.get_data_ptr(), from.get_size(), from.is_16bit());
    from.release_data_ptr();
}

}  // namespace

Loader_IT::Loader_IT() { format_name = "Impulse Tracker"; }

Loader_IT::~Loader_IT() { clear_structs(true); }

const Loader_IT::IT_Sample* Loader_IT::get_staged_sample(int i) const {
    return i >= 0 && i < (int)samples.size() ? samples[i].get() : nullptr;
}

const Loader_IT::IT_Instrument* Loader_IT::get_staged_instrument(int i) const {
    return i >= 0 && i < (int)instruments.size() ? instruments[i].get() : nullptr;
}

Loader::Error Loader_IT::open_for_load(const char* file) {
    if (reader.is_open()) return FILE_IN_USE;
    if (reader.open(file) != 0) return FILE_CANNOT_OPEN;
    return SUCCESS;
}

bool Loader_IT::test(const char* file) {
    if (reader.is_open()) return true;
    if (reader.open(file) != 0) return true;
    // The magic alone decides: a damaged module is still ours, so load() can say what is wrong.
    char magic[4];
    reader.get_byte_array((unsigned char*)magic, 4);
    reader.close();
    return std::memcmp(magic, "IMPM", 4) == 0;
}

Loader::Error Loader_IT::load(const char* file, bool) {
    Error e = open_for_load(file);
    if (e != SUCCESS) return e;
    clear_structs(true);
    e = load_header();
    if (e == SUCCESS) e = load_body();
    if (e != SUCCESS) {
        clear_structs(true);
        return abort_load(e);
    }
    reader.close();
    file_name = file;
    return SUCCESS;
}

Loader::Error Loader_IT::load_header() {
    reader.seek(0);
    reader.get_byte_array((unsigned char*)header.magic, 4);
    if (std::memcmp(header.magic, "IMPM", 4) != 0) return FILE_FORMAT_NOT_RECOGNIZED;
    header.song_name = read_text(reader, 26, MAX_NAME);
    header.hilight_minor = reader.get_byte();
    header.hilight_major = reader.get_byte();
    if (header.hilight_minor == 0) header.hilight_minor = 4;
    if (header.hilight_major == 0) header.hilight_major = 16;
    header.order_count = reader.get_word();
    header.instrument_count = reader.get_word();
    header.sample_count = reader.get_word();
    header.pattern_count = reader.get_word();
    header.created_with = reader.get_word();
    header.compatible_with = reader.get_word();
    header.flags = reader.get_word();
    header.special = reader.get_word();
    header.global_volume = reader.get_byte();
    header.mixing_volume = reader.get_byte();
    header.speed = reader.get_byte();
    header.tempo = reader.get_byte();
    header.stereo_separation = reader.get_byte();
    header.pitch_wheel_depth = reader.get_byte();
    header.message_length = reader.get_word();
    header.message_offset = reader.get_dword();
    reader.get_dword();  // reserved
    reader.get_byte_array(header.channel_pan, 64);
    reader.get_byte_array(header.channel_volume, 64);
    // The orders and the three offset tables behind them must lie inside the file.
    unsigned long tables_end = OFFSET_ORDERS + header.order_count +
                               4ul * (header.instrument_count + header.sample_count + header.pattern_count);
    if (reader.error_loading()) return FILE_ERROR;
    if (reader.eof_reached() || tables_end > reader.get_file_size()) return HEADER_CORRUPT;
    int orders = header.order_count < MAX_ORDERS ? header.order_count : MAX_ORDERS;
    std::memset(header.orders, 255, sizeof header.orders);
    reader.get_byte_array(header.orders, orders);
    if (reader.error_loading()) return FILE_ERROR;
    return SUCCESS;
}

unsigned Loader_IT::table_offset(int table) const {
    unsigned offset = OFFSET_ORDERS + header.order_count;
    if (table > 0) offset += 4u * header.instrument_count;
    if (table > 1) offset += 4u * header.sample_count;
    if (table > 2) offset += 4u * header.pattern_count;
    return offset;
}

std::vector<unsigned> Loader_IT::read_offset_table(int table, int count, int limit) {
    std::vector<unsigned> offsets((size_t)(count < limit ? count : limit));
    reader.seek(table_offset(table));
    for (unsigned& o : offsets) o = reader.get_dword();
    return offsets;
}

Loader::Error Loader_IT::load_body() {
    Error e = load_samples();
    if (e != SUCCESS) return e;
    // The orders were read with the header.
    e = load_instruments();
    if (e != SUCCESS) return e;
    load_sampledata();
    e = load_message();
    if (e != SUCCESS) return e;
    load_midi_config();
    load_patterns();
    return SUCCESS;
}

Loader::Error Loader_IT::load_samples() {
    // Only the song's 99 slots can receive samples; the rest are never read.
    std::vector<unsigned> offsets = read_offset_table(1, header.sample_count, Song::MAX_SAMPLES);
    warn_of_excess(header.sample_count, Song::MAX_SAMPLES, "samples");
    for (int i = 0; i < (int)offsets.size(); i++) {
        samples.push_back(std::make_unique<IT_Sample>());
        // A header outside the file is as unreadable as one with the wrong magic.
        bool inside = (unsigned long)offsets[i] + SAMPLE_HEADER_SIZE <= reader.get_file_size();
        if (inside) reader.seek(offsets[i]);
        if (!inside || load_sample_info(*samples.back()) != SUCCESS) {
            ERROR_LINE("loaders/loader_it", 312, "Error reading sample" + std::to_string(i));
            samples.back() = std::make_unique<IT_Sample>();
            warn(slot_label("Sample", i, "") + " could not be read: it is left empty.");
        }
        if (reader.error_loading()) return FILE_ERROR;
    }
    return SUCCESS;
}

Loader::Error Loader_IT::load_sample_info(IT_Sample& s) {
    reader.get_byte_array((unsigned char*)s.magic, 4);
    if (std::memcmp(s.magic, "IMPS", 4) != 0) return HEADER_CORRUPT;
    s.dos_filename = read_text(reader, 12, 12);
    reader.get_byte();
    s.global_volume = reader.get_byte();
    s.flags = reader.get_byte();
    s.default_volume = reader.get_byte();
    s.name = read_text(reader, 26, MAX_SAMPLE_NAME);
    s.convert_flags = reader.get_byte();
    s.default_pan = reader.get_byte();
    s.length = reader.get_dword();
    unsigned loop_begin = reader.get_dword();
    unsigned loop_end = reader.get_dword();
    s.c5_speed = reader.get_dword();
    reader.get_dword();  // sustain loops are not kept
    reader.get_dword();
    s.data_offset = reader.get_dword();
    s.vibrato_speed = reader.get_byte();
    s.vibrato_depth = reader.get_byte();
    s.vibrato_rate = reader.get_byte();
    s.vibrato_type = reader.get_byte();
    if (reader.error_loading() || reader.eof_reached()) return FILE_ERROR;

    auto clamp_int = [](unsigned v) { return v > (unsigned)INT_MAX ? INT_MAX : (int)v; };
    s.data.set_data_ptr(nullptr, 0, (s.flags & SAMPLE_16BIT) != 0);
    s.data.set_loop_begin(clamp_int(loop_begin));
    s.data.set_loop_end(clamp_int(loop_end));
    s.data.set_loop_enabled((s.flags & SAMPLE_LOOP) != 0);
    s.data.set_loop_ping_pong((s.flags & SAMPLE_PINGPONG) != 0);
    s.data.set_c5_freq(clamp_int(s.c5_speed));
    return SUCCESS;
}

Loader::Error Loader_IT::load_instruments() {
    std::vector<unsigned> offsets = read_offset_table(0, header.instrument_count, Song::MAX_INSTRUMENTS);
    // Sample-mode modules make their instruments from the samples; their table says nothing.
    bool used = (header.flags & FLAG_INSTRUMENTS) != 0;
    if (used) warn_of_excess(header.instrument_count, Song::MAX_INSTRUMENTS, "instruments");
    for (int i = 0; i < (int)offsets.size(); i++) {
        instruments.push_back(std::make_unique<IT_Instrument>());
        // An unreadable instrument is staged empty; the rest of the module still loads.
        Error e = FILE_ERROR;
        if ((unsigned long)offsets[i] + INSTRUMENT_HEADER_SIZE <= reader.get_file_size()) {
            reader.seek(offsets[i]);
            IT_Instrument& ins = *instruments.back();
            e = header.compatible_with < COMPATIBLE_NEW_INSTRUMENTS ? load_old_instrument_info(ins)
                                                                     : load_instrument_info(ins);
        }
        if (e == SUCCESS) continue;
        instruments.back() = std::make_unique<IT_Instrument>();
        if (used) warn(slot_label("Instrument", i, "") + " could not be read: it is left empty.");
    }
    return reader.error_loading() ? FILE_ERROR : SUCCESS;
}

Loader::Error Loader_IT::load_instrument_info(IT_Instrument& ins) {
    char magic[4];
    reader.get_byte_array((unsigned char*)magic, 4);
    if (std::memcmp(magic, "IMPI", 4) != 0) return FILE_ERROR;
    ins.dos_filename = read_text(reader, 12, 12);
    reader.get_byte();
    ins.nna = reader.get_byte();
    ins.dct = reader.get_byte();
    ins.dca = reader.get_byte();
    ins.fadeout = reader.get_word();
    ins.pitch_pan_separation = (signed char)reader.get_byte();
    ins.pitch_pan_center = reader.get_byte();
    ins.global_volume = reader.get_byte();
    ins.default_pan = reader.get_byte();
    ins.random_volume = reader.get_byte();
    ins.random_pan = reader.get_byte();
    reader.get_word();  // tracker version
    ins.number_of_samples = reader.get_byte();
    reader.get_byte();
    ins.name = read_text(reader, 26, MAX_NAME);
    ins.filter_cutoff = reader.get_byte();
    ins.filter_resonance = reader.get_byte();
    ins.midi_channel = reader.get_byte();
    ins.midi_program = reader.get_byte();
    ins.midi_bank = reader.get_word();
    for (int n = 0; n < NOTE_COUNT; n++) {
        ins.keyboard_note[n] = reader.get_byte();
        ins.keyboard_sample[n] = reader.get_byte();
    }
    for (IT_Envelope& env : ins.envelope) {
        env.flags = reader.get_byte();
        int count = reader.get_byte();
        env.node_count = count > MAX_ENVELOPE_NODES ? MAX_ENVELOPE_NODES : count;
        env.loop_begin = reader.get_byte();
        env.loop_end = reader.get_byte();
        env.sustain_begin = reader.get_byte();
        env.sustain_end = reader.get_byte();
        for (int i = 0; i < MAX_ENVELOPE_NODES; i++) {
            env.value[i] = reader.get_byte();
            env.tick[i] = reader.get_word();
        }
        reader.get_byte();
    }
    if (reader.error_loading() || reader.eof_reached()) return FILE_ERROR;
    ins.valid = true;
    return SUCCESS;
}

Loader::Error Loader_IT::load_old_instrument_info(IT_Instrument& ins) {
    char magic[4];
    reader.get_byte_array((unsigned char*)magic, 4);
    if (std::memcmp(magic, "IMPI", 4) != 0) return FILE_ERROR;
    ins.dos_filename = read_text(reader, 12, 12);
    reader.get_byte();
    IT_Envelope& volume = ins.envelope[0];
    volume.flags = reader.get_byte() & 7;
    volume.loop_begin = reader.get_byte();
    volume.loop_end = reader.get_byte();
    volume.sustain_begin = reader.get_byte();
    volume.sustain_end = reader.get_byte();
    reader.get_word();
    // Fade-out counts against 512 here and against 1024 in the newer layout.
    unsigned fadeout = reader.get_word();
    ins.fadeout = (unsigned short)(fadeout > 128 ? 256 : fadeout * 2);
    ins.nna = reader.get_byte() & 3;
    ins.dct = reader.get_byte() != 0 ? 1 : 0;  // on or off: on checks the note
    reader.get_word();                          // tracker version
    ins.number_of_samples = reader.get_byte();
    reader.get_byte();
    ins.name = read_text(reader, 26, MAX_NAME);
    unsigned char reserved[6];
    reader.get_byte_array(reserved, sizeof reserved);
    for (int n = 0; n < NOTE_COUNT; n++) {
        ins.keyboard_note[n] = reader.get_byte();
        ins.keyboard_sample[n] = reader.get_byte();
    }
    // The 200-byte envelope as the tracker drew it is derived from the nodes that follow it.
    unsigned char drawn[200];
    reader.get_byte_array(drawn, sizeof drawn);
    // Nodes are (tick, value) byte pairs; a tick of 255 ends the list.
    volume.node_count = 0;
    for (int i = 0; i < MAX_ENVELOPE_NODES; i++) {
        unsigned char tick = reader.get_byte();
        unsigned char value = reader.get_byte();
        if (tick == 0xFF || volume.node_count < i) continue;
        volume.tick[i] = tick;
        volume.value[i] = value > 64 ? 64 : value;
        volume.node_count = i + 1;
    }
    if (reader.error_loading() || reader.eof_reached()) return FILE_ERROR;
    // The newer fields this layout lacks keep their defaults: full volume, no default pan.
    ins.valid = true;
    return SUCCESS;
}

void Loader_IT::load_sampledata() {
    bool it215 = header.compatible_with == COMPATIBLE_IT215;
    // Per-sample failures leave that sample without data; the module still loads, and says so.
    for (size_t i = 0; i < samples.size(); i++) {
        load_sample_data(*samples[i], it215);
        if (!data_problem.empty()) warn(slot_label("Sample", (int)i, samples[i]->name) + " " + data_problem + ".");
    }
}

Loader::Error Loader_IT::no_data(const std::string& why) {
    data_problem = "has no data: " + why;
    return FILE_ERROR;
}

Loader::Error Loader_IT::load_sample_data(IT_Sample& s, bool it215) {
    data_problem.clear();
    bool is_16bit = (s.flags & SAMPLE_16BIT) != 0;
    s.data.set_data_ptr(nullptr, 0, is_16bit);
    if (!(s.flags & SAMPLE_PRESENT) || s.length == 0) return SUCCESS;
    // IT stores a stereo sample's two sides one after the other; the mixer plays one channel,
    // so the sides are mixed into one (ADPCM samples are never stereo).
    unsigned long sides = (s.flags & SAMPLE_STEREO) ? 2 : 1;
    if (sides == 2 && s.convert_flags == CONVERT_ADPCM) return no_data("it is stereo and ADPCM-packed");
    unsigned long file_size = reader.get_file_size();
    int bytes_per_frame = is_16bit ? 2 : 1;
    unsigned long frames = s.length;
    if (frames > (unsigned long)INT_MAX / (2 * sides))
        return no_data("its length of " + std::to_string(frames) + " frames is more than Wendmoor holds");
    bool compressed = (s.flags & SAMPLE_COMPRESSED) != 0;
    if (s.data_offset >= file_size) {
        // Past the end: a file cut short (the size of a compressed sample is not known).
        reader.note_wanted_end(s.data_offset + (compressed ? 2 : frames * bytes_per_frame));
        return no_data("the file ends before it");
    }
    auto cut_short = [&](unsigned long kept) {
        data_problem = "is cut short: " + std::to_string(kept) + " of its " + std::to_string(s.length) +
                       " frames are in the file";
    };
    unsigned long available = file_size - s.data_offset;

    if (!compressed && !is_16bit && s.convert_flags == CONVERT_ADPCM) {
        // A sample cut short keeps the frames whose nibbles are there.
        long stored = (long)std::min<unsigned long>(adpcm_sample::stored_size((long)frames), available);
        if (stored < adpcm_sample::stored_size((long)frames)) {
            reader.note_wanted_end(s.data_offset + adpcm_sample::stored_size((long)frames));
            frames = (unsigned long)adpcm_sample::frames_in(stored);
            cut_short(frames);
        }
        if (frames == 0) return no_data("the file ends before it");
        std::vector<unsigned char> packed((size_t)adpcm_sample::stored_size((long)frames));
        reader.seek(s.data_offset);
        reader.get_byte_array(packed.data(), (int)packed.size());
        if (reader.error_loading()) return no_data("the file could not be read");
        void* block = std::malloc(frames);
        if (!block) return no_data("not enough memory");
        adpcm_sample::decode(packed.data(), (long)frames, static_cast<signed char*>(block));
        s.data.set_data_ptr(block, (int)frames, false);
        return SUCCESS;
    }

    if (!compressed) {
        // A stereo sample whose second side is cut short keeps its first side alone.
        if (sides == 2 && 2 * frames * bytes_per_frame > available) {
            reader.note_wanted_end(s.data_offset + 2 * frames * bytes_per_frame);
            sides = 1;
            data_problem = "is stereo, cut short in its second side: its first side plays alone";
        }
        // A sample cut short by the end of the file keeps the frames that are there.
        if (frames * bytes_per_frame > available) {
            reader.note_wanted_end(s.data_offset + frames * bytes_per_frame);
            frames = available / bytes_per_frame;
            cut_short(frames);
        }
        if (frames == 0) return no_data("the file ends before it");
        void* block = std::malloc(sides * frames * bytes_per_frame);
        if (!block) return no_data("not enough memory");
        reader.seek(s.data_offset);
        unsigned char* bytes = static_cast<unsigned char*>(block);
        const unsigned long stored = sides * frames;
        reader.get_byte_array(bytes, (int)(stored * bytes_per_frame));
        // Unsigned frames taken as signed would play as loud, distorted noise.
        const unsigned sign_flip = (s.convert_flags & CONVERT_SIGNED) ? 0 : (is_16bit ? 0x8000 : 0x80);
        if (is_16bit) {
            short* out = static_cast<short*>(block);
            for (unsigned long i = 0; i < stored; i++)
                out[i] = (short)((bytes[2 * i] | (bytes[2 * i + 1] << 8)) ^ sign_flip);
        } else if (sign_flip) {
            for (unsigned long i = 0; i < stored; i++) bytes[i] ^= (unsigned char)sign_flip;
        }
        if (reader.error_loading()) {
            std::free(block);
            return no_data("the file could not be read");
        }
        if (sides == 2) block = mix_sides(block, frames, is_16bit);
        s.data.set_data_ptr(block, (int)frames, is_16bit);
        return SUCCESS;
    }

    // Every block costs at least its two-byte count and yields at most 32768 frames from
    // 8 x its byte count bits; a length beyond that cannot come from this file.
    if (frames > available * 8) return no_data("its compressed data is cut short or damaged");
    void* block = std::malloc(sides * frames * bytes_per_frame);
    if (!block) return no_data("not enough memory");
    reader.seek(s.data_offset);
    if (!decompress_sample(block, (int)frames, is_16bit, it215)) {
        std::free(block);
        return no_data("its compressed data is cut short or damaged");
    }
    if (sides == 2) {
        // The second side's blocks follow the first side's.
        void* second = static_cast<char*>(block) + frames * bytes_per_frame;
        if (decompress_sample(second, (int)frames, is_16bit, it215))
            block = mix_sides(block, frames, is_16bit);
        else
            data_problem = "is stereo, its second side cut short or damaged: its first side plays alone";
    }
    s.data.set_data_ptr(block, (int)frames, is_16bit);
    return SUCCESS;
}

void* Loader_IT::mix_sides(void* block, unsigned long frames, bool is_16bit) {
    if (is_16bit) {
        short* f = static_cast<short*>(block);
        for (unsigned long i = 0; i < frames; i++) f[i] = (short)((f[i] + f[frames + i]) / 2);
    } else {
        signed char* f = static_cast<signed char*>(block);
        for (unsigned long i = 0; i < frames; i++) f[i] = (signed char)((f[i] + f[frames + i]) / 2);
    }
    if (data_problem.empty()) data_problem = "is stereo: its two sides are mixed into one";
    void* smaller = std::realloc(block, frames * (is_16bit ? 2 : 1));
    return smaller ? smaller : block;
}

unsigned Loader_IT::read_bits(int n) {
    if (block_bit_pos >= block_bits) {
        block_bit_pos += (size_t)n;
        return 0;
    }
    // The buffer carries spare zero words, so a four-byte window never leaves it.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(block_buffer.data());
    size_t byte = block_bit_pos >> 3;
    unsigned window = (unsigned)bytes[byte] | ((unsigned)bytes[byte + 1] << 8) | ((unsigned)bytes[byte + 2] << 16) |
                      ((unsigned)bytes[byte + 3] << 24);
    unsigned value = (window >> (block_bit_pos & 7)) & ((1u << n) - 1);
    block_bit_pos += (size_t)n;
    return value;
}

bool Loader_IT::decompress_sample(void* dst, int frames, bool is_16bit, bool it215) {
    if (frames <= 0) return true;
    std::memset(dst, 0, (size_t)frames * (is_16bit ? 2 : 1));
    const int top_width = is_16bit ? 17 : 9;
    const int frame_bits = is_16bit ? 16 : 8;
    const int width_bits = is_16bit ? 4 : 3;
    const int block_frames = is_16bit ? 16384 : 32768;
    int done = 0;
    bool ok = true;
    while (done < frames) {
        unsigned long block_start = reader.get_pos();
        unsigned count = reader.get_word();
        if (reader.eof_reached() || reader.error_loading() || count > reader.bytes_left()) {
            reader.note_wanted_end(block_start + 2 + (reader.eof_reached() ? 0 : count));
            ok = false;
            break;
        }
        block_buffer.assign(count / 4 + 2, 0);
        reader.get_byte_array(reinterpret_cast<unsigned char*>(block_buffer.data()), (int)count);
        if (reader.error_loading()) {
            ok = false;
            break;
        }
        block_bits = (size_t)count * 8;
        block_bit_pos = 0;

        int todo = frames - done < block_frames ? frames - done : block_frames;
        int width = top_width;
        int d1 = 0, d2 = 0;
        int produced = 0;
        while (produced < todo) {
            if (width < 1 || width > top_width) {
                if (is_16bit) ERROR_LINE("loaders/loader_it", 478, "Sample has illegal BitWidth ");
                ok = false;
                break;
            }
            unsigned v = read_bits(width);
            if (width < 7) {
                if (v == 1u << (width - 1)) {
                    int n = (int)read_bits(width_bits) + 1;
                    width = n < width ? n : n + 1;
                    continue;
                }
            } else if (width < top_width) {
                unsigned border = is_16bit ? (0xFFFFu >> (17 - width)) - 8 : (0xFFu >> (9 - width)) - 4;
                unsigned span = is_16bit ? 16 : 8;
                if (v > border && v <= border + span) {
                    int n = (int)(v - border);
                    width = n < width ? n : n + 1;
                    continue;
                }
            } else if (v & (1u << frame_bits)) {
                width = (int)((v + 1) & 0xFF);
                continue;
            }
            int delta;
            if (width < frame_bits) {
                int shift = 32 - width;
                delta = (int)(v << shift) >> shift;
            } else {
                delta = is_16bit ? (int)(short)(v & 0xFFFF) : (int)(signed char)(v & 0xFF);
            }
            if (is_16bit) {
                d1 = (short)(d1 + delta);
                d2 = (short)(d2 + d1);
                static_cast<short*>(dst)[done + produced] = (short)(it215 ? d2 : d1);
            } else {
                d1 = (signed char)(d1 + delta);
                d2 = (signed char)(d2 + d1);
                static_cast<signed char*>(dst)[done + produced] = (signed char)(it215 ? d2 : d1);
            }
            produced++;
        }
        if (!ok) break;
        done += todo;
    }
    block_buffer.clear();
    block_buffer.shrink_to_fit();
    block_bits = block_bit_pos = 0;
    return ok;
}

Loader::Error Loader_IT::load_message() {
    message.clear();
    if (!(header.special & SPECIAL_MESSAGE)) return SUCCESS;
    if ((unsigned long)header.message_offset + header.message_length > reader.get_file_size()) return FILE_ERROR;
    std::string text(header.message_length, '\0');
    reader.seek(header.message_offset);
    reader.get_byte_array(reinterpret_cast<unsigned char*>(text.data()), (int)text.size());
    if (reader.error_loading()) return FILE_ERROR;
    text.resize(strnlen(text.data(), text.size()));
    for (char& c : text)
        if (c == '\r') c = '\n';
    message = std::move(text);
    return SUCCESS;
}

// A block that does not fit in the file leaves the song with the default macros.
void Loader_IT::load_midi_config() {
    midi_config = Midi_Config::default_config();
    if (!(header.special & SPECIAL_MIDI_CONFIG)) return;
    unsigned long at = table_offset(3);
    if (header.special & SPECIAL_EDIT_HISTORY) {
        if (at + 2 > reader.get_file_size()) return warn_midi_config_lost();
        reader.seek((unsigned)at);
        at += 2 + (unsigned long)reader.get_word() * EDIT_HISTORY_ENTRY;
    }
    if (at + Midi_Config::FILE_BYTES > reader.get_file_size()) return warn_midi_config_lost();
    reader.seek((unsigned)at);
    for (Midi_Config::Macro& macro : midi_config.macros) {
        reader.get_byte_array((unsigned char*)macro.data(), Midi_Config::MACRO_SIZE);
        // Text after a terminator is left-over memory, not part of the macro.
        std::fill(std::find(macro.begin(), macro.end(), 0), macro.end(), 0);
    }
    if (reader.error_loading()) {
        midi_config = Midi_Config::default_config();
        warn_midi_config_lost();
    }
}

void Loader_IT::warn_midi_config_lost() {
    warn("The MIDI configuration is cut short: the default macros are used.");
}

void Loader_IT::load_patterns() {
    std::vector<unsigned> offsets = read_offset_table(2, header.pattern_count, Song::MAX_PATTERNS);
    warn_of_excess(header.pattern_count, Song::MAX_PATTERNS, "patterns");
    for (int p = 0; p < (int)offsets.size(); p++) {
        patterns.push_back(std::make_unique<IT_Pattern>());
        if (offsets[p] == 0) continue;  // an empty 64-row pattern
        if (load_pattern(offsets[p], *patterns.back()) != SUCCESS) {
            ERROR_LINE("loaders/loader_it", 585, "Warning: Pattern " + std::to_string(p) + "is corrupted");
            warn("Pattern " + std::to_string(p) + " is cut short or damaged: the rest of it is empty.");
        }
    }
}

Loader::Error Loader_IT::load_pattern(unsigned offset, IT_Pattern& pattern) {
    if ((unsigned long)offset + 8 > reader.get_file_size()) {
        reader.note_wanted_end((unsigned long)offset + 8);
        return FILE_ERROR;
    }
    reader.seek(offset);
    // The rows end the data, not the packed length; it only tells how much a short file lacks.
    reader.note_wanted_end((unsigned long)offset + 8 + reader.get_word());
    int rows = reader.get_word();
    reader.get_dword();
    pattern.rows = std::min(rows, Pattern::MAX_LENGTH);

    unsigned char mask[64] = {};
    Note last[64];
    for (Note& n : last) n.parameter = 0;
    int row = 0;
    while (row < rows) {
        unsigned char b = reader.get_byte();
        if (reader.eof_reached() || reader.error_loading()) return FILE_ERROR;
        if (b == 0) {
            row++;
            continue;
        }
        int c = (b - 1) & 63;
        if (b & 128) mask[c] = reader.get_byte();
        Note cell;
        unsigned char m = mask[c];
        if (m & 1) {
            unsigned char v = reader.get_byte();
            if (v < NOTE_COUNT) last[c].note = v;
            else if (v == 255) last[c].note = NOTE_OFF;
            else if (v == 254) last[c].note = NOTE_CUT;
            else last[c].note = NOTE_FADE;  // every other value past the notes
            cell.note = last[c].note;
        }
        if (m & 2) {
            unsigned char v = reader.get_byte();
            last[c].instrument = (v >= 1 && v <= 99) ? (unsigned char)(v - 1) : EMPTY_FIELD;
            cell.instrument = last[c].instrument;
        }
        if (m & 4) {
            unsigned char v = reader.get_byte();
            last[c].volume = v <= 212 ? v : EMPTY_FIELD;
            cell.volume = last[c].volume;
        }
        if (m & 8) {
            unsigned char cmd = reader.get_byte();
            unsigned char param = reader.get_byte();
            last[c].command = (cmd >= 1 && cmd <= 212) ? (unsigned char)(cmd - 1) : EMPTY_FIELD;
            last[c].parameter = param;
            cell.command = last[c].command;
            cell.parameter = param;
        }
        if (m & 16) cell.note = last[c].note;
        if (m & 32) cell.instrument = last[c].instrument;
        if (m & 64) cell.volume = last[c].volume;
        if (m & 128) {
            cell.command = last[c].command;
            cell.parameter = last[c].parameter;
        }
        // Rows past what the song's pattern can hold are decoded (to keep the stream in step) but not kept.
        if (!cell.is_empty() && row < Pattern::MAX_LENGTH)
            pattern.cells.push_back({(unsigned char)c, (unsigned char)row, cell});
    }
    return reader.error_loading() ? FILE_ERROR : SUCCESS;
}

void Loader_IT::transfer_data_to_song() {
    if (!song) {
        ERROR_LINE("loaders/loader_it", 640, "Transfer data failed, Song is not set!");
        return;
    }
    transfer_info();
    for (size_t i = 0; i < samples.size(); i++) transfer_sample_to_song(*samples[i], *song->get_sample((int)i));
    if (header.flags & FLAG_INSTRUMENTS) {
        for (size_t i = 0; i < instruments.size(); i++)
            transfer_instrument_to_song(*instruments[i], *song->get_instrument((int)i));
    } else {
        for (size_t i = 0; i < samples.size(); i++) song->make_instrument_out_of_sample_at((int)i, (int)i);
    }
    for (size_t p = 0; p < patterns.size(); p++) transfer_pattern_to_song(*patterns[p], (int)p);
    song->get_variables()->filename = file_name;
}

void Loader_IT::transfer_info() {
    Song::Song_Variables& v = *song->get_variables();
    Song::Initial_Variables& init = *song->get_initial_variables();
    v.name = header.song_name;
    v.row_hilight_minor = header.hilight_minor;
    v.row_hilight_major = header.hilight_major;
    v.use_stereo = (header.flags & FLAG_STEREO) != 0;
    v.rules = Playback_Rules::of_format(Playback_Rules::Format::IT);
    v.rules.use_linear_slides = (header.flags & FLAG_LINEAR_SLIDES) != 0;
    v.rules.old_effects = (header.flags & FLAG_OLD_EFFECTS) != 0;
    v.rules.compatible_gxx = (header.flags & FLAG_COMPATIBLE_GXX) != 0;
    v.rules.unmapped_note_cuts = (header.flags & FLAG_INSTRUMENTS) == 0;
    if (header.created_with == CREATED_BY_MODPLUG && header.compatible_with == COMPATIBLE_MODPLUG) {
        // ModPlug's own IT files loop as ModPlug played them.
        v.rules.loop_start_follows_loop = false;
        v.rules.one_pattern_loop_at_a_time = true;
        v.rules.jump_cancels_loop = false;
    }
    v.mixing_volume = header.mixing_volume;
    v.stereo_separation = header.stereo_separation;
    init.global_volume = header.global_volume;
    init.speed = header.speed;
    init.tempo = header.tempo;
    int orders = header.order_count < Song::MAX_ORDERS ? header.order_count : Song::MAX_ORDERS;
    for (int i = 0; i < orders; i++) {
        short value = header.orders[i];
        if (value == 254)
            value = Song::ORDER_SEPARATOR;
        else if (value >= Song::MAX_PATTERNS)  // 200 is the first pattern the song cannot hold
            value = Song::ORDER_EMPTY;
        song->set_order(i, value);
    }
    for (int c = 0; c < Song::CHANNELS; c++) {
        unsigned char pan = header.channel_pan[c];
        init.channel[c].pan = pan <= 64 ? pan : 32;
        init.channel[c].mute = (pan & 128) != 0;
        init.channel[c].surround = pan == 100;
        init.channel[c].volume = header.channel_volume[c] < 64 ? header.channel_volume[c] : 64;
    }
    v.message = message;
    v.midi_config = midi_config;
}

void Loader_IT::transfer_sample_to_song(IT_Sample& s, Sample& target) {
    target.reset(true);
    target.name = s.name;
    target.def_volume = s.default_volume;
    target.glb_volume = s.global_volume;
    target.def_panning_active = (s.default_pan & 128) != 0;
    target.def_panning = s.default_pan & 127;
    target.vibrato_type = s.vibrato_type;
    target.vibrato_speed = s.vibrato_speed;
    target.vibrato_depth = s.vibrato_depth;
    target.vibrato_rate = s.vibrato_rate;
    move_sample_data(s.data, target.data);
    target.in_use = (s.flags & SAMPLE_PRESENT) != 0;
}

void Loader_IT::transfer_instrument_to_song(const IT_Instrument& ins, Instrument& target) {
    target.reset();
    if (!ins.valid) return;
    target.name = ins.name;
    target.filename = ins.dos_filename;
    Instrument::Layer& layer = target.layers[0];
    layer.nna_type = ins.nna;
    layer.dc_type = ins.dct;
    layer.dc_action = ins.dca;
    for (int n = 0; n < NOTE_COUNT; n++) {
        layer.note_table[n] = ins.keyboard_note[n];
        layer.sample_table[n] = ins.keyboard_sample[n] == 0 ? EMPTY_FIELD : (unsigned char)(ins.keyboard_sample[n] - 1);
    }
    layer.volume_amount = ins.global_volume;
    layer.volume_fadeout = ins.fadeout;
    layer.volume_random = ins.random_volume;
    int pan = ins.default_pan & 127;
    layer.pan_default = pan <= 64 ? pan : 32;
    layer.pan_use_default = ins.default_pan < 128;
    layer.pan_random = ins.random_pan;
    layer.pitch_separation = ins.pitch_pan_separation;
    layer.pitch_center = ins.pitch_pan_center;
    layer.pitch_use_as_filter = (ins.envelope[2].flags & 128) != 0;
    layer.pitch_default_cutoff = ins.filter_cutoff & 127;
    layer.pitch_use_default_cutoff = (ins.filter_cutoff & 128) != 0;
    layer.pitch_default_Q = ins.filter_resonance & 127;
    layer.pitch_use_default_Q = (ins.filter_resonance & 128) != 0;

    Envelope* envelopes[3] = {&layer.volume_envelope, &layer.panning_envelope, &layer.pitch_envelope};
    for (int e = 0; e < 3; e++) {
        const IT_Envelope& src = ins.envelope[e];
        Envelope& env = *envelopes[e];
        env.reset();
        env.set_enabled(src.flags & 1);
        env.set_loop_enabled(src.flags & 2);
        env.set_sustain_loop_enabled(src.flags & 4);
        env.set_carry_enabled(src.flags & 8);
        for (int i = 0; i < src.node_count; i++) {
            int value = e == 0 ? (int)src.value[i] : (int)(signed char)src.value[i];
            env.add_node_at_offset(src.tick[i], value);
        }
        env.set_loop_begin(src.loop_begin);
        env.set_loop_end(src.loop_end);
        env.set_sustain_loop_begin(src.sustain_begin);
        env.set_sustain_loop_end(src.sustain_end);
    }
}

void Loader_IT::transfer_pattern_to_song(const IT_Pattern& staged, int index) {
    Pattern* target = song->get_pattern(index);
    if (!target) return;
    target->clear();
    target->set_length(staged.rows);
    int length = target->get_length();
    for (const IT_Pattern::Cell& cell : staged.cells)
        if (cell.row < length) target->get_note_ref(cell.channel, cell.row) = cell.note;
    // Commit the last write, which still sits in the pattern's one-cell cache.
    if (!staged.cells.empty()) target->get_note_ref(0, 0);
}

void Loader_IT::clear_structs(bool free_sample_data) {
    // Blocks moved into the song were forgotten by the staging at the move; what is left here
    // still belongs to the loader and is freed either way, so nothing can leak.
    (void)free_sample_data;
    samples.clear();
    instruments.clear();
    patterns.clear();
    message.clear();
    midi_config = Midi_Config::default_config();
    header = Header();
}

Loader::Error Loader_IT::give_up_and_clear_structs(Error e) {
    clear_structs(true);
    return e;
}

void Loader_IT::free_info(bool free_sample_data) { clear_structs(free_sample_data); }

Loader_IT::IT_Sample* Loader_IT::library_sample(int i) {
    if (i < 0) return nullptr;
    for (auto& s : samples) {
        if (s->data.get_size() == 0 && !s->data.get_data_ptr()) continue;
        if (i-- == 0) return s.get();
    }
    return nullptr;
}

int Loader_IT::get_amount_of_samples() {
    int count = 0;
    for (auto& s : samples)
        if (s->data.get_size() != 0 || s->data.get_data_ptr()) count++;
    return count;
}

Sample_Data* Loader_IT::get_sample_data(int i) {
    IT_Sample* s = library_sample(i);
    return s ? &s->data : nullptr;
}

std::string Loader_IT::get_sample_name(int i) {
    IT_Sample* s = library_sample(i);
    return s ? s->name : std::string();
}

void Loader_IT::add_sample_to_song(int i, int slot, bool make_instrument) {
    IT_Sample* s = library_sample(i);
    if (!s || !song || !song->get_sample(slot)) return;
    // The song gets its own copy, so the browser can add the same sample again.
    IT_Sample copy;
    copy.name = s->name;
    copy.flags = s->flags;
    copy.default_volume = s->default_volume;
    copy.global_volume = s->global_volume;
    copy.default_pan = s->default_pan;
    copy.vibrato_type = s->vibrato_type;
    copy.vibrato_speed = s->vibrato_speed;
    copy.vibrato_depth = s->vibrato_depth;
    copy.vibrato_rate = s->vibrato_rate;
    copy.data = s->data;
    transfer_sample_to_song(copy, *song->get_sample(slot));
    if (!make_instrument) return;
    int ins = song->find_unused_instrument();
    if (ins < 0) return;
    song->make_instrument_out_of_sample_at(slot, ins);
}

Loader::Error Loader_IT::load_sample(const char* file, int slot) {
    Error e = open_for_load(file);
    if (e != SUCCESS) return e;
    if (!song || !song->get_sample(slot)) return abort_load(FILE_ERROR);
    IT_Sample s;
    if (reader.get_file_size() < SAMPLE_HEADER_SIZE || load_sample_info(s) != SUCCESS ||
        load_sample_data(s, (s.convert_flags & CONVERT_DELTA) != 0) != SUCCESS)
        return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    reader.close();
    if (!data_problem.empty())
        warn(std::string("The sample") + (s.name.empty() ? "" : " \"" + s.name + "\"") + " " + data_problem + ".");
    transfer_sample_to_song(s, *song->get_sample(slot));
    return SUCCESS;
}

Sample_Data* Loader_IT::load_sample(const char* file) {
    if (open_for_load(file) != SUCCESS) return nullptr;
    IT_Sample s;
    if (reader.get_file_size() < SAMPLE_HEADER_SIZE || load_sample_info(s) != SUCCESS ||
        load_sample_data(s, (s.convert_flags & CONVERT_DELTA) != 0) != SUCCESS || !s.data.get_data_ptr()) {
        reader.close();
        return nullptr;
    }
    reader.close();
    Sample_Data* result = new Sample_Data;
    move_sample_data(s.data, *result);
    return result;
}

Loader::Error Loader_IT::load_samples_from_instrument(const char* file) {
    Error e = open_for_load(file);
    if (e != SUCCESS) return e;
    clear_structs(true);
    auto ins = std::make_unique<IT_Instrument>();
    if (reader.get_file_size() < INSTRUMENT_HEADER_SIZE || load_instrument_info(*ins) != SUCCESS)
        return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    // Sample headers follow the instrument back to back; keep those the file really holds.
    int count = ins->number_of_samples;
    for (int i = 0; i < count; i++) {
        unsigned long at = INSTRUMENT_HEADER_SIZE + (unsigned long)i * SAMPLE_HEADER_SIZE;
        if (at + SAMPLE_HEADER_SIZE > reader.get_file_size()) break;
        auto s = std::make_unique<IT_Sample>();
        reader.seek((unsigned)at);
        if (load_sample_info(*s) != SUCCESS) s = std::make_unique<IT_Sample>();
        samples.push_back(std::move(s));
    }
    for (size_t i = 0; i < samples.size(); i++) {
        load_sample_data(*samples[i], (samples[i]->convert_flags & CONVERT_DELTA) != 0);
        if (!data_problem.empty()) warn(slot_label("Sample", (int)i, samples[i]->name) + " " + data_problem + ".");
    }
    // The keyboard names samples of this file only.
    for (int n = 0; n < NOTE_COUNT; n++)
        if (ins->keyboard_sample[n] > samples.size()) ins->keyboard_sample[n] = 0;
    instruments.push_back(std::move(ins));
    reader.close();
    return SUCCESS;
}

Loader::Error Loader_IT::load_instrument(const char* file, int slot) {
    if (!song || !song->get_instrument(slot)) return FILE_ERROR;
    if (load_samples_from_instrument(file) != SUCCESS) return FILE_ERROR;
    {
        Mutex_Lock_Guard guard(song_lock);
        for (auto& s : samples) {
            s->song_slot = -1;
            if (!(s->flags & SAMPLE_PRESENT)) continue;
            int target = song->find_unused_sample_slot();
            if (target < 0) continue;  // its data is freed with the staging
            transfer_sample_to_song(*s, *song->get_sample(target));
            s->song_slot = target;
        }
        Instrument& target = *song->get_instrument(slot);
        transfer_instrument_to_song(*instruments[0], target);
        unsigned char* table = target.layers[0].sample_table;
        for (int n = 0; n < NOTE_COUNT; n++) {
            if (table[n] >= Song::MAX_SAMPLES) continue;
            int slot_of = table[n] < samples.size() ? samples[table[n]]->song_slot : -1;
            table[n] = slot_of < 0 ? EMPTY_FIELD : (unsigned char)slot_of;
        }
    }
    clear_structs(true);
    return SUCCESS;
}
