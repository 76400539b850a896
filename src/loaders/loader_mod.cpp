#include "loaders/loader_mod.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "loaders/bounded_reader.h"
#include "loaders/cell_commands.h"
#include "trackercore/song.h"

// Header: 0 title (20), 20 sample headers of 30 bytes (15 or 31), then song length, a restart
// (Soundtracker: tempo) byte, 128 orders and, in 31-sample files, the signature at 1080.
// Sample header: 0 name (22), 22 length, 24 finetune, 25 volume, 26 loop start, 28 loop length;
// the 16-bit fields are big-endian and count words.
static constexpr long MOD_TITLE = 20;
static constexpr long MOD_SAMPLE_HEADER = 30;
static constexpr long MOD_SIGNATURE = 1080;
static constexpr int MOD_ORDERS = 128;
static constexpr int MOD_CELL = 4;
// ProTracker's C-2 (period 428) is C-4 here, as ST3's middle C: the player then counts its
// periods four to an Amiga period, so slides and vibratos move by ProTracker's steps.
static constexpr int MOD_PERIOD_C4 = 428;
// The PAL Amiga's rate for period 214, C-5 here.
static constexpr double MOD_C5_RATE = 3546895.0 / 214;
static constexpr int MOD_DEFAULT_TEMPO_BYTE = 0x78;  // Soundtracker's 50 Hz vertical-blank timing
// ProTracker's channel pans, left-right-right-left, on 0..64 with the usual reduced separation.
static constexpr int MOD_PAN_LEFT = 16;
static constexpr int MOD_PAN_RIGHT = 48;

static unsigned read_be16(const unsigned char* p) { return (p[0] << 8) | p[1]; }

static std::string text_field(const unsigned char* p, size_t size) {
    std::string text((const char*)p, strnlen((const char*)p, size));
    // Control characters in names are disk-name leftovers; they would garble every listing.
    for (char& c : text)
        if ((unsigned char)c < 32) c = ' ';
    return text;
}

Loader_MOD::Loader_MOD() { format_name = "ProTracker"; }

Loader_MOD::~Loader_MOD() { free_info(true); }

// ---- recognition ----

int Loader_MOD::channels_for_signature(const unsigned char s[4], bool& flt8) {
    struct Known {
        const char* text;
        int channels;
        bool flt8;
    };
    static const Known known[] = {
        {"M.K.", 4, false}, {"M!K!", 4, false}, {"M&K!", 4, false}, {"FEST", 4, false}, {"N.T.", 4, false},
        {"NSMS", 4, false}, {"LARD", 4, false}, {"FLT4", 4, false}, {"EXO4", 4, false}, {"FA04", 4, false},
        {"FA06", 6, false}, {"CD61", 6, false}, {"FA08", 8, false}, {"CD81", 8, false}, {"OKTA", 8, false},
        {"OCTA", 8, false}, {"FLT8", 8, true},  {"EXO8", 8, true},  {"TDZ1", 1, false}, {"TDZ2", 2, false},
        {"TDZ3", 3, false},
    };
    flt8 = false;
    for (const Known& k : known) {
        if (std::memcmp(s, k.text, 4) == 0) {
            flt8 = k.flt8;
            return k.channels;
        }
    }
    auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
    // "nCHN" for 1..9 channels, "nnCH" (and TakeTracker's "nnCN") for 10..32.
    if (digit(s[0]) && s[0] != '0' && std::memcmp(s + 1, "CHN", 3) == 0) return s[0] - '0';
    if (digit(s[0]) && digit(s[1]) && s[2] == 'C' && (s[3] == 'H' || s[3] == 'N')) {
        int channels = (s[0] - '0') * 10 + (s[1] - '0');
        if (channels >= 1 && channels <= MAX_CHANNELS) return channels;
    }
    return 0;
}

