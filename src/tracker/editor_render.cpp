// The three-character texts of a cell's columns, as the pattern view draws them.
#include <cstdio>
#include <cstring>

#include "tracker/editor.h"

static const char* const note_names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

std::string Editor::get_single_note_string(int note) {
    if (note < 0 || note >= NOTE_COUNT) return "???";
    return std::string(note_names[note % 12]) + (char)('0' + note / 12);
}

std::string Editor::get_pattern_note_string(const Note& note) {
    switch (note.note) {
        case EMPTY_FIELD: return "...";
        case NOTE_OFF: return "===";
        case NOTE_CUT: return "^^^";
        default: return get_single_note_string(note.note);
    }
}

std::string Editor::get_pattern_instrument_string(const Note& note) {
    if (note.instrument == EMPTY_FIELD) return " ..";
    if (note.instrument >= 99) return " ??";  // only a damaged file holds these
    char text[8];
    std::snprintf(text, sizeof text, " %02i", note.instrument + 1);
    return text;
}

std::string Editor::get_pattern_volume_string(const Note& note) {
    int v = note.volume;
    char text[8];
    if (v == EMPTY_FIELD) return " ..";
    if (v <= 64)
        std::snprintf(text, sizeof text, " %02i", v);
    else if (v <= 124)
        std::snprintf(text, sizeof text, " %c%i", 'A' + (v - 65) / 10, (v - 65) % 10);
    else if (v >= 128 && v <= 192)
        std::snprintf(text, sizeof text, "P%02i", v - 128);
    else if (v >= 193 && v <= 212)
        std::snprintf(text, sizeof text, " %c%i", 'G' + (v - 193) / 10, (v - 193) % 10);
    else
        return " ??";
    return text;
}

std::string Editor::get_pattern_command_string(const Note& note) {
    char text[8];
    // Commands past 'Z' cannot be typed but may come from a file; show them as unknown.
    char letter = note.command == EMPTY_FIELD ? '.' : (note.command < 26 ? 'A' + note.command : '?');
    std::snprintf(text, sizeof text, "%c%02X", letter, note.parameter);
    return text;
}

void Editor::get_note_string(int column, int row, char* buffer) {
    Pattern* p = pattern();
    Note note = p ? p->get_note(column, row) : Pattern::empty_note;
    std::string text = get_pattern_note_string(note) + get_pattern_instrument_string(note) +
                       get_pattern_volume_string(note) + " " + get_pattern_command_string(note);
    std::memcpy(buffer, text.c_str(), NOTE_STRING_LENGTH + 1);
}
