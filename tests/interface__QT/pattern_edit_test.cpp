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
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
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
// A capital letter typed with Shift held.
Stroke shifted(char capital) { return {capital, Qt::ShiftModifier, QString(QChar(capital))}; }

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

using Step = std::function<void(Scene&)>;

struct Key_Case {
    const char* name;
    Step setup;
    std::vector<Stroke> strokes;
    bool consumed;
    Step check;
};

Step cursor_at(int column, int row, int field) {
    return [=](Scene& s) { s.cursor(column, row, field); };
}
// -1 leaves a coordinate unchecked.
Step cursor_is(int column, int row, int field = -1) {
    return [=](Scene& s) {
        if (column >= 0) {
            EXPECT_EQ(s.editor().get_cursor_column(), column);
        }
        if (row >= 0) {
            EXPECT_EQ(s.editor().get_cursor_row(), row);
        }
        if (field >= 0) {
            EXPECT_EQ(s.editor().get_cursor_field(), field);
        }
    };
}
Step notes_are(int channel, std::vector<int> notes) {
    return [=](Scene& s) {
        for (size_t row = 0; row < notes.size(); row++) EXPECT_EQ(s.at(channel, (int)row).note, notes[row]) << row;
    };
}
Step both(Step first, Step second) {
    return [=](Scene& s) {
        first(s);
        second(s);
    };
}
// Notes 48 and 50 in channel 0, marked.
void marked_pair(Scene& s) {
    s.put(0, 0, cell(48));
    s.put(0, 1, cell(50));
    s.editor().set_selection(0, 0, 0, 1);
}
void raised_once(Scene& s) {
    marked_pair(s);
    s.editor().selection_raise();
}
Step step_of(int rows) {
    return [=](Scene& s) {
        s.cursor(0, 5, 0);
        s.editor().set_edit_step(rows);
    };
}
Step block(int end_column, int end_row) {
    return [=](Scene& s) {
        EXPECT_TRUE(s.editor().is_selection_active());
        EXPECT_EQ(s.editor().get_selection_end_column(), end_column);
        EXPECT_EQ(s.editor().get_selection_end_row(), end_row);
    };
}
Step instrument_is(int instrument) {
    return [=](Scene& s) { EXPECT_EQ(s.editor().get_last_instrument(), instrument); };
}
Step last_instrument(int instrument) {
    return [=](Scene& s) { s.editor().set_last_instrument(instrument); };
}
Step pattern_is(int pattern) {
    return [=](Scene& s) { EXPECT_EQ(s.editor().get_current_pattern(), pattern); };
}
Step orders(int first, int second) {
    return [=](Scene& s) {
        s.song().set_order(0, (short)first);
        s.song().set_order(1, (short)second);
    };
}
Step order_row_is(int row) {
    return [=](Scene& s) { EXPECT_EQ(s.editor().get_orderlist_row(), row); };
}
void untouched(Scene& s) { EXPECT_TRUE(s.at(0, 0).is_empty()); }
Step effect_is(int channel, int row, int command, int parameter) {
    return [=](Scene& s) {
        EXPECT_EQ(s.at(channel, row).command, command);
        EXPECT_EQ(s.at(channel, row).parameter, parameter);
    };
}

}  // namespace

