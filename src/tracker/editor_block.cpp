// Block marking, block operations, the block clipboard and the undo history.
#include <algorithm>
#include <string>

#include "tracker/editor.h"
#include "trackercore/song.h"

static constexpr int MAX_NOTE = NOTE_COUNT - 1;
static constexpr int MAX_VOLUME = 64;

enum Paste_Mode { PASTE_OVERWRITE, PASTE_MIX, PASTE_INSERT };

void Editor::perform_action(Pattern_Actions action) {
    switch (action) {
        case MARK_BLOCK_BEGINING: mark_block_begining(); break;
        case MARK_BLOCK_END: mark_block_end(); break;
        case MARK_COLUMN_ALL: mark_column_all(); break;
        case SELECTION_COPY: selection_copy(); break;
        case SELECTION_PASTE_INSERT: selection_paste_insert(); break;
        case SELECTION_PASTE_OVERWRITE: selection_paste_overwrite(); break;
        case SELECTION_RELEASE: selection_release(); break;
        case SELECTION_ZAP: selection_zap(); break;
        case SELECTION_RAISE: selection_raise(); break;
        case SELECTION_LOWER: selection_lower(); break;
        case SELECTION_SET_INSTRUMENT_MASK: selection_set_instrument_mask(); break;
        case SELECTION_SET_VOLUME_MASK: selection_set_volume_mask(); break;
        case SELECTION_WIPE_STRAY_VOLUMES: selection_wipe_stray_volumes(); break;
        case SELECTION_VOLUME_RAMP: selection_volume_ramp(); break;
        case SELECTION_PARAMETER_RAMP: selection_parameter_ramp(); break;
        case SELECTION_EXPAND: selection_expand(); break;
        case SELECTION_SHRINK: selection_shrink(); break;
        case TOGGLE_MASK_AT_CURSOR: toggle_mask_at_cursor(); break;
        case CLEAR_FIELD_AT_CURSOR: clear_field_at_cursor(); break;
        case GET_MASK_FROM_CURSOR: get_mask_from_cursor(); break;
        case PRESS_MASK_WRITE_CURSOR: press_mask_write_cursor(); break;
        case PATTERN_ACTION_COUNT: break;
    }
}

// Marking.

void Editor::normalize_selection() {
    if (selection_begin_column > selection_end_column) std::swap(selection_begin_column, selection_end_column);
    if (selection_begin_row > selection_end_row) std::swap(selection_begin_row, selection_end_row);
    selection_begin_column = std::clamp(selection_begin_column, 0, LAST_CHANNEL);
    selection_end_column = std::clamp(selection_end_column, 0, LAST_CHANNEL);
    int last_row = pattern_length() - 1;
    selection_begin_row = std::clamp(selection_begin_row, 0, last_row);
    selection_end_row = std::clamp(selection_end_row, 0, last_row);
    changed_flags |= CHANGED_VIEW;
}

void Editor::set_selection(int begin_column, int begin_row, int end_column, int end_row) {
    selection_begin_column = begin_column;
    selection_begin_row = begin_row;
    selection_end_column = end_column;
    selection_end_row = end_row;
    selection_active = true;
    normalize_selection();
}

bool Editor::is_in_selection(int column, int row) const {
    return selection_active && column >= selection_begin_column && column <= selection_end_column &&
           row >= selection_begin_row && row <= selection_end_row;
}

void Editor::mark_block_begining() {
    selection_begin_column = cursor_column;
    selection_begin_row = cursor_row;
    if (!selection_active) {
        selection_end_column = cursor_column;
        selection_end_row = cursor_row;
        selection_active = true;
    }
    normalize_selection();
}

void Editor::mark_block_end() {
    selection_end_column = cursor_column;
    selection_end_row = cursor_row;
    if (!selection_active) {
        selection_begin_column = cursor_column;
        selection_begin_row = cursor_row;
        selection_active = true;
    }
    normalize_selection();
}