// A file without a signature is taken for a Soundtracker module only when every header field is
// one that Soundtracker could have written and its first pattern's cells are sound, so that text,
// samples and other formats' files are not played as noise.
bool Loader_MOD::is_soundtracker_header(const unsigned char* h, long size) {
    constexpr int SAMPLES = 15;
    if (size < HEADER_15) return false;
    const unsigned char* footer = h + MOD_TITLE + SAMPLES * MOD_SAMPLE_HEADER;
    int song_length = footer[0];
    const unsigned char* orders = footer + 2;
    if (song_length < 1 || song_length > MOD_ORDERS) return false;
    for (int i = 0; i < MOD_ORDERS; ++i) {
        // Soundtracker knew 64 patterns; entries past the song's end may hold leftovers.
        if (orders[i] > (i < song_length ? 63 : 127)) return false;
    }
    // Names are text; a few odd bytes are tolerated (disk-name leftovers), random data has hundreds.
    int odd_bytes = 0;
    auto count_odd = [&](const unsigned char* p, int n) {
        for (int i = 0; i < n; ++i)
            if ((p[i] > 0 && p[i] < 32) || p[i] > 126) ++odd_bytes;
    };
    count_odd(h, (int)MOD_TITLE);
    long sample_bytes = 0;
    for (int s = 0; s < SAMPLES; ++s) {
        const unsigned char* sh = h + MOD_TITLE + s * MOD_SAMPLE_HEADER;
        count_odd(sh, 22);
        unsigned length = read_be16(sh + 22), loop_start = read_be16(sh + 26), loop_length = read_be16(sh + 28);
        if (sh[24] > 15 || sh[25] > 64 || length > 32768 || loop_length > 32768) return false;
        // Loop starts count bytes in the oldest files, words in the later ones.
        if (length > 0 && loop_length > 1 && loop_start > 2 * length) return false;
        sample_bytes += 2L * length;
    }
    if (odd_bytes > 48 || sample_bytes == 0) return false;
    // Sample numbers stop at 15, so the high nibble of each cell's first byte is 0.
    int odd_cells = 0;
    for (long at = HEADER_15; at + MOD_CELL <= std::min(size, HEADER_15 + 1024); at += MOD_CELL) {
        int period = ((h[at] & 0x0F) << 8) | h[at + 1];
        if ((h[at] & 0xF0) || (period != 0 && (period < 28 || period > 3424))) ++odd_cells;
    }
    return odd_cells <= 8;
}

Loader_MOD::Layout Loader_MOD::detect_layout(const unsigned char* head, long size) {
    Layout layout;
    if (size >= HEADER_31) {
        bool flt8 = false;
        int channels = channels_for_signature(head + MOD_SIGNATURE, flt8);
        if (channels > 0) {
            layout.samples = 31;
            layout.channels = channels;
            layout.flt8 = flt8;
            // Digital Tracker writes four more bytes after its signature.
            layout.header_size = std::memcmp(head + MOD_SIGNATURE, "FA0", 3) == 0 ? HEADER_31 + 4 : HEADER_31;
            return layout;
        }
    }
    if (is_soundtracker_header(head, size)) {
        layout.samples = 15;
        layout.header_size = HEADER_15;
        layout.channels = 4;
        layout.soundtracker = true;
    }
    return layout;
}

bool Loader_MOD::test(const char* file) {
    if (reader.is_open() || reader.open(file) != 0) return false;
    Bounded_Reader in(reader);
    unsigned char head[PROBE_SIZE] = {};
    long size = std::min(in.get_size(), PROBE_SIZE);
    bool recognised = in.get_bytes(head, size) && detect_layout(head, size).samples != 0;
    reader.close();
    return recognised;
}

// ---- cell translation ----

unsigned char Loader_MOD::period_to_note(int period) {
    if (period <= 0) return EMPTY_FIELD;
    // The nearest semitone: files from trackers that store finetuned periods land on their note.
    int note = 48 + (int)std::lround(12.0 * std::log2((double)MOD_PERIOD_C4 / period));
    return note >= 0 && note < NOTE_COUNT ? (unsigned char)note : EMPTY_FIELD;
}