TEST_F(Pattern_Edit_Test, KeysGiveTheirEditorCalls) {
    const Stroke shift_down{Qt::Key_Shift, Qt::ShiftModifier, {}, Stroke::PRESS};
    const Stroke shift_up{Qt::Key_Shift, Qt::NoModifier, {}, Stroke::RELEASE};
    const Key_Case cases[] = {
        // With Control.
        {"Ctrl+Backspace undoes", raised_once, {ctrl(Qt::Key_Backspace)}, true, notes_are(0, {48, 50})},
        {"Ctrl++ follows the order cursor down", orders(5, 7), {ctrl(Qt::Key_Plus)}, true,
         both(order_row_is(1), pattern_is(7))},
        {"Ctrl++ onto an end marker keeps the pattern", orders(5, Song::ORDER_SKIP), {ctrl(Qt::Key_Plus)}, true,
         both(order_row_is(1), pattern_is(0))},
        {"Ctrl+- follows the order cursor up",
         [](Scene& s) {
             orders(3, 4)(s);
             s.editor().set_orderlist_cursor(1, 0);
         },
         {ctrl(Qt::Key_Minus)}, true, both(order_row_is(0), pattern_is(3))},
        {"Ctrl+Home goes one row up whatever the step", step_of(4), {ctrl(Qt::Key_Home)}, true, cursor_is(0, 4)},
        {"Ctrl+End goes one row down", step_of(4), {ctrl(Qt::Key_End)}, true, cursor_is(0, 6)},
        {"Ctrl+F7 sets the mark", cursor_at(0, 9, 0), {ctrl(Qt::Key_F7)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.editor().is_mark_active());
             EXPECT_EQ(s.editor().get_mark_row(), 9);
         }},
        {"Ctrl+C copies the block as Alt+C does", marked_pair, {ctrl(Qt::Key_C)}, true,
         [](Scene& s) {
             EXPECT_EQ(const_cast<Pattern&>(s.editor().get_clipboard()).get_note(0, 1).note, 50);
             notes_are(0, {48, 50})(s);
         }},
        {"Ctrl+X cuts the block as Alt+Z does", marked_pair, {ctrl(Qt::Key_X)}, true,
         [](Scene& s) {
             notes_are(0, {EMPTY_FIELD, EMPTY_FIELD})(s);
             EXPECT_EQ(const_cast<Pattern&>(s.editor().get_clipboard()).get_note(0, 0).note, 48);
         }},
        {"Ctrl+V pastes and pushes down as Alt+P does", [](Scene& s) { s.prepare_paste(); }, {ctrl(Qt::Key_V)}, true,
         notes_are(1, {48, 50, 60})},
        {"Ctrl+C, move, Ctrl+V copies a block elsewhere", marked_pair,
         {ctrl(Qt::Key_C), key(Qt::Key_Tab), ctrl(Qt::Key_V)}, true, notes_are(1, {48, 50})},
        {"Ctrl with another key is passed on", nullptr, {ctrl(Qt::Key_Q)}, false, untouched},

        // With Alt.
        {"Alt+digit sets the row step", nullptr, {alt(Qt::Key_4)}, true,
         [](Scene& s) { EXPECT_EQ(s.editor().get_edit_step(), 4); }},
        {"Alt+A lowers the block", marked_pair, {alt(Qt::Key_A)}, true, notes_are(0, {47, 49})},
        {"Alt+Q raises the block", marked_pair, {alt(Qt::Key_Q)}, true, notes_are(0, {49, 51})},
        {"Alt+B marks the beginning", cursor_at(2, 3, 0), {alt(Qt::Key_B)}, true,
         both(block(2, 3), [](Scene& s) { EXPECT_EQ(s.editor().get_selection_begin_row(), 3); })},
        {"Alt+E marks the end",
         [](Scene& s) {
             marked_pair(s);
             s.cursor(1, 5, 0);
         },
         {alt(Qt::Key_E)}, true, block(1, 5)},
        {"Alt+C copies the block", marked_pair, {alt(Qt::Key_C)}, true,
         [](Scene& s) {
             EXPECT_EQ(const_cast<Pattern&>(s.editor().get_clipboard()).get_note(0, 1).note, 50);
             notes_are(0, {48, 50})(s);
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
                 EXPECT_EQ(dialog->findChild<QLabel*>()->text(), "Amplify Volume by:");
                 EXPECT_EQ(dialog->findChild<QLabel*>()->buddy(), spin);
             });
         },
         {alt(Qt::Key_J)}, true,
         [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).volume, 20);
             EXPECT_EQ(s.at(0, 1).volume, 10);
             EXPECT_EQ(Pattern_Edit::volume_scale_memory, 50);
         }},
        {"Alt+K ramps the volumes",
         [](Scene& s) {
             s.put(0, 0, cell(48, 0, 0));
             s.put(0, 4, cell(48, 0, 64));
             s.editor().set_selection(0, 0, 0, 4);
         },
         {alt(Qt::Key_K)}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 2).volume, 32); }},
        {"Alt+L marks the channel", cursor_at(3, 7, 0), {alt(Qt::Key_L)}, true,
         both(block(3, 63), [](Scene& s) { EXPECT_EQ(s.editor().get_selection_begin_row(), 0); })},
        {"Alt+M pastes into empty cells", [](Scene& s) { s.prepare_paste(); }, {alt(Qt::Key_M)}, true,
         notes_are(1, {60, 50})},
        {"Alt+O pastes over", [](Scene& s) { s.prepare_paste(); }, {alt(Qt::Key_O)}, true,
         notes_are(1, {48, 50, EMPTY_FIELD})},
        {"Alt+P pastes and pushes down", [](Scene& s) { s.prepare_paste(); }, {alt(Qt::Key_P)}, true,
         notes_are(1, {48, 50, 60})},
        {"Alt+S sets the current instrument",
         [](Scene& s) {
             s.put(0, 0, cell(48, 5));
             s.put(0, 1, cell(50, 5));
             s.editor().set_selection(0, 0, 0, 1);
         },
         {alt(Qt::Key_S)}, true,
         [](Scene& s) { EXPECT_EQ(s.at(0, 0).instrument + s.at(0, 1).instrument, 0); }},
        {"Alt+U unmarks", marked_pair, {alt(Qt::Key_U)}, true,
         [](Scene& s) { EXPECT_FALSE(s.editor().is_selection_active()); }},
        {"Alt+V sets the current volume",
         [](Scene& s) {
             marked_pair(s);
             s.editor().set_last_volume(40);
         },
         {alt(Qt::Key_V)}, true,
         [](Scene& s) { EXPECT_EQ(s.at(0, 0).volume + s.at(0, 1).volume, 80); }},
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
        {"Alt+X ramps the parameters",
         [](Scene& s) {
             s.put(0, 0, cell(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 0, 0x00));
             s.put(0, 4, cell(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 0, 0x40));
             s.editor().set_selection(0, 0, 0, 4);
         },
         {alt(Qt::Key_X)}, true, [](Scene& s) { EXPECT_EQ(s.at(0, 2).parameter, 0x20); }},
        {"Alt+Z cuts the block", marked_pair, {alt(Qt::Key_Z)}, true,
         [](Scene& s) {
             notes_are(0, {EMPTY_FIELD, EMPTY_FIELD})(s);
             EXPECT_EQ(const_cast<Pattern&>(s.editor().get_clipboard()).get_note(0, 0).note, 48);
         }},
        {"Alt+Left moves a whole channel", cursor_at(5, 0, 3), {alt(Qt::Key_Left)}, true, cursor_is(4, 0, 3)},
        {"Alt+Right moves a whole channel", cursor_at(5, 0, 3), {alt(Qt::Key_Right)}, true, cursor_is(6, 0, 3)},
        {"Alt+Backspace is swallowed", raised_once, {alt(Qt::Key_Backspace)}, true, notes_are(0, {49, 51})},
        {"Alt with another key is passed on", nullptr, {alt(Qt::Key_F)}, false, untouched},

        // Navigation.
        {"Tab", cursor_at(2, 0, 5), {key(Qt::Key_Tab)}, true, cursor_is(3, 0, 0)},
        {"Backtab goes to the note field, then to the channel before", cursor_at(2, 0, 5),
         {key(Qt::Key_Backtab, Qt::ShiftModifier), key(Qt::Key_Backtab, Qt::ShiftModifier)}, true,
         cursor_is(1, 0, 0)},
        {"Insert pushes the channel down",
         [](Scene& s) {
             s.put(0, 3, cell(48));
             s.cursor(0, 3, 0);
         },
         {key(Qt::Key_Insert)}, true, notes_are(0, {EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 48})},
        {"Delete pulls the channel up",
         [](Scene& s) {
             s.put(0, 4, cell(48));
             s.cursor(0, 3, 0);
         },
         {key(Qt::Key_Delete)}, true, notes_are(0, {EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 48})},
        {"Home goes to the note field first", cursor_at(2, 4, 3), {key(Qt::Key_Home)}, true, cursor_is(2, 4, 0)},
        {"End goes to the last field first", cursor_at(2, 4, 0), {key(Qt::Key_End)}, true, cursor_is(2, 4, 8)},
        {"Left", cursor_at(2, 0, 2), {key(Qt::Key_Left)}, true, cursor_is(2, 0, 1)},
        {"Right from the last field", cursor_at(2, 0, 8), {key(Qt::Key_Right)}, true, cursor_is(3, 0, 0)},
        {"Up by the row step", step_of(2), {key(Qt::Key_Up)}, true, cursor_is(0, 3)},
        {"Down by the row step", step_of(2), {key(Qt::Key_Down)}, true, cursor_is(0, 7)},
        {"Page Up by the major highlight", cursor_at(0, 20, 0), {key(Qt::Key_PageUp)}, true, cursor_is(0, 4)},
        {"Page Down", cursor_at(0, 20, 0), {key(Qt::Key_PageDown)}, true, cursor_is(0, 36)},
        {"F9 mutes the channel", cursor_at(4, 0, 0), {key(Qt::Key_F9)}, true,
         [](Scene& s) {
             EXPECT_TRUE(s.song().initial_variables.channel[4].mute);
             EXPECT_FALSE(s.song().initial_variables.channel[3].mute);
         }},
        {"F10 solos the channel", cursor_at(4, 0, 0), {key(Qt::Key_F10)}, true,
         [](Scene& s) {
             EXPECT_FALSE(s.song().initial_variables.channel[4].mute);
             EXPECT_TRUE(s.song().initial_variables.channel[63].mute);
         }},
        {"Shift extends a block from where it went down, until it goes up", nullptr,
         {shift_down, key(Qt::Key_Down, Qt::ShiftModifier), key(Qt::Key_Down, Qt::ShiftModifier),
          key(Qt::Key_Right, Qt::ShiftModifier), shift_up, key(Qt::Key_Down)},
         true,
         both(cursor_is(1, 3), both(block(1, 2), [](Scene& s) {
                  EXPECT_EQ(s.editor().get_selection_begin_column(), 0);
                  EXPECT_EQ(s.editor().get_selection_begin_row(), 0);
              }))},

        // The ordered steps of plain keys.
        {"+ goes to the next pattern", nullptr, {type('+')}, true, pattern_is(1)},
        {"= goes to the next pattern", nullptr, {type('=')}, true, pattern_is(1)},
        {"- goes to the previous pattern", [](Scene& s) { s.editor().cursor_goto_pattern(2); }, {type('-')}, true,
         pattern_is(1)},
        {"Toggle Mask on the command field", cursor_at(0, 0, 6), {type(',')}, true,
         [](Scene& s) { EXPECT_TRUE(s.editor().is_command_mask_on()); }},
        {"Erase Field empties the instrument",
         [](Scene& s) {
             s.put(0, 0, cell(48, 5));
             s.cursor(0, 0, 2);
         },
         {type('.')}, true,
         both(cursor_is(0, 1), [](Scene& s) { EXPECT_EQ(s.at(0, 0).instrument, EMPTY_FIELD); })},
        {"Note Off", nullptr, {type('`')}, true, both(notes_are(0, {NOTE_OFF}), cursor_is(0, 1))},
        {"Note Cut on the note field", nullptr, {type('1')}, true, both(notes_are(0, {NOTE_CUT}), cursor_is(0, 1))},
        {"Note Cut elsewhere does nothing but is consumed", cursor_at(0, 0, 6), {type('1')}, true,
         both(untouched, cursor_is(0, 0, 6))},
        {"The Note Cut key types its digit into a number field", cursor_at(0, 0, 2), {type('1'), type('2')}, true,
         [](Scene& s) { EXPECT_EQ(s.at(0, 0).instrument, 11); }},
        {"Space writes the last value",
         [](Scene& s) {
             s.put(0, 0, cell(48));
             s.editor().get_mask_from_cursor();
             s.cursor(0, 1, 0);
         },
         {key(Qt::Key_Space)}, true, both(notes_are(0, {48, 48}), cursor_is(0, 2))},
        {"Next Instrument", last_instrument(5), {type(']')}, true, instrument_is(6)},
        {"Next Instrument stays at 98", last_instrument(98), {type(']')}, true, instrument_is(98)},
        {"Prev Instrument", last_instrument(5), {type('[')}, true, instrument_is(4)},
        {"Prev Instrument stays at 0", nullptr, {type('[')}, true, instrument_is(0)},
        {"Return takes the field's value",
         [](Scene& s) {
             s.put(0, 0, cell(48, 5));
             s.cursor(0, 0, 3);
         },
         {key(Qt::Key_Return)}, true, instrument_is(5)},
        {"Play Note On Cursor plays the cell and moves down", [](Scene& s) { s.put(2, 0, cell(48, 0)); },
         {key(Qt::Key_Tab), key(Qt::Key_Tab), type('4')}, true,
         both(cursor_is(2, 1), [](Scene& s) {
             EXPECT_EQ(s.player().get_channel(2).note, 48);
             EXPECT_EQ(s.player().get_channel(2).instrument_index, 0);
         })},
        {"Play Note On Cursor's key types a digit off the note field", cursor_at(0, 0, 2), {type('4')}, true,
         [](Scene& s) { EXPECT_EQ(s.at(0, 0).instrument, 39); }},
        {"Play Row On Cursor plays every channel",
         [](Scene& s) {
             s.put(0, 0, cell(48, 0));
             s.put(5, 0, cell(55, 0));
         },
         {type('8')}, true,
         both(cursor_is(0, 1), [](Scene& s) {
             EXPECT_EQ(s.player().get_channel(0).note, 48);
             EXPECT_EQ(s.player().get_channel(5).note, 55);
         })},
        {"A note key writes the note with the masked instrument and plays it", nullptr, {type('q')}, true,
         both(cursor_is(0, 1), [](Scene& s) {
             EXPECT_EQ(s.at(0, 0).note, 60);
             EXPECT_EQ(s.at(0, 0).instrument, 0);
             EXPECT_EQ(s.player().get_channel(0).note, 60);
         })},
        {"Capitals are typed as their letters", cursor_at(0, 0, 6), {type('A')}, true,
         [](Scene& s) { EXPECT_EQ(s.at(0, 0).command, 0); }},

        // An effect is typed as one unit: the letter leads to its digits, the last digit moves on.
        {"An effect letter moves to its digits", cursor_at(0, 0, 6), {type('h')}, true, cursor_is(0, 0, 7)},
        {"Step 0: the effect's last digit stays on the row, back at the letter", step_of(0),
         {key(Qt::Key_End), key(Qt::Key_Left), key(Qt::Key_Left), type('h'), type('4'), type('c')}, true,
         both(cursor_is(0, 5, 6), effect_is(0, 5, 7, 0x4C))},
        {"Step 1: the last digit moves one row down", step_of(1),
         {key(Qt::Key_End), key(Qt::Key_Left), key(Qt::Key_Left), type('d'), type('0'), type('f')}, true,
         both(cursor_is(0, 6, 6), effect_is(0, 5, 3, 0x0F))},
        {"Step 4: the last digit moves four rows down", step_of(4),
         {key(Qt::Key_End), key(Qt::Key_Left), key(Qt::Key_Left), type('h'), type('4'), type('c')}, true,
         both(cursor_is(0, 9, 6), effect_is(0, 5, 7, 0x4C))},
        {"Capitals typed with Shift stay in the channel and mark no block", cursor_at(3, 0, 6),
         {shifted('H'), type('0'), shifted('F')}, true,
         both(both(cursor_is(3, 1, 6), effect_is(3, 0, 7, 0x0F)),
              [](Scene& s) { EXPECT_FALSE(s.editor().is_selection_active()); })},
        {"A letter that fits no field is still the view's", cursor_at(0, 0, 2), {type('k')}, true, untouched},
        {"The octave keys are passed on to the window", nullptr, {type('/')}, false, untouched},
        {"The window's function keys are passed on", nullptr, {key(Qt::Key_F2)}, false, cursor_is(0, 0, 0)},
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
    Stroke q_down = type('q');
    q_down.action = Stroke::PRESS;
    scene.send({q_down});
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

    // Its release keys the note off through the player alone, outside the view's lock.
    lock.grabs = 0;
    Stroke q_up = type('q');
    q_up.action = Stroke::RELEASE;
    scene.send({q_up});
    EXPECT_EQ(lock.grabs, 1);
    EXPECT_EQ(lock.depth, 0);

    lock.grabs = 0;
    scene.cursor(0, 0, 0);
    Stroke row_down = type('8');
    row_down.action = Stroke::PRESS;
    scene.send({row_down});
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

