#include "interface__QT/interface.h"

#include "interface__QT/key_list.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "interface__QT/orderlist_edit.h"
#include "interface__QT/pattern_edit.h"
#include "interface__QT/sample_edit.h"
#include "tracker/keyboard_input.h"

namespace {

const char* const SONG_WINDOW = "Song window";
const char* const PATTERN_VIEW = "Pattern view";

QString range_text(int modifiers, int first, int last) {
    if (first == last) return Key_List::key_text(modifiers, first);
    return QString("%1 to %2").arg(Key_List::key_text(modifiers, first), Key_List::key_text(modifiers, last));
}

void add_window_keys(std::vector<Key_List::Row>& rows) {
    for (const Interface::Window_Key& entry : Interface::window_keys())
        rows.push_back({SONG_WINDOW, Key_List::key_text(entry.modifiers.toInt(), entry.key), entry.caption});
}

void add_pattern_keys(std::vector<Key_List::Row>& rows) {
    for (const Pattern_Edit::Key_Command& command : Pattern_Edit::key_commands()) {
        if (!command.caption) continue;
        rows.push_back({QString("%1: %2").arg(PATTERN_VIEW, command.section),
                        range_text(command.modifiers.toInt(), command.key, command.last_key), command.caption});
    }
}

QString bound_key_text(int key) { return key > 32 ? QString(QChar(key)) : QString(); }

// The bindings before the note keys are the view's editing keys; the rest play notes.
void add_tracker_keys(std::vector<Key_List::Row>& rows) {
    const Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    if (!keys) return;
    for (int bind = 0; bind < keys->get_key_bind_count(); bind++) {
        const QString caption = QString::fromStdString(keys->get_key_bind(bind).caption);
        const QString key = bound_key_text(keys->get_key_bind_key_nocase(bind));
        if (bind < Keyboard_Input::FIRST_NOTE_KEY)
            rows.push_back({"Pattern view: tracker keys (Settings, Keyboard)", key, caption});
        else
            rows.push_back({"Notes (the octave counts from the editing octave; \"/\" and \"*\" change it)", key,
                            QString("Play and enter %1").arg(caption)});
    }
}

void add_typing_keys(std::vector<Key_List::Row>& rows) {
    const QString group = QString("%1: typing").arg(PATTERN_VIEW);
    rows.push_back({group, "0-9, A-Z",
                    "Type into the field under the cursor: octave, instrument, volume, effect letter and its digits"});
    rows.push_back({group, "Shift + a movement key", "Mark a block from where Shift went down"});
}

void add_page_keys(std::vector<Key_List::Row>& rows) {
    for (const OrderList_Edit::Key_Command& command : OrderList_Edit::key_commands())
        rows.push_back({"Order list", range_text(0, command.key, command.last_key), command.caption});
    for (const Sample_Edit::List_Action& action : Sample_Edit::list_actions())
        if (!action.key.isEmpty())
            rows.push_back({"Samples page", action.key.toString(QKeySequence::NativeText), action.text});
    rows.push_back({"Samples page", "Return", "Rename the selected sample"});
    rows.push_back({"Samples page", "Note keys", "Play the selected sample while held"});
    rows.push_back({"Instruments page", "Return", "Rename the selected instrument"});
    rows.push_back({"Instruments page", "Note keys", "Play the selected instrument while held"});
}

QString item_text(const QAction* action) {
    QString text = action->text().section('\t', 0, 0);
    text.remove('&');
    return text;
}

// Menu items whose keys another table holds (the view takes them) only show them.
void add_menu_keys(std::vector<Key_List::Row>& rows, const QMenu* menu, const QString& path) {
    for (const QAction* action : menu->actions()) {
        if (action->menu()) {
            add_menu_keys(rows, action->menu(), path + " > " + item_text(action));
            continue;
        }
        if (action->shortcut().isEmpty() || action->shortcutContext() == Qt::WidgetShortcut) continue;
        for (const QKeySequence& key : action->shortcuts())
            rows.push_back({"Menus", key.toString(QKeySequence::NativeText), path + " > " + item_text(action)});
    }
}

}  // namespace

QString Key_List::key_text(int modifiers, int key) {
    if (key == Qt::Key_Backtab) return QKeySequence(Qt::ShiftModifier | Qt::Key_Tab).toString(QKeySequence::NativeText);
    return QKeySequence(QKeyCombination(Qt::KeyboardModifiers(modifiers), Qt::Key(key)))
        .toString(QKeySequence::NativeText);
}

std::vector<Key_List::Row> Key_List::all_keys(const QMenuBar* menus) {
    std::vector<Row> rows;
    add_window_keys(rows);
    if (menus)
        for (const QAction* action : menus->actions())
            if (action->menu()) add_menu_keys(rows, action->menu(), item_text(action));
    add_pattern_keys(rows);
    add_typing_keys(rows);
    add_tracker_keys(rows);
    add_page_keys(rows);
    return rows;
}

std::vector<Key_List::Row> Key_List::fixed_keys() {
    std::vector<Row> rows;
    add_window_keys(rows);
    add_pattern_keys(rows);
    return rows;
}

QString Key_List::fixed_key_of(int character) {
    if (character >= 'a' && character <= 'z') character += 'A' - 'a';  // Qt's letter keys are capitals
    for (const Interface::Window_Key& entry : Interface::window_keys())
        if (entry.typed && entry.key == character) return QString("%1: %2").arg(SONG_WINDOW, entry.caption);
    for (const Pattern_Edit::Key_Command& command : Pattern_Edit::key_commands())
        if (command.caption && command.modifiers == Qt::NoModifier && character >= command.key &&
            character <= command.last_key)
            return QString("%1: %2").arg(PATTERN_VIEW, command.caption);
    return {};
}
