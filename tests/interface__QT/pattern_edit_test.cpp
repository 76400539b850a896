// The pattern view driven through real key, mouse and wheel events; assertions are on the
// song, the editor and the player, not on pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/recording_mixer.h"
#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <QTimer>
#include <QWheelEvent>

#include "interface__QT/pattern_edit.h"

namespace {

// A non-recursive lock that counts: a grab while it is held would deadlock a real mutex.
struct Depth_Lock : Mutex_Lock {
    void grab() override {
        if (depth > 0) nested_grabs++;
        depth++;
        grabs++;
    }
    bool try_grab() override {
        if (depth > 0) return true;
        depth++;
        return false;
    }
    void release() override { depth--; }
    Mutex_Lock* create_mutex_type() override { return new Depth_Lock; }

    int depth = 0;
    int grabs = 0;
    int nested_grabs = 0;
};

// The view's parent: whatever reaches it was passed on by the view.
class Key_Spy : public QWidget {
public:
    std::vector<int> passed_on;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        passed_on.push_back(event->key());
        event->ignore();
    }
};

struct Stroke {
    enum Action { CLICK, PRESS, RELEASE };
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    Action action = CLICK;
};

Stroke key(int qt_key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { return {qt_key, modifiers, {}}; }
Stroke ctrl(int qt_key) { return key(qt_key, Qt::ControlModifier); }
Stroke alt(int qt_key) { return key(qt_key, Qt::AltModifier); }
// A typed character; Qt's key codes for letters, digits and punctuation are their ASCII codes.
Stroke type(char c) {
    int code = c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    return {code, Qt::NoModifier, QString(QChar(c))};
}

Note cell(int note, int instrument = EMPTY_FIELD, int volume = EMPTY_FIELD, int command = EMPTY_FIELD,
          int parameter = 0) {
    return Note{(unsigned char)note, (unsigned char)instrument, (unsigned char)volume, (unsigned char)command,
                (unsigned char)parameter};
}

// One song with its view, shown so that it has a size; instrument 0 plays a silent sample.
struct Scene {
    Scene() {
        Sample& sample = ti->song.sample[0];
        sample.data.set_data_ptr(std::calloc(1000, 2), 1000, true);
        sample.data.set_c5_freq(22050);
        sample.in_use = true;
        ti->song.make_instrument_out_of_sample_at(0, 0);
        ti->player.link_to_mixer(&mixer);
        ti->editor.set_last_instrument(0);
        view = new Pattern_Edit(&spy);
        view->set_song(&ti->song);
        view->set_player(&ti->player);
        view->set_keyboard(&ti->keyboard);
        view->set_editor(&ti->editor);
        spy.resize(900, 600);
        view->resize(900, 600);
        spy.show();
    }

    // True when the view consumed the last key press.
    bool send(const std::vector<Stroke>& strokes) {
        spy.passed_on.clear();
        for (const Stroke& stroke : strokes) {
            if (stroke.action != Stroke::RELEASE) {
                spy.passed_on.clear();
                QKeyEvent press(QEvent::KeyPress, stroke.key, stroke.modifiers, stroke.text);
                QApplication::sendEvent(view, &press);
            }
            if (stroke.action != Stroke::PRESS) {
                QKeyEvent release(QEvent::KeyRelease, stroke.key, stroke.modifiers, stroke.text);
                QApplication::sendEvent(view, &release);
            }
        }
        return spy.passed_on.empty();
    }

    Editor& editor() { return ti->editor; }
    Song& song() { return ti->song; }
    Player_Data& player() { return ti->player; }
    Pattern& pattern() { return ti->song.pattern[ti->editor.get_current_pattern()]; }
    void put(int channel, int row, Note note) {
        pattern().get_note_ref(channel, row) = note;
        pattern().get_note_ref(0, 0);  // commit
    }
    Note at(int channel, int row) { return pattern().get_note(channel, row); }
    void cursor(int channel, int row, int field) { editor().set_cursor(channel, row, field); }
    // Cells A, B in channel 0 on the clipboard and X in channel 1 under the cursor.
    void prepare_paste() {
        put(0, 0, cell(48));
        put(0, 1, cell(50));
        editor().set_selection(0, 0, 0, 1);
        editor().selection_copy();
        editor().selection_release();
        put(1, 0, cell(60));
        cursor(1, 0, 0);
    }

    Recording_Mixer mixer;  // outlives the player, which is linked to it
    std::unique_ptr<Tracker_Instance> ti = std::make_unique<Tracker_Instance>();
    Key_Spy spy;
    Pattern_Edit* view = nullptr;
};

class Pattern_Edit_Test : public ::testing::Test {
protected:
    void SetUp() override {
        Tracker_Instance::init_keyboard();
        Editor::set_default_octave(4);
        Pattern_Edit::volume_scale_memory = 100;
    }

    Keyboard_Input keys;
};

// Answers the next modal dialog: sets its first spin box and accepts.
void answer_dialog(int value, std::function<void(QDialog*)> inspect = {}) {
    QTimer::singleShot(0, [value, inspect] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (inspect) inspect(dialog);
        dialog->findChild<QSpinBox*>()->setValue(value);
        dialog->accept();
    });
}

