// The song's history and modified state through the windows: an edit on any page puts the
// star in the window's title, Ctrl+Z takes the edit (and the star) back and Ctrl+Y brings
// both again, saving clears it; closing and quitting ask only for songs with changes, with
// Save as the default answer.
#include "support/scratch_dir.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <cstdlib>
#include <functional>

#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"

#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/property_editor_int.h"
#include "interface__QT/instrument_edit.h"
#include "interface__QT/order_and_defaults_editor.h"
#include "interface__QT/pattern_edit.h"
#include "interface__QT/pattern_edit_widget.h"
#include "interface__QT/sample_edit.h"
#include "interface__QT/sample_editor_format.h"
#include "interface__QT/variables_edit.h"

namespace {

class Song_History_Gui_Test : public Main_Window_Test {
protected:
    void SetUp() override {
        Main_Window_Test::SetUp();
        ASSERT_TRUE(dir.ok());
    }

    // Saves the song under `file` through Save As, as the user would.
    void save_as(Interface* interface, const std::string& file) {
        Modal_Answers answers;
        answers.file(QString::fromStdString(dir.file(file)));
        interface->save_song_as();
    }
    std::string file_bytes(const std::string& file) { return Scratch_Dir::read(dir.file(file)); }
    // The song as it would be saved now.
    std::string song_bytes(Interface* interface) {
        std::string path = dir.file("probe.wm");
        EXPECT_EQ(interface->get_tracker()->file_format_manager.save_module(path.c_str()), 0);
        return Scratch_Dir::read(path);
    }
    MDI_Sub_Window* song_window_of(Interface* interface) {
        for (MDI_Sub_Window* song_window : window->get_song_windows())
            if (song_window->get_interface() == interface) return song_window;
        return nullptr;
    }
    QString title_of(Interface* interface) {
        interface->timer_callback();
        window->timer_callback();
        return song_window_of(interface)->windowTitle();
    }
    // A key chord as the window system delivers it, shortcuts first, to the page with the focus.
    void chord(Interface* interface, int key, Qt::KeyboardModifiers modifiers) {
        // A dialog closed before may have left no window active.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        interface->currentWidget()->setFocus();
        QTest::keyClick(window->windowHandle(), (Qt::Key)key, modifiers);
    }

