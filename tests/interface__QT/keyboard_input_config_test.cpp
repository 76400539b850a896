#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

#include "interface__QT/get_key_dialog.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/key_entry.h"
#include "interface__QT/keyboard_input_config.h"

namespace {

class KeyboardPage : public ::testing::Test {
protected:
    void SetUp() override { Tracker_Instance::init_keyboard(); }

    Keyboard_Input keys;
};

}  // namespace

TEST_F(KeyboardPage, OneNamedEntryPerBindingInAScrollingList) {
    Keyboard_Input_Config page;
    ASSERT_EQ(page.get_entry_count(), keys.get_key_bind_count());
    EXPECT_NE(page.findChild<QScrollArea*>(), nullptr);
    for (int i = 0; i < page.get_entry_count(); ++i) {
        const Keyboard_Input::Key_Bind& bind = keys.get_key_bind(i);
        QLineEdit* field = buddy_of<QLineEdit>(&page, QString::fromStdString(bind.caption));
        ASSERT_EQ(field, page.get_entry(i)->get_key_field()) << bind.caption;
        EXPECT_EQ(field->text(), QString(QChar(keys.get_key_bind_key_nocase(i))));
    }
    // Bindings changed behind the page's back (loaded from the settings) show after update().
    keys.set_key_bind_key(0, 'Q');
    page.update();
    EXPECT_EQ(page.get_entry(0)->get_key_field()->text(), "q");
}

TEST_F(KeyboardPage, EscapeKeepsTheKeySpaceIsIgnoredAndShiftedAShowsLowerCase) {
    Keyboard_Input_Config page;
    Key_Entry* note_cut = page.get_entry(0);
    ASSERT_EQ(keys.get_key_bind(0).caption, "Note Cut");
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