struct Key_Case {
    const char* name;
    std::function<void(Scene&)> setup;
    std::vector<Stroke> strokes;
    bool consumed;
    std::function<void(Scene&)> check;
};

}  // namespace

TEST_F(Pattern_Edit_Test, KeysGiveTheirEditorCalls) {
    const Key_Case cases[] = {
        // With Control.
        {"Ctrl+Backspace undoes the newest entry",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.editor().set_selection(0, 0, 0, 1);
             s.editor().selection_raise();
         },
         {ctrl(Qt::Key_Backspace)}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 0).note, 48); }},
        {"Ctrl++ moves the order cursor down and edits its pattern",
         [](Scene& s) {
             s.song().set_order(0, 5);
             s.song().set_order(1, 7);
         },
         {ctrl(Qt::Key_Plus)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_orderlist_row(), 1);
             EXPECT_EQ(s.editor().get_current_pattern(), 7);
         }},
        {"Ctrl++ onto an end marker keeps the edited pattern",
         [](Scene& s) {
             s.song().set_order(0, 5);
             s.song().set_order(1, Song::ORDER_SKIP);
         },
         {ctrl(Qt::Key_Plus)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_orderlist_row(), 1);
             EXPECT_EQ(s.editor().get_current_pattern(), 0);
         }},
        {"Ctrl+- moves the order cursor up",
         [](Scene& s) {
             s.song().set_order(0, 3);
             s.editor().set_orderlist_cursor(1, 0);
         },
         {ctrl(Qt::Key_Minus)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_orderlist_row(), 0);
             EXPECT_EQ(s.editor().get_current_pattern(), 3);
         }},
        {"Ctrl+Home moves one row up whatever the step",
         [](Scene& s) {
             s.cursor(0, 5, 0);
             s.editor().set_edit_step(4);
         },
         {ctrl(Qt::Key_Home)}, true, [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_row(), 4); }},
        {"Ctrl+End moves one row down",
         [](Scene& s) {
             s.cursor(0, 5, 0);
             s.editor().set_edit_step(4);
         },
         {ctrl(Qt::Key_End)}, true, [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_row(), 6); }},
        {"Ctrl+F7 sets the mark", [](Scene& s) { s.cursor(0, 9, 0); }, {ctrl(Qt::Key_F7)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.editor().is_mark_active());
             EXPECT_EQ(s.editor().get_mark_row(), 9);
         }},
        {"Ctrl with another key is passed on", nullptr, {ctrl(Qt::Key_Q)}, false,
         [](Scene& s) { EXPECT_TRUE(s.at(0, 0).is_empty()); }},

        // With Alt.
        {"Alt+digit sets the row step", nullptr, {alt(Qt::Key_4)}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_edit_step(), 4); }},
        {"Alt+A lowers the block",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.put(0, 1, cell(50));
             s.editor().set_selection(0, 0, 0, 1);
         },
         {alt(Qt::Key_A)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).note, 47);
             EXPECT_EQ(s.at(0, 1).note, 49);
         }},
        {"Alt+Q raises the block",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.put(0, 1, cell(50));
             s.editor().set_selection(0, 0, 0, 1);
         },
         {alt(Qt::Key_Q)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).note, 49);
             EXPECT_EQ(s.at(0, 1).note, 51);
         }},
        {"Alt+B marks the block's beginning", [](Scene& s) { s.cursor(2, 3, 0); }, {alt(Qt::Key_B)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.editor().is_selection_active());
             EXPECT_EQ(s.editor().get_selection_begin_column(), 2);
             EXPECT_EQ(s.editor().get_selection_begin_row(), 3);
             EXPECT_EQ(s.editor().get_selection_end_row(), 3);
         }},
        {"Alt+E marks the block's end",
         [](Scene& s) {
             s.editor().set_selection(0, 0, 0, 1);
             s.cursor(1, 5, 0);
         },
         {alt(Qt::Key_E)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_selection_end_column(), 1);
             EXPECT_EQ(s.editor().get_selection_end_row(), 5);
         }},
        {"Alt+C copies the block",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.editor().set_selection(0, 0, 1, 3);
         },
         {alt(Qt::Key_C)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_clipboard_width(), 2);
             EXPECT_EQ(const_cast<Pattern&>(s.editor().get_clipboard()).get_note(0, 0).note, 48);
             EXPECT_EQ(s.at(0, 0).note, 48);
         }},
        {"Alt+J scales the block's volumes by the answer, remembered for next time",
         [](Scene& s) {
             s.put(0, 0, cell(48, 0, 40));
             s.put(0, 1, cell(48, 0, 20));
             s.editor().set_selection(0, 0, 0, 1);
             answer_dialog(50, [](QDialog* dialog) {
                 EXPECT_EQ(dialog->windowTitle(), "Volume Amplifier");
                 auto* spin = dialog->findChild<QSpinBox*>();
                 EXPECT_EQ(spin->value(), 100);
                 EXPECT_EQ(spin->maximum(), 200);
                 EXPECT_EQ(spin->suffix(), "%");
                 auto* label = dialog->findChild<QLabel*>();
                 EXPECT_EQ(label->text(), "Amplify Volume by:");
                 EXPECT_EQ(label->buddy(), spin);
             });
         },
         {alt(Qt::Key_J)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).volume, 20);
             EXPECT_EQ(s.at(0, 1).volume, 10);
             EXPECT_EQ(Pattern_Edit::volume_scale_memory, 50);
         }},
        {"Alt+K ramps the block's volumes",
         [](Scene& s) {
             s.put(0, 0, cell(48, 0, 0));
             s.put(0, 4, cell(48, 0, 64));
             s.editor().set_selection(0, 0, 0, 4);
         },
         {alt(Qt::Key_K)}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 2).volume, 32); }},
        {"Alt+L marks the cursor's channel", [](Scene& s) { s.cursor(3, 7, 0); }, {alt(Qt::Key_L)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_selection_begin_column(), 3);
             EXPECT_EQ(s.editor().get_selection_end_column(), 3);
             EXPECT_EQ(s.editor().get_selection_begin_row(), 0);
             EXPECT_EQ(s.editor().get_selection_end_row(), 63);
         }},
        {"Alt+M pastes into empty cells only", [](Scene& s) { s.prepare_paste(); }, {alt(Qt::Key_M)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(1, 0).note, 60);
             EXPECT_EQ(s.at(1, 1).note, 50);
         }},
        {"Alt+O pastes over the cells", [](Scene& s) { s.prepare_paste(); }, {alt(Qt::Key_O)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(1, 0).note, 48);
             EXPECT_EQ(s.at(1, 1).note, 50);
             EXPECT_TRUE(s.at(1, 2).is_empty());
         }},
        {"Alt+P pastes and pushes the cells down", [](Scene& s) { s.prepare_paste(); }, {alt(Qt::Key_P)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(1, 0).note, 48);
             EXPECT_EQ(s.at(1, 1).note, 50);
             EXPECT_EQ(s.at(1, 2).note, 60);
         }},
        {"Alt+S sets the current instrument in the block",
         [](Scene& s) {
             s.put(0, 0, cell(48, 5));
             s.put(0, 1, cell(50, 5));
             s.editor().set_selection(0, 0, 0, 1);
         },
         {alt(Qt::Key_S)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).instrument, 0);
             EXPECT_EQ(s.at(0, 1).instrument, 0);
         }},
        {"Alt+U unmarks", [](Scene& s) { s.editor().set_selection(0, 0, 0, 1); }, {alt(Qt::Key_U)}, true,
         [](Scene& s) { EXPECT_FALSE(s.editor().is_selection_active()); }},
        {"Alt+V sets the current volume in the block",
         [](Scene& s) {
             s.editor().set_last_volume(40);
             s.put(0, 0, cell(48, 0, 10));
             s.editor().set_selection(0, 0, 0, 1);
         },
         {alt(Qt::Key_V)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).volume, 40);
             EXPECT_EQ(s.at(0, 1).volume, 40);
         }},
        {"Alt+W wipes volumes without a note",
         [](Scene& s) {
             s.put(0, 0, cell(EMPTY_FIELD, EMPTY_FIELD, 30));
             s.put(0, 1, cell(48, 0, 30));
             s.editor().set_selection(0, 0, 0, 1);
         },
         {alt(Qt::Key_W)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.at(0, 0).is_empty());
             EXPECT_EQ(s.at(0, 1).volume, 30);
         }},
        {"Alt+X ramps the block's parameters",
         [](Scene& s) {
             s.put(0, 0, cell(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 0, 0x00));
             s.put(0, 4, cell(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 0, 0x40));
             s.editor().set_selection(0, 0, 0, 4);
         },
         {alt(Qt::Key_X)}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 2).parameter, 0x20); }},
        {"Alt+Z cuts the block",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.editor().set_selection(0, 0, 0, 0);
         },
         {alt(Qt::Key_Z)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.at(0, 0).is_empty());
             EXPECT_EQ(const_cast<Pattern&>(s.editor().get_clipboard()).get_note(0, 0).note, 48);
         }},
        {"Alt+Left moves a whole channel", [](Scene& s) { s.cursor(5, 0, 3); }, {alt(Qt::Key_Left)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_cursor_column(), 4);
             EXPECT_EQ(s.editor().get_cursor_field(), 3);
         }},
        {"Alt+Right moves a whole channel", [](Scene& s) { s.cursor(5, 0, 3); }, {alt(Qt::Key_Right)}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_column(), 6); }},
        {"Alt+Backspace is swallowed without an action",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.editor().set_selection(0, 0, 0, 1);
             s.editor().selection_raise();
         },
         {alt(Qt::Key_Backspace)}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 0).note, 49); }},
        {"Alt with another key is passed on", nullptr, {alt(Qt::Key_F)}, false,
         [](Scene& s) { EXPECT_TRUE(s.at(0, 0).is_empty()); }},

        // Navigation.
        {"Tab goes to the next channel's note", [](Scene& s) { s.cursor(2, 0, 5); }, {key(Qt::Key_Tab)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_cursor_column(), 3);
             EXPECT_EQ(s.editor().get_cursor_field(), 0);
         }},
        {"Backtab goes to the note field, then to the channel before", [](Scene& s) { s.cursor(2, 0, 5); },
         {key(Qt::Key_Backtab, Qt::ShiftModifier), key(Qt::Key_Backtab, Qt::ShiftModifier)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_cursor_column(), 1);
             EXPECT_EQ(s.editor().get_cursor_field(), 0);
         }},
        {"Insert pushes the channel down from the cursor",
         [](Scene& s) {
             s.put(0, 3, cell(48));
             s.cursor(0, 3, 0);
         },
         {key(Qt::Key_Insert)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.at(0, 3).is_empty());
             EXPECT_EQ(s.at(0, 4).note, 48);
         }},
        {"Delete pulls the channel up to the cursor",
         [](Scene& s) {
             s.put(0, 4, cell(48));
             s.cursor(0, 3, 0);
         },
         {key(Qt::Key_Delete)}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 3).note, 48); }},
        {"Home goes to the note field first", [](Scene& s) { s.cursor(2, 4, 3); }, {key(Qt::Key_Home)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_cursor_field(), 0);
             EXPECT_EQ(s.editor().get_cursor_column(), 2);
         }},
        {"End goes to the last field first", [](Scene& s) { s.cursor(2, 4, 0); }, {key(Qt::Key_End)}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_field(), 8); }},
        {"Left moves one field", [](Scene& s) { s.cursor(2, 0, 2); }, {key(Qt::Key_Left)}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_field(), 1); }},
        {"Right moves one field", [](Scene& s) { s.cursor(2, 0, 8); }, {key(Qt::Key_Right)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_cursor_column(), 3);
             EXPECT_EQ(s.editor().get_cursor_field(), 0);
         }},
        {"Up moves by the row step",
         [](Scene& s) {
             s.cursor(0, 5, 0);
             s.editor().set_edit_step(2);
         },
         {key(Qt::Key_Up)}, true, [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_row(), 3); }},
        {"Down moves by the row step",
         [](Scene& s) {
             s.cursor(0, 5, 0);
             s.editor().set_edit_step(2);
         },
         {key(Qt::Key_Down)}, true, [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_row(), 7); }},
        {"Page Up moves by the major highlight", [](Scene& s) { s.cursor(0, 20, 0); }, {key(Qt::Key_PageUp)},
         true, [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_row(), 4); }},
        {"Page Down moves by the major highlight", [](Scene& s) { s.cursor(0, 20, 0); }, {key(Qt::Key_PageDown)},
         true, [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_row(), 36); }},
        {"F9 mutes the cursor's channel", [](Scene& s) { s.cursor(4, 0, 0); }, {key(Qt::Key_F9)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.song().initial_variables.channel[4].mute);
             EXPECT_FALSE(s.song().initial_variables.channel[3].mute);
         }},
        {"F10 solos the cursor's channel", [](Scene& s) { s.cursor(4, 0, 0); }, {key(Qt::Key_F10)}, true,
         [](Scene& s) {
             EXPECT_FALSE(s.song().initial_variables.channel[4].mute);
             EXPECT_TRUE(s.song().initial_variables.channel[3].mute);
             EXPECT_TRUE(s.song().initial_variables.channel[63].mute);
         }},
        {"Shift extends a block from where it went down, until it goes up", nullptr,
         {{Qt::Key_Shift, Qt::ShiftModifier, {}, Stroke::PRESS}, key(Qt::Key_Down, Qt::ShiftModifier),
          key(Qt::Key_Down, Qt::ShiftModifier), key(Qt::Key_Right, Qt::ShiftModifier),
          {Qt::Key_Shift, Qt::NoModifier, {}, Stroke::RELEASE}, key(Qt::Key_Down)},
         true,
         [](Scene& s) {
             EXPECT_EQ(s.editor().get_cursor_row(), 3);
             EXPECT_TRUE(s.editor().is_selection_active());
             EXPECT_EQ(s.editor().get_selection_begin_column(), 0);
             EXPECT_EQ(s.editor().get_selection_begin_row(), 0);
             EXPECT_EQ(s.editor().get_selection_end_column(), 1);
             EXPECT_EQ(s.editor().get_selection_end_row(), 2);
         }},

        // The ordered steps of plain keys.
        {"+ goes to the next pattern", nullptr, {type('+')}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_current_pattern(), 1); }},
        {"= goes to the next pattern", nullptr, {type('=')}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_current_pattern(), 1); }},
        {"- goes to the previous pattern", [](Scene& s) { s.editor().cursor_goto_pattern(2); }, {type('-')}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_current_pattern(), 1); }},
        {"Toggle Mask switches the command mask on the command field", [](Scene& s) { s.cursor(0, 0, 6); },
         {type(',')}, true, [](Scene& s) { EXPECT_TRUE(s.editor().is_command_mask_on()); }},
        {"Erase Field empties the instrument",
         [](Scene& s) {
             s.put(0, 0, cell(48, 5));
             s.cursor(0, 0, 2);
         },
         {type('.')}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).instrument, EMPTY_FIELD);
             EXPECT_EQ(s.at(0, 0).note, 48);
             EXPECT_EQ(s.editor().get_cursor_row(), 1);
         }},
        {"Note Off writes ===", nullptr, {type('`')}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).note, NOTE_OFF);
             EXPECT_EQ(s.editor().get_cursor_row(), 1);
         }},
        {"Note Cut writes ^^^ on the note field", nullptr, {type('1')}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).note, NOTE_CUT);
             EXPECT_EQ(s.editor().get_cursor_row(), 1);
         }},
        {"Note Cut elsewhere does nothing but is consumed", [](Scene& s) { s.cursor(0, 0, 6); }, {type('1')}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.at(0, 0).is_empty());
             EXPECT_EQ(s.editor().get_cursor_row(), 0);
             EXPECT_EQ(s.editor().get_cursor_field(), 6);
         }},
        {"The Note Cut key types its digit into a number field", [](Scene& s) { s.cursor(0, 0, 2); },
         {type('1'), type('2')}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 0).instrument, 11); }},
        {"Space writes the last value",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.editor().get_mask_from_cursor();
             s.cursor(0, 1, 0);
         },
         {key(Qt::Key_Space)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 1).note, 48);
             EXPECT_EQ(s.editor().get_cursor_row(), 2);
         }},
        {"Next Instrument", [](Scene& s) { s.editor().set_last_instrument(5); }, {type(']')}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_last_instrument(), 6); }},
        {"Next Instrument stays at 98", [](Scene& s) { s.editor().set_last_instrument(98); }, {type(']')}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_last_instrument(), 98); }},
        {"Prev Instrument", [](Scene& s) { s.editor().set_last_instrument(5); }, {type('[')}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_last_instrument(), 4); }},
        {"Prev Instrument stays at 0", nullptr, {type('[')}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_last_instrument(), 0); }},
        {"Return takes the field's value as the last one",
         [](Scene& s) {
             s.put(0, 0, cell(48, 5));
             s.cursor(0, 0, 3);
         },
         {key(Qt::Key_Return)}, true, [](Scene& s) { EXPECT_EQ(s.editor().get_last_instrument(), 5); }},
        {"Play Note On Cursor plays the cell and moves down", [](Scene& s) { s.put(2, 0, cell(48, 0)); },
         {key(Qt::Key_Tab), key(Qt::Key_Tab), type('4')}, true,
         [](Scene& s) {
             EXPECT_EQ(s.player().get_channel(2).note, 48);
             EXPECT_EQ(s.player().get_channel(2).instrument_index, 0);
             EXPECT_EQ(s.editor().get_cursor_row(), 1);
             EXPECT_EQ(s.at(2, 0).note, 48);
         }},
        {"Play Note On Cursor's key types a digit off the note field", [](Scene& s) { s.cursor(0, 0, 2); },
         {type('4')}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 0).instrument, 39); }},
        {"Play Row On Cursor plays every channel of the row",
         [](Scene& s) {
             s.put(0, 0, cell(48, 0));
             s.put(5, 0, cell(55, 0));
         },
         {type('8')}, true,
         [](Scene& s) {
             EXPECT_EQ(s.player().get_channel(0).note, 48);
             EXPECT_EQ(s.player().get_channel(5).note, 55);
             EXPECT_EQ(s.editor().get_cursor_row(), 1);
         }},
        {"A note key writes the note with the masked instrument and plays it", nullptr, {type('q')}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).note, 60);
             EXPECT_EQ(s.at(0, 0).instrument, 0);
             EXPECT_EQ(s.player().get_channel(0).note, 60);
             EXPECT_EQ(s.editor().get_cursor_row(), 1);
         }},
        {"Capitals are typed as their letters", [](Scene& s) { s.cursor(0, 0, 6); }, {type('A')}, true,
         [](Scene& s) { EXPECT_EQ(s.at(0, 0).command, 0); }},
        {"A letter that fits no field is still the view's", [](Scene& s) { s.cursor(0, 0, 2); }, {type('k')}, true,
         [](Scene& s) { EXPECT_TRUE(s.at(0, 0).is_empty()); }},
        {"The octave keys are passed on to the window", nullptr, {type('/')}, false,
         [](Scene& s) { EXPECT_TRUE(s.at(0, 0).is_empty()); }},
        {"Function keys of the window are passed on", nullptr, {key(Qt::Key_F2)}, false,
         [](Scene& s) { EXPECT_EQ(s.editor().get_cursor_row(), 0); }},
    };

    for (const Key_Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        if (c.setup) c.setup(scene);
        EXPECT_EQ(scene.send(c.strokes), c.consumed);
        c.check(scene);
    }
}

