// The keys a musician can find: the keys window built from the handlers' tables, the keys
// shown in the menus and toolbar tips, the edit step beside the octave, and Stop All.
#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"

#include <QLineEdit>
#include <QSpinBox>
#include <QToolBar>
#include <QTreeWidget>

#include <set>
#include <utility>

#include "interface__QT/key_list.h"
#include "interface__QT/keys_window.h"
#include "interface__QT/orderlist_edit.h"
#include "interface__QT/pattern_edit.h"
#include "interface__QT/sample_edit.h"
#include "support/test_song.h"

namespace {

using Listed = std::set<std::pair<QString, QString>>;  // key, action

Listed rows_of(QTreeWidget* tree, bool visible_only = false) {
    Listed rows;
    for (int g = 0; g < tree->topLevelItemCount(); g++) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        for (int r = 0; r < group->childCount(); r++) {
            QTreeWidgetItem* row = group->child(r);
            if (visible_only && (row->isHidden() || group->isHidden())) continue;
            rows.insert({row->text(0), row->text(1)});
        }
    }
    return rows;
}

QString text_of(Qt::KeyboardModifiers modifiers, int key) { return Key_List::key_text(modifiers.toInt(), key); }

QString shown_key(QAction* action) {
    return action ? action->shortcut().toString(QKeySequence::NativeText) : QString("(no item)");
}

}  // namespace

// Every key in a handler's table appears in the window with its caption: a key added to a
// table shows without anyone writing it twice. A rebound tracker key shows at once.
TEST_F(Main_Window_Test, KeysWindowListsEveryHandledKey) {
    new_song();
    window->activateWindow();  // the menus' shortcuts work in the active window
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F1);
    Keys_Window* keys = window->get_keys_window();
    ASSERT_NE(keys, nullptr);
    EXPECT_TRUE(keys->isVisible());
    Listed listed = rows_of(keys->get_tree());

    int expected = 0;
    auto expect_row = [&](const QString& key, const QString& action) {
        expected++;
        EXPECT_TRUE(listed.count({key, action})) << key.toStdString() << "  " << action.toStdString();
    };
    for (const Pattern_Edit::Key_Command& command : Pattern_Edit::key_commands()) {
        if (!command.caption) continue;
        QString key = text_of(command.modifiers, command.key);
        if (command.last_key != command.key) key += " to " + text_of(command.modifiers, command.last_key);
        expect_row(key, command.caption);
    }
    for (const Interface::Window_Key& entry : Interface::window_keys())
        expect_row(text_of(entry.modifiers, entry.key), entry.caption);
    for (const OrderList_Edit::Key_Command& command : OrderList_Edit::key_commands()) {
        QString key = text_of(Qt::NoModifier, command.key);
        if (command.last_key != command.key) key += " to " + text_of(Qt::NoModifier, command.last_key);
        expect_row(key, command.caption);
    }
    for (const Sample_Edit::List_Action& action : Sample_Edit::list_actions())
        if (!action.key.isEmpty()) expect_row(action.key.toString(QKeySequence::NativeText), action.text);
    Keyboard_Input* bindings = Keyboard_Input::get_singleton_instance();
    for (int bind = 0; bind < bindings->get_key_bind_count(); bind++) {
        QString caption = QString::fromStdString(bindings->get_key_bind(bind).caption);
        if (bind >= Keyboard_Input::FIRST_NOTE_KEY) caption = "Play and enter " + caption;
        expect_row(QString(QChar(bindings->get_key_bind_key_nocase(bind))), caption);
    }
    // The menus' own shortcuts.
    expect_row("F1", "Help > Keys");
    expect_row("Shift+F8", "Song > Stop All Songs");
    expect_row(QKeySequence(QKeySequence::New).toString(QKeySequence::NativeText), "File > New Song");
    EXPECT_GT(expected, 100);

    // A rebound key shows the next time the window opens.
    keys->close();
    bindings->set_key_bind_key(Keyboard_Input::FIRST_NOTE_KEY, 'k');
    window->show_keys();
    EXPECT_TRUE(rows_of(keys->get_tree()).count({"k", "Play and enter C-1"}));

    // The field narrows the list to the rows that hold its text.
    keys->get_find_field()->setText("Paste");
    Listed shown = rows_of(keys->get_tree(), true);
    EXPECT_TRUE(shown.count({"Ctrl+V", "Paste, pushing the rows below down"}));
    EXPECT_FALSE(shown.count({"F5", "Play Song"}));
    for (const auto& row : shown) EXPECT_TRUE(row.first.contains("Paste") || row.second.contains("Paste"));
}