void Editor::mark_column_all() {
    int last_row = pattern_length() - 1;
    bool whole_channel = selection_active && selection_begin_column == cursor_column &&
                         selection_end_column == cursor_column && selection_begin_row == 0 &&
                         selection_end_row == last_row;
    selection_begin_column = whole_channel ? 0 : cursor_column;
    selection_end_column = whole_channel ? LAST_CHANNEL : cursor_column;
    selection_begin_row = 0;
    selection_end_row = last_row;
    selection_active = true;
    normalize_selection();
}

void Editor::selection_release() {
    selection_active = false;
    changed_flags |= CHANGED_VIEW;
}

void Editor::shift_selection_begin() {
    shift_selection_anchor_column = cursor_column;
    shift_selection_anchor_row = cursor_row;
    shift_selection_active = true;
}

void Editor::shift_selection_update() {
    if (!shift_selection_active) return;
    set_selection(shift_selection_anchor_column, shift_selection_anchor_row, cursor_column, cursor_row);
}

void Editor::shift_selection_end() { shift_selection_active = false; }

void Editor::selection_begin_at_cursor() {
    selection_point_column = cursor_column;
    selection_point_row = cursor_row;
}

void Editor::selection_end_at_cursor() {
    set_selection(selection_point_column, selection_point_row, cursor_column, cursor_row);
}

// Block operations.

bool Editor::block_has_two_rows() const { return selection_active && selection_end_row > selection_begin_row; }

template <typename Change>
static void for_each_block_cell(Pattern* p, int column0, int row0, int column1, int row1, Change change) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    row1 = std::min(row1, p->get_length() - 1);
    for (int column = column0; column <= column1; column++)
        for (int row = row0; row <= row1; row++) change(p->get_note_ref(column, row), column, row);
}

void Editor::selection_raise() {
    if (!selection_active) {
        perform_raise_at_cursor();
        return;
    }
    Song_History::Step step(history, "Raise notes on selection");
    step.watch_pattern(current_pattern).merge_with_same();
    if (!pattern()) return;
    for_each_block_cell(pattern(), selection_begin_column, selection_begin_row, selection_end_column,
                        selection_end_row, [](Note& cell, int, int) {
                            if (cell.note < MAX_NOTE) cell.note++;
                        });
}

void Editor::selection_lower() {
    if (!selection_active) {
        perform_lower_at_cursor();
        return;
    }
    Song_History::Step step(history, "Lower notes on selection");
    step.watch_pattern(current_pattern).merge_with_same();
    if (!pattern()) return;
    for_each_block_cell(pattern(), selection_begin_column, selection_begin_row, selection_end_column,
                        selection_end_row, [](Note& cell, int, int) {
                            if (cell.note >= 1 && cell.note <= MAX_NOTE) cell.note--;
                        });
}

void Editor::selection_zap() {
    Song_History::Step step(history, "Selection Zap");
    step.watch_pattern(current_pattern).merge_with_same();
    if (!pattern()) return;
    selection_copy();
    for_each_block_cell(pattern(), selection_begin_column, selection_begin_row, selection_end_column,
                        selection_end_row, [](Note& cell, int, int) { cell = Pattern::empty_note; });
}

void Editor::selection_parameter_ramp() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Selection ramp parameter column");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    int r0 = selection_begin_row, r1 = selection_end_row;
    for (int column = selection_begin_column; column <= selection_end_column; column++) {
        int from = p->get_note(column, r0).parameter;
        int to = p->get_note(column, r1).parameter;
        for (int row = r0; row <= r1; row++)
            p->get_note_ref(column, row).parameter = from + (to - from) * (row - r0) / (r1 - r0);
    }
}

