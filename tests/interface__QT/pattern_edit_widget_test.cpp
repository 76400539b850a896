// The "Patterns" page around the view: its controls, its undo history and its timer.
#include <gtest/gtest.h>

#include <memory>

#include "support/recording_mixer.h"
#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "interface__QT/pattern_edit.h"
#include "interface__QT/pattern_edit_widget.h"

namespace {

class Pattern_Page_Test : public ::testing::Test {
protected:
    void SetUp() override {
        Tracker_Instance::init_keyboard();
        Editor::set_default_octave(4);
        ti->player.link_to_mixer(&mixer);
        page = std::make_unique<Pattern_Edit_Widget>(ti.get(), nullptr);
        page->resize(1000, 700);
        page->show();
    }

    // The control a caption names, as a screen reader finds it.
    template <typename Control>
    Control* control(const QString& caption) {
        for (QLabel* label : page->findChildren<QLabel*>())
            if (label->text() == caption) return qobject_cast<Control*>(label->buddy());
        return nullptr;
    }

    void key(int qt_key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, qt_key, modifiers, text);
        QApplication::sendEvent(page->get_pattern_edit(), &press);
    }

    Editor& editor() { return ti->editor; }
    Pattern& pattern(int index) { return ti->song.pattern[index]; }

    Keyboard_Input keys;
    Recording_Mixer mixer;
    std::unique_ptr<Tracker_Instance> ti = std::make_unique<Tracker_Instance>();
    std::unique_ptr<Pattern_Edit_Widget> page;
};

}  // namespace

TEST_F(Pattern_Page_Test, ControlsEditThePatternAndKeepUpWithTheView) {
    auto* pattern_spin = control<QSpinBox>("Pattern:");
    auto* order_spin = control<QSpinBox>("Order:");
    auto* instrument_spin = control<QSpinBox>("Instrument:");
    auto* length_button = control<QPushButton>("Pattern Length:");
    auto* history = control<QListWidget>("Undo History:");
    ASSERT_TRUE(pattern_spin && order_spin && instrument_spin && length_button && history);

    // Changing the pattern is no edit: nothing to undo.
    pattern_spin->setValue(3);
    EXPECT_EQ(editor().get_current_pattern(), 3);
    EXPECT_EQ(history->count(), 0);

    // The instrument box and the keys agree both ways; 0 is no instrument.
    instrument_spin->setValue(5);
    EXPECT_EQ(editor().get_last_instrument(), 4);
    EXPECT_EQ(ti->keyboard.instrument_get(), 4);
    key(Qt::Key_BracketRight, Qt::NoModifier, "]");
    EXPECT_EQ(instrument_spin->value(), 6);
    EXPECT_EQ(ti->keyboard.instrument_get(), 5);
    instrument_spin->setValue(0);
    EXPECT_EQ(editor().get_last_instrument(), EMPTY_FIELD);

    // "Resize pattern" gives the new length to the edited pattern and the ones after it.
    EXPECT_EQ(length_button->text(), "64");
    editor().set_cursor(0, 60, 0);
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        auto spins = dialog->findChildren<QSpinBox*>();
        ASSERT_EQ(spins.size(), 2);
        EXPECT_EQ(spins[0]->value(), 64);
        EXPECT_EQ(spins[0]->maximum(), 256);  // the longest pattern a module can bring
        spins[0]->setValue(32);
        spins[1]->setValue(2);
        dialog->accept();
    });
    length_button->click();
    EXPECT_EQ(title, "Resize pattern");
    EXPECT_EQ(pattern(3).get_length(), 32);
    EXPECT_EQ(pattern(4).get_length(), 32);
    EXPECT_EQ(pattern(5).get_length(), 64);
    EXPECT_EQ(editor().get_cursor_row(), 31);
    EXPECT_EQ(length_button->text(), "32");

    // A block operation from the keys lands in the history; "Undo" takes it back.
    pattern(3).get_note_ref(0, 0) = Note{48, 0, EMPTY_FIELD, EMPTY_FIELD, 0};
    pattern(3).get_note_ref(0, 1);
    editor().set_selection(0, 0, 0, 1);
    key(Qt::Key_Q, Qt::AltModifier);
    EXPECT_EQ(pattern(3).get_note(0, 0).note, 49);
    EXPECT_EQ(history->item(0)->text(), "3- Raise notes on selection");
    QPushButton* undo = nullptr;
    for (QPushButton* button : page->findChildren<QPushButton*>())
        if (button->text() == "Undo") undo = button;
    ASSERT_NE(undo, nullptr);
    undo->click();
    EXPECT_EQ(pattern(3).get_note(0, 0).note, 48);
    EXPECT_EQ(history->item(0)->text(), "3- Redo Raise notes on selection");

    // The order box moves the order cursor and edits the pattern there.
    ti->song.set_order(1, 7);
    order_spin->setValue(1);
    EXPECT_EQ(editor().get_orderlist_row(), 1);
    EXPECT_EQ(editor().get_current_pattern(), 7);
    EXPECT_EQ(pattern_spin->value(), 7);

    // Scroll bars set the offsets, and keys that move the cursor off the view move them back.
    QScrollBar* vertical = nullptr;
    QScrollBar* horizontal = nullptr;
    for (QScrollBar* bar : page->findChildren<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly))
        (bar->orientation() == Qt::Vertical ? vertical : horizontal) = bar;
    ASSERT_TRUE(vertical && horizontal);
    vertical->setValue(10);
    EXPECT_EQ(editor().get_row_offset(), 10);
    horizontal->setValue(5);
    EXPECT_EQ(editor().get_column_offset(), 5);
    key(Qt::Key_End);
    key(Qt::Key_End);  // the last field, then the last channel
    EXPECT_EQ(editor().get_cursor_column(), 63);
    EXPECT_GE(editor().get_column_offset() + editor().get_visible_columns(), 64);
    EXPECT_EQ(horizontal->value(), editor().get_column_offset());
    EXPECT_EQ(horizontal->maximum(), 64 - editor().get_visible_columns());
}