int Loader_MOD::finetune_to_c5(int finetune) {
    // Each step is an eighth of a semitone: 0..7 up, 8..15 are -8..-1.
    static const auto table = [] {
        std::array<int, 16> c5{};
        for (int f = 0; f < 16; ++f)
            c5[(size_t)f] = (int)std::lround(MOD_C5_RATE * std::exp2((f < 8 ? f : f - 16) / 96.0));
        return c5;
    }();
    return table[(size_t)(finetune & 15)];
}

int Loader_MOD::soundtracker_tempo(int tempo_byte) {
    // The byte sets the CIA timer to (240 - byte) × 122 ticks of 709379 Hz; a row tick rate of
    // r Hz is 2.5 × r beats per minute. 0 and the vertical-blank default play at 125.
    if (tempo_byte == 0 || tempo_byte == MOD_DEFAULT_TEMPO_BYTE || tempo_byte >= 240) return 125;
    double bpm = 709379.0 * 2.5 / ((240 - tempo_byte) * 122.0);
    return std::clamp((int)std::lround(bpm), 32, 255);
}

using cell_commands::clear_command;
using cell_commands::set_command;
using cell_commands::set_command_unless_zero;

// ProTracker slides up when both nibbles are set; IT would do nothing with such a pair.
static unsigned char volume_slide(unsigned char p) { return (p & 0xF0) ? (p & 0xF0) : p; }

static void convert_extended(unsigned char p, Note& cell) {
    int x = p >> 4, y = p & 0x0F;
    switch (x) {
    case 0x1: set_command_unless_zero(cell, y, 'F', 0xF0 | y); break;
    case 0x2: set_command_unless_zero(cell, y, 'E', 0xF0 | y); break;
    case 0x3: set_command(cell, 'S', 0x10 | y); break;        // glissando
    case 0x4: set_command(cell, 'S', 0x30 | (y & 3)); break;  // vibrato waveform; bit 2 (no retrigger) has no place
    case 0x5: set_command(cell, 'S', 0x20 | y); break;        // finetune
    case 0x6: set_command(cell, 'S', 0xB0 | y); break;        // pattern loop
    case 0x7: set_command(cell, 'S', 0x40 | (y & 3)); break;  // tremolo waveform
    case 0x8: set_command(cell, 'S', 0x80 | y); break;
    case 0x9: set_command_unless_zero(cell, y, 'Q', y); break;
    case 0xA: set_command_unless_zero(cell, y, 'D', (y << 4) | 0x0F); break;
    case 0xB: set_command_unless_zero(cell, y, 'D', 0xF0 | y); break;
    case 0xC: set_command(cell, 'S', 0xC0 | y); break;
    case 0xD: set_command(cell, 'S', 0xD0 | y); break;
    case 0xE: set_command(cell, 'S', 0xE0 | y); break;  // pattern delay
    default: clear_command(cell); break;                // the Amiga filter and invert loop
    }
}

