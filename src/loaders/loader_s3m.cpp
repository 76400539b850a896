#include "loaders/loader_s3m.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "loaders/adpcm_sample.h"
#include "loaders/bounded_reader.h"
#include "trackercore/song.h"

// Header offsets.
static constexpr long S3M_MAGIC = 44;
static constexpr long S3M_HEADER = 96;  // the orders follow
static constexpr int S3M_SAMPLE_HEADER = 80;
static constexpr int S3M_PAN_MARKER = 252;
static constexpr int S3M_PACK_ADPCM = 4;  // ModPlug's 4-bit ADPCM (8-bit samples only)
static constexpr int S3M_ROWS = 64;

static unsigned read_le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
static unsigned read_le32(const unsigned char* p) { return read_le16(p) | (read_le16(p + 2) << 16); }

static std::string text_field(const unsigned char* p, size_t size) {
    return std::string((const char*)p, strnlen((const char*)p, size));
}

Loader_S3M::Loader_S3M() { format_name = "Scream Tracker 3"; }

Loader_S3M::~Loader_S3M() { free_info(true); }

unsigned char Loader_S3M::convert_note(unsigned char n) {
    if (n == 255) return EMPTY_FIELD;
    if (n == 254) return NOTE_CUT;
    int note = (n >> 4) * 12 + (n & 15);
    return note < NOTE_COUNT ? (unsigned char)note : EMPTY_FIELD;
}

unsigned char Loader_S3M::convert_instrument(unsigned char i) {
    return i >= 1 && i <= Song::MAX_INSTRUMENTS ? (unsigned char)(i - 1) : EMPTY_FIELD;
}

unsigned char Loader_S3M::convert_volume(unsigned char v) { return std::min<unsigned char>(v, 64); }

unsigned char Loader_S3M::convert_command(unsigned char c) {
    // A = 1 in S3M; 0 and anything past Z is no command.
    return c >= 1 && c <= 26 ? (unsigned char)(c - 1) : EMPTY_FIELD;
}

void Loader_S3M::unpack_pattern(const unsigned char* bytes, int size, Pattern& pattern) {
    pattern.clear();
    pattern.set_length(S3M_ROWS);
    int pos = 0, row = 0;
    auto next = [&](int& value) {
        if (pos >= size) return false;
        value = bytes[pos++];
        return true;
    };
    while (row < S3M_ROWS) {
        int b;
        if (!next(b)) break;
        if (b == 0) {
            ++row;
            continue;
        }
        Note cell;
        int note = 255, instrument = 0, volume = 0, command = 0, parameter = 0;
        bool complete = true;
        if (b & 0x20) complete = next(note) && next(instrument);
        if (complete && (b & 0x40)) complete = next(volume);
        if (complete && (b & 0x80)) complete = next(command) && next(parameter);
        if (!complete) break;  // the block ended inside the cell
        if (b & 0x20) {
            cell.note = convert_note((unsigned char)note);
            cell.instrument = convert_instrument((unsigned char)instrument);
        }
        if (b & 0x40) cell.volume = convert_volume((unsigned char)volume);
        if (b & 0x80) {
            cell.command = convert_command((unsigned char)command);
            cell.parameter = (unsigned char)parameter;
        }
        if (!cell.is_empty()) pattern.get_note_ref(b & 31, row) = cell;
    }
    pattern.get_note_ref(0, 0);  // commits the last cached cell
}

bool Loader_S3M::test(const char* file) {
    // Busy or unopenable files are claimed so that load() names the precise error.
    if (reader.is_open() || reader.open(file) != 0) return true;
    Bounded_Reader in(reader);
    Error e = load_header(in);
    reader.close();
    return e != FILE_FORMAT_NOT_RECOGNIZED;
}

