// The core headers come first: sigc++ (in the player) cannot be parsed after Qt's "emit" macro.
#include "common/components/audio/mutex_lock.h"
#include "tracker/editor.h"
#include "tracker/keyboard_input.h"
#include "tracker/player_realtime_keyboard.h"
#include "trackercore/player_data.h"
#include "trackercore/song.h"

#include "interface__QT/pattern_edit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/interface_preferences.h"
#include "interface__QT/volume_amplifier_dialog.h"

int Pattern_Edit::volume_scale_memory = 100;

namespace {

// Tracker-key bindings the view acts on (Keyboard_Input numbers).
enum Bind {
    BIND_NOTE_CUT = 0,
    BIND_NOTE_OFF = 1,
    BIND_ERASE_FIELD = 2,
    BIND_NEXT_INSTRUMENT = 3,
    BIND_PREV_INSTRUMENT = 4,
    BIND_PLAY_NOTE_ON_CURSOR = 5,
    BIND_PLAY_ROW_ON_CURSOR = 6,
    BIND_TOGGLE_MASK = 7,
};

constexpr int LAST_INSTRUMENT_SLOT = Song::MAX_INSTRUMENTS - 1;

bool is_entry_character(int c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

}  // namespace

Pattern_Edit::Pattern_Edit(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
    setAccessibleName(tr("Pattern"));
    for (Text_Run& run : runs) {
        run.glyphs.resize(RUN_CAPACITY);
        run.positions.resize(RUN_CAPACITY);
    }
    load_colors();
    measure_font();
    connect(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed, this, [this] {
        load_colors();
        update();
    });
    connect(&Interface_Preferences::get_singleton_instance(), &Interface_Preferences::changed, this, [this] {
        measure_font();
        backing_store = QImage();
        repaint_after_command();
    });
}

void Pattern_Edit::set_song(Song* to) {
    song = to;
    update();
}

void Pattern_Edit::set_editor(Editor* to) {
    editor = to;
    if (editor) {
        editor->set_font_size(char_width, line_height - 1);
        tell_editor_view_size();
        editor->adjust_view_to_cursor();
    }
    repaint_after_command();
}

void Pattern_Edit::set_player(Player_Data* to) { player = to; }
void Pattern_Edit::set_keyboard(Player_Realtime_Keyboard* to) { keyboard = to; }
void Pattern_Edit::set_variables_lock(Mutex_Lock* lock) { variables_lock = lock; }

void Pattern_Edit::repaint_after_command() {
    update();
    view_changed();
}

void Pattern_Edit::view_changed() { emit view_changed_signal(); }

bool Pattern_Edit::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key_event = static_cast<QKeyEvent*>(event);
            if (key_press(key_event)) {
                key_event->accept();
                return true;
            }
            return QWidget::event(event);
        }
        case QEvent::ShortcutOverride:
            // Our keys come to us even where a window shortcut or a menu mnemonic (Alt+letter)
            // would take them first.
            if (editor && song && is_view_key(static_cast<QKeyEvent*>(event))) {
                event->accept();
                return true;
            }
            return QWidget::event(event);
        case QEvent::KeyRelease:
            // Shift going up ends a shift selection even when no other key follows.
            track_shift(static_cast<QKeyEvent*>(event)->modifiers());
            return QWidget::event(event);
        case QEvent::FocusOut:
            track_shift(Qt::NoModifier);
            return QWidget::event(event);
        case QEvent::MouseButtonPress:
            mouse_press(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseMove:
            mouse_move(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseButtonRelease:
            mouse_release(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::Wheel:
            wheel(static_cast<QWheelEvent*>(event));
            return true;
        default: return QWidget::event(event);
    }
}

// Keys.

void Pattern_Edit::track_shift(Qt::KeyboardModifiers modifiers) {
    bool shift_down = modifiers.testFlag(Qt::ShiftModifier);
    if (shift_down == shift_was_down) return;
    shift_was_down = shift_down;
    if (!editor) return;
    if (shift_down)
        editor->shift_selection_begin();
    else
        editor->shift_selection_end();
}

bool Pattern_Edit::key_press(QKeyEvent* event) {
    if (!editor || !song) return false;
    const int instrument_before = current_instrument();
    const View_State before = view_state();
    if (variables_lock) variables_lock->grab();
    lock_held = true;

    track_shift(event->modifiers());
    editor->clear_changed_flags();
    bool used;
    if (event->modifiers().testFlag(Qt::ControlModifier))
        used = control_key(event->key());
    else if (event->modifiers().testFlag(Qt::AltModifier))
        used = alt_key(event->key());
    else
        used = plain_key(event);
    if (used) editor->adjust_view_to_cursor();

    lock_held = false;
    if (variables_lock) variables_lock->release();

    if (used) {
        // Moving the cursor over an unchanged view redraws only the rows it left and entered.
        if (is_movement_key(event) && !(editor->get_changed_flags() & Editor::CHANGED_VIEW) &&
            view_state().same_view(before))
            update_cursor_rows(before);
        else
            repaint_after_command();
    }
    int instrument = current_instrument();
    if (instrument != instrument_before) {
        if (keyboard && instrument >= 0) keyboard->instrument_set(instrument);
        emit instrument_changed_signal(instrument);
    }
    emit operation_performed_signal();
    return used;
}

Pattern_Edit::View_State Pattern_Edit::view_state() const {
    return {editor->get_current_pattern(), editor->get_row_offset(), editor->get_column_offset(),
            editor->get_cursor_row(), editor->get_cursor_column()};
}

bool Pattern_Edit::is_movement_key(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    switch (event->key()) {
        case Qt::Key_Home:
        case Qt::Key_End: return !modifiers.testFlag(Qt::AltModifier);
        case Qt::Key_Left:
        case Qt::Key_Right: return !modifiers.testFlag(Qt::ControlModifier);
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return !(modifiers & (Qt::ControlModifier | Qt::AltModifier));
        default: return false;
    }
}

void Pattern_Edit::update_cursor_rows(const View_State& before) {
    update_row(before.cursor_row);
    update_row(editor->get_cursor_row());
    if (editor->get_cursor_column() != before.cursor_column) update(QRect(0, 0, width(), HEADER_LINES * line_height));
}

bool Pattern_Edit::is_view_key(const QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers.testFlag(Qt::ControlModifier)) {
        switch (key) {
            case Qt::Key_Backspace:
            case Qt::Key_Plus:
            case Qt::Key_Equal:
            case Qt::Key_Minus:
            case Qt::Key_Home:
            case Qt::Key_End:
            case Qt::Key_F7: return true;
            default: return false;
        }
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        if (key >= Qt::Key_1 && key <= Qt::Key_9) return true;
        switch (key) {
            case Qt::Key_A:
            case Qt::Key_B:
            case Qt::Key_C:
            case Qt::Key_E:
            case Qt::Key_J:
            case Qt::Key_K:
            case Qt::Key_L:
            case Qt::Key_M:
            case Qt::Key_O:
            case Qt::Key_P:
            case Qt::Key_Q:
            case Qt::Key_S:
            case Qt::Key_U:
            case Qt::Key_V:
            case Qt::Key_W:
            case Qt::Key_X:
            case Qt::Key_Z:
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Backspace: return true;
            default: return false;
        }
    }
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Insert:
        case Qt::Key_Delete:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_F9:
        case Qt::Key_F10:
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter: return true;
        default: break;
    }
    const QString text = event->text();
    if (text.isEmpty()) return false;
    int c = text.at(0).toUpper().unicode();
    if (is_entry_character(c) || c == '+' || c == '=' || c == '-') return true;
    const Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    const int lower = text.at(0).toLower().unicode();
    for (int bind = BIND_NOTE_CUT; keys && bind <= BIND_TOGGLE_MASK && c > 32; bind++)
        if (keys->get_key_bind_key_nocase(bind) == lower) return true;
    return false;
}