// Every key of the view's table is the view's: it is handled, and no window shortcut may
// take it first. The keys window lists the same table.
TEST_F(Pattern_Edit_Test, EveryKeyOfTheTableIsTheViews) {
    for (const Pattern_Edit::Key_Command& command : Pattern_Edit::key_commands()) {
        for (int k : {command.key, command.last_key}) {
            SCOPED_TRACE(QKeySequence(QKeyCombination(command.modifiers, Qt::Key(k))).toString().toStdString());
            Scene scene;
            if (k == Qt::Key_J && command.modifiers == Qt::AltModifier) answer_dialog(100);
            QKeyEvent override_event(QEvent::ShortcutOverride, k, command.modifiers);
            override_event.ignore();
            QApplication::sendEvent(scene.view, &override_event);
            EXPECT_TRUE(override_event.isAccepted());
            EXPECT_TRUE(scene.send({key(k, command.modifiers)}));
        }
    }
    // Ctrl and Alt with keys outside it are passed on; so are the window's own keys.
    for (Stroke other : {ctrl(Qt::Key_Q), alt(Qt::Key_F), key(Qt::Key_F5), key(Qt::Key_F1)}) {
        Scene scene;
        EXPECT_FALSE(scene.send({other})) << other.key;
    }
}

// A live note stops when its key goes up: keyed off, and cut where a looping sample with no
// fade-out would sound for ever. Auto-repeated releases are not the key going up.
TEST_F(Pattern_Edit_Test, ALiveNoteStopsWhenItsKeyGoesUp) {
    struct Case {
        const char* name;
        bool looping;
        Step meanwhile;  // between the press and the release
        bool auto_repeat_release;
        bool voice_left;  // a tick after the release
        bool key_released;
    };
    const Case cases[] = {
        {"a looping sample falls silent", true, nullptr, false, false, true},
        {"a sample that ends keeps playing to its end, keyed off", false, nullptr, false, true, true},
        {"the octave changed meanwhile: the note it started still stops", true,
         [](Scene&) { Editor::default_octave_lower(); }, false, false, true},
        {"an auto-repeated release keeps the note", true, nullptr, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        Sample_Data& data = scene.song().sample[0].data;
        data.set_loop_enabled(c.looping);
        data.set_loop_begin(0);
        data.set_loop_end(1000);
        scene.cursor(2, 0, 0);
        Stroke press = type('q');
        press.action = Stroke::PRESS;
        scene.send({press});
        scene.mixer.run_ticks(1);
        ASSERT_NE(scene.player().get_channel(2).slot[0].voice, nullptr);
        ASSERT_EQ(scene.mixer.voices.size(), 1u);
        if (c.meanwhile) c.meanwhile(scene);

        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Q, Qt::NoModifier, "q", c.auto_repeat_release);
        QApplication::sendEvent(scene.view, &release);
        EXPECT_EQ((scene.player().get_channel(2).slot[0].note_off_flags & NOTE_OFF_KEY_RELEASED) != 0,
                  c.key_released);
        scene.mixer.run_ticks(1);
        EXPECT_EQ(scene.mixer.voices.size(), c.voice_left ? 1u : 0u);
    }
}