TEST_F(Pattern_Page_Test, TimerMarksThePlayingRowAndFollowsTheSong) {
    Song& song = ti->song;
    song.get_initial_variables()->speed = 1;  // a row a tick
    song.set_order(0, 2);
    song.set_order(1, 3);
    pattern(2).set_length(8);
    ti->player.play_start_song();
    mixer.run_ticks(4);
    ASSERT_EQ(ti->player.get_current_pattern(), 2);

    Pattern_Edit* view = page->get_pattern_edit();
    page->timer_callback();
    EXPECT_EQ(view->get_playing_pattern(), 2);
    EXPECT_EQ(view->get_playing_row(), ti->player.get_current_row());
    EXPECT_EQ(editor().get_current_pattern(), 0);  // not following

    // Following moves the cursor along with playback into the next pattern, without filling
    // the undo history.
    int undo_entries = editor().get_undo_max();
    editor().set_follow_song(true);
    mixer.run_ticks(10);
    ASSERT_EQ(ti->player.get_current_pattern(), 3);
    page->timer_callback();
    EXPECT_EQ(editor().get_current_pattern(), 3);
    EXPECT_EQ(editor().get_cursor_row(), ti->player.get_current_row());
    EXPECT_EQ(editor().get_undo_max(), undo_entries);
    EXPECT_EQ(control<QSpinBox>("Pattern:")->value(), 3);

    mixer.run_ticks(40);
    page->timer_callback();
    int row = editor().get_cursor_row();
    EXPECT_EQ(row, ti->player.get_current_row());
    EXPECT_GE(row, editor().get_row_offset());
    EXPECT_LT(row, editor().get_row_offset() + editor().get_visible_rows());

    ti->player.play_stop();
    page->timer_callback();
    EXPECT_EQ(view->get_playing_pattern(), -1);
    EXPECT_EQ(view->get_playing_row(), -1);
}

// The window's shortcuts and menu mnemonics must not take the pattern keys from the view,
// and keys the view does not use must still reach them.
TEST_F(Pattern_Page_Test, ViewKeysWinOverWindowShortcuts) {
    QWidget window;
    page->setParent(&window);
    int raised_by_window = 0, octave_by_window = 0;
    auto* alt_q = new QAction(&window);
    alt_q->setShortcut(QKeySequence(Qt::AltModifier | Qt::Key_Q));
    window.addAction(alt_q);
    QObject::connect(alt_q, &QAction::triggered, [&] { raised_by_window++; });
    auto* slash = new QAction(&window);
    slash->setShortcut(QKeySequence(Qt::Key_Slash));
    window.addAction(slash);
    QObject::connect(slash, &QAction::triggered, [&] { octave_by_window++; });
    window.show();
    QApplication::setActiveWindow(&window);
    page->get_pattern_edit()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    pattern(0).get_note_ref(0, 0) = Note{48, 0, EMPTY_FIELD, EMPTY_FIELD, 0};
    pattern(0).get_note_ref(0, 1);
    editor().set_selection(0, 0, 0, 1);
    QTest::keyClick(page->get_pattern_edit(), Qt::Key_Q, Qt::AltModifier);
    EXPECT_EQ(pattern(0).get_note(0, 0).note, 49);
    EXPECT_EQ(raised_by_window, 0);

    QTest::keyClick(page->get_pattern_edit(), '/');
    EXPECT_EQ(octave_by_window, 1);
    page->setParent(nullptr);
}