bool Pattern_Edit::control_key(int key) {
    auto follow_order_cursor = [this] {
        int pattern = song->get_order(editor->get_orderlist_row());
        if (pattern < Song::MAX_PATTERNS) editor->cursor_goto_pattern(pattern);
    };
    switch (key) {
        case Qt::Key_Backspace: editor->undo_index(0); return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:  // the unshifted "+" key
            editor->orderlist_move_down();
            follow_order_cursor();
            return true;
        case Qt::Key_Minus:
            editor->orderlist_move_up();
            follow_order_cursor();
            return true;
        case Qt::Key_Home: editor->cursor_move_up(1); return true;
        case Qt::Key_End: editor->cursor_move_down(1); return true;
        case Qt::Key_F7: editor->set_mark(); return true;
        default: return false;
    }
}

bool Pattern_Edit::alt_key(int key) {
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        editor->set_edit_step(key - Qt::Key_0);
        return true;
    }
    switch (key) {
        case Qt::Key_A: editor->selection_lower(); return true;
        case Qt::Key_B: editor->mark_block_begining(); return true;
        case Qt::Key_C: editor->selection_copy(); return true;
        case Qt::Key_E: editor->mark_block_end(); return true;
        case Qt::Key_J: ask_volume_scale(); return true;
        case Qt::Key_K: editor->selection_volume_ramp(); return true;
        case Qt::Key_L: editor->mark_column_all(); return true;
        case Qt::Key_M: editor->selection_paste_mix(); return true;
        case Qt::Key_O: editor->selection_paste_overwrite(); return true;
        case Qt::Key_P: editor->selection_paste_insert(); return true;
        case Qt::Key_Q: editor->selection_raise(); return true;
        case Qt::Key_S: editor->selection_set_instrument_mask(); return true;
        case Qt::Key_U: editor->selection_release(); return true;
        case Qt::Key_V: editor->selection_set_volume_mask(); return true;
        case Qt::Key_W: editor->selection_wipe_stray_volumes(); return true;
        case Qt::Key_X: editor->selection_parameter_ramp(); return true;
        case Qt::Key_Z: editor->selection_zap(); return true;
        case Qt::Key_Left: editor->cursor_move_left(1); return true;
        case Qt::Key_Right: editor->cursor_move_right(1); return true;
        case Qt::Key_Backspace: return true;
        default: return false;
    }
}