void Editor::selection_volume_ramp() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Selection ramp volume column");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    int r0 = selection_begin_row, r1 = selection_end_row;
    for (int column = selection_begin_column; column <= selection_end_column; column++) {
        int from = p->get_note(column, r0).volume;
        int to = p->get_note(column, r1).volume;
        if (from > MAX_VOLUME || to > MAX_VOLUME) continue;
        for (int row = r0; row <= r1; row++)
            p->get_note_ref(column, row).volume = from + (to - from) * (row - r0) / (r1 - r0);
    }
}

void Editor::selection_volume_scale(int percent) {
    Song_History::Step step(history, "Selection volume scale");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    percent = std::max(percent, 0);
    for_each_block_cell(p, selection_begin_column, selection_begin_row, selection_end_column, selection_end_row,
                        [percent](Note& cell, int, int) {
                            bool empty = cell.volume == EMPTY_FIELD;
                            if (empty && (cell.instrument == EMPTY_FIELD || cell.note > MAX_NOTE)) return;
                            // Slides, pannings and the like are commands, not loudness.
                            if (!empty && cell.volume > MAX_VOLUME) return;
                            int volume = empty ? MAX_VOLUME : cell.volume;
                            cell.volume = std::min(volume * percent / 100, MAX_VOLUME);
                        });
}

void Editor::selection_set_instrument_mask() {
    Song_History::Step step(history, "Selection set instrument mask");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    int instrument = last_instrument;
    for_each_block_cell(p, selection_begin_column, selection_begin_row, selection_end_column, selection_end_row,
                        [instrument](Note& cell, int, int) {
                            if (cell.instrument != EMPTY_FIELD) cell.instrument = instrument;
                        });
}

void Editor::selection_set_volume_mask() {
    Song_History::Step step(history, "Selection set volume mask");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    int volume = last_volume;
    for_each_block_cell(p, selection_begin_column, selection_begin_row, selection_end_column, selection_end_row,
                        [volume](Note& cell, int, int) { cell.volume = volume; });
}

void Editor::selection_wipe_stray_volumes() {
    Song_History::Step step(history, "Selection wipe stray volumes");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    for_each_block_cell(p, selection_begin_column, selection_begin_row, selection_end_column, selection_end_row,
                        [](Note& cell, int, int) {
                            bool no_note = cell.note >= NOTE_COUNT;
                            if (cell.instrument == EMPTY_FIELD && no_note) cell.volume = EMPTY_FIELD;
                        });
}

void Editor::selection_expand() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Selection Expand x 2");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    int r0 = selection_begin_row;
    int new_end = std::min(r0 + 2 * (selection_end_row - r0), p->get_length() - 1);
    for (int column = selection_begin_column; column <= selection_end_column; column++) {
        for (int row = new_end; row >= r0; row--) {
            int d = row - r0;
            Note source = d % 2 ? Pattern::empty_note : p->get_note(column, r0 + d / 2);
            p->get_note_ref(column, row) = source;
        }
    }
}

void Editor::selection_shrink() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Song_History::Step step(history, "Selection Shrink x 2");
    step.watch_pattern(current_pattern).merge_with_same();
    Pattern* p = pattern();
    if (!p || !block_has_two_rows()) return;
    int r0 = selection_begin_row, r1 = selection_end_row;
    int half = (r1 - r0) / 2;
    for (int column = selection_begin_column; column <= selection_end_column; column++) {
        for (int d = 0; d <= half; d++) {
            Note source = p->get_note(column, r0 + 2 * d);
            p->get_note_ref(column, r0 + d) = source;
        }
        for (int row = r0 + half + 1; row <= r1; row++) p->get_note_ref(column, row) = Pattern::empty_note;
    }
}

// Clipboard.

void Editor::selection_copy() {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Pattern* p = pattern();
    if (!p) return;
    int rows = selection_end_row - selection_begin_row + 1;
    if (rows < 1 || rows > Pattern::MAX_LENGTH) return;
    clipboard.clear();
    clipboard.set_length(rows);
    clipboard_width = selection_end_column - selection_begin_column + 1;
    for (int column = selection_begin_column; column <= selection_end_column; column++)
        for (int row = selection_begin_row; row <= selection_end_row; row++)
            clipboard.get_note_ref(column - selection_begin_column, row - selection_begin_row) =
                p->get_note(column, row);
    clipboard.get_note_ref(0, 0);  // commit the last cell
}

