// The whole-song operations behind the "Really?" boxes, answered both ways, and the
// pattern menu's block commands, checked on the song.
#include <QInputDialog>
#include <QSpinBox>

#include "interface__QT/gui_test_support.h"

namespace {

void put_sample(Song& song, int slot, const char* name) {
    auto* block = (short*)std::calloc(100, sizeof(short));
    for (int i = 0; i < 100; i++) block[i] = (short)(i * 100);
    song.sample[slot].data.set_data_ptr(block, 100, true);
    song.sample[slot].name = name;
    song.sample[slot].in_use = true;
}

struct Confirmed_Operation {
    const char* menu;
    int id;
    Interface::Page page;
    const char* text;
    bool stops_playback;
    std::function<void(Song&)> setup;
    std::function<bool(Song&)> done;  // the operation happened
};

const std::vector<Confirmed_Operation>& operations() {
    static const std::vector<Confirmed_Operation> list = {
        {"Pattern", 103, Interface::PAGE_PATTERNS, "This will erase all the patterns!.\nAre you sure?", true,
         [](Song& s) { s.get_pattern(7)->get_note_ref(3, 5).note = 48; },
         [](Song& s) { return s.get_pattern(7)->get_note(3, 5).note == EMPTY_FIELD; }},
        {"Pattern", 104, Interface::PAGE_PATTERNS, "This will erase the Order List!.\nAre you sure?", true,
         [](Song& s) { s.set_order(3, 1); }, [](Song& s) { return s.get_order(3) == Song::ORDER_EMPTY; }},
        {"Sample", 6, Interface::PAGE_SAMPLES,
         "This will create a new instrument out of this sample.\nAre you sure?", true,
         [](Song& s) { put_sample(s, 0, "Bass"); },
         [](Song& s) {
             for (const Instrument& i : s.instrument)
                 if (i.name == "Bass" && i.layers[0].sample_table[60] == 0) return true;
             return false;
         }},
        {"Sample", 7, Interface::PAGE_SAMPLES,
         "This will erase all the samples unused within the song.\nAre you sure?", true,
         [](Song& s) { put_sample(s, 4, "Unused"); }, [](Song& s) { return !s.sample[4].in_use; }},
        {"Sample", 8, Interface::PAGE_SAMPLES, "This will erase ALL default pannings.\nAre you sure?", false,
         [](Song& s) { s.sample[2].def_panning_active = true; },
         [](Song& s) { return !s.sample[2].def_panning_active; }},
        {"Instrument", 3, Interface::PAGE_INSTRUMENTS, "This will erase the instrument.\nAre you sure?", false,
         [](Song& s) {
             put_sample(s, 2, "Kept");
             s.instrument[0].name = "Lead";
             s.instrument[0].layers[0].sample_table[60] = 2;
         },
         [](Song& s) { return s.instrument[0].name.empty() && s.sample[2].in_use; }},
        {"Instrument", 4, Interface::PAGE_INSTRUMENTS, "This will erase the instrument.\nAre you sure?", false,
         [](Song& s) {
             put_sample(s, 2, "Gone");
             put_sample(s, 5, "Gone too");
             s.instrument[0].name = "Lead";
             s.instrument[0].layers[0].sample_table[60] = 2;
             s.instrument[0].layers[3].sample_table[10] = 5;
         },
         [](Song& s) { return s.instrument[0].name.empty() && !s.sample[2].in_use && !s.sample[5].in_use; }},
        {"Instrument", 7, Interface::PAGE_INSTRUMENTS,
         "This will erase ALL the instruments and\ncreate them from their respective samples.\nAre you sure?", true,
         [](Song& s) {
             put_sample(s, 3, "Drum");
             s.instrument[3].name = "Old";
         },
         [](Song& s) { return s.instrument[3].name == "Drum"; }},
        {"Instrument", 8, Interface::PAGE_INSTRUMENTS,
         "This will clear the default pannings on all instruments and layers\nAre you sure?", false,
         [](Song& s) { s.instrument[9].layers[2].pan_use_default = true; },
         [](Song& s) { return !s.instrument[9].layers[2].pan_use_default; }},
    };
    return list;
}

}  // namespace

