#include "tracker/editor.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "tracker/keyboard_input.h"
#include "trackercore/song.h"

int Editor::default_octave = 4;

const char* const Editor::pattern_action_captions[PATTERN_ACTION_COUNT] = {
    "Mark- Block Begin",
    "Mark- Block End",
    "Mark- Toggle Column/All",
    "Block- Copy",
    "Block- Paste Insert",
    "Block- Paste Overwrite",
    "Block- UnMark",
    "Block- Cut",
    "Block- Raise Notes",
    "Block- Lower Notes",
    "Block- Set Current Instrument",
    "Block- Set Current Volume/Pan",
    "Block- Remove Stray Volumes",
    "Block- Ramp or Wipe(2xPress) Volumes/Pannings",
    "Block- Ramp or Wipe(2xPress) Effects",
    "Block- Double Block Length",
    "Block- Halve Block Length",
    "Cursor Field- Toggle Mask",
    "Cursor Field- Clear",
    "Cursor Field- Copy Current",
    "Cursor Field- Paste Current",
};

static constexpr int MAX_NOTE = NOTE_COUNT - 1;
static constexpr int MAX_INSTRUMENT_NUMBER = 99;  // as the user sees it
static constexpr int MAX_VOLUME = 64;
static constexpr int PAN_BASE = 128;  // volume-column panning 0..64 is stored as 128..192

static bool is_digit(int key) { return key >= '0' && key <= '9'; }

static int hex_digit_value(int key) {
    if (is_digit(key)) return key - '0';
    if (key >= 'A' && key <= 'F') return key - 'A' + 10;
    if (key >= 'a' && key <= 'f') return key - 'a' + 10;
    return -1;
}

static int upper(int key) { return key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key; }

Editor::Editor() = default;

void Editor::link_to_song(Song* to) {
    song = to;
    clamp_cursor_row();
}

Pattern* Editor::pattern() { return song ? song->get_pattern(current_pattern) : nullptr; }

int Editor::pattern_length() {
    Pattern* p = pattern();
    return p ? p->get_length() : Pattern::DEFAULT_LENGTH;
}

// Without a song the writes land in a scratch note and are lost, as out-of-range writes are.
Note& Editor::cell_at_cursor() {
    static Note scratch;
    Pattern* p = pattern();
    if (!p) return scratch = Pattern::empty_note;
    return p->get_note_ref(cursor_column, cursor_row);
}

Note Editor::note_at_cursor() {
    Pattern* p = pattern();
    return p ? p->get_note(cursor_column, cursor_row) : Pattern::empty_note;
}

void Editor::cursor_moved() {
    shift_selection_update();
    changed_flags |= CHANGED_CURSOR;
}

// Typing moves within the cell or on to a later row. A capital typed with Shift held must
// neither jump a channel, as a Shift movement does, nor drag a block along.
void Editor::entry_move(int rows, int field) {
    cursor_row = std::clamp(cursor_row + rows, 0, pattern_length() - 1);
    cursor_field = field;
    changed_flags |= CHANGED_CURSOR;
}

void Editor::clamp_cursor_row() { cursor_row = std::clamp(cursor_row, 0, pattern_length() - 1); }

void Editor::set_cursor(int column, int row, int field) {
    cursor_column = std::clamp(column, 0, LAST_CHANNEL);
    cursor_row = std::clamp(row, 0, pattern_length() - 1);
    cursor_field = std::clamp(field, 0, LAST_FIELD);
    cursor_moved();
}

void Editor::cursor_move_up(int n) {
    cursor_row = std::clamp(cursor_row - n, 0, pattern_length() - 1);
    cursor_moved();
}

void Editor::cursor_move_down(int n) {
    cursor_row = std::clamp(cursor_row + n, 0, pattern_length() - 1);
    cursor_moved();
}

void Editor::cursor_move_up() { cursor_move_up(edit_step); }
void Editor::cursor_move_down() { cursor_move_down(edit_step); }

void Editor::cursor_move_left(int n) {
    cursor_column = std::clamp(cursor_column - n, 0, LAST_CHANNEL);
    cursor_moved();
}

void Editor::cursor_move_right(int n) {
    cursor_column = std::clamp(cursor_column + n, 0, LAST_CHANNEL);
    cursor_moved();
}

void Editor::cursor_move_field_right() {
    if (shift_selection_active) {
        cursor_column = std::min(cursor_column + 1, LAST_CHANNEL);
    } else if (cursor_field < LAST_FIELD) {
        cursor_field++;
    } else if (cursor_column < LAST_CHANNEL) {
        cursor_column++;
        cursor_field = 0;
    }
    cursor_moved();
}