// Header: 0 name (28), 28 0x1A, 29 type, 32 orders, 34 samples, 36 patterns, 38 flags, 40 version,
// 42 sample format (16-bit each), 44 "SCRM", 48 global volume, 49 speed, 50 tempo, 51 master volume,
// 52 click removal, 53 pan marker, 64 channel settings (32), 96 orders, then the paragraph pointers.
Loader::Error Loader_S3M::load_header(Bounded_Reader& in) {
    header = Header();
    orders.clear();
    sample_offsets.clear();
    pattern_offsets.clear();
    unsigned char top[S3M_HEADER];
    if (!in.get_bytes(top, S3M_MAGIC + 4) || std::memcmp(top + S3M_MAGIC, "SCRM", 4) != 0)
        return FILE_FORMAT_NOT_RECOGNIZED;
    if (!in.get_bytes(top + S3M_MAGIC + 4, S3M_HEADER - S3M_MAGIC - 4)) return HEADER_CORRUPT;
    header.name = text_field(top, 28);
    header.order_count = read_le16(top + 32);
    header.sample_count = read_le16(top + 34);
    header.pattern_count = read_le16(top + 36);
    header.flags = read_le16(top + 38);
    header.version = read_le16(top + 40);
    header.global_volume = top[48];
    header.speed = top[49];
    header.tempo = top[50];
    header.master_volume = top[51];
    int pan_marker = top[53];
    std::memcpy(header.channel_settings, top + 64, 32);

    orders.resize((size_t)header.order_count);
    if (!in.get_bytes(orders.data(), header.order_count)) return HEADER_CORRUPT;
    for (int i = 0; i < header.sample_count; ++i) sample_offsets.push_back(in.get_word() * 16L);
    for (int i = 0; i < header.pattern_count; ++i) pattern_offsets.push_back(in.get_word() * 16L);
    if (in.failed()) return HEADER_CORRUPT;
    if (pan_marker == S3M_PAN_MARKER && !in.get_bytes(header.channel_pans, 32))
        std::memset(header.channel_pans, 0, 32);  // a file cut short here keeps the default pans
    return SUCCESS;
}

// The channel's pan, 0..64: mono songs play centred; otherwise the pan byte when it is
// marked valid, else the side the channel setting names (left 0..7, right 8..15).
int Loader_S3M::channel_pan(const Header& header, int channel) {
    if (!(header.master_volume & 128)) return 32;
    int nibble;
    if (header.channel_pans[channel] & 0x20)
        nibble = header.channel_pans[channel] & 15;
    else {
        int setting = header.channel_settings[channel] & 127;
        nibble = setting < 8 ? 3 : setting < 16 ? 12 : 7;
    }
    return std::min(nibble * 4 + 2, 64);
}

Loader::Error Loader_S3M::load(const char* file, bool load_patterns) {
    if (reader.is_open()) return FILE_IN_USE;
    free_info(true);
    if (reader.open(file) != 0) return FILE_CANNOT_OPEN;
    Bounded_Reader in(reader);
    Error e = load_header(in);
    if (e != SUCCESS) {
        free_info(true);
        return abort_load(e);
    }
    samples.resize((size_t)std::min(header.sample_count, Song::MAX_SAMPLES));
    for (size_t i = 0; i < samples.size(); ++i) load_sample(in, sample_offsets[i], samples[i]);
    if (load_patterns) {
        patterns.resize((size_t)std::min(header.pattern_count, Song::MAX_PATTERNS));
        for (size_t p = 0; p < patterns.size(); ++p) load_pattern(in, pattern_offsets[p], patterns[p]);
    }
    reader.close();
    file_name = file;
    return SUCCESS;
}

// Sample header: 0 type, 1 file name (12), 13 segment high byte, 14 segment, 16 length, 20 loop begin,
// 24 loop end (32-bit), 28 volume, 30 pack, 31 flags, 32 C2 speed (32-bit), 48 name (28), 76 "SCRS".
// A faulty sample stays without data; loading goes on.
void Loader_S3M::load_sample(Bounded_Reader& in, long offset, S3M_Sample& sample) {
    unsigned char h[S3M_SAMPLE_HEADER];
    if (!in.seek(offset) || !in.get_bytes(h, S3M_SAMPLE_HEADER)) return;
    sample.filename = text_field(h + 1, 12);
    sample.memory_segment = (h[13] << 16) | (int)read_le16(h + 14);
    sample.length = (int)std::min<unsigned>(read_le32(h + 16), 0x7FFFFFFF);
    sample.loop_begin = (int)std::min<unsigned>(read_le32(h + 20), 0x7FFFFFFF);
    sample.loop_end = (int)std::min<unsigned>(read_le32(h + 24), 0x7FFFFFFF);
    sample.volume = h[28];
    sample.flags = h[31];
    sample.c2_speed = (int)std::min<unsigned>(read_le32(h + 32), 0x3FFFFFFF);
    sample.name = text_field(h + 48, 28);
    sample.valid = h[0] == 1 && std::memcmp(h + 76, "SCRS", 4) == 0;
    if (!sample.valid || sample.length == 0) return;

    bool sixteen_bit = sample.flags & 4;
    int unit = sixteen_bit ? 2 : 1;
    if (!in.seek(sample.memory_segment * 16L)) {
        in.note_wanted_end(sample.memory_segment * 16L + (long)sample.length * unit);
        return;
    }
    Sample_Data& data = sample.data;
    if (h[30] == S3M_PACK_ADPCM && !sixteen_bit) {
        // A length past the end of the file keeps the frames whose nibbles are there.
        long wanted = adpcm_sample::stored_size(sample.length);
        in.note_wanted_end(in.tell() + wanted);
        int frames = (int)std::min<long>(sample.length, adpcm_sample::frames_in(std::min(wanted, in.remaining())));
        if (frames <= 0) return;
        std::vector<unsigned char> packed((size_t)adpcm_sample::stored_size(frames));
        unsigned char* block = static_cast<unsigned char*>(std::malloc((size_t)frames));
        if (!block) return;
        in.get_bytes(packed.data(), (long)packed.size());
        adpcm_sample::decode(packed.data(), frames, reinterpret_cast<signed char*>(block));
        data.set_data_ptr(block, frames, false);  // the deltas already make signed data
    } else {
        // A length past the end of the file keeps the frames that are there.
        int frames = (int)std::min<long>(sample.length, in.remaining() / unit);
        in.note_wanted_end(in.tell() + (long)sample.length * unit);
        if (frames <= 0) return;
        unsigned char* block = static_cast<unsigned char*>(std::malloc((size_t)frames * unit));
        if (!block) return;
        in.get_bytes(block, (long)frames * unit);
        if (sixteen_bit) {
            short* words = reinterpret_cast<short*>(block);
            for (int i = 0; i < frames; ++i) words[i] = (short)read_le16(block + 2 * i);
        }
        data.set_data_ptr(block, frames, sixteen_bit);
        data.change_sign();
    }
    int frames = data.get_size();
    data.set_c5_freq(sample.c2_speed * 2);
    data.set_loop_enabled(sample.flags & 1);
    data.set_loop_begin(std::min(sample.loop_begin, frames));
    data.set_loop_end(std::clamp(sample.loop_end - 1, 0, frames));
}