// The notes of Play Note On Cursor and Play Row stop with their key too, and leaving the
// view stops what its keys hold.
TEST_F(Pattern_Edit_Test, PlayKeysAndFocusLossStopTheirNotes) {
    for (char play_key : {'4', '8'}) {
        Scene scene;
        scene.song().sample[0].data.set_loop_enabled(true);
        scene.song().sample[0].data.set_loop_end(1000);
        scene.put(0, 0, cell(48, 0));
        scene.put(5, 0, cell(55, 0));
        Stroke press = type(play_key);
        press.action = Stroke::PRESS;
        scene.send({press});
        scene.mixer.run_ticks(1);
        EXPECT_EQ(scene.mixer.voices.size(), play_key == '4' ? 1u : 2u) << play_key;
        Stroke release = type(play_key);
        release.action = Stroke::RELEASE;
        scene.send({release});
        scene.mixer.run_ticks(1);
        EXPECT_TRUE(scene.mixer.voices.empty()) << play_key;
    }
    Scene scene;
    scene.song().sample[0].data.set_loop_enabled(true);
    scene.song().sample[0].data.set_loop_end(1000);
    Stroke press = type('q');
    press.action = Stroke::PRESS;
    scene.send({press});
    scene.mixer.run_ticks(1);
    ASSERT_EQ(scene.mixer.voices.size(), 1u);
    QFocusEvent focus_out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(scene.view, &focus_out);
    scene.mixer.run_ticks(1);
    EXPECT_TRUE(scene.mixer.voices.empty());
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