void Editor::cursor_move_field_left() {
    if (shift_selection_active) {
        cursor_column = std::max(cursor_column - 1, 0);
    } else if (cursor_field > 0) {
        cursor_field--;
    } else if (cursor_column > 0) {
        cursor_column--;
        cursor_field = LAST_FIELD;
    }
    cursor_moved();
}

void Editor::cursor_page_up() { cursor_move_up(song ? song->variables.row_hilight_major : 16); }
void Editor::cursor_page_down() { cursor_move_down(song ? song->variables.row_hilight_major : 16); }

void Editor::cursor_home() {
    if (cursor_field != 0)
        cursor_field = 0;
    else if (cursor_column != 0)
        cursor_column = 0;
    else
        cursor_row = 0;
    cursor_moved();
}

void Editor::cursor_end() {
    if (cursor_field != LAST_FIELD) {
        cursor_field = LAST_FIELD;
    } else if (cursor_column < LAST_CHANNEL) {
        cursor_column = LAST_CHANNEL;
        cursor_field = LAST_FIELD;
    } else {
        cursor_row = pattern_length() - 1;
    }
    cursor_moved();
}

void Editor::cursor_tab() {
    cursor_column = std::min(cursor_column + 1, LAST_CHANNEL);
    cursor_field = 0;
    cursor_moved();
}

void Editor::cursor_back_tab() {
    shift_selection_end();
    if (cursor_field == 0)
        cursor_column = std::max(cursor_column - 1, 0);
    else
        cursor_field = 0;
    cursor_moved();
}

void Editor::cursor_next_pattern() { cursor_goto_pattern(current_pattern + 1); }
void Editor::cursor_prev_pattern() { cursor_goto_pattern(current_pattern - 1); }

void Editor::cursor_goto_pattern(int target) {
    if (target < 0 || target >= Song::MAX_PATTERNS) return;
    current_pattern = target;
    clamp_cursor_row();
    normalize_selection();
    changed_flags |= CHANGED_CURSOR;
}

void Editor::follow_song_position(int pattern_index, int row) {
    if (pattern_index < 0 || pattern_index >= Song::MAX_PATTERNS) return;
    bool pattern_changed = pattern_index != current_pattern;
    current_pattern = pattern_index;
    cursor_row = std::clamp(row, 0, pattern_length() - 1);
    if (pattern_changed) normalize_selection();
    changed_flags |= CHANGED_CURSOR;
}

void Editor::cursor_insert() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Insert row");
    step.watch_pattern(current_pattern);
    Pattern* p = pattern();
    if (!p) return;
    for (int row = p->get_length() - 1; row > cursor_row; row--) {
        Note above = p->get_note(cursor_column, row - 1);
        p->get_note_ref(cursor_column, row) = above;
    }
    p->get_note_ref(cursor_column, cursor_row) = Pattern::empty_note;
    p->get_note_ref(cursor_column, cursor_row);  // commit
}

void Editor::cursor_delete() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Delete row");
    step.watch_pattern(current_pattern);
    Pattern* p = pattern();
    if (!p) return;
    int last = p->get_length() - 1;
    for (int row = cursor_row; row < last; row++) {
        Note below = p->get_note(cursor_column, row + 1);
        p->get_note_ref(cursor_column, row) = below;
    }
    p->get_note_ref(cursor_column, last) = Pattern::empty_note;
    p->get_note_ref(cursor_column, last);
}

// View geometry.

void Editor::set_view_size(int width, int height) {
    view_width = std::max(width, 0);
    view_height = std::max(height, 0);
    changed_flags |= CHANGED_VIEW;
}

void Editor::set_font_size(int width, int height) {
    font_width = std::max(width, 0);
    font_height = std::max(height, 0);
    changed_flags |= CHANGED_VIEW;
}

int Editor::get_visible_columns() const {
    if (font_width <= 0) return 0;
    int visible = (view_width - 6 * font_width) / (14 * font_width);
    return std::clamp(visible, 0, Pattern::CHANNELS - column_offset);
}

int Editor::get_visible_rows() const {
    int line = font_height + 1;
    int visible = (view_height - 2 * line) / line;
    int length = song ? song->pattern[current_pattern].get_length() : Pattern::DEFAULT_LENGTH;
    return std::clamp(visible, 0, std::max(length - row_offset, 0));
}