void Loader_MOD::convert_effect(unsigned char effect, unsigned char p, Note& cell, Dialect dialect) {
    if (dialect == Dialect::ULTIMATE) {
        // 1xy arpeggio; 2xy bends up by x or, without x, down by y. Nothing else existed.
        if (effect == 1 && p != 0)
            set_command(cell, 'J', p);
        else if (effect == 2 && (p >> 4))
            set_command(cell, 'F', p >> 4);
        else if (effect == 2 && (p & 15))
            set_command(cell, 'E', p & 15);
        else
            clear_command(cell);
        return;
    }
    // ProTracker keeps no memory of arpeggio, slides and volume slides: a zero parameter does
    // nothing there, while IT would repeat the last value.
    switch (effect) {
    case 0x0: set_command_unless_zero(cell, p, 'J', p); break;
    // From 0xE0 on, IT reads fine slides; ProTracker slides that far in whole steps.
    case 0x1: set_command_unless_zero(cell, p, 'F', std::min<unsigned char>(p, 0xDF)); break;
    case 0x2: set_command_unless_zero(cell, p, 'E', std::min<unsigned char>(p, 0xDF)); break;
    case 0x3: set_command(cell, 'G', p); break;
    case 0x4: set_command(cell, 'H', p); break;
    case 0x5:
        if (p == 0)
            set_command(cell, 'G', 0);
        else
            set_command(cell, 'L', volume_slide(p));
        break;
    case 0x6:
        if (p == 0)
            set_command(cell, 'H', 0);
        else
            set_command(cell, 'K', volume_slide(p));
        break;
    case 0x7: set_command(cell, 'R', p); break;
    case 0x8: set_command(cell, 'X', p); break;
    case 0x9: set_command(cell, 'O', p); break;
    case 0xA: set_command_unless_zero(cell, p, 'D', volume_slide(p)); break;
    case 0xB: set_command(cell, 'B', p); break;
    case 0xC:
        // The note's volume, which is the volume column's job in IT.
        cell.volume = std::min<unsigned char>(p, 64);
        clear_command(cell);
        break;
    case 0xD:
        // The break row is written in decimal digits; Soundtracker always breaks to row 0.
        set_command(cell, 'C', dialect == Dialect::SOUNDTRACKER ? 0 : (unsigned char)((p >> 4) * 10 + (p & 0x0F)));
        break;
    case 0xE: convert_extended(p, cell); break;
    case 0xF:
        // F00 would stop ProTracker; here it is left out. Soundtracker knew no tempo command.
        if (p == 0)
            clear_command(cell);
        else
            set_command(cell, p < 32 || dialect == Dialect::SOUNDTRACKER ? 'A' : 'T', p);
        break;
    default: clear_command(cell); break;
    }
}

Note Loader_MOD::decode_cell(const unsigned char* b, int sample_count, Dialect dialect) {
    Note cell;
    int period = ((b[0] & 0x0F) << 8) | b[1];
    int sample = (b[0] & 0xF0) | (b[2] >> 4);
    cell.note = period_to_note(period);
    if (sample >= 1 && sample <= sample_count) cell.instrument = (unsigned char)(sample - 1);
    convert_effect(b[2] & 0x0F, b[3], cell, dialect);
    return cell;
}

bool Loader_MOD::uses_ultimate_effects(const unsigned char* data, long size) {
    bool arpeggio = false;
    for (long at = 0; at + MOD_CELL <= size; at += MOD_CELL) {
        int effect = data[at + 2] & 0x0F, p = data[at + 3];
        if (effect > 2 && (effect | p) != 0) return false;
        if (effect == 1 && (p >> 4) && (p & 15)) arpeggio = true;
    }
    return arpeggio;
}

Loader_MOD::Dialect Loader_MOD::dialect() const {
    if (layout.ultimate) return Dialect::ULTIMATE;
    return layout.soundtracker ? Dialect::SOUNDTRACKER : Dialect::PROTRACKER;
}

// ---- module ----

