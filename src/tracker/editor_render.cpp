// The three-character texts of a cell's columns, as the pattern view draws them. The
// writers fill fixed buffers so that a view can format every visible cell without allocating.
#include <cstring>

#include "tracker/editor.h"

static const char* const note_names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
static const char hex_digits[] = "0123456789ABCDEF";

static void write_two_digits(int value, char* out) {
    out[0] = (char)('0' + value / 10 % 10);
    out[1] = (char)('0' + value % 10);
}

static void write_text(const char* text, char* out) { std::memcpy(out, text, 3); }

static void write_single_note(int note, char* out) {
    if (note < 0 || note >= NOTE_COUNT) return write_text("???", out);
    std::memcpy(out, note_names[note % 12], 2);
    out[2] = (char)('0' + note / 12);
}

static void write_note_column(const Note& note, char* out) {
    switch (note.note) {
        case EMPTY_FIELD: return write_text("...", out);
        case NOTE_OFF: return write_text("===", out);
        case NOTE_CUT: return write_text("^^^", out);
        case NOTE_FADE: return write_text("~~~", out);
        default: return write_single_note(note.note, out);
    }
}

static void write_instrument_column(const Note& note, char* out) {
    if (note.instrument == EMPTY_FIELD) return write_text(" ..", out);
    if (note.instrument >= 99) return write_text(" ??", out);  // only a damaged file holds these
    out[0] = ' ';
    write_two_digits(note.instrument + 1, out + 1);
}

static void write_volume_column(const Note& note, char* out) {
    int v = note.volume;
    out[0] = ' ';
    if (v == EMPTY_FIELD) {
        write_text(" ..", out);
    } else if (v <= 64) {
        write_two_digits(v, out + 1);
    } else if (v <= 124) {
        out[1] = (char)('A' + (v - 65) / 10);
        out[2] = (char)('0' + (v - 65) % 10);
    } else if (v >= 128 && v <= 192) {
        out[0] = 'P';
        write_two_digits(v - 128, out + 1);
    } else if (v >= 193 && v <= 212) {
        out[1] = (char)('G' + (v - 193) / 10);
        out[2] = (char)('0' + (v - 193) % 10);
    } else if (v >= VOLUME_VIBRATO_SPEED && v < VOLUME_VIBRATO_DEPTH + 16) {
        out[1] = v < VOLUME_VIBRATO_DEPTH ? 'S' : 'H';
        out[2] = hex_digits[(v - VOLUME_VIBRATO_SPEED) & 15];
    } else if (v >= VOLUME_SLIDE_DOWN_DEEP && v <= VOLUME_COLUMN_LAST) {
        out[1] = 'D';
        out[2] = hex_digits[v - VOLUME_SLIDE_DOWN_DEEP + 10];
    } else {
        write_text(" ??", out);
    }
}

static void write_command_column(const Note& note, char* out) {
    // Commands past 'Z' cannot be typed but may come from a file. XM's own ones show as its
    // letter in lower case (EAx as eAx, Lxx as lxx), so they are not taken for IT's.
    out[0] = note.command == EMPTY_FIELD                        ? '.'
             : note.command < 26                              ? (char)('A' + note.command)
             : note.command == COMMAND_SMOOTH_MACRO           ? '\\'
             : note.command == COMMAND_FT2_FINE_VOLUME_SLIDE  ? 'e'
             : note.command == COMMAND_FT2_ENVELOPE_POSITION  ? 'l'
                                                              : '?';
    out[1] = hex_digits[note.parameter >> 4];
    out[2] = hex_digits[note.parameter & 0x0F];
}

template <void (*write)(const Note&, char*)>
static std::string column_string(const Note& note) {
    char text[3];
    write(note, text);
    return std::string(text, 3);
}

std::string Editor::get_single_note_string(int note) {
    char text[3];
    write_single_note(note, text);
    return std::string(text, 3);
}

std::string Editor::get_pattern_note_string(const Note& note) { return column_string<write_note_column>(note); }
std::string Editor::get_pattern_instrument_string(const Note& note) {
    return column_string<write_instrument_column>(note);
}
std::string Editor::get_pattern_volume_string(const Note& note) { return column_string<write_volume_column>(note); }
std::string Editor::get_pattern_command_string(const Note& note) { return column_string<write_command_column>(note); }

void Editor::write_note_string(const Note& note, char* buffer) {
    write_note_column(note, buffer);
    write_instrument_column(note, buffer + 3);
    write_volume_column(note, buffer + 6);
    buffer[9] = ' ';
    write_command_column(note, buffer + 10);
    buffer[NOTE_STRING_LENGTH] = 0;
}

void Editor::get_note_string(int column, int row, char* buffer) {
    Pattern* p = pattern();
    write_note_string(p ? p->get_note(column, row) : Pattern::empty_note, buffer);
}
