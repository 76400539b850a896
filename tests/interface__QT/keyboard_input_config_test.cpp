#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <set>
#include <utility>
#include <vector>

#include "interface__QT/get_key_dialog.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/key_entry.h"
#include "interface__QT/key_list.h"
#include "interface__QT/keyboard_input_config.h"

TEST(KeyboardPage, EscapeKeepsTheKeySpaceIsIgnoredAndShiftedAShowsLowerCase) {
    Keyboard_Input keys;
    Tracker_Instance::init_keyboard();
    Keyboard_Input_Config page;
    ASSERT_EQ(page.get_entry_count(), keys.get_key_bind_count());
    Key_Entry* note_cut = page.get_entry(0);
    ASSERT_EQ(buddy_of<QLineEdit>(&page, "Note Cut"), note_cut->get_key_field());
    ASSERT_EQ(note_cut->get_key_field()->text(), "1");

    QString title, prompt;
    answer_modal<GetKeyDialog>([&](GetKeyDialog* dialog) {
        title = dialog->windowTitle();
        prompt = dialog->findChild<QLabel*>()->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTest::mouseClick(note_cut->get_set_button(), Qt::LeftButton);
    EXPECT_EQ(title, "Change Key");
    EXPECT_EQ(prompt, "Press a Key");
    EXPECT_EQ(keys.get_key_bind_key(0), '1');
    EXPECT_EQ(note_cut->get_key_field()->text(), "1");

    bool open_after_space = false, open_after_tab = false;
    answer_modal<GetKeyDialog>([&](GetKeyDialog* dialog) {
        QTest::keyClick(dialog, Qt::Key_Space);
        open_after_space = dialog->isVisible() && dialog->get_key() == 0;
        QTest::keyClick(dialog, Qt::Key_Tab);
        open_after_tab = dialog->isVisible();
        QTest::keyClick(dialog, 'A', Qt::ShiftModifier);
    });
    QTest::mouseClick(note_cut->get_set_button(), Qt::LeftButton);
    EXPECT_TRUE(open_after_space);
    EXPECT_TRUE(open_after_tab);
    EXPECT_EQ(keys.get_key_bind_key(0), 'A');
    EXPECT_EQ(note_cut->get_key_field()->text(), "a");
}

// A key another binding holds is offered to swap (a question with "Swap" and "Cancel"); a key
// the song window or the pattern view takes first is refused, as a binding there would never
// be reached. The fixed keys are listed beside the bindings, read-only.
TEST(KeyboardPage, ATakenKeyIsSwappedOrRefused) {
    struct Case {
        const char* name;
        char pressed;
        const char* button;  // the box's answer, or null when no box is expected
        int note_cut_key, c1_key;  // afterwards: binding 0 ("Note Cut") and binding 8 ("C-1")
        const char* box_text;
    };
    const Case cases[] = {
        {"a free key is taken", 'a', nullptr, 'a', 'z', ""},
        {"its own key changes nothing", '1', nullptr, '1', 'z', ""},
        {"swap", 'z', "Swap", 'z', '1', "\"z\" is already bound to \"C-1\".\nSwap the keys of the two?"},
        {"a capital is the same key", 'Z', "Swap", 'Z', '1', "\"z\" is already bound to \"C-1\"."},
        {"cancel keeps both", 'z', "Cancel", '1', 'z', "\"z\" is already bound to \"C-1\"."},
        {"the pattern view's next-pattern key", '+', "Ok", '1', 'z',
         "\"+\" is a fixed key (Pattern view: Next pattern)."},
        {"the window's octave key", '*', "Ok", '1', 'z', "\"*\" is a fixed key (Song window: Editing octave up)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Keyboard_Input keys;
        Tracker_Instance::init_keyboard();
        Keyboard_Input_Config page;
        Key_Entry* note_cut = page.get_entry(0);
        answer_modal<GetKeyDialog>([&](GetKeyDialog* dialog) { QTest::keyClick(dialog, c.pressed); });
        struct {
            bool seen = false;
            QString title, text;
            QStringList buttons;
        } seen;
        if (c.button)
            answer_modal<QMessageBox>([&](QMessageBox* box) {
                seen.seen = true;
                seen.title = box->windowTitle();
                seen.text = box->text();
                for (QAbstractButton* button : box->buttons()) {
                    seen.buttons << button->text();
                    if (button->text() == c.button) button->click();
                }
            });
        QTest::mouseClick(note_cut->get_set_button(), Qt::LeftButton);
        EXPECT_EQ(keys.get_key_bind_key(0), c.note_cut_key);
        EXPECT_EQ(keys.get_key_bind_key(8), c.c1_key);
        if (c.button) {
            EXPECT_TRUE(seen.seen);
            EXPECT_EQ(seen.title, "Key Taken");
            EXPECT_TRUE(seen.text.startsWith(c.box_text)) << seen.text.toStdString();
            EXPECT_TRUE(seen.buttons.contains(c.button));
        }
        // Both entries show what the bindings hold.
        EXPECT_EQ(page.get_entry(0)->get_key_field()->text(), QString(QChar(c.note_cut_key)).toLower());
        EXPECT_EQ(page.get_entry(8)->get_key_field()->text(), QString(QChar(c.c1_key)).toLower());
        QApplication::processEvents();
    }
}

TEST(KeyboardPage, ListsTheFixedKeysReadOnly) {
    Keyboard_Input keys;
    Tracker_Instance::init_keyboard();
    Keyboard_Input_Config page;
    QTreeWidget* fixed = page.get_fixed_keys();
    ASSERT_NE(fixed, nullptr);
    std::set<std::pair<QString, QString>> rows;
    for (int g = 0; g < fixed->topLevelItemCount(); g++)
        for (int r = 0; r < fixed->topLevelItem(g)->childCount(); r++) {
            QTreeWidgetItem* row = fixed->topLevelItem(g)->child(r);
            EXPECT_FALSE(row->flags() & Qt::ItemIsEditable);
            rows.insert({row->text(0), row->text(1)});
        }
    for (const auto& [key, action] : std::vector<std::pair<QString, QString>>{
             {"F5", "Play Song"},
             {"F8", "Stop"},
             {"Alt+B", "Mark the block's beginning"},
             {"Ctrl+C", "Copy"},
             {"F9", "Mute the channel"}})
        EXPECT_TRUE(rows.count({key, action})) << key.toStdString();
    EXPECT_EQ(rows.size(), Key_List::fixed_keys().size());
}