void Editor::adjust_view_to_cursor() {
    cursor_column = std::min(cursor_column, LAST_CHANNEL);
    int length = pattern_length();
    if (row_offset > length - 1) row_offset = std::max(length - 1, 0);
    // Measured against the whole grid so that scrolling is not limited by the current offset.
    int saved_column_offset = column_offset, saved_row_offset = row_offset;
    column_offset = 0;
    row_offset = 0;
    int columns = std::max(get_visible_columns(), 1);
    int rows = std::max(get_visible_rows(), 1);
    column_offset = saved_column_offset;
    row_offset = saved_row_offset;

    if (cursor_column < column_offset) column_offset = cursor_column;
    if (cursor_column >= column_offset + columns) column_offset = cursor_column - columns + 1;
    if (cursor_row < row_offset) row_offset = cursor_row;
    if (cursor_row >= row_offset + rows) row_offset = cursor_row - rows + 1;
    if (column_offset != saved_column_offset || row_offset != saved_row_offset) changed_flags |= CHANGED_VIEW;
}

void Editor::set_column_offset(int offset) {
    column_offset = std::clamp(offset, 0, LAST_CHANNEL);
    int columns = std::max(get_visible_columns(), 1);
    cursor_column = std::clamp(cursor_column, column_offset, std::min(column_offset + columns - 1, LAST_CHANNEL));
    changed_flags |= CHANGED_VIEW | CHANGED_CURSOR;
}

void Editor::set_row_offset(int offset) {
    int length = pattern_length();
    row_offset = 0;
    int rows = get_visible_rows();
    row_offset = std::clamp(offset, 0, std::max(length - rows, 0));
    rows = std::max(get_visible_rows(), 1);
    cursor_row = std::clamp(cursor_row, row_offset, std::min(row_offset + rows - 1, length - 1));
    changed_flags |= CHANGED_VIEW | CHANGED_CURSOR;
}

// Entry.

// Keys are character codes; a wider code (a toolkit key or a character past Latin-1) must not
// be cut down to a byte that happens to be a bound key.
static bool is_character_key(int key) { return key > 0 && key <= 255; }

void Editor::press_key_at_cursor(int key) {
    if (!is_character_key(key)) return;
    char c = (char)key;
    switch (cursor_field) {
        case 0: insert_note_at_cursor(c); break;
        case 1: insert_octave_at_cursor(c); break;
        case 2: insert_instrument_at_cursor_field1(c); break;
        case 3: insert_instrument_at_cursor_field2(c); break;
        case 4: insert_volume_at_cursor_field1(c); break;
        case 5: insert_volume_at_cursor_field2(c); break;
        case 6: insert_command_at_cursor(c); break;
        case 7: insert_parameter_at_cursor_field1(c); break;
        case 8: insert_parameter_at_cursor_field2(c); break;
    }
}

int Editor::get_note_increment(char key) const {
    const Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    if (!keys) return 99;
    int wanted = (unsigned char)key;
    if (wanted >= 'A' && wanted <= 'Z') wanted += 'a' - 'A';
    int increment = 99;
    int last = std::min(Keyboard_Input::LAST_NOTE_KEY, keys->get_key_bind_count() - 1);
    for (int bind = Keyboard_Input::FIRST_NOTE_KEY; bind <= last; bind++)
        if (keys->get_key_bind_key_nocase(bind) == wanted) increment = bind - Keyboard_Input::FIRST_NOTE_KEY;
    return increment;
}

int Editor::get_note_from_key(int key) const {
    if (!is_character_key(key)) return EMPTY_FIELD;
    int increment = get_note_increment((char)key);
    if (increment == 99) return EMPTY_FIELD;
    return std::clamp(default_octave * 12 + increment, 0, MAX_NOTE);
}

void Editor::insert_note_at_cursor(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    int increment = get_note_increment(key);
    if (increment == 99) return;
    int value = std::min(default_octave * 12 + increment, MAX_NOTE);
    Note& cell = cell_at_cursor();
    cell.note = value;
    last_note = value;
    if (volume_mask) cell.volume = last_volume;
    if (command_mask) {
        cell.command = last_command;
        cell.parameter = last_parameter;
    }
    if (instrument_mask) cell.instrument = last_instrument;
    entry_move(edit_step, 0);
}

void Editor::insert_octave_at_cursor(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    if (!is_digit(key)) return;
    Note& cell = cell_at_cursor();
    if (cell.note > MAX_NOTE) return;
    cell.note = (key - '0') * 12 + cell.note % 12;
    entry_move(edit_step, 1);
}