    Scratch_Dir dir;
};

void put_sample(Song& song, int slot) {
    auto* block = static_cast<short*>(std::calloc(256, sizeof(short)));
    for (int i = 0; i < 256; i++) block[i] = (short)(i * 97);
    song.sample[slot].data.set_data_ptr(block, 256, true);
    song.sample[slot].data.set_c5_freq(8363);
    song.sample[slot].in_use = true;
    song.sample[slot].name = "kick";
}

struct Page_Edit {
    const char* name;
    Interface::Page page;
    std::function<void(Interface*)> edit;
    bool undoable;
};

QRadioButton* option(QWidget* page, const QString& group, const QString& text) {
    for (QGroupBox* box : page->findChildren<QGroupBox*>())
        if (box->title() == group)
            for (QRadioButton* button : box->findChildren<QRadioButton*>())
                if (button->text() == text) return button;
    return nullptr;
}

const Page_Edit page_edits[] = {
    {"a note typed in the pattern view", Interface::PAGE_PATTERNS,
     [](Interface* i) {
         auto* page = static_cast<Pattern_Edit_Widget*>(i->get_page(Interface::PAGE_PATTERNS));
         page->get_pattern_edit()->setFocus();
         QTest::keyClick(page->get_pattern_edit(), Qt::Key_Q, Qt::NoModifier);
     },
     true},
    {"a block raised from the Pattern menu", Interface::PAGE_PATTERNS,
     [](Interface* i) {
         Tracker_Instance* t = i->get_tracker();
         t->editor.set_selection(0, 0, 3, 63);
         i->perform_pattern_action(Editor::SELECTION_RAISE);
     },
     true},
    {"a channel's default pan", Interface::PAGE_ORDERS,
     [](Interface* i) {
         auto* page = static_cast<Order_And_Defaults_Editor*>(i->get_page(Interface::PAGE_ORDERS));
         auto* spin = qobject_cast<QSpinBox*>(page->get_defaults()->get_entry(2)->pan->get_focus_control());
         spin->setValue(5);
     },
     true},
    {"the tempo on the variables page", Interface::PAGE_VARIABLES,
     [](Interface* i) {
         auto* page = static_cast<Variables_Edit*>(i->get_page(Interface::PAGE_VARIABLES));
         qobject_cast<QSpinBox*>(page->get_editor("Tempo")->get_focus_control())->setValue(151);
     },
     true},
    {"a sample's C5 frequency", Interface::PAGE_SAMPLES,
     [](Interface* i) {
         auto* page = static_cast<Sample_Edit*>(i->get_page(Interface::PAGE_SAMPLES));
         buddy_of<QSpinBox>(page->get_format_panel(), "C5 Freq:")->setValue(22050);
     },
     true},
    {"a sample's frames reversed", Interface::PAGE_SAMPLES,
     [](Interface* i) {
         auto* page = static_cast<Sample_Edit*>(i->get_page(Interface::PAGE_SAMPLES));
         page->get_sample_editor()->apply_effect(0);
     },
     true},
    {"an instrument's new-note action", Interface::PAGE_INSTRUMENTS,
     [](Interface* i) { option(i->get_page(Interface::PAGE_INSTRUMENTS), "New Note Action:", "Note Fade")->click(); },
     true},
    {"a buffer added to the mixer", Interface::PAGE_BUFFERS,
     [](Interface* i) { named<QPushButton>(i->get_page(Interface::PAGE_BUFFERS), "New Buffer")->click(); }, false},
};

TEST_F(Song_History_Gui_Test, EveryPageMarksTheTitleAndUndoTakesItBack) {
    for (const Page_Edit& edit : page_edits) {
        SCOPED_TRACE(edit.name);
        std::remove(dir.file("tune.wm").c_str());
        Interface* interface = new_song();
        Tracker_Instance* tracker = tracker_of(interface);
        tracker->song.variables.name = "Tune";
        tracker->song.pattern[0].get_note_ref(1, 1) = Note{48, 0, 64, EMPTY_FIELD, 0};
        tracker->song.pattern[0].get_note_ref(0, 0);
        put_sample(tracker->song, 0);
        emit interface->samples_changed();
        save_as(interface, "tune.wm");
        const std::string saved = file_bytes("tune.wm");
        ASSERT_FALSE(saved.empty());
        EXPECT_EQ(title_of(interface), "Tune");

        interface->set_current_page(edit.page);
        edit.edit(interface);
        EXPECT_EQ(title_of(interface), "Tune *");
        const std::string edited = song_bytes(interface);
        ASSERT_TRUE(edited != saved);

        chord(interface, Qt::Key_Z, Qt::ControlModifier);
        if (edit.undoable) {
            EXPECT_EQ(title_of(interface), "Tune");
            EXPECT_TRUE(song_bytes(interface) == saved);
            chord(interface, Qt::Key_Y, Qt::ControlModifier);
            EXPECT_EQ(title_of(interface), "Tune *");
            EXPECT_TRUE(song_bytes(interface) == edited);
            chord(interface, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);  // nothing left to redo
            EXPECT_TRUE(song_bytes(interface) == edited);
        } else {
            EXPECT_EQ(title_of(interface), "Tune *");
        }
        item("File", "&Save")->trigger();
        EXPECT_EQ(title_of(interface), "Tune");
        EXPECT_TRUE(file_bytes("tune.wm") == song_bytes(interface));
        song_window_of(interface)->parentWidget()->close();
        QApplication::processEvents();
    }
}

TEST_F(Song_History_Gui_Test, SampleDeleteAsksAndCanBeUndone) {
    Interface* interface = new_song();
    put_sample(tracker_of(interface)->song, 4);
    interface->set_selected_sample(4);
    interface->set_current_page(Interface::PAGE_SAMPLES);
    Seen_Box seen;
    {
        Modal_Answers answers;
        answers.box("No", &seen);
        item("Sample", "Sample- Delete")->trigger();
    }
    EXPECT_EQ(seen.title, "Really?");
    EXPECT_EQ(seen.text, "Delete sample 05?");
    EXPECT_EQ(seen.buttons, QStringList({"Yes", "No"}));
    EXPECT_TRUE(tracker_of(interface)->song.sample[4].in_use);
    {
        Modal_Answers answers;
        answers.box("Yes");
        item("Sample", "Sample- Delete")->trigger();
    }
    EXPECT_FALSE(tracker_of(interface)->song.sample[4].in_use);
    interface->undo();
    EXPECT_TRUE(tracker_of(interface)->song.sample[4].in_use);
    EXPECT_EQ(tracker_of(interface)->song.sample[4].name, "kick");
    EXPECT_EQ(static_cast<short*>(tracker_of(interface)->song.sample[4].data.get_data_ptr())[255], (short)(255 * 97));
}

// What closing one window does, by what the song is and what the question is answered.
struct Close_Case {
    const char* name;
    bool has_file;
    bool modified;
    const char* answer;      // null: no question expected
    const char* save_as_to;  // the Save As dialog's answer, for a song without a file ("" cancels)
    bool window_stays;
    bool file_written;
};

const Close_Case close_cases[] = {
    {"unchanged song closes without asking", true, false, nullptr, nullptr, false, false},
    {"changes discarded", true, true, "Discard", nullptr, false, false},
    {"cancelled", true, true, "Cancel", nullptr, true, false},
    {"saved to its file", true, true, "Save", nullptr, false, true},
    {"new song saved under a name", false, true, "Save", "named.wm", false, true},
    {"new song whose Save As is cancelled stays", false, true, "Save", "", true, false},
};

TEST_F(Song_History_Gui_Test, ClosingAsksOnlyForChangesWithSaveAsTheDefault) {
    for (const Close_Case& test : close_cases) {
        SCOPED_TRACE(test.name);
        std::remove(dir.file("named.wm").c_str());
        std::remove(dir.file("riff.wm").c_str());
        Interface* interface = new_song();
        tracker_of(interface)->song.variables.name = "Riff";
        if (test.has_file) save_as(interface, "riff.wm");
        const std::string before = file_bytes(test.has_file ? "riff.wm" : "named.wm");
        if (test.modified) tracker_of(interface)->editor.press_key_at_cursor('q');
        const int windows = window->get_song_windows().size();

        Seen_Box seen;
        QString default_button;
        {
            Modal_Answers answers;
            if (test.answer) {
                QString answer = test.answer;
                answers.then([&seen, &default_button, answer](QWidget* widget) {
                    auto* box = qobject_cast<QMessageBox*>(widget);
                    ASSERT_NE(box, nullptr);
                    if (box->defaultButton()) default_button = box->defaultButton()->text();
                    seen.title = box->windowTitle();
                    seen.text = box->text();
                    QAbstractButton* press = nullptr;
                    for (QAbstractButton* button : box->buttons()) {
                        seen.buttons << button->text();
                        if (button->text() == answer) press = button;
                    }
                    ASSERT_NE(press, nullptr);
                    press->click();
                });
            }
            if (test.save_as_to)
                answers.file(*test.save_as_to ? QString::fromStdString(dir.file(test.save_as_to)) : QString());
            item("File", "&Close")->trigger();
        }
        QApplication::processEvents();
        if (test.answer) {
            EXPECT_EQ(seen.title, "Closing..");
            EXPECT_EQ(seen.text, "Really close \"Riff\"?\nIt has unsaved changes.");
            EXPECT_EQ(seen.buttons, QStringList({"Save", "Discard", "Cancel"}));
            EXPECT_EQ(default_button, "Save");
        }
        EXPECT_EQ(window->get_song_windows().size(), test.window_stays ? windows : windows - 1);
        const std::string after = file_bytes(test.has_file ? "riff.wm" : "named.wm");
        EXPECT_EQ(after != before, test.file_written);
        if (test.window_stays) {
            // Still modified, and still asking.
            EXPECT_TRUE(interface->is_modified());
            Modal_Answers answers;
            answers.box("Discard");
            item("File", "&Close")->trigger();
            QApplication::processEvents();
        }
    }
}

TEST_F(Song_History_Gui_Test, QuitAsksOncePerChangedSongAndStopsAtCancel) {
    Interface* first = new_song();
    Interface* second = new_song();
    new_song();  // unchanged
    tracker_of(first)->song.variables.name = "First";
    tracker_of(second)->song.variables.name = "Second";
    tracker_of(first)->editor.press_key_at_cursor('q');
    tracker_of(second)->editor.press_key_at_cursor('q');

    struct Round {
        QStringList answers;
        QStringList asked_about;
        int windows_left;
        bool program_open;
    };
    const Round rounds[] = {
        {{"Cancel"}, {"First"}, 3, true},
        {{"Discard", "Cancel"}, {"First", "Second"}, 2, true},
        {{"Discard"}, {"Second"}, 0, false},
    };
    for (const Round& round : rounds) {
        QStringList asked;
        {
            Modal_Answers answers;
            for (const QString& answer : round.answers)
                answers.then([&asked, answer](QWidget* widget) {
                    auto* box = qobject_cast<QMessageBox*>(widget);
                    ASSERT_NE(box, nullptr);
                    QString text = box->text();
                    asked << text.section('"', 1, 1);
                    for (QAbstractButton* button : box->buttons())
                        if (button->text() == answer) button->click();
                });
            item("File", "&Quit")->trigger();
        }
        QApplication::processEvents();
        EXPECT_EQ(asked, round.asked_about);
        EXPECT_EQ(window->get_song_windows().size(), round.windows_left);
        EXPECT_EQ(window->isVisible(), round.program_open);
    }
}

}  // namespace