TEST_F(Pattern_Edit_Test, NotesPlayOutsideTheVariablesLockWhichKeysOtherwiseHold) {
    Scene scene;
    Depth_Lock lock;
    scene.player().set_variables_lock(&lock);
    scene.view->set_variables_lock(&lock);
    scene.cursor(2, 0, 0);

    // The view holds the lock for the key, lets go for the player's own grab, and takes it back.
    scene.send({type('q')});
    EXPECT_EQ(scene.at(2, 0).note, 60);
    EXPECT_EQ(scene.at(2, 0).instrument, 0);
    EXPECT_EQ(scene.player().get_channel(2).note, 60);
    EXPECT_EQ(lock.grabs, 3);
    EXPECT_EQ(lock.nested_grabs, 0);
    EXPECT_EQ(lock.depth, 0);

    // The note reaches the mixer on the next tick, on the cell's channel.
    scene.mixer.run_ticks(1);
    ASSERT_EQ(scene.mixer.voices.size(), 1u);
    ASSERT_NE(scene.player().get_channel(2).slot[0].voice, nullptr);
    EXPECT_EQ(scene.player().get_channel(0).slot[0].voice, nullptr);

    lock.grabs = 0;
    scene.cursor(0, 0, 0);
    scene.send({type('8')});
    EXPECT_EQ(lock.grabs, 2 + Pattern::CHANNELS);
    EXPECT_EQ(lock.nested_grabs, 0);

    lock.grabs = 0;
    scene.send({key(Qt::Key_Down)});
    EXPECT_EQ(lock.grabs, 1);
    EXPECT_EQ(lock.depth, 0);

    // A dialog waits for the user without the lock.
    int depth_in_dialog = -1;
    scene.editor().set_selection(2, 0, 2, 1);
    answer_dialog(50, [&](QDialog*) { depth_in_dialog = lock.depth; });
    scene.send({alt(Qt::Key_J)});
    EXPECT_EQ(depth_in_dialog, 0);
    EXPECT_EQ(lock.nested_grabs, 0);
    EXPECT_EQ(lock.depth, 0);

    scene.player().set_variables_lock(nullptr);
}