TEST_F(Main_Window_Test, ConfirmationsProceedOnlyOnYes) {
    for (const Confirmed_Operation& operation : operations()) {
        for (bool yes : {false, true}) {
            SCOPED_TRACE(std::string(operation.menu) + " " + std::to_string(operation.id) + (yes ? " Yes" : " No"));
            Interface* song_window = new_song();
            Tracker_Instance* tracker = tracker_of(song_window);
            operation.setup(tracker->song);
            tracker->song.set_order(0, 0);
            song_window->set_current_page(operation.page);
            window->timer_callback();
            tracker->player.play_start_song();
            ASSERT_EQ(tracker->player.get_play_mode(), Player_Data::PLAY_SONG);

            Seen_Box seen;
            {
                Modal_Answers answers;
                answers.box(yes ? "Yes" : "No", &seen);
                QAction* action = item(operation.menu, operation.id);
                ASSERT_NE(action, nullptr);
                ASSERT_TRUE(window->get_menu(operation.menu)->menuAction()->isEnabled());
                action->trigger();
            }
            EXPECT_EQ(seen.title, "Really?");
            EXPECT_EQ(seen.text, operation.text);
            EXPECT_EQ(seen.buttons, QStringList({"Yes", "No"}));
            EXPECT_EQ(seen.icon, QMessageBox::Warning);
            EXPECT_EQ(operation.done(tracker->song), yes);
            bool playing = tracker->player.get_play_mode() != Player_Data::PLAY_NOTHING;
            EXPECT_EQ(playing, !(yes && operation.stops_playback));
            tracker->player.play_stop();
            delete window->get_workspace()->currentSubWindow();
        }
    }
}

TEST_F(Main_Window_Test, PatternMenuRunsBlockCommandsAndUndoesThem) {
    Interface* song_window = new_song();
    Tracker_Instance* tracker = tracker_of(song_window);
    Pattern* pattern = tracker->song.get_pattern(0);
    for (int row = 0; row < 4; row++) {
        Note& cell = pattern->get_note_ref(0, row);
        cell.note = (unsigned char)(48 + row);
        cell.instrument = 0;
        cell.volume = 64;
    }
    tracker->editor.set_selection(0, 0, 0, 3);
    item("Pattern", Editor::SELECTION_RAISE)->trigger();
    EXPECT_EQ(pattern->get_note(0, 0).note, 49);
    EXPECT_EQ(pattern->get_note(0, 3).note, 52);

    // Block- Volume Amplifier: the spin dialog, 50 % halves the block's volumes.
    QString title, label, suffix;
    int initial = -1, maximum = -1;
    {
        Modal_Answers answers;
        answers.then([&](QWidget* widget) {
            auto* dialog = qobject_cast<QInputDialog*>(widget);
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            label = dialog->labelText();
            initial = dialog->intValue();
            maximum = dialog->intMaximum();
            if (auto* spin = dialog->findChild<QSpinBox*>()) suffix = spin->suffix();
            dialog->setIntValue(50);
            dialog->accept();
        });
        item("Pattern", 101)->trigger();
    }
    EXPECT_EQ(title, "Volume Amplifier");
    EXPECT_EQ(label, "Amplify Volume by:");
    EXPECT_EQ(suffix, "%");
    EXPECT_EQ(initial, 100);
    EXPECT_EQ(maximum, 200);
    EXPECT_EQ(pattern->get_note(0, 2).volume, 32);

    // Undo takes back the scale; the raise before it stays.
    item("Pattern", 100)->trigger();
    EXPECT_EQ(pattern->get_note(0, 2).volume, 64);
    EXPECT_EQ(pattern->get_note(0, 2).note, 51);

    EXPECT_TRUE(song_window->is_cursor_following_song()) << "a new window follows the song";
    item("Pattern", 102)->trigger();
    EXPECT_FALSE(song_window->is_cursor_following_song());
}
