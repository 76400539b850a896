#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "interface__QT/get_key_dialog.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/key_entry.h"
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
