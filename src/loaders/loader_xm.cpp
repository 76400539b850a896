#include "loaders/loader_xm.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "loaders/bounded_reader.h"
#include "loaders/cell_commands.h"
#include "trackercore/song.h"

// Module header offsets.
static constexpr long XM_MARKER = 37;       // 0x1A after the 17-byte id and the 20-byte name
static constexpr long XM_HEADER_SIZE = 60;  // the header size field counts from here
static constexpr long XM_ORDERS = 80;
static constexpr int XM_KEYS = 96;
static constexpr int XM_INSTRUMENT_NUMBERS = 128;
static constexpr long XM_PATTERN_HEADER = 9;
// Instrument header: size(4) name(22) type(1) samples(2) sample header size(4), then the
// keyboard/envelope block; FT2 writes 263 bytes in all.
static constexpr int XM_INSTRUMENT_PREFIX = 33;
static constexpr int XM_INSTRUMENT_BLOCK = 210;
static constexpr int XM_INSTRUMENT_FULL = 263;
static constexpr int XM_SAMPLE_HEADER = 40;
static constexpr int XM_ENVELOPE_POINTS = 12;
// .xi: "Extended Instrument: " (21), name (22), 0x1A, tracker (20), version (2).
static constexpr long XI_NAME = 21;
static constexpr long XI_BLOCK = 66;
static constexpr int XI_RESERVED = 22;  // between the block and the sample count

static constexpr const char* HOME_PAGE = "https://wendmoor.org";