bool Pattern_Edit::navigation_key(int key) {
    switch (key) {
        case Qt::Key_Tab: editor->cursor_tab(); return true;
        case Qt::Key_Backtab: editor->cursor_back_tab(); return true;
        case Qt::Key_Insert: editor->cursor_insert(); return true;
        case Qt::Key_Delete: editor->cursor_delete(); return true;
        case Qt::Key_Home: editor->cursor_home(); return true;
        case Qt::Key_End: editor->cursor_end(); return true;
        case Qt::Key_Left: editor->cursor_move_field_left(); return true;
        case Qt::Key_Right: editor->cursor_move_field_right(); return true;
        case Qt::Key_Up: editor->cursor_move_up(); return true;
        case Qt::Key_Down: editor->cursor_move_down(); return true;
        case Qt::Key_PageUp: editor->cursor_page_up(); return true;
        case Qt::Key_PageDown: editor->cursor_page_down(); return true;
        case Qt::Key_F9: editor->current_channel_mute_toggle(); return true;
        case Qt::Key_F10: editor->current_channel_solo_toggle(); return true;
        default: return false;
    }
}

bool Pattern_Edit::plain_key(QKeyEvent* event) {
    if (navigation_key(event->key())) return true;

    QString text = event->text();
    int c = !text.isEmpty() ? text.at(0).unicode() : (event->key() < 128 ? event->key() : 0);
    if (c >= 'a' && c <= 'z') c += 'A' - 'a';
    int lower = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    const Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    auto bound = [&](int bind) { return keys && c > 32 && keys->get_key_bind_key_nocase(bind) == lower; };
    bool on_note_field = editor->get_cursor_field() == 0;

    bool used = false;     // the key did something or is the view's to swallow
    bool claimed = false;  // a binding took the key, so it is not typed into the field
    if (c == '+' || c == '=') {
        editor->cursor_next_pattern();
        used = claimed = true;
    } else if (c == '-') {
        editor->cursor_prev_pattern();
        used = claimed = true;
    }
    if (bound(BIND_TOGGLE_MASK)) {
        editor->toggle_mask_at_cursor();
        used = claimed = true;
    }
    if (bound(BIND_ERASE_FIELD)) {
        editor->clear_field_at_cursor();
        used = claimed = true;
    }
    if (bound(BIND_NOTE_OFF)) {
        editor->press_note_off_at_cursor();
        used = claimed = true;
    }
    // Note Cut is a note-column key. Its default is the digit 1, so on the other fields the
    // key must still type its digit; claiming it everywhere would make "1" untypeable there.
    if (bound(BIND_NOTE_CUT)) {
        used = true;
        if (on_note_field) {
            editor->press_note_cut_at_cursor();
            claimed = true;
        }
    }
    if (event->key() == Qt::Key_Space) {
        editor->press_mask_write_cursor();
        used = claimed = true;
    }
    if (bound(BIND_NEXT_INSTRUMENT)) {
        change_instrument(+1);
        used = claimed = true;
    }
    if (bound(BIND_PREV_INSTRUMENT)) {
        change_instrument(-1);
        used = claimed = true;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        editor->get_mask_from_cursor();
        used = claimed = true;
    }
    if (on_note_field && bound(BIND_PLAY_NOTE_ON_CURSOR)) {
        play_cell(editor->get_cursor_column(), editor->get_cursor_row(), true);
        editor->cursor_move_down();
        used = claimed = true;
    } else if (on_note_field && bound(BIND_PLAY_ROW_ON_CURSOR)) {
        play_row(editor->get_cursor_row());
        editor->cursor_move_down();
        used = claimed = true;
    }

    if (!claimed && is_entry_character(c)) {
        int column = editor->get_cursor_column();
        int row = editor->get_cursor_row();
        bool writes_note = on_note_field && editor->get_note_increment((char)c) != 99;
        editor->press_key_at_cursor(c);
        if (writes_note) play_cell(column, row, true);
        used = true;
    }
    return used;
}