// The menus show the keys that do their items, and the toolbar tips name them; keys the
// pattern view handles are shown without being taken from it.
TEST_F(Main_Window_Test, MenusShowTheirKeysAndToolbarTipsNameThem) {
    Interface* song_window = new_song();
    const struct {
        const char* menu;
        const char* item;
        const char* key;
    } items[] = {
        {"File", "&New Song", "Ctrl+N"},
        {"Pattern", "Block- Copy", "Ctrl+C"},
        {"Pattern", "Block- Cut", "Ctrl+X"},
        {"Pattern", "Block- Paste Insert", "Ctrl+V"},
        {"Pattern", "Mark- Block Begin", "Alt+B"},
        {"Pattern", "Block- Raise Notes", "Alt+Q"},
        {"Pattern", "Block- Volume Amplifier", "Alt+J"},
        {"Pattern", "Cursor Field- Toggle Mask", ","},
        {"Pattern", "Cursor Field- Paste Current", "Space"},
        {"Sample", "Sample- Copy", "Ctrl+C"},
        {"Song", "&Play Song", "F5"},
        {"Song", "&Stop", "F8"},
        {"Song", "Stop All Songs", "Shift+F8"},
        {"Song", "Play Song From &Cursor", "F7"},
        {"Help", "Keys", "F1"},
    };
    for (const auto& i : items) EXPECT_EQ(shown_key(item(i.menu, i.item)), i.key) << i.item;

    // The tracker key of a menu item follows a rebinding.
    Keyboard_Input::get_singleton_instance()->set_key_bind_key(7, ';');
    window->get_menu("Pattern")->popup(QPoint(0, 0));
    window->get_menu("Pattern")->close();
    EXPECT_EQ(shown_key(item("Pattern", "Cursor Field- Toggle Mask")), ";");

    std::set<QString> tips;
    for (QToolBar* toolbar : {window->get_play_toolbar(), window->get_file_toolbar()})
        for (QAction* action : toolbar->actions()) tips.insert(action->toolTip());
    for (const char* tip : {"Play Song (F5)", "Stop (F8)", "Play Pattern (F6)", "Play Song From Cursor (F7)",
                            "New Song (Ctrl+N)", "Save Song (Ctrl+S)"})
        EXPECT_TRUE(tips.count(tip)) << tip;

    // Ctrl+C reaches the pattern view through the whole window, shortcuts and all.
    Tracker_Instance* tracker = tracker_of(song_window);
    Pattern* pattern = tracker->song.get_pattern(0);
    pattern->get_note_ref(0, 0) = Note{48, 0, EMPTY_FIELD, EMPTY_FIELD, 0};
    pattern->get_note_ref(0, 1) = Note{50, 0, EMPTY_FIELD, EMPTY_FIELD, 0};
    tracker->editor.set_selection(0, 0, 0, 1);
    song_window->set_current_page(Interface::PAGE_PATTERNS);
    QWidget* view = song_window->get_page(Interface::PAGE_PATTERNS)->findChild<Pattern_Edit*>();
    ASSERT_NE(view, nullptr);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(pattern->get_note(1, 0).note, 48);
    EXPECT_EQ(pattern->get_note(1, 1).note, 50);
}

// The edit step shows beside the octave, follows Alt+digit and the active song, and sets it.
TEST_F(Main_Window_Test, EditStepBoxFollowsAndSetsTheActiveSong) {
    QSpinBox* step = window->get_edit_step_spin_box();
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(buddy_of<QSpinBox>(window->get_octave_toolbar(), "Step:"), step);
    window->timer_callback();
    EXPECT_FALSE(step->isEnabled());  // no song window

    Interface* first = new_song();
    QWidget* view = first->get_page(Interface::PAGE_PATTERNS)->findChild<Pattern_Edit*>();
    QTest::keyClick(view, Qt::Key_4, Qt::AltModifier);
    window->timer_callback();
    EXPECT_TRUE(step->isEnabled());
    EXPECT_EQ(step->value(), 4);

    const struct {
        int typed;
        int editor_step;
    } typed[] = {{0, 0}, {2, 2}, {16, 16}, {40, 16}};
    for (const auto& t : typed) {
        step->setValue(t.typed);
        EXPECT_EQ(tracker_of(first)->editor.get_edit_step(), t.editor_step) << t.typed;
    }

    Interface* second = new_song();
    window->timer_callback();
    EXPECT_EQ(step->value(), 1);  // a new song's own step
    step->setValue(3);
    EXPECT_EQ(tracker_of(second)->editor.get_edit_step(), 3);
    EXPECT_EQ(tracker_of(first)->editor.get_edit_step(), 16);
    window->get_workspace()->setActiveSubWindow(window->get_workspace()->subWindowList().first());
    window->timer_callback();
    EXPECT_EQ(step->value(), 16);
}

// F8 stops the active song; Shift+F8 and Song > "Stop All Songs" stop every song window.
TEST_F(Main_Window_Test, StopAllStopsEveryPlayingSong) {
    Interface* first = new_song();
    build_test_song(tracker_of(first)->song);
    Interface* second = new_song();
    build_test_song(tracker_of(second)->song);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto playing = [&](Interface* song_window) {
        Player_Data::Play_Status status;
        tracker_of(song_window)->player.get_play_status(status);
        return status.play_mode != Player_Data::PLAY_NOTHING;
    };
    const struct {
        const char* how;
        std::function<void()> stop;
        bool first_playing, second_playing;
    } ways[] = {
        {"F8 in the active window", [&] { QTest::keyClick(second->currentWidget(), Qt::Key_F8); }, true, false},
        {"Shift+F8", [&] { QTest::keyClick(second->currentWidget(), Qt::Key_F8, Qt::ShiftModifier); }, false, false},
        {"the menu item", [&] { item("Song", "Stop All Songs")->trigger(); }, false, false},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        first->play_song();
        second->play_song();
        ASSERT_TRUE(playing(first) && playing(second));
        way.stop();
        EXPECT_EQ(playing(first), way.first_playing);
        EXPECT_EQ(playing(second), way.second_playing);
    }
}