static std::string trim_right(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// Little-endian field access into a header block already read and bounds-checked.
static unsigned read_le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
static unsigned read_le32(const unsigned char* p) { return read_le16(p) | (read_le16(p + 2) << 16); }

Loader_XM::Loader_XM() { format_name = "FastTracker 2"; }

Loader_XM::~Loader_XM() { free_info(true); }

// ---- cell translation ----

unsigned char Loader_XM::convert_note(unsigned char xm_note) {
    if (xm_note == 97) return NOTE_OFF;
    // 0 is "no note" in XM and 98+ do not exist; kept as read they would play as notes.
    if (xm_note == 0 || xm_note > 97) return EMPTY_FIELD;
    return xm_note;
}

unsigned char Loader_XM::convert_instrument(unsigned char xm_instrument) {
    return xm_instrument >= 1 && xm_instrument <= 99 ? xm_instrument - 1 : EMPTY_FIELD;
}

// The column's slide to a note moves 16 x its digit; IT's column picks one of ten speeds.
static const unsigned char column_portamento_speeds[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};

static int nearest_portamento_speed(int speed) {
    int best = 0;
    for (int i = 1; i < 10; ++i)
        if (std::abs(column_portamento_speeds[i] - speed) < std::abs(column_portamento_speeds[best] - speed)) best = i;
    return best;
}

unsigned char Loader_XM::convert_volume(unsigned char v) {
    // 0..15 carry no command in XM; in the IT column they would set a volume.
    if (v < 0x10 || v == 0xFF) return EMPTY_FIELD;
    int n = v & 0x0F;
    int capped = std::min(n, 9);
    switch (v >> 4) {
    case 0x1: case 0x2: case 0x3: case 0x4: return v - 0x10;
    case 0x5: return v == 0x50 ? 64 : EMPTY_FIELD;
    case 0x6: return n <= 9 ? 95 + n : VOLUME_SLIDE_DOWN_DEEP + n - 10;  // slide down
    case 0x7: return 85 + capped;  // slide up
    case 0x8: return 75 + capped;  // fine down
    case 0x9: return 65 + capped;  // fine up
    case 0xA: return VOLUME_VIBRATO_SPEED + n;
    case 0xB: return n <= 9 ? 203 + n : VOLUME_VIBRATO_DEPTH + n;  // vibrato with this depth
    case 0xC: return 128 + std::min(n * 65 / 15, 64);
    case 0xF: return 193 + nearest_portamento_speed(n * 16);
    default: return EMPTY_FIELD;   // panning slides
    }
}

using cell_commands::clear_command;
using cell_commands::set_command;
using cell_commands::set_command_unless_zero;

// The converted volume column's command as the effect that does the same, for a cell whose
// column must hold a volume; a plain volume leaves no effect.
static void move_volume_command_to_effect(Note& cell) {
    const int v = cell.volume;
    clear_command(cell);
    if (v <= 64 || v == EMPTY_FIELD) return;
    if (v <= 74) set_command(cell, 'D', (unsigned char)(((v - 65) << 4) | 0x0F));
    else if (v <= 84) set_command(cell, 'D', (unsigned char)(0xF0 | (v - 75)));
    else if (v <= 94) set_command(cell, 'D', (unsigned char)((v - 85) << 4));
    else if (v <= 104) set_command(cell, 'D', (unsigned char)(v - 95));
    else if (v >= 128 && v <= 192) set_command(cell, 'X', (unsigned char)((v - 128) * 255 / 64));
    else if (v >= 193 && v <= 202) set_command(cell, 'G', column_portamento_speeds[v - 193]);
    else if (v >= 203 && v <= 212) set_command(cell, 'H', (unsigned char)(v - 203));
    else if (v >= VOLUME_VIBRATO_SPEED && v < VOLUME_VIBRATO_DEPTH) set_command(cell, 'H', (unsigned char)((v - VOLUME_VIBRATO_SPEED) << 4));
    else if (v >= VOLUME_VIBRATO_DEPTH && v < VOLUME_VIBRATO_DEPTH + 16) set_command(cell, 'H', (unsigned char)(v - VOLUME_VIBRATO_DEPTH));
    else if (v >= VOLUME_SLIDE_DOWN_DEEP && v <= VOLUME_COLUMN_LAST) set_command(cell, 'D', (unsigned char)(v - VOLUME_SLIDE_DOWN_DEEP + 10));
}

// FT2's vibrato waveforms are sine, ramp and square (3 is a square too); the player's second
// and third are the other way round.
static const unsigned char ft2_vibrato_waveform[4] = {0, 2, 1, 1};

static void convert_extended(unsigned char p, Note& cell) {
    int x = p >> 4, y = p & 0x0F;
    switch (x) {
    case 0x0: clear_command(cell); break;  // the Amiga filter: S0x keys off
    // E10 and E20 recall their own memories.
    case 0x1: set_command(cell, 'F', 0xF0 | y); break;
    case 0x2: set_command(cell, 'E', 0xF0 | y); break;
    // Glissando, vibrato waveform and tremolo waveform sit at other S numbers in IT.
    case 0x3: set_command(cell, 'S', 0x10 | y); break;
    case 0x4: set_command(cell, 'S', 0x30 | (y <= 3 ? ft2_vibrato_waveform[y] : y)); break;
    case 0x5:
        cell.command = COMMAND_FT2_FINETUNE;
        cell.parameter = (unsigned char)y;
        break;
    case 0x6: set_command(cell, 'S', 0xB0 | y); break;  // pattern loop
    case 0x7: set_command(cell, 'S', 0x40 | (y == 3 ? 2 : y)); break;  // FT2's 3 is a square
    case 0x9: set_command(cell, 'Q', y); break;  // E90 strikes again once on the row's first tick
    case 0xA:
    case 0xB:
        cell.command = COMMAND_FT2_FINE_VOLUME_SLIDE;
        cell.parameter = p;
        break;
    case 0xC: set_command(cell, 'S', 0xC0 | y); break;
    case 0xD: set_command(cell, 'S', 0xD0 | y); break;
    case 0xE: set_command(cell, 'S', 0xE0 | y); break;  // pattern delay
    default: set_command(cell, 'S', p); break;
    }
}

// FT2 has no fine slides in its 1xx, 2xx and Axy: a parameter that would read as one in IT
// keeps its FT2 meaning. Pitch slides from E0 on are as steep as DF within a tick or two;
// a volume slide with both digits slides up.
static unsigned char plain_pitch_slide(unsigned char p) { return std::min<unsigned char>(p, 0xDF); }
static unsigned char plain_volume_slide(unsigned char p) { return (p >> 4) ? p & 0xF0 : p; }

void Loader_XM::convert_effect(unsigned char effect, unsigned char p, Note& cell) {
    switch (effect) {
    case 0:
        // 000 is the empty effect; J00 would repeat the last arpeggio.
        if (p == 0)
            clear_command(cell);
        else
            set_command(cell, 'J', p);
        break;
    case 1: set_command(cell, 'F', plain_pitch_slide(p)); break;
    case 2: set_command(cell, 'E', plain_pitch_slide(p)); break;
    case 3: set_command(cell, 'G', p); break;
    case 4: set_command(cell, 'H', p); break;
    case 5: set_command(cell, 'L', plain_volume_slide(p)); break;
    case 6: set_command(cell, 'K', plain_volume_slide(p)); break;
    case 7: set_command(cell, 'R', p); break;
    case 8: set_command(cell, 'X', p); break;
    case 9: set_command(cell, 'O', p); break;
    case 10: set_command(cell, 'D', plain_volume_slide(p)); break;
    case 11: set_command(cell, 'B', p); break;
    case 12:
        // Cxx sets the note's volume (the channel volume, M, would outlast the note). It wins
        // over a volume set in the column; a column command moves to the effect column.
        move_volume_command_to_effect(cell);
        cell.volume = std::min<unsigned char>(p, 64);
        break;
    case 13:
        // The break row is written in decimal digits.
        set_command(cell, 'C', (unsigned char)std::min((p >> 4) * 10 + (p & 0x0F), 255));
        break;
    case 14: convert_extended(p, cell); break;
    case 15: set_command(cell, p < 32 ? 'A' : 'T', p); break;
    case 16: set_command(cell, 'V', (unsigned char)(std::min<int>(p, 64) * 2)); break;  // 0..64 to 0..128
    case 17: set_command(cell, 'W', plain_volume_slide(p)); break;
    case 20:
        // K00 is a bare key-off in place of the cell's note and instrument; Kxx keys off on
        // tick xx (S0x).
        if (p == 0) {
            clear_command(cell);
            cell.note = NOTE_OFF;
            cell.instrument = EMPTY_FIELD;
        } else {
            set_command(cell, 'S', (unsigned char)std::min<int>(p, 15));
        }
        break;
    case 21:
        cell.command = COMMAND_FT2_ENVELOPE_POSITION;
        cell.parameter = p;
        break;
    case 25: set_command(cell, 'P', p); break;
    case 27:
        // Q0y is E9y: a volume step of 0 (the last one in FT2) is taken as 8, no change.
        set_command(cell, 'Q', (p >> 4) ? p : (unsigned char)(0x80 | p));
        break;
    case 29: set_command(cell, 'I', p); break;
    case 33:
        // Extra fine slides, a quarter of a fine one's step, as IT's FEx and EEx (X10 and X20
        // recall their own memories).
        if ((p >> 4) == 1)
            set_command(cell, 'F', 0xE0 | (p & 0x0F));
        else if ((p >> 4) == 2)
            set_command(cell, 'E', 0xE0 | (p & 0x0F));
        else
            clear_command(cell);
        break;
    default: clear_command(cell); break;
    }
}

// The column's slide to a note keeps its exact speed as the effect G where the effect column is
// free. Beside 3xx it sets the speed (FT2 ignores 3xx's own) and both slide: twice as fast.
static void place_column_portamento(int digit, Note& cell) {
    const unsigned char speed = (unsigned char)(digit * 16);
    if (cell.command == EMPTY_FIELD) {
        set_command(cell, 'G', speed);
        cell.volume = EMPTY_FIELD;
    } else if (cell.command == 'G' - 'A') {
        cell.parameter = speed;
    }
}

// The column's slides up and fine slides by 10..15 fit IT's column nowhere: in a free effect
// column they become the effect that does the same (both feed the same memories); beside
// another effect they stay at 9.
static void place_deep_column_slide(unsigned char xm_volume, Note& cell) {
    const int kind = xm_volume >> 4, depth = xm_volume & 0x0F;
    if (depth <= 9 || kind < 0x7 || kind > 0x9 || cell.command != EMPTY_FIELD) return;
    if (kind == 0x7) {
        set_command(cell, 'D', (unsigned char)(depth << 4));
    } else {
        cell.command = COMMAND_FT2_FINE_VOLUME_SLIDE;
        cell.parameter = (unsigned char)((kind == 0x9 ? 0xA0 : 0xB0) | depth);
    }
    cell.volume = EMPTY_FIELD;
}

int Loader_XM::decode_cell(const unsigned char* bytes, int size, Note& cell, unsigned char empty_instrument) {
    cell = Note();
    if (size < 1) return 0;
    unsigned char b = bytes[0];
    unsigned char fields[5] = {0, 0, 0, 0, 0};
    bool present[5] = {true, true, true, true, true};
    int used = 1;
    if (b & 0x80) {
        for (int i = 0; i < 5; ++i) {
            present[i] = (b >> i) & 1;
            if (!present[i]) continue;
            if (used >= size) return 0;
            fields[i] = bytes[used++];
        }
    } else {
        if (size < 5) return 0;
        fields[0] = b;
        std::memcpy(fields + 1, bytes + 1, 4);
        used = 5;
    }
    if (present[0]) cell.note = convert_note(fields[0]);
    if (present[1]) {
        cell.instrument = convert_instrument(fields[1]);
        // FT2 has 128 instrument numbers; one the song cannot hold is an empty instrument, as
        // any number past the file's last instrument is.
        if (fields[1] > Song::MAX_INSTRUMENTS && fields[1] <= XM_INSTRUMENT_NUMBERS) cell.instrument = empty_instrument;
    }
    if (present[2]) cell.volume = convert_volume(fields[2]);
    // An absent effect or parameter is 0: FT2 leaves out zero fields, so a lone parameter is arpeggio.
    convert_effect(fields[3], fields[4], cell);
    if (present[2] && fields[2] >= 0xF0) place_column_portamento(fields[2] & 0x0F, cell);
    if (present[2]) place_deep_column_slide(fields[2], cell);
    return used;
}

void Loader_XM::decode_delta_8(signed char* frames, int count) {
    unsigned char sum = 0;
    for (int i = 0; i < count; ++i) {
        sum = (unsigned char)(sum + (unsigned char)frames[i]);
        frames[i] = (signed char)sum;
    }
}

void Loader_XM::decode_delta_16(short* frames, int count) {
    unsigned short sum = 0;
    for (int i = 0; i < count; ++i) {
        sum = (unsigned short)(sum + (unsigned short)frames[i]);
        frames[i] = (short)sum;
    }
}

int Loader_XM::c5_frequency(int relative_note, int finetune) {
    // Linear period of note (relative_note + 59), then its frequency, as the player's tables do:
    // 64 period units per semitone, 535232 Hz at period 0 of the reference octave.
    long period = (288L - (relative_note + 59) * 2L) * 32L - (finetune >> 1);
    if (period < 0) period = 0;
    int k = (int)(period / 768) - 2;
    long f = (long)std::floor(535232.0 * std::pow(2.0, -(double)(period % 768) / 768.0));
    return (int)(k > 0 ? f >> k : f << -k);
}

// One sample header as stored; lengths in bytes.
struct XM_Sample_Header {
    unsigned length, loop_start, loop_length;
    int volume, finetune, type, panning, relative_note;
    bool adpcm;  // ModPlug's 4-bit compression, marked in the reserved byte
    std::string name;
};

// 0 length, 4 loop start, 8 loop length (32-bit), 12 volume, 13 finetune, 14 type, 15 panning,
// 16 relative note, 17 reserved, 18 name (22).
static XM_Sample_Header parse_sample_header(const unsigned char* h) {
    XM_Sample_Header s;
    s.length = read_le32(h);
    s.loop_start = read_le32(h + 4);
    s.loop_length = read_le32(h + 8);
    s.volume = h[12];
    s.finetune = (signed char)h[13];
    s.type = h[14];
    s.panning = h[15];
    s.relative_note = (signed char)h[16];
    s.adpcm = h[17] == 0xAD && !(s.type & 0x10);
    s.name = trim_right(std::string((const char*)h + 18, strnlen((const char*)h + 18, 22)));
    return s;
}

// An instrument whose sample data is still to be read: right after its headers, or, in files
// older than version 1.04, after all the patterns.
struct Loader_XM::Pending_Instrument {
    Instrument* instrument = nullptr;
    unsigned char keyboard[XM_KEYS] = {};
    unsigned char vibrato[4] = {};  // the instrument's auto-vibrato: type, sweep, depth, rate
    std::vector<XM_Sample_Header> headers;
};

// ---- module ----

bool Loader_XM::test(const char* file) {
    if (reader.is_open() || reader.open(file) != 0) return false;
    Bounded_Reader in(reader);
    unsigned char head[XM_MARKER + 1];
    bool recognised = in.get_bytes(head, sizeof(head)) && head[XM_MARKER] == 0x1A;
    reader.close();
    return recognised;
}

Loader::Error Loader_XM::load(const char* file, bool) {
    if (reader.is_open()) return FILE_IN_USE;
    free_info(true);
    if (reader.open(file) != 0) return FILE_ERROR;
    Bounded_Reader in(reader);
    Error result = load_module(in);
    if (result != SUCCESS) {
        free_info(true);
        return abort_load(result);
    }
    reader.close();
    file_name = file;
    return SUCCESS;
}

// Module header: 0 id (17), 17 name (20), 37 0x1A, 38 tracker name (20), 58 version, 60 header size
// (32-bit, counted from 60), 64 song length, 66 restart, 68 channels, 70 patterns, 72 instruments,
// 74 flags, 76 speed, 78 tempo (16-bit each), 80 orders.
Loader::Error Loader_XM::load_module(Bounded_Reader& in) {
    unsigned char top[XM_ORDERS];
    if (!in.get_bytes(top, XM_MARKER + 1) || top[XM_MARKER] != 0x1A) return FILE_FORMAT_NOT_RECOGNIZED;
    if (!in.get_bytes(top + XM_MARKER + 1, XM_ORDERS - XM_MARKER - 1)) return HEADER_CORRUPT;
    header = Header();
    header.name = trim_right(std::string((const char*)top + 17, strnlen((const char*)top + 17, 20)));
    header.tracker_name = trim_right(std::string((const char*)top + 38, strnlen((const char*)top + 38, 20)));
    header.written_by_modplug = header.tracker_name == "FastTracker v2.00" && read_le16(top + 58) >= 0x0104 &&
                                std::memchr(top + 17, 0, 20) != nullptr;
    long header_size = read_le32(top + 60);
    header.song_length = read_le16(top + 64);
    header.channels = read_le16(top + 68);
    header.patterns = read_le16(top + 70);
    header.instruments = read_le16(top + 72);
    header.flags = read_le16(top + 74);
    header.speed = read_le16(top + 76);
    header.tempo = read_le16(top + 78);

    // The header size counts from offset 60 and covers the orders; the patterns follow it.
    long orders_stored = header_size - (XM_ORDERS - XM_HEADER_SIZE);
    if (orders_stored < 0 || XM_HEADER_SIZE + header_size > in.get_size()) return HEADER_CORRUPT;
    if (!in.get_bytes(header.orders, std::min<long>(orders_stored, 256))) return HEADER_CORRUPT;
    if (!in.seek(XM_HEADER_SIZE + header_size)) return HEADER_CORRUPT;

    // Before version 1.04 the instrument headers come first and all sample data comes last.
    int version = read_le16(top + 58);
    bool old_layout = version < 0x0104;
    std::vector<Pending_Instrument> pending;
    if (old_layout) {
        Error result = load_module_instruments(in, pending, true);
        if (result != SUCCESS) return result;
    }
    patterns.assign(STAGED_PATTERNS, Pattern());
    for (int p = 0; p < header.patterns; ++p) {
        Error result = load_pattern(in, p < STAGED_PATTERNS ? &patterns[p] : nullptr, version <= 0x0102);
        if (result != SUCCESS) return result;
    }
    Error result = SUCCESS;
    if (old_layout)
        for (Pending_Instrument& instrument : pending) stage_samples(in, instrument, samples);
    else
        result = load_module_instruments(in, pending, false);
    if (result == SUCCESS) warn_of_losses();
    return result;
}

void Loader_XM::warn_of_losses() {
    if (header.dropped_cells > 0)
        warn("The file has " + std::to_string(header.channels) + " channels; Wendmoor holds " +
             std::to_string(Pattern::CHANNELS) + ": channels " + std::to_string(Pattern::CHANNELS + 1) + " to " +
             std::to_string(header.channels) + " were left out, with the " +
             (header.dropped_cells == 1 ? std::string("note") : std::to_string(header.dropped_cells) + " notes") +
             " in them.");
    warn_of_excess(header.patterns, Song::MAX_PATTERNS, "patterns");
    warn_of_excess((int)instruments.size(), Song::MAX_INSTRUMENTS, "instruments");
    warn_of_excess((int)samples.size(), Song::MAX_SAMPLES, "samples");
}

Loader::Error Loader_XM::load_module_instruments(Bounded_Reader& in, std::vector<Pending_Instrument>& pending,
                                                 bool defer_data) {
    // Trackers leave trailing empty instruments out of the file, so an instrument that does not fit
    // ends the list; those before it are sound and stay.
    for (int i = 0; i < header.instruments; ++i) {
        Pending_Instrument instrument;
        Error result = load_module_instrument(in, instrument);
        if (result == FILE_FORMAT_NOT_RECOGNIZED) return result;
        if (result != SUCCESS) break;
        if (defer_data)
            pending.push_back(std::move(instrument));
        else
            stage_samples(in, instrument, samples);
    }
    return SUCCESS;
}

Loader::Error Loader_XM::load_pattern(Bounded_Reader& in, Pattern* pattern, bool byte_rows) {
    long start = in.tell();
    long header_length = in.get_dword();
    in.get_byte();  // packing type
    int rows = byte_rows ? in.get_byte() + 1 : in.get_word();
    long packed_size = in.get_word();
    if (in.failed()) return FILE_ERROR;
    header_length = std::max(header_length, in.tell() - start);
    if (header_length > in.get_size() || !in.seek(start + header_length)) return FILE_ERROR;
    if (!pattern) return in.skip(packed_size) ? SUCCESS : FILE_ERROR;
    std::vector<unsigned char> packed((size_t)packed_size);
    if (!in.get_bytes(packed.data(), packed_size)) return FILE_ERROR;

    pattern->clear();
    int length = std::clamp(rows, 1, Pattern::MAX_LENGTH);
    pattern->set_length(length);

    // Cells are decoded within the pattern's own packed block; a block that ends early leaves
    // the rest of the pattern empty.
    int offset = 0;
    const unsigned char empty_instrument =
        header.instruments < Song::MAX_INSTRUMENTS ? (unsigned char)(Song::MAX_INSTRUMENTS - 1) : EMPTY_FIELD;
    for (int row = 0; row < rows && offset < packed_size; ++row) {
        for (int channel = 0; channel < header.channels; ++channel) {
            Note cell;
            int used = decode_cell(packed.data() + offset, (int)packed_size - offset, cell, empty_instrument);
            if (used == 0) break;
            offset += used;
            if (cell.is_empty()) continue;
            if (channel >= Pattern::CHANNELS)
                header.dropped_cells++;
            else if (row < length)
                pattern->get_note_ref(channel, row) = cell;
        }
    }
    pattern->get_note_ref(0, 0);  // commits the last cached cell
    return SUCCESS;
}

Loader::Error Loader_XM::load_module_instrument(Bounded_Reader& in, Pending_Instrument& pending) {
    long start = in.tell();
    long header_length = in.get_dword();
    if (in.failed() || header_length < 4 || header_length > in.remaining() + 4) return HEADER_CORRUPT;
    // FT2 reads as much of the header as it says it has; the rest counts as zero.
    unsigned char prefix[XM_INSTRUMENT_PREFIX] = {};
    long present = std::min<long>(header_length, XM_INSTRUMENT_PREFIX) - 4;
    if (!in.get_bytes(prefix + 4, present)) return HEADER_CORRUPT;

    auto instrument = std::make_unique<Instrument>();
    instrument->name = trim_right(std::string((const char*)prefix + 4, strnlen((const char*)prefix + 4, 22)));
    int sample_count = (int)read_le16(prefix + 27);
    long header_end = start + header_length;
    Error result = SUCCESS;
    if (sample_count == 0)
        result = in.seek(header_end) ? SUCCESS : HEADER_CORRUPT;
    else
        result = load_instrument_internal(in, *instrument, sample_count, header_end, pending);
    if (result != SUCCESS) return result;
    pending.instrument = instrument.get();
    instruments.push_back(std::move(instrument));
    return SUCCESS;
}

static void set_envelope(Envelope& envelope, const unsigned char* points, int count, int type, int sustain,
                         int loop_begin, int loop_end, int offset) {
    envelope.reset();
    count = std::min(count, XM_ENVELOPE_POINTS);
    for (int i = 0; i < count; ++i)
        envelope.add_node_at_offset((int)read_le16(points + i * 4), (int)read_le16(points + i * 4 + 2) + offset);
    // One point or none is no curve; enabled, it would silence the note.
    envelope.set_enabled((type & 1) && envelope.get_node_count() >= 2);
    envelope.set_sustain_loop_enabled(type & 2);
    envelope.set_loop_enabled(type & 4);
    envelope.set_loop_begin(loop_begin);
    envelope.set_loop_end(loop_end);
    envelope.set_sustain_loop_begin(sustain);
    envelope.set_sustain_loop_end(sustain);
}

// Offsets within the keyboard/envelope block.
enum {
    BLOCK_VOLUME_POINTS = 96,
    BLOCK_PANNING_POINTS = 144,
    BLOCK_COUNTS = 192,  // point counts, then the sustain and loop bytes, then the two types
    BLOCK_VIBRATO = 202,  // type, sweep, depth, rate
    BLOCK_FADEOUT = 206,
};

// 4-bit compressed frames: a 16-byte table of deltas, then one nibble per frame, low nibble first.
static void* read_adpcm_frames(Bounded_Reader& in, unsigned length, int& frames) {
    frames = 0;
    signed char table[16];
    if (!in.get_bytes(reinterpret_cast<unsigned char*>(table), sizeof(table))) return nullptr;
    long packed = std::min<long>(((long)length + 1) / 2, in.remaining());
    in.note_wanted_end(in.tell() + ((long)length + 1) / 2);
    std::vector<unsigned char> nibbles((size_t)packed);
    in.get_bytes(nibbles.data(), packed);
    frames = (int)std::min<long>(length, packed * 2);
    signed char* block = frames > 0 ? static_cast<signed char*>(std::malloc((size_t)frames)) : nullptr;
    if (!block) {
        frames = 0;
        return nullptr;
    }
    unsigned char sum = 0;
    for (int i = 0; i < frames; ++i) {
        unsigned char pair = nibbles[(size_t)i / 2];
        sum = (unsigned char)(sum + table[(i & 1) ? pair >> 4 : pair & 0x0F]);
        block[i] = (signed char)sum;
    }
    return block;
}

// Reads `bytes` bytes of delta-coded frames, or what the file still holds when it ends early.
static void* read_frames(Bounded_Reader& in, unsigned bytes, bool sixteen_bit, int& frames) {
    long present = std::min<long>((long)bytes, in.remaining());
    in.note_wanted_end(in.tell() + (long)bytes);
    frames = (int)(sixteen_bit ? present / 2 : present);
    void* block = frames > 0 ? std::malloc((size_t)present) : nullptr;
    if (!block) {
        frames = 0;
        in.skip(present);
        return nullptr;
    }
    in.get_bytes(static_cast<unsigned char*>(block), present);
    if (sixteen_bit) {
        unsigned char* raw = static_cast<unsigned char*>(block);
        short* words = static_cast<short*>(block);
        for (int i = 0; i < frames; ++i) words[i] = (short)(raw[2 * i] | (raw[2 * i + 1] << 8));
        Loader_XM::decode_delta_16(words, frames);
    } else {
        Loader_XM::decode_delta_8(static_cast<signed char*>(block), frames);
    }
    return block;
}

// The instrument's auto-vibrato goes to each of its samples, in the player's units: a period
// offset of (wave x depth) / 64 at full depth, reached over `sweep` ticks (0: at once).
static void set_auto_vibrato(Sample& sample, const unsigned char* vibrato) {
    const int type = vibrato[0] & 3, sweep = vibrato[1], depth = std::min<int>(vibrato[2], 15);
    sample.vibrato_type = type;  // sine, square, ramp down, ramp up, as the player's waveforms
    sample.vibrato_depth = depth * 4;
    sample.vibrato_rate = vibrato[3];
    sample.vibrato_speed = sweep ? 4 * ((depth << 8) / sweep) : depth * 4 * 256;
}

static std::unique_ptr<Sample> make_sample(const XM_Sample_Header& h, void* block, int frames) {
    auto sample = std::make_unique<Sample>();
    bool sixteen_bit = h.type & 0x10;
    int unit = sixteen_bit ? 2 : 1;
    sample->name = h.name;
    sample->def_volume = std::min(h.volume, 64);
    sample->def_panning = h.panning * 64 / 255;
    sample->def_panning_active = true;
    Sample_Data& data = sample->data;
    data.set_data_ptr(block, frames, sixteen_bit);
    data.set_c5_freq(Loader_XM::c5_frequency(h.relative_note, h.finetune));
    sample->finetune = h.finetune;
    // Loops are kept inside the frames that were read.
    long begin = std::min<long>(h.loop_start / unit, frames);
    long end = std::min<long>(begin + h.loop_length / unit, frames);
    data.set_loop_begin((int)begin);
    data.set_loop_end((int)end);
    data.set_loop_enabled((h.type & 3) != 0 && end > begin);
    data.set_loop_ping_pong(h.type & 2);
    sample->in_use = true;
    return sample;
}

Loader::Error Loader_XM::load_instrument_internal(Bounded_Reader& in, Instrument& instrument, int sample_count,
                                                  long header_end, Pending_Instrument& pending) {
    bool xi = header_end < 0;
    unsigned char block[XM_INSTRUMENT_BLOCK] = {};
    long available = xi ? XM_INSTRUMENT_BLOCK : std::clamp<long>(header_end - in.tell(), 0, XM_INSTRUMENT_BLOCK);
    if (!in.get_bytes(block, available)) return HEADER_CORRUPT;

    Instrument::Layer& layer = instrument.layers[0];
    const unsigned char* c = block + BLOCK_COUNTS;
    set_envelope(layer.volume_envelope, block + BLOCK_VOLUME_POINTS, c[0], c[8], c[2], c[3], c[4], 0);
    set_envelope(layer.panning_envelope, block + BLOCK_PANNING_POINTS, c[1], c[9], c[5], c[6], c[7], -32);
    layer.volume_fadeout = std::min<int>(read_le16(block + BLOCK_FADEOUT) >> 4, Instrument::Layer::MAX_VOLUME_FADEOUT);

    if (xi) {
        in.skip(XI_RESERVED - 2);
        sample_count = in.get_word();
        if (in.failed()) return HEADER_CORRUPT;
    } else if (!in.seek(header_end)) {
        return HEADER_CORRUPT;
    }
    if (sample_count > MAX_SAMPLES_PER_INSTRUMENT) return FILE_FORMAT_NOT_RECOGNIZED;

    std::vector<unsigned char> headers((size_t)sample_count * XM_SAMPLE_HEADER);
    if (!in.get_bytes(headers.data(), (long)headers.size())) return HEADER_CORRUPT;

    pending.instrument = &instrument;
    std::memcpy(pending.keyboard, block, XM_KEYS);
    std::memcpy(pending.vibrato, block + BLOCK_VIBRATO, sizeof(pending.vibrato));
    for (int s = 0; s < sample_count; ++s)
        pending.headers.push_back(parse_sample_header(headers.data() + s * XM_SAMPLE_HEADER));
    return SUCCESS;
}

void Loader_XM::stage_samples(Bounded_Reader& in, Pending_Instrument& pending,
                              std::vector<std::unique_ptr<Sample>>& staging) {
    std::vector<int> staged_index(pending.headers.size(), -1);
    for (size_t s = 0; s < pending.headers.size(); ++s) {
        const XM_Sample_Header& h = pending.headers[s];
        if (h.length == 0) continue;
        int frames = 0;
        void* frames_block = h.adpcm ? read_adpcm_frames(in, h.length, frames)
                                     : read_frames(in, h.length, h.type & 0x10, frames);
        if (frames == 0) continue;  // the file ended before this sample's data
        staged_index[s] = (int)staging.size();
        staging.push_back(make_sample(h, frames_block, frames));
        set_auto_vibrato(*staging.back(), pending.vibrato);
    }
    if (pending.instrument) map_keyboard(pending.instrument->layers[0], pending.keyboard, staged_index);
}

void Loader_XM::map_keyboard(Instrument::Layer& layer, const unsigned char* keyboard,
                             const std::vector<int>& staged_index) {
    // Key n is XM note n + 1, and notes are stored as read, so key n plays from table entry n + 1.
    for (int n = 0; n < XM_KEYS; ++n) {
        unsigned s = keyboard[n];
        if (s >= staged_index.size() || staged_index[s] < 0) continue;
        int index = staged_index[s];
        layer.sample_table[n + 1] = index < Song::MAX_SAMPLES ? (unsigned char)index : EMPTY_FIELD;
    }
}

// ---- staging ----

int Loader_XM::get_amount_of_samples() { return (int)samples.size(); }

Sample_Data* Loader_XM::get_sample_data(int i) {
    return i >= 0 && i < (int)samples.size() ? &samples[i]->data : nullptr;
}

std::string Loader_XM::get_sample_name(int i) {
    return i >= 0 && i < (int)samples.size() ? samples[i]->name : std::string();
}

// The song slot takes the staged block; the staged sample keeps its settings without data.
static void move_sample(Sample& from, Sample& to) {
    void* block = from.data.get_data_ptr();
    int frames = from.data.get_size();
    bool sixteen_bit = from.data.is_16bit();
    from.data.release_data_ptr();
    to.reset(true);
    to = from;
    to.data.set_data_ptr(block, frames, sixteen_bit);
    from.data.set_data_ptr(nullptr, 0);
}

void Loader_XM::add_sample_to_song(int i, int slot, bool make_instrument) {
    if (!song || i < 0 || i >= (int)samples.size()) return;
    Sample* target = song->get_sample(slot);
    if (!target) return;
    move_sample(*samples[i], *target);
    if (make_instrument) song->make_instrument_out_of_sample(slot);
}

Loader::Error Loader_XM::load_sample(const char*, int) { return FILE_ERROR; }

Loader::Error Loader_XM::load_samples_from_instrument(const char*) { return FILE_ERROR; }

Loader::Error Loader_XM::load_instrument(const char* file, int slot) {
    if (reader.is_open()) return FILE_IN_USE;
    if (reader.open(file) != 0) return FILE_CANNOT_OPEN;
    Bounded_Reader in(reader);
    unsigned char magic[8];
    if (!in.get_bytes(magic, sizeof(magic)) || std::memcmp(magic, "Extended", 8) != 0)
        return abort_load(FILE_FORMAT_NOT_RECOGNIZED);
    if (!song || !song->get_instrument(slot)) return abort_load(FILE_ERROR);

    // "Extended Instrument: " is followed by the name, 0x1A, the tracker name and the version.
    Instrument instrument;
    std::vector<std::unique_ptr<Sample>> staging;
    in.seek(XI_NAME);
    instrument.name = trim_right(in.get_string(22));
    in.seek(XI_BLOCK);
    if (in.failed()) return abort_load(HEADER_CORRUPT);
    Pending_Instrument pending;
    Error result = load_instrument_internal(in, instrument, 0, -1, pending);
    if (result != SUCCESS) return abort_load(result);
    stage_samples(in, pending, staging);
    reader.close();

    // Each sample goes to the first free song slot; a sample that finds none is dropped.
    Mutex_Lock_Guard guard(song_lock);
    std::vector<int> slot_of(staging.size(), -1);
    for (size_t s = 0; s < staging.size(); ++s) {
        int free_slot = song->find_unused_sample_slot();
        if (free_slot < 0) continue;
        move_sample(*staging[s], *song->get_sample(free_slot));
        slot_of[s] = free_slot;
    }
    Instrument::Layer& layer = instrument.layers[0];
    for (unsigned char& entry : layer.sample_table) {
        if (entry >= slot_of.size()) continue;
        entry = slot_of[entry] < 0 ? EMPTY_FIELD : (unsigned char)slot_of[entry];
    }
    *song->get_instrument(slot) = instrument;
    return SUCCESS;
}

void Loader_XM::transfer_data_to_song() {
    if (!song) return;
    Song::Song_Variables& vars = *song->get_variables();
    vars.name = header.name;
    vars.message = std::string("XM Imported file using\n") + "-Wendmoor-\n" + HOME_PAGE + "\n" +
                   "Original file written with " + header.tracker_name;
    vars.rules = Playback_Rules::of_format(Playback_Rules::Format::XM);
    vars.rules.use_linear_slides = header.flags != 0;
    // ModPlug's XM files loop as ModPlug played them: the next pattern starts at row 0.
    if (header.written_by_modplug) vars.rules.pattern_loop_carries_over = false;
    Song::Initial_Variables& initial = *song->get_initial_variables();
    initial.speed = std::clamp(header.speed, 1, 255);
    initial.tempo = std::clamp(header.tempo, 31, 255);

    int orders = std::min(header.song_length, Song::MAX_ORDERS);
    for (int i = 0; i < orders; ++i) song->set_order(i, header.orders[i]);
    int pattern_count = std::min({header.patterns, (int)patterns.size(), Song::MAX_PATTERNS});
    for (int p = 0; p < pattern_count; ++p) *song->get_pattern(p) = std::move(patterns[p]);
    int sample_count = std::min((int)samples.size(), Song::MAX_SAMPLES);
    for (int s = 0; s < sample_count; ++s) move_sample(*samples[s], *song->get_sample(s));
    int instrument_count = std::min((int)instruments.size(), Song::MAX_INSTRUMENTS);
    for (int i = 0; i < instrument_count; ++i) *song->get_instrument(i) = *instruments[i];
}

void Loader_XM::free_info(bool) {
    // Blocks the song took were released from the staging; whatever is left is still ours.
    samples.clear();
    instruments.clear();
    patterns.clear();
    header = Header();
}