namespace {

void send_mouse(QWidget* view, QEvent::Type type, QPointF point, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, point, view->mapToGlobal(point), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

void send_wheel(QWidget* view, int delta) {
    QPointF point(100, 100);
    QWheelEvent event(point, view->mapToGlobal(point), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

}  // namespace

TEST_F(Pattern_Edit_Test, MouseDragSelectsClickUnmarksWheelScrollsHeaderMutes) {
    Scene scene;
    Pattern_Edit* view = scene.view;
    const int char_width = view->get_char_width(), line = view->get_line_height();
    // The middle of a character (one of the first six, before the volume column) of a cell.
    auto point = [&](int channel, int row, int character) {
        return QPointF((Pattern_Edit::ROW_NUMBER_CHARS + channel * Pattern_Edit::CHANNEL_CHARS + character) *
                               char_width + char_width / 2.0,
                       (Pattern_Edit::HEADER_LINES + row) * line + line / 2.0);
    };

    send_mouse(view, QEvent::MouseButtonPress, point(1, 2, 4), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(scene.editor().get_cursor_column(), 1);
    EXPECT_EQ(scene.editor().get_cursor_row(), 2);
    EXPECT_EQ(scene.editor().get_cursor_field(), 2);
    send_mouse(view, QEvent::MouseMove, point(2, 4, 0), Qt::NoButton, Qt::LeftButton);
    send_mouse(view, QEvent::MouseMove, point(3, 6, 0), Qt::NoButton, Qt::LeftButton);
    send_mouse(view, QEvent::MouseButtonRelease, point(3, 6, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(scene.editor().is_selection_active());
    EXPECT_EQ(scene.editor().get_selection_begin_column(), 1);
    EXPECT_EQ(scene.editor().get_selection_begin_row(), 2);
    EXPECT_EQ(scene.editor().get_selection_end_column(), 3);
    EXPECT_EQ(scene.editor().get_selection_end_row(), 6);
    EXPECT_EQ(scene.editor().get_cursor_column(), 3);
    EXPECT_EQ(scene.editor().get_cursor_row(), 6);

    // A click on a blank between columns keeps the field.
    send_mouse(view, QEvent::MouseButtonPress, point(0, 1, 3), Qt::LeftButton, Qt::LeftButton);
    send_mouse(view, QEvent::MouseButtonRelease, point(0, 1, 3), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(scene.editor().is_selection_active());
    EXPECT_EQ(scene.editor().get_cursor_column(), 0);
    EXPECT_EQ(scene.editor().get_cursor_row(), 1);
    EXPECT_EQ(scene.editor().get_cursor_field(), 0);

    send_wheel(view, -120);
    EXPECT_EQ(scene.editor().get_row_offset(), 1);
    send_wheel(view, -120);
    send_wheel(view, 120);
    EXPECT_EQ(scene.editor().get_row_offset(), 1);

    // The header: a click mutes, a right click solos.
    const QPointF header(point(2, 0, 2).x(), line / 2.0);
    send_mouse(view, QEvent::MouseButtonPress, header, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(scene.song().initial_variables.channel[2].mute);
    send_mouse(view, QEvent::MouseButtonPress, header, Qt::RightButton, Qt::RightButton);
    EXPECT_FALSE(scene.song().initial_variables.channel[2].mute);
    EXPECT_TRUE(scene.song().initial_variables.channel[1].mute);
}

// The view blends text into its own image itself; it must draw what the painter's glyph runs
// draw, and nothing outside the part being painted.
TEST_F(Pattern_Edit_Test, OwnTextBlendingMatchesThePainterAndKeepsToTheClip) {
    Scene scene;
    for (int row = 0; row < 40; row++)
        for (int channel = 0; channel < 12; channel += 1 + row % 3)
            scene.put(channel, row, cell(row + channel, channel, row % 65, row % 26, row * 7));
    scene.song().initial_variables.channel[1].mute = true;
    scene.editor().set_selection(2, 3, 4, 9);
    scene.cursor(3, 5, 7);
    scene.view->update_info_areas(0, 6);
    Pattern_Edit* view = scene.view;

    for (int ratio : {1, 2}) {
        SCOPED_TRACE(ratio);
        auto image = [&](QImage::Format format) {
            QImage result(view->size() * ratio, format);
            result.setDevicePixelRatio(ratio);
            result.fill(Qt::red);
            return result;
        };
        QImage own = image(QImage::Format_RGB32);  // the view's own text blending
        QImage painted = image(QImage::Format_ARGB32_Premultiplied);  // the painter's glyph runs
        {
            QPainter painter(&own);
            view->render_area(painter, view->rect());
        }
        {
            QPainter painter(&painted);
            view->render_area(painter, view->rect());
        }
        painted = painted.convertToFormat(QImage::Format_RGB32);
        int worst = 0;
        for (int y = 0; y < own.height(); y++)
            for (int x = 0; x < own.width(); x++) {
                QRgb a = own.pixel(x, y), b = painted.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        EXPECT_LE(worst, 2);

        // A part that cuts through characters.
        const QRect part(view->get_char_width() * 9 + 3, view->get_line_height() * 3 + 5, 301, 203);
        QImage clipped = image(QImage::Format_RGB32);
        {
            QPainter painter(&clipped);
            painter.setClipRect(part);
            view->render_area(painter, part);
        }
        const QRect scaled(part.topLeft() * ratio, part.size() * ratio);
        int outside = 0, differing_inside = 0;
        for (int y = 0; y < clipped.height(); y++)
            for (int x = 0; x < clipped.width(); x++) {
                if (!scaled.contains(x, y))
                    outside += clipped.pixel(x, y) != qRgb(255, 0, 0);
                else
                    differing_inside += clipped.pixel(x, y) != own.pixel(x, y);
            }
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(differing_inside, 0);
    }
}