Loader::Error Loader_MOD::load_header(Bounded_Reader& in) {
    unsigned char head[PROBE_SIZE] = {};
    long size = std::min(in.get_size(), PROBE_SIZE);
    if (!in.get_bytes(head, size)) return FILE_ERROR;
    layout = detect_layout(head, size);
    if (layout.samples == 0) return FILE_FORMAT_NOT_RECOGNIZED;
    format_name = layout.soundtracker ? "Soundtracker" : "ProTracker";

    title = text_field(head, MOD_TITLE);
    samples.resize((size_t)layout.samples);
    for (int s = 0; s < layout.samples; ++s) {
        const unsigned char* sh = head + MOD_TITLE + s * MOD_SAMPLE_HEADER;
        MOD_Sample& sample = samples[(size_t)s];
        sample.name = text_field(sh, 22);
        sample.length = 2 * (int)read_be16(sh + 22);
        sample.finetune = sh[24] & 15;
        sample.volume = std::min<int>(sh[25], 64);
        int loop_start = 2 * (int)read_be16(sh + 26);
        int loop_length = 2 * (int)read_be16(sh + 28);
        // Soundtracker counts the loop start in bytes; some later files do too: taken as words
        // the loop would pass the end.
        if (layout.soundtracker ||
            (loop_start + loop_length > sample.length && loop_start / 2 + loop_length <= sample.length))
            loop_start /= 2;
        sample.loop_start = loop_start;
        sample.loop_length = loop_length > 2 ? loop_length : 0;  // one word is ProTracker's "no loop"
    }
    const unsigned char* footer = head + MOD_TITLE + layout.samples * MOD_SAMPLE_HEADER;
    song_length = std::min<int>(footer[0], MOD_ORDERS);
    tempo_byte = footer[1];
    std::memcpy(orders, footer + 2, MOD_ORDERS);
    std::memcpy(signature, head + MOD_SIGNATURE, 4);
    // The layout was only found in a file that holds the whole header.
    return in.seek(std::min(layout.header_size, in.get_size())) ? SUCCESS : HEADER_CORRUPT;
}

long Loader_MOD::stored_pattern_size() const {
    return (long)ROWS * (layout.flt8 ? 4 : layout.channels) * MOD_CELL;
}

// ProTracker stores as many patterns as the highest order of all 128 names; some files leave
// leftovers past the song's end, which would then claim more than the file holds.
int Loader_MOD::count_stored_patterns(long file_size) const {
    int highest_all = -1, highest_song = -1;
    for (int i = 0; i < MOD_ORDERS; ++i) {
        if (orders[i] >= MOD_ORDERS) continue;
        highest_all = std::max<int>(highest_all, orders[i]);
        if (i < song_length) highest_song = std::max<int>(highest_song, orders[i]);
    }
    // FLT8 orders name pairs of 4-channel patterns by the first one's number.
    auto stored = [&](int highest) { return layout.flt8 ? (highest / 2 + 1) * 2 : highest + 1; };
    long sample_bytes = 0;
    for (const MOD_Sample& s : samples) sample_bytes += s.length;
    const long header_size = layout.header_size;
    auto fits = [&](int count) { return header_size + count * stored_pattern_size() + sample_bytes <= file_size; };
    if (highest_all < 0) return 0;
    if (!fits(stored(highest_all)) && highest_song >= 0 && fits(stored(highest_song))) return stored(highest_song);
    return stored(highest_all);
}

void Loader_MOD::decode_patterns(const unsigned char* data, long size, int stored_patterns) {
    const int channels = layout.flt8 ? 4 : layout.channels;
    const long pattern_size = stored_pattern_size();
    int song_patterns = layout.flt8 ? stored_patterns / 2 : stored_patterns;
    patterns.resize((size_t)std::min(song_patterns, Song::MAX_PATTERNS));
    for (Pattern& p : patterns) {
        p.clear();
        p.set_length(ROWS);
    }
    const Dialect rules = dialect();
    for (int stored = 0; stored < stored_patterns; ++stored) {
        int target = layout.flt8 ? stored / 2 : stored;
        int first_channel = layout.flt8 ? (stored % 2) * 4 : 0;
        if (target >= (int)patterns.size()) break;
        Pattern& pattern = patterns[(size_t)target];
        for (int row = 0; row < ROWS; ++row) {
            for (int c = 0; c < channels; ++c) {
                long at = stored * pattern_size + ((long)row * channels + c) * MOD_CELL;
                if (at + MOD_CELL > size) break;  // the file ends inside the patterns
                Note cell = decode_cell(data + at, layout.samples, rules);
                if (!cell.is_empty()) pattern.get_note_ref(first_channel + c, row) = cell;
            }
        }
        pattern.get_note_ref(0, 0);  // commits the last cached cell
    }
}