// Instruments are typed as the user sees them (1..99); 0 empties the field.
static void store_instrument_number(Note& cell, int number, int* last_instrument) {
    cell.instrument = number == 0 ? EMPTY_FIELD : std::min(number, MAX_INSTRUMENT_NUMBER) - 1;
    *last_instrument = cell.instrument;
}

static int instrument_number(const Note& cell) {
    return cell.instrument == EMPTY_FIELD ? 0 : cell.instrument + 1;
}

void Editor::insert_instrument_at_cursor_field1(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    if (!is_digit(key)) return;
    Note& cell = cell_at_cursor();
    store_instrument_number(cell, (key - '0') * 10 + instrument_number(cell) % 10, &last_instrument);
    entry_move(0, 3);
}

void Editor::insert_instrument_at_cursor_field2(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    if (!is_digit(key)) return;
    Note& cell = cell_at_cursor();
    store_instrument_number(cell, instrument_number(cell) / 10 * 10 + (key - '0'), &last_instrument);
    entry_move(edit_step, 2);
}

// The volume column's ranges that hold a tens digit and a units digit.
static bool in_slide_ranges(int volume) { return volume >= 65 && volume <= 124; }
static bool in_pan_range(int volume) { return volume >= PAN_BASE && volume <= PAN_BASE + MAX_VOLUME; }
static bool in_porta_vibrato_ranges(int volume) { return volume >= 193 && volume <= 212; }

static int volume_units(int volume) {
    if (volume <= MAX_VOLUME) return volume % 10;
    if (in_slide_ranges(volume)) return (volume - 65) % 10;
    if (in_pan_range(volume)) return (volume - PAN_BASE) % 10;
    if (in_porta_vibrato_ranges(volume)) return (volume - 193) % 10;
    return 0;
}

static int volume_tens_base(int volume) {
    if (volume <= MAX_VOLUME) return volume / 10 * 10;
    if (in_slide_ranges(volume)) return 65 + (volume - 65) / 10 * 10;
    if (in_pan_range(volume)) return (volume - PAN_BASE) / 10 * 10;
    if (in_porta_vibrato_ranges(volume)) return volume < 203 ? 193 : 203;
    return 0;
}

int Editor::plain_volume_for_mode(int value) const {
    return std::min(value, MAX_VOLUME) + (volume_pan_mode ? PAN_BASE : 0);
}

void Editor::insert_volume_at_cursor_field1(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    int letter = upper((unsigned char)key);
    Note& cell = cell_at_cursor();
    int units = volume_units(cell.volume);
    int value;
    if (is_digit(key))
        value = plain_volume_for_mode(10 * (key - '0') + units);
    else if (letter >= 'A' && letter <= 'F')
        value = 65 + 10 * (letter - 'A') + units;
    else if (letter == 'G')
        value = 193 + units;
    else if (letter == 'H')
        value = 203 + units;
    else
        return;
    cell.volume = value;
    last_volume = value;
    entry_move(0, 5);
}

void Editor::insert_volume_at_cursor_field2(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    if (!is_digit(key)) return;
    Note& cell = cell_at_cursor();
    int base = volume_tens_base(cell.volume);
    bool command_range = in_slide_ranges(cell.volume) || in_porta_vibrato_ranges(cell.volume);
    int value = command_range ? base + (key - '0') : plain_volume_for_mode(base + (key - '0'));
    cell.volume = value;
    last_volume = value;
    entry_move(edit_step, 4);
}

void Editor::insert_command_at_cursor(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    int letter = upper((unsigned char)key);
    if (letter < 'A' || letter > 'Z') return;
    Note& cell = cell_at_cursor();
    cell.command = letter - 'A';
    last_command = cell.command;
    last_parameter = cell.parameter;
    // The digits follow the letter; the row is left only after them.
    command_letter_cell = {cursor_column, cursor_row, current_pattern};
    entry_move(0, 7);
}

void Editor::insert_parameter_at_cursor_field1(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    int digit = hex_digit_value((unsigned char)key);
    if (digit < 0) return;
    Note& cell = cell_at_cursor();
    cell.parameter = (digit << 4) | (cell.parameter & 0x0F);
    last_command = cell.command;
    last_parameter = cell.parameter;
    entry_move(0, 8);
}