int Pattern_Edit::current_instrument() const {
    if (!editor) return -1;
    int instrument = editor->get_last_instrument();
    return instrument <= LAST_INSTRUMENT_SLOT ? instrument : -1;
}

void Pattern_Edit::change_instrument(int delta) {
    int instrument = current_instrument();
    if (instrument < 0) instrument = delta > 0 ? -1 : 1;  // none: both keys go to the first slot
    editor->set_last_instrument(std::clamp(instrument + delta, 0, LAST_INSTRUMENT_SLOT));
}

// The player takes the variables lock itself for each note, so the view lets go of it.
void Pattern_Edit::play_cell(int channel, int row, bool ignore_mute) {
    if (!player || !song) return;
    Note note = song->get_pattern(editor->get_current_pattern())->get_note(channel, row);
    if (lock_held && variables_lock) variables_lock->release();
    player->play_note(channel, note, ignore_mute);
    if (lock_held && variables_lock) variables_lock->grab();
}

void Pattern_Edit::play_row(int row) {
    if (!player || !song) return;
    Pattern* pattern = song->get_pattern(editor->get_current_pattern());
    Note notes[Pattern::CHANNELS];
    for (int channel = 0; channel < Pattern::CHANNELS; channel++) notes[channel] = pattern->get_note(channel, row);
    if (lock_held && variables_lock) variables_lock->release();
    for (int channel = 0; channel < Pattern::CHANNELS; channel++) player->play_note(channel, notes[channel], false);
    if (lock_held && variables_lock) variables_lock->grab();
}

// The dialog waits for the user; holding the variables lock meanwhile would stop the audio
// thread, so it is let go until the answer is in.
void Pattern_Edit::ask_volume_scale() {
    if (lock_held && variables_lock) variables_lock->release();
    int percent = volume_scale_memory;
    bool accepted = Volume_Amplifier_Dialog::ask(this, &percent);
    if (lock_held && variables_lock) variables_lock->grab();
    if (!accepted) return;
    volume_scale_memory = percent;
    editor->selection_volume_scale(percent);
}

// Mouse.

bool Pattern_Edit::can_use_mouse() const {
    return editor && song && editor->get_visible_rows() > 0 && editor->get_visible_columns() > 0 &&
           song->get_pattern(editor->get_current_pattern());
}

void Pattern_Edit::mouse_press(QMouseEvent* event) {
    QPoint point = event->position().toPoint();
    int header_channel = header_channel_at(point);
    if (header_channel >= 0 && editor && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)) {
        // The player reads the channel states.
        if (variables_lock) variables_lock->grab();
        if (event->button() == Qt::LeftButton)
            editor->channel_mute_toggle(header_channel);
        else
            editor->channel_solo_toggle(header_channel);
        if (variables_lock) variables_lock->release();
        update();
        return;
    }
    if (event->button() != Qt::LeftButton || !can_use_mouse()) return;
    int channel, row, field;
    if (!screen_to_pattern_coords(point, &channel, &row, &field)) return;
    if (field > Editor::LAST_FIELD) field = editor->get_cursor_field();
    editor->set_cursor(channel, row, field);
    press_channel = channel;
    press_row = row;
    press_field = field;
    mouse_pressed = true;
    mouse_dragging = false;
    grabMouse();
    repaint_after_command();
}

void Pattern_Edit::mouse_move(QMouseEvent* event) {
    if ((!mouse_pressed && !mouse_dragging) || !can_use_mouse()) return;
    if (mouse_pressed) {
        mouse_pressed = false;
        mouse_dragging = true;
        editor->set_cursor(press_channel, press_row, press_field);
        editor->selection_begin_at_cursor();
    }
    int channel, row, field;
    screen_to_pattern_coords(event->position().toPoint(), &channel, &row, &field);
    if (field > Editor::LAST_FIELD) field = editor->get_cursor_field();
    editor->set_cursor(channel, row, field);
    editor->selection_end_at_cursor();
    editor->adjust_view_to_cursor();
    repaint_after_command();
}

void Pattern_Edit::mouse_release(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (mouse_pressed || mouse_dragging) releaseMouse();
    if (mouse_pressed && editor) {
        editor->selection_release();  // a click without a move clears the block
        repaint_after_command();
    }
    mouse_pressed = false;
    mouse_dragging = false;
}

