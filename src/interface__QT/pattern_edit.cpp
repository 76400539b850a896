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
        case QEvent::KeyRelease: {
            auto* key_event = static_cast<QKeyEvent*>(event);
            // Shift going up ends a shift selection even when no other key follows.
            track_shift(key_event->modifiers());
            if (!key_event->isAutoRepeat()) release_held(key_event->key());
            return QWidget::event(event);
        }
        case QEvent::FocusOut:
            track_shift(Qt::NoModifier);
            // A key that goes up elsewhere would leave its note sounding.
            release_all_held();
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
    // Live notes played by this key stop when it goes up; a repeat holds only its latest.
    pressed_key = event->key();
    if (!event->isAutoRepeat()) release_held(pressed_key);
    held_notes.forget(pressed_key);
    if (variables_lock) variables_lock->grab();
    lock_held = true;

    track_shift(event->modifiers());
    editor->clear_changed_flags();
    bool used;
    if (const Key_Command* command = find_key_command(event->key(), event->modifiers())) {
        command->run(*this, event->key());
        used = true;
    } else {
        used = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && plain_key(event);
    }
    pressed_key = 0;
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
    const Key_Command* command = find_key_command(event->key(), event->modifiers());
    return command && command->movement;
}

void Pattern_Edit::update_cursor_rows(const View_State& before) {
    update_row(before.cursor_row);
    update_row(editor->get_cursor_row());
    if (editor->get_cursor_column() != before.cursor_column) update(QRect(0, 0, width(), HEADER_LINES * line_height));
}