// ModPlug's 4-bit compression: "ADPCM", a table of 16 deltas, then one nibble per frame, low
// nibble first. Returns the frames decoded from what the file holds.
static void* read_adpcm_frames(Bounded_Reader& in, long frames_wanted, long& frames) {
    signed char table[16];
    in.get_bytes(reinterpret_cast<unsigned char*>(table), sizeof(table));
    long packed = std::min((frames_wanted + 1) / 2, in.remaining());
    frames = std::min(frames_wanted, packed * 2);
    if (frames <= 0) return nullptr;
    std::vector<unsigned char> nibbles((size_t)packed);
    in.get_bytes(nibbles.data(), packed);
    signed char* block = static_cast<signed char*>(std::malloc((size_t)frames));
    if (!block) return nullptr;
    unsigned char sum = 0;
    for (long i = 0; i < frames; ++i) {
        unsigned char pair = nibbles[(size_t)i / 2];
        sum = (unsigned char)(sum + table[(i & 1) ? pair >> 4 : pair & 0x0F]);
        block[i] = (signed char)sum;
    }
    return block;
}

// `position` is where the sample's data starts had the file held everything before it; returns
// the bytes the sample takes in the file.
long Loader_MOD::load_sample_data(Bounded_Reader& in, long position, MOD_Sample& sample) {
    static constexpr long ADPCM_HEADER = 5 + 16;
    if (sample.length == 0) return 0;
    unsigned char magic[5] = {};
    bool adpcm = position + ADPCM_HEADER <= in.get_size() && in.seek(position) && in.get_bytes(magic, 5) &&
                 std::memcmp(magic, "ADPCM", 5) == 0;
    long stored = adpcm ? ADPCM_HEADER + (sample.length + 1) / 2 : sample.length;
    in.note_wanted_end(position + stored);
    // A length past the end of the file keeps the bytes that are there.
    long frames = 0;
    void* block = nullptr;
    if (adpcm) {
        block = read_adpcm_frames(in, sample.length, frames);
    } else if (position < in.get_size() && in.seek(position)) {
        frames = std::min<long>(sample.length, in.remaining());
        block = std::malloc((size_t)frames);
        if (block) in.get_bytes(static_cast<unsigned char*>(block), frames);
    }
    if (!block) return stored;
    int begin = std::min<int>(sample.loop_start, (int)frames);
    // Soundtracker plays a looping sample from its loop start: what lies before it is never heard.
    if (layout.soundtracker && sample.loop_length > 0 && begin > 0 && begin < frames) {
        std::memmove(block, static_cast<char*>(block) + begin, (size_t)(frames - begin));
        frames -= begin;
        begin = 0;
    }
    Sample_Data& data = sample.data;
    data.set_data_ptr(block, (int)frames, false);
    data.set_c5_freq(finetune_to_c5(sample.finetune));
    int end = std::min<int>(begin + sample.loop_length, (int)frames);
    data.set_loop_begin(begin);
    data.set_loop_end(end);
    data.set_loop_enabled(end - begin > 2);
    return stored;
}