void Pattern_Edit::wheel(QWheelEvent* event) {
    if (!can_use_mouse()) return;
    QPoint delta = event->angleDelta();
    if (delta.y() == 0 && delta.x() != 0) {
        // A sideways wheel or swipe moves through the channels.
        editor->set_column_offset(editor->get_column_offset() + (delta.x() > 0 ? -1 : 1));
    } else {
        editor->set_row_offset(editor->get_row_offset() + (delta.y() > 0 ? -1 : 1));
    }
    repaint_after_command();
}

// Geometry.

int Pattern_Edit::row_y(int row) const {
    return (HEADER_LINES + row - (editor ? editor->get_row_offset() : 0)) * line_height;
}

int Pattern_Edit::channel_x(int channel) const {
    return (ROW_NUMBER_CHARS + (channel - (editor ? editor->get_column_offset() : 0)) * CHANNEL_CHARS) * char_width;
}

// Which cursor field each character of a channel shows; 9 marks the blanks between columns.
static constexpr int FIELD_OF_CHARACTER[Pattern_Edit::CHANNEL_CHARS] = {0, 0, 1, 9, 2, 3, 4, 4, 5, 9, 6, 7, 8, 9};

static int floor_div(int value, int divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

bool Pattern_Edit::screen_to_pattern_coords(QPoint point, int* channel, int* row, int* field) const {
    if (!editor || char_width <= 0 || line_height <= 0) return false;
    const int channel_width = CHANNEL_CHARS * char_width;
    const int x = point.x() - ROW_NUMBER_CHARS * char_width;
    const int line = floor_div(point.y(), line_height) - HEADER_LINES;
    const int channel_step = floor_div(x, channel_width);
    const int inside = x - channel_step * channel_width;
    int character = CHANNEL_CHARS - 1;
    while (character > 0 && inside < char_x(character)) character--;
    *channel = editor->get_column_offset() + channel_step;
    *row = editor->get_row_offset() + line;
    *field = FIELD_OF_CHARACTER[character];
    return x >= 0 && line >= 0 && *channel <= Editor::LAST_CHANNEL;
}

int Pattern_Edit::header_channel_at(QPoint point) const {
    if (!editor || point.y() < 0 || point.y() >= HEADER_LINES * line_height) return -1;
    int column_chars = floor_div(point.x(), char_width) - ROW_NUMBER_CHARS;
    if (column_chars < 0) return -1;
    int channel = editor->get_column_offset() + column_chars / CHANNEL_CHARS;
    return channel <= Editor::LAST_CHANNEL ? channel : -1;
}

// The editor counts the two lines of text above the rows; the scope line is ours.
void Pattern_Edit::tell_editor_view_size() {
    if (editor) editor->set_view_size(width(), height() - (HEADER_LINES - 2) * line_height);
}

void Pattern_Edit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!editor) return;
    tell_editor_view_size();
    editor->set_row_offset(editor->get_row_offset());  // a taller view may show the pattern's end
    editor->adjust_view_to_cursor();
    view_changed();
}

// Playback marks.

void Pattern_Edit::update_row(int row) {
    if (row < 0) return;
    update(QRect(0, row_y(row), width(), line_height));
}

void Pattern_Edit::update_info_areas(int pattern, int row) {
    if (pattern == playing_pattern && row == playing_row) return;
    int old_pattern = playing_pattern, old_row = playing_row;
    playing_pattern = pattern;
    playing_row = row;
    if (!editor) return;
    if (editor->is_follow_song() && pattern >= 0 && row >= 0) {
        const View_State before = view_state();
        editor->follow_song_position(pattern, row);
        // Keep the playing row in the middle of the view while following.
        const QRect rows_area(0, HEADER_LINES * line_height, width(), height() - HEADER_LINES * line_height);
        const int rows = rows_area.height() / line_height;
        editor->set_row_offset(editor->get_cursor_row() - rows / 2);
        const int shift = editor->get_row_offset() - before.row_offset;
        if (before.pattern != pattern || std::abs(shift) >= rows) {
            repaint_after_command();
            return;
        }
        // The rows that stay are moved on screen rather than drawn again.
        if (shift != 0) scroll(0, -shift * line_height, rows_area);
        if (old_pattern == pattern) update_row(old_row);
        update_cursor_rows(before);
        if (shift != 0) view_changed();
        return;
    }
    int current = editor->get_current_pattern();
    if (old_pattern == current) update_row(old_row);
    if (pattern == current) update_row(row);
}