const std::vector<Pattern_Edit::Key_Command>& Pattern_Edit::key_commands() {
    using V = Pattern_Edit;
    using Run = void (*)(Pattern_Edit&, int);
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, alt = Qt::AltModifier;
    auto key = [](const char* section, Qt::KeyboardModifiers modifiers, int key, const char* caption, Run run,
                  const char* menu_item = nullptr) {
        return Key_Command{section, modifiers, key, key, caption, run, menu_item, false};
    };
    auto move = [](Qt::KeyboardModifiers modifiers, int key, const char* caption, Run run) {
        return Key_Command{"Cursor", modifiers, key, key, caption, run, nullptr, true};
    };
    auto item = [](Editor::Pattern_Actions action) { return Editor::pattern_action_captions[action]; };
    static const std::vector<Key_Command> table = {
        move(none, Qt::Key_Up, "Up by the edit step", [](V& v, int) { v.editor->cursor_move_up(); }),
        move(none, Qt::Key_Down, "Down by the edit step", [](V& v, int) { v.editor->cursor_move_down(); }),
        move(none, Qt::Key_Left, "Field left", [](V& v, int) { v.editor->cursor_move_field_left(); }),
        move(none, Qt::Key_Right, "Field right", [](V& v, int) { v.editor->cursor_move_field_right(); }),
        move(none, Qt::Key_PageUp, "Up by the major highlight", [](V& v, int) { v.editor->cursor_page_up(); }),
        move(none, Qt::Key_PageDown, "Down by the major highlight",
             [](V& v, int) { v.editor->cursor_page_down(); }),
        move(none, Qt::Key_Home, "Note field, then first channel, then first row",
             [](V& v, int) { v.editor->cursor_home(); }),
        move(none, Qt::Key_End, "Last field, then last channel, then last row",
             [](V& v, int) { v.editor->cursor_end(); }),
        move(none, Qt::Key_Tab, "Next channel", [](V& v, int) { v.editor->cursor_tab(); }),
        move(none, Qt::Key_Backtab, "Note field, then previous channel",
             [](V& v, int) { v.editor->cursor_back_tab(); }),
        move(ctrl, Qt::Key_Home, "Up one row", [](V& v, int) { v.editor->cursor_move_up(1); }),
        move(ctrl, Qt::Key_End, "Down one row", [](V& v, int) { v.editor->cursor_move_down(1); }),
        move(alt, Qt::Key_Left, "Channel left, same field", [](V& v, int) { v.editor->cursor_move_left(1); }),
        move(alt, Qt::Key_Right, "Channel right, same field", [](V& v, int) { v.editor->cursor_move_right(1); }),

        key("Editing", none, Qt::Key_Insert, "Insert a row in the channel",
            [](V& v, int) { v.editor->cursor_insert(); }),
        key("Editing", none, Qt::Key_Delete, "Delete the row in the channel",
            [](V& v, int) { v.editor->cursor_delete(); }),
        key("Editing", none, Qt::Key_Space, "Write the last value into the field",
            [](V& v, int) { v.editor->press_mask_write_cursor(); }, item(Editor::PRESS_MASK_WRITE_CURSOR)),
        key("Editing", none, Qt::Key_Return, "Take the field's value as the last value",
            [](V& v, int) { v.editor->get_mask_from_cursor(); }, item(Editor::GET_MASK_FROM_CURSOR)),
        key("Editing", none, Qt::Key_Enter, "Take the field's value as the last value",
            [](V& v, int) { v.editor->get_mask_from_cursor(); }),
        {"Editing", alt, Qt::Key_1, Qt::Key_9, "Edit step: rows the cursor moves after a note",
         [](V& v, int key) { v.editor->set_edit_step(key - Qt::Key_0); }, nullptr, false},
        key("Editing", ctrl, Qt::Key_Backspace, "Undo the last action", [](V& v, int) { v.undo_last(); }),

        key("Block", alt, Qt::Key_B, "Mark the block's beginning",
            [](V& v, int) { v.editor->mark_block_begining(); }, item(Editor::MARK_BLOCK_BEGINING)),
        key("Block", alt, Qt::Key_E, "Mark the block's end", [](V& v, int) { v.editor->mark_block_end(); },
            item(Editor::MARK_BLOCK_END)),
        key("Block", alt, Qt::Key_L, "Mark the channel, then all channels",
            [](V& v, int) { v.editor->mark_column_all(); }, item(Editor::MARK_COLUMN_ALL)),
        key("Block", alt, Qt::Key_U, "Unmark", [](V& v, int) { v.editor->selection_release(); },
            item(Editor::SELECTION_RELEASE)),
        key("Block", ctrl, Qt::Key_C, "Copy", [](V& v, int) { v.editor->selection_copy(); },
            item(Editor::SELECTION_COPY)),
        key("Block", alt, Qt::Key_C, "Copy", [](V& v, int) { v.editor->selection_copy(); },
            item(Editor::SELECTION_COPY)),
        key("Block", ctrl, Qt::Key_X, "Cut", [](V& v, int) { v.editor->selection_zap(); },
            item(Editor::SELECTION_ZAP)),
        key("Block", alt, Qt::Key_Z, "Cut", [](V& v, int) { v.editor->selection_zap(); }, item(Editor::SELECTION_ZAP)),
        key("Block", ctrl, Qt::Key_V, "Paste, pushing the rows below down",
            [](V& v, int) { v.editor->selection_paste_insert(); }, item(Editor::SELECTION_PASTE_INSERT)),
        key("Block", alt, Qt::Key_P, "Paste, pushing the rows below down",
            [](V& v, int) { v.editor->selection_paste_insert(); }, item(Editor::SELECTION_PASTE_INSERT)),
        key("Block", alt, Qt::Key_O, "Paste over", [](V& v, int) { v.editor->selection_paste_overwrite(); },
            item(Editor::SELECTION_PASTE_OVERWRITE)),
        key("Block", alt, Qt::Key_M, "Paste into the empty cells", [](V& v, int) { v.editor->selection_paste_mix(); }),
        key("Block", alt, Qt::Key_Q, "Raise the notes a semitone", [](V& v, int) { v.editor->selection_raise(); },
            item(Editor::SELECTION_RAISE)),
        key("Block", alt, Qt::Key_A, "Lower the notes a semitone", [](V& v, int) { v.editor->selection_lower(); },
            item(Editor::SELECTION_LOWER)),
        key("Block", alt, Qt::Key_S, "Set the current instrument",
            [](V& v, int) { v.editor->selection_set_instrument_mask(); }, item(Editor::SELECTION_SET_INSTRUMENT_MASK)),
        key("Block", alt, Qt::Key_V, "Set the last volume", [](V& v, int) { v.editor->selection_set_volume_mask(); },
            item(Editor::SELECTION_SET_VOLUME_MASK)),
        key("Block", alt, Qt::Key_W, "Remove volumes without a note",
            [](V& v, int) { v.editor->selection_wipe_stray_volumes(); }, item(Editor::SELECTION_WIPE_STRAY_VOLUMES)),
        key("Block", alt, Qt::Key_K, "Ramp the volumes", [](V& v, int) { v.editor->selection_volume_ramp(); },
            item(Editor::SELECTION_VOLUME_RAMP)),
        key("Block", alt, Qt::Key_X, "Ramp the effect values",
            [](V& v, int) { v.editor->selection_parameter_ramp(); }, item(Editor::SELECTION_PARAMETER_RAMP)),
        key("Block", alt, Qt::Key_J, "Amplify the volumes...", [](V& v, int) { v.ask_volume_scale(); },
            VOLUME_AMPLIFIER_ITEM),
        key("Block", alt, Qt::Key_Backspace, nullptr, [](V&, int) {}),

        key("Patterns and orders", none, Qt::Key_Plus, "Next pattern",
            [](V& v, int) { v.editor->cursor_next_pattern(); }),
        key("Patterns and orders", none, Qt::Key_Equal, "Next pattern",
            [](V& v, int) { v.editor->cursor_next_pattern(); }),
        key("Patterns and orders", none, Qt::Key_Minus, "Previous pattern",
            [](V& v, int) { v.editor->cursor_prev_pattern(); }),
        key("Patterns and orders", ctrl, Qt::Key_Plus, "Next order, and its pattern",
            [](V& v, int) {
                v.editor->orderlist_move_down();
                v.follow_order_cursor();
            }),
        key("Patterns and orders", ctrl, Qt::Key_Equal, "Next order, and its pattern",
            [](V& v, int) {
                v.editor->orderlist_move_down();
                v.follow_order_cursor();
            }),
        key("Patterns and orders", ctrl, Qt::Key_Minus, "Previous order, and its pattern",
            [](V& v, int) {
                v.editor->orderlist_move_up();
                v.follow_order_cursor();
            }),
        key("Patterns and orders", ctrl, Qt::Key_F7, "Set the mark to play from",
            [](V& v, int) { v.editor->set_mark(); }),

        key("Channels", none, Qt::Key_F9, "Mute the channel",
            [](V& v, int) { v.editor->current_channel_mute_toggle(); }),
        key("Channels", none, Qt::Key_F10, "Solo the channel",
            [](V& v, int) { v.editor->current_channel_solo_toggle(); }),
    };
    return table;
}