void Editor::insert_parameter_at_cursor_field2(char key) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Typing");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    int digit = hex_digit_value((unsigned char)key);
    if (digit < 0) return;
    Note& cell = cell_at_cursor();
    cell.parameter = (cell.parameter & 0xF0) | digit;
    last_command = cell.command;
    last_parameter = cell.parameter;
    // Back to where the typing began: the letter when it was typed here, else the digits.
    const Cell_Position here{cursor_column, cursor_row, current_pattern};
    const int first_field = command_letter_cell == here ? 6 : 7;
    command_letter_cell = {};
    entry_move(edit_step, first_field);
}

void Editor::press_note_off_at_cursor() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Note off");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    if (cursor_field <= 1) {
        cell_at_cursor().note = NOTE_OFF;
        move_down_by_step();
    } else if (cursor_field == 4 || cursor_field == 5) {
        volume_pan_mode = !volume_pan_mode;
    }
}

void Editor::press_note_cut_at_cursor() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Note cut");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    cell_at_cursor().note = NOTE_CUT;
    move_down_by_step();
}

void Editor::default_octave_raise() { default_octave = std::min(default_octave + 1, 8); }
void Editor::default_octave_lower() { default_octave = std::max(default_octave - 1, 0); }

void Editor::set_default_octave(char octave) {
    if (octave >= 0 && octave <= 8) default_octave = octave;
}

void Editor::set_last_instrument(int instrument) {
    if ((instrument >= 0 && instrument < Song::MAX_INSTRUMENTS) || instrument == EMPTY_FIELD)
        last_instrument = instrument;
}

void Editor::set_last_volume(int volume) {
    if (volume >= 0 && volume <= EMPTY_FIELD) last_volume = volume;
}

void Editor::set_edit_step(int step) { edit_step = std::clamp(step, 0, Pattern::MAX_LENGTH); }

// Field actions.

void Editor::toggle_mask_at_cursor() {
    if (cursor_field == 2 || cursor_field == 3)
        instrument_mask = !instrument_mask;
    else if (cursor_field == 4 || cursor_field == 5)
        volume_mask = !volume_mask;
    else if (cursor_field >= 6)
        command_mask = !command_mask;
}

void Editor::clear_field_at_cursor() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Clear field");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    Note& cell = cell_at_cursor();
    switch (cursor_field) {
        case 0:
            cell.note = EMPTY_FIELD;
            if (instrument_mask) cell.instrument = EMPTY_FIELD;
            if (volume_mask) cell.volume = EMPTY_FIELD;
            if (command_mask) {
                cell.command = EMPTY_FIELD;
                cell.parameter = 0;
            }
            last_note = cell.note;
            break;
        case 2:
        case 3:
            cell.instrument = EMPTY_FIELD;
            last_instrument = EMPTY_FIELD;
            break;
        case 4:
        case 5:
            cell.volume = EMPTY_FIELD;
            last_volume = EMPTY_FIELD;
            break;
        case 6:
        case 7:
        case 8:
            if (cursor_field == 6)
                cell.command = EMPTY_FIELD;
            else
                cell.parameter = 0;
            last_command = cell.command;
            last_parameter = cell.parameter;
            break;
    }
    move_down_by_step();
}

void Editor::get_mask_from_cursor() {
    Note cell = note_at_cursor();
    switch (cursor_field) {
        case 0: last_note = cell.note; break;
        case 2:
        case 3: last_instrument = cell.instrument; break;
        case 4:
        case 5: last_volume = cell.volume; break;
        case 6:
        case 7:
        case 8:
            last_command = cell.command;
            last_parameter = cell.parameter;
            break;
    }
}

void Editor::press_mask_write_cursor() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Paste current field");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    if (cursor_field != 1) {
        Note& cell = cell_at_cursor();
        switch (cursor_field) {
            case 0: cell.note = last_note; break;
            case 2:
            case 3: cell.instrument = last_instrument; break;
            case 4:
            case 5: cell.volume = last_volume; break;
            default:
                cell.parameter = last_parameter;
                cell.command = last_command;
                break;
        }
    }
    move_down_by_step();
}

void Editor::perform_raise_at_cursor() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Raise note");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    Note& cell = cell_at_cursor();
    if (cell.note < MAX_NOTE) cell.note++;
}

void Editor::perform_lower_at_cursor() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Lower note");
    step.watch_pattern(current_pattern).merge_with_same(cursor_cell_key());
    Note& cell = cell_at_cursor();
    if (cell.note >= 1 && cell.note <= MAX_NOTE) cell.note--;
}