void Loader_S3M::load_pattern(Bounded_Reader& in, long offset, Pattern& pattern) {
    pattern.clear();
    pattern.set_length(S3M_ROWS);
    if (offset == 0 || !in.seek(offset)) return;  // no pointer: an empty pattern
    long packed_length = in.get_word();
    if (in.failed()) return;
    long size = std::min(packed_length, in.remaining());
    in.note_wanted_end(in.tell() + packed_length);
    std::vector<unsigned char> bytes((size_t)size);
    in.get_bytes(bytes.data(), size);
    unpack_pattern(bytes.data(), (int)size, pattern);
}

void Loader_S3M::transfer_data_to_song() {
    if (!song) return;
    Song::Song_Variables& vars = *song->get_variables();
    vars.name_prop.set(header.name);  // the song keeps at most 25 characters
    vars.message.clear();
    vars.row_hilight_minor = 4;
    vars.row_hilight_major = 16;
    vars.mixing_volume = header.master_volume & 127;  // bit 7 is the stereo flag
    vars.rules = Playback_Rules::of_format(Playback_Rules::Format::S3M);
    vars.rules.old_effects = !(header.flags & 64);
    vars.rules.fast_volume_slides = (header.flags & 64) || header.version == 0x1300;
    Song::Initial_Variables& initial = *song->get_initial_variables();
    initial.global_volume = std::min(header.global_volume * 2, 128);  // 0..64 in S3M
    initial.speed = std::clamp(header.speed, 1, 255);
    initial.tempo = std::clamp(header.tempo, 31, 255);
    for (int c = 0; c < 32; ++c) initial.channel[c].pan = channel_pan(header, c);

    int order_count = std::min((int)orders.size(), Song::MAX_ORDERS);
    for (int i = 0; i < order_count; ++i) song->set_order(i, orders[(size_t)i]);

    for (size_t i = 0; i < samples.size(); ++i) {
        S3M_Sample& staged = samples[i];
        Sample& sample = *song->get_sample((int)i);
        sample.reset(true);
        sample.name = staged.name;
        sample.filename = staged.filename;
        sample.def_volume = std::min(staged.volume, 64);
        // The song takes the block.
        void* block = staged.data.get_data_ptr();
        staged.data.release_data_ptr();
        sample.data = staged.data;
        sample.data.set_data_ptr(block, staged.data.get_size(), staged.data.is_16bit());
        staged.data.set_data_ptr(nullptr, 0);
        sample.in_use = block != nullptr;
        song->make_instrument_out_of_sample_at((int)i, (int)i);
    }
    for (size_t p = 0; p < patterns.size(); ++p) *song->get_pattern((int)p) = std::move(patterns[p]);
}

void Loader_S3M::free_info(bool) {
    // Blocks the song took were released from the staging; whatever is left is still ours.
    samples.clear();
    patterns.clear();
    orders.clear();
    sample_offsets.clear();
    pattern_offsets.clear();
}