const Pattern_Edit::Key_Command* Pattern_Edit::find_key_command(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers chord = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    auto find = [key](Qt::KeyboardModifiers wanted) -> const Key_Command* {
        for (const Key_Command& command : key_commands())
            if (command.modifiers == wanted && key >= command.key && key <= command.last_key) return &command;
        return nullptr;
    };
    // Shift extends a selection with the movements and types "+" on many keyboards.
    const Key_Command* command = find(chord);
    return command ? command : find(chord & ~Qt::ShiftModifier);
}

const std::vector<std::pair<const char*, int>>& Pattern_Edit::bound_menu_items() {
    static const std::vector<std::pair<const char*, int>> items = {
        {Editor::pattern_action_captions[Editor::TOGGLE_MASK_AT_CURSOR], BIND_TOGGLE_MASK},
        {Editor::pattern_action_captions[Editor::CLEAR_FIELD_AT_CURSOR], BIND_ERASE_FIELD},
    };
    return items;
}

bool Pattern_Edit::is_view_key(const QKeyEvent* event) {
    if (find_key_command(event->key(), event->modifiers())) return true;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    const QString text = event->text();
    if (text.isEmpty()) return false;
    int c = text.at(0).toUpper().unicode();
    if (is_entry_character(c)) return true;
    const Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    const int lower = text.at(0).toLower().unicode();
    for (int bind = BIND_NOTE_CUT; keys && bind <= BIND_TOGGLE_MASK && c > 32; bind++)
        if (keys->get_key_bind_key_nocase(bind) == lower) return true;
    return false;
}

void Pattern_Edit::follow_order_cursor() {
    int pattern = song->get_order(editor->get_orderlist_row());
    if (pattern < Song::MAX_PATTERNS) editor->cursor_goto_pattern(pattern);
}

bool Pattern_Edit::plain_key(QKeyEvent* event) {
    QString text = event->text();
    int c = !text.isEmpty() ? text.at(0).unicode() : (event->key() < 128 ? event->key() : 0);
    if (c >= 'a' && c <= 'z') c += 'A' - 'a';
    int lower = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    const Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    auto bound = [&](int bind) { return keys && c > 32 && keys->get_key_bind_key_nocase(bind) == lower; };
    bool on_note_field = editor->get_cursor_field() == 0;

    bool used = false;     // the key did something or is the view's to swallow
    bool claimed = false;  // a binding took the key, so it is not typed into the field
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
    if (bound(BIND_NEXT_INSTRUMENT)) {
        change_instrument(+1);
        used = claimed = true;
    }
    if (bound(BIND_PREV_INSTRUMENT)) {
        change_instrument(-1);
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
    if (pressed_key && note.note < NOTE_COUNT) held_notes.hold(pressed_key, channel, note.note);
    if (note.note < NOTE_COUNT && note.instrument < Song::MAX_INSTRUMENTS) emit note_played_signal(note.instrument);
}

void Pattern_Edit::play_row(int row) {
    if (!player || !song) return;
    Pattern* pattern = song->get_pattern(editor->get_current_pattern());
    Note notes[Pattern::CHANNELS];
    for (int channel = 0; channel < Pattern::CHANNELS; channel++) notes[channel] = pattern->get_note(channel, row);
    if (lock_held && variables_lock) variables_lock->release();
    for (int channel = 0; channel < Pattern::CHANNELS; channel++) player->play_note(channel, notes[channel], false);
    if (lock_held && variables_lock) variables_lock->grab();
    for (int channel = 0; channel < Pattern::CHANNELS; channel++)
        if (pressed_key && notes[channel].note < NOTE_COUNT) held_notes.hold(pressed_key, channel, notes[channel].note);
}

// The player takes its lock itself; the key handler is done by the time a key goes up.
void Pattern_Edit::release_held(int key) {
    for (const Held_Notes::Held& held : held_notes.release(key))
        if (player) player->release_note(held.where, held.note);
}

void Pattern_Edit::release_all_held() {
    for (const Held_Notes::Held& held : held_notes.release_all())
        if (player) player->release_note(held.where, held.note);
}

// Undo takes the variables lock itself, around the change only.
void Pattern_Edit::undo_last() {
    if (lock_held && variables_lock) variables_lock->release();
    editor->undo_index(0);
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