void Editor::paste(int mode) {
    Pattern::Edit_Scope edit_scope;  // the audio thread reads cells while we write them
    Pattern* p = pattern();
    if (!p || clipboard_width <= 0) return;
    int length = p->get_length();
    int clip_length = clipboard.get_length();
    int last_column = std::min(cursor_column + clipboard_width - 1, LAST_CHANNEL);
    int last_row = std::min(cursor_row + clip_length - 1, length - 1);
    for (int column = cursor_column; column <= last_column; column++) {
        if (mode == PASTE_INSERT) {
            // Open a gap of the clipboard's length at the cursor; cells pushed past the end are lost.
            for (int row = length - 1; row > last_row; row--) {
                Note above = p->get_note(column, row - clip_length);
                p->get_note_ref(column, row) = above;
            }
        }
        for (int row = cursor_row; row <= last_row; row++) {
            Note source = clipboard.get_note(column - cursor_column, row - cursor_row);
            if (mode == PASTE_MIX && p->get_note(column, row) != Pattern::empty_note) continue;
            p->get_note_ref(column, row) = source;
        }
    }
}

void Editor::selection_paste_overwrite() {
    Song_History::Step step(history, "Paste (overwriting)");
    step.watch_pattern(current_pattern).merge_with_same();
    paste(PASTE_OVERWRITE);
}

void Editor::selection_paste_mix() {
    Song_History::Step step(history, "Paste (mix)");
    step.watch_pattern(current_pattern).merge_with_same();
    paste(PASTE_MIX);
}

void Editor::selection_paste_insert() {
    Song_History::Step step(history, "Paste (inserting)");
    step.watch_pattern(current_pattern).merge_with_same();
    paste(PASTE_INSERT);
}

// Undo history.

int Editor::get_undo_max() const { return history ? history->get_undo_count() + history->get_redo_count() : 0; }

int Editor::get_undo_pattern(int index) const {
    if (!history || index < 0 || index >= get_undo_max()) return 0;
    int redo = history->get_redo_count();
    return index < redo ? history->get_redo_pattern(index) : history->get_undo_pattern(index - redo);
}

std::string Editor::get_undo_info(int index) const {
    if (!history || index < 0 || index >= get_undo_max()) return "invalid pattern!";
    int redo = history->get_redo_count();
    return index < redo ? "Redo " + history->get_redo_description(index)
                        : history->get_undo_description(index - redo);
}

int Editor::undo_index(int index) {
    if (!history || index < 0 || index >= get_undo_max()) return 0;
    int redo = history->get_redo_count();
    int parts = 0;
    int shown = -1;
    if (index < redo) {
        for (int i = 0; i <= index; i++) {
            shown = history->get_redo_pattern(0);
            parts |= history->redo();
        }
    } else {
        for (int i = 0; i <= index - redo; i++) {
            shown = history->get_undo_pattern(0);
            parts |= history->undo();
        }
    }
    show_pattern(shown);
    return parts;
}

int Editor::undo() {
    if (!history || !history->can_undo()) return 0;
    int shown = history->get_undo_pattern(0);
    int parts = history->undo();
    show_pattern(shown);
    return parts;
}

int Editor::redo() {
    if (!history || !history->can_redo()) return 0;
    int shown = history->get_redo_pattern(0);
    int parts = history->redo();
    show_pattern(shown);
    return parts;
}

void Editor::show_pattern(int index) {
    // The restored pattern may be shorter than the cursor's row.
    if (index >= 0 && index < Song::MAX_PATTERNS) current_pattern = index;
    clamp_cursor_row();
    normalize_selection();
    changed_flags |= CHANGED_CURSOR;
}