Loader::Error Loader_MOD::load(const char* file, bool load_patterns) {
    if (reader.is_open()) return FILE_IN_USE;
    free_info(true);
    if (reader.open(file) != 0) return FILE_CANNOT_OPEN;
    Bounded_Reader in(reader);
    Error e = load_header(in);
    if (e != SUCCESS) {
        free_info(true);
        return abort_load(e);
    }
    int stored = count_stored_patterns(in.get_size());
    // Mod's Grave writes 8-channel songs as "M.K." with no restart byte: only the file's size tells.
    if (layout.samples == 31 && layout.channels == 4 && std::memcmp(signature, "M.K.", 4) == 0 && tempo_byte == 0) {
        long sample_bytes = 0;
        for (const MOD_Sample& s : samples) sample_bytes += s.length;
        if (layout.header_size + stored * 2 * stored_pattern_size() + sample_bytes == in.get_size()) layout.channels = 8;
    }
    long wanted = stored * stored_pattern_size();
    // Without a signature a file that ends with its header is no module to speak of.
    if (layout.soundtracker && wanted > 0 && in.remaining() == 0) {
        free_info(true);
        return abort_load(HEADER_CORRUPT);
    }
    long position = in.tell();
    long present = std::min(wanted, in.remaining());
    in.note_wanted_end(position + wanted);
    std::vector<unsigned char> pattern_data((size_t)present);
    in.get_bytes(pattern_data.data(), present);
    if (layout.soundtracker) layout.ultimate = uses_ultimate_effects(pattern_data.data(), present);
    if (load_patterns) decode_patterns(pattern_data.data(), present, stored);
    position += wanted;
    for (MOD_Sample& sample : samples) position += load_sample_data(in, position, sample);
    reader.close();
    file_name = file;
    return SUCCESS;
}

void Loader_MOD::transfer_data_to_song() {
    if (!song) return;
    Song::Song_Variables& vars = *song->get_variables();
    vars.name_prop.set(title);
    vars.message.clear();
    vars.row_hilight_minor = 4;
    vars.row_hilight_major = 16;
    vars.rules = Playback_Rules::of_format(Playback_Rules::Format::MOD);
    // ProTracker's own quirks belong to its four-channel files; other trackers' files (and
    // their signatures) play without them.
    const bool protracker = layout.channels == 4 && !layout.soundtracker &&
                            (std::memcmp(signature, "M.K.", 4) == 0 || std::memcmp(signature, "M!K!", 4) == 0);
    vars.rules.tempo_after_first_tick = protracker;
    vars.rules.protracker_offset = protracker;
    Song::Initial_Variables& initial = *song->get_initial_variables();
    initial.global_volume = 128;
    initial.speed = 6;
    initial.tempo = layout.soundtracker ? soundtracker_tempo(tempo_byte) : 125;
    for (int c = 0; c < layout.channels && c < Song::CHANNELS; ++c)
        initial.channel[c].pan = (c & 3) == 1 || (c & 3) == 2 ? MOD_PAN_RIGHT : MOD_PAN_LEFT;

    for (int i = 0; i < song_length; ++i) {
        int pattern = layout.flt8 ? orders[i] / 2 : orders[i];
        song->set_order(i, pattern < MOD_ORDERS ? (short)pattern : Song::ORDER_SKIP);
    }
    for (size_t p = 0; p < patterns.size(); ++p) *song->get_pattern((int)p) = std::move(patterns[p]);

    for (size_t i = 0; i < samples.size(); ++i) {
        MOD_Sample& staged = samples[i];
        Sample& sample = *song->get_sample((int)i);
        sample.reset(true);
        sample.name = staged.name;
        sample.def_volume = staged.volume;
        // The song takes the block; a sample without data keeps the empty slot's settings.
        void* block = staged.data.get_data_ptr();
        if (block) {
            staged.data.release_data_ptr();
            sample.data = staged.data;
            sample.data.set_data_ptr(block, staged.data.get_size(), false);
            staged.data.set_data_ptr(nullptr, 0);
        }
        sample.in_use = block != nullptr;
        if (sample.in_use || !sample.name.empty()) song->make_instrument_out_of_sample_at((int)i, (int)i);
    }
}

void Loader_MOD::free_info(bool) {
    // Blocks the song took were released from the staging; whatever is left is still ours.
    samples.clear();
    patterns.clear();
    title.clear();
    song_length = 0;
    tempo_byte = 0;
    std::memset(orders, 0, sizeof(orders));
    std::memset(signature, 0, sizeof(signature));
}
