// Autosave and recovery through the windows: what a run that did not end cleanly left behind is
// offered in one question, and each answer does what it says; a restored song opens modified
// with its original path, and Save asks before writing over a file changed since; the
// musician's save or close removes a song's autosave; the interval is a setting. Last, the
// program itself is killed with its autosave on disk and started again.
#include <QSpinBox>

#include <signal.h>

#include <filesystem>
#include <functional>

#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/interface_settings.h"
#include "interface__QT/settings_window.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "support/xvfb_display.h"
#include "tracker/autosave_folder.h"
#include "tracker/autosave_worker.h"
#include "tracker/config_handler.h"
#include "tracker/song_snapshot.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> songs_in(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        if (entry.path().extension() == ".wm") names.push_back(entry.path().filename().string());
    return names;
}

// A message box answered with its default button (Enter) or its escape button (Esc), whatever
// their texts.
Modal_Answers::Answer press(bool default_button) {
    return [default_button](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        QAbstractButton* button = default_button ? box->defaultButton() : box->escapeButton();
        ASSERT_NE(button, nullptr);
        button->click();
    };
}

class Autosave_Recovery_Test : public Main_Window_Test {
protected:
    void SetUp() override {
        Main_Window_Test::SetUp();
        ASSERT_TRUE(dir.ok());
        folder = dir.file("data/wendmoor/autosave");
        original = dir.file("tune.wm");
        Tracker_Instance ti;
        build_test_song(ti.song);
        ti.song.variables.name = "Tune";
        ASSERT_EQ(ti.file_format_manager.save_module(original.c_str()), 0);
    }
    void TearDown() override {
        MDI_Main_Window::autosave_minutes = MDI_Main_Window::DEFAULT_AUTOSAVE_MINUTES;
        Main_Window_Test::TearDown();
    }

    // The song as edited in a run that then crashed: its autosave and record, and the bytes a
    // native save of it writes.
    std::string leave_behind() {
        Tracker_Instance ti;
        EXPECT_EQ(ti.file_format_manager.load_module(original.c_str()), Loader::SUCCESS);
        ti.song.get_pattern(0)->get_note_ref(5, 7) = Note{48, 1, 40, 255, 0};
        ti.song.get_pattern(0)->get_note_ref(5, 8);
        ti.song.variables.name = "Tune, edited";
        Autosave_Folder run(folder);
        std::string id = run.new_id();
        EXPECT_EQ(Song_Snapshot(ti.song, &ti.mixer, nullptr).save(run.song_file(id)), 0);
        Autosave_Folder::Record record;
        record.original_path = original;
        record.song_name = "Tune, edited";
        record.time = 1765100000;
        record.original_stamp = File_Stamp::of(original);
        EXPECT_TRUE(Autosave_Folder::write_record(run.record_file(id), record, nullptr));
        return saved(ti);
    }
    std::string saved(Tracker_Instance& ti) {
        std::string file = dir.file("compare.wm");
        EXPECT_EQ(ti.file_format_manager.save_module(file.c_str()), 0);
        return Scratch_Dir::read(file);
    }
    // A song opened from its file and edited in its window, with its autosave written.
    Interface* edited_song() {
        Interface* song = window->open_song(QString::fromStdString(original))->get_interface();
        Tracker_Instance* ti = song->get_tracker();
        ti->editor.set_cursor(0, 3, 0);
        ti->editor.press_key_at_cursor('q');
        EXPECT_TRUE(ti->history.is_modified());
        EXPECT_EQ(window->autosave_now(), 1);
        window->get_autosave_worker()->wait_idle();
        EXPECT_EQ(songs_in(folder).size(), 1u);
        return song;
    }

    Scratch_Dir dir;
    std::string folder;
    std::string original;
};

}  // namespace

TEST_F(Autosave_Recovery_Test, OneQuestionOffersWhatWasLeftBehindAndEachAnswerDoesWhatItSays) {
    const struct {
        const char* answer;
        int windows;
        size_t songs_left;
    } cases[] = {
        {"Restore", 1, 1},  // now this run's own autosave
        {"Discard", 0, 0},
        {"Keep for later", 0, 1},
    };
    for (const auto& c : cases) {
        std::string edited = leave_behind();
        window->start_autosave(folder);
        Seen_Box question;
        {
            Modal_Answers answers;
            answers.box(c.answer, &question);
            window->offer_recovery();
        }
        EXPECT_EQ(question.title, "Recover Songs") << c.answer;
        question.buttons.sort();  // the style puts them in its own order
        EXPECT_EQ(question.buttons, QStringList({"Discard", "Keep for later", "Restore"})) << c.answer;
        EXPECT_TRUE(question.text.contains("\"Tune, edited\"")) << question.text.toStdString();
        EXPECT_TRUE(question.text.contains(QString::fromStdString(original))) << question.text.toStdString();
        QString time = QDateTime::fromSecsSinceEpoch(1765100000).toString("yyyy-MM-dd hh:mm");
        EXPECT_TRUE(question.text.contains(time)) << question.text.toStdString();
        ASSERT_EQ(window->get_song_windows().size(), c.windows) << c.answer;
        EXPECT_EQ(songs_in(folder).size(), c.songs_left) << c.answer;

        if (c.windows) {
            Interface* song = window->get_active_song_window()->get_interface();
            Tracker_Instance* ti = song->get_tracker();
            EXPECT_EQ(song->get_song_path().toStdString(), original);
            EXPECT_TRUE(ti->history.is_modified()) << "restored songs are not saved where they belong yet";
            EXPECT_EQ(window->get_active_song_window()->windowTitle(), "Tune, edited *");
            EXPECT_EQ(saved(*ti), edited);
            // Nothing changed since: no new autosave, and the adopted one is the song's own.
            EXPECT_EQ(window->autosave_now(), 0);
            EXPECT_TRUE(song->get_autosave().has_file());
            {
                Modal_Answers answers;
                answers.box("Discard");
                window->close_window();
            }
            window->get_autosave_worker()->wait_idle();
            EXPECT_EQ(songs_in(folder).size(), 0u) << "a clean close removes the adopted autosave too";
        } else if (c.songs_left) {
            Seen_Box again;
            {
                Modal_Answers answers;
                answers.box("Discard", &again);
                window->offer_recovery();
            }
            EXPECT_TRUE(again.seen) << "kept for later is offered at the next start";
        }
        window->start_autosave(folder);  // a fresh run's folder: lets go of everything
        EXPECT_TRUE(songs_in(folder).empty()) << c.answer;
        fs::remove_all(dir.file("data"));
    }
}

TEST_F(Autosave_Recovery_Test, SaveOfARestoredSongAsksWhenItsFileChangedSince) {
    const struct {
        const char* name;
        bool changed_on_disk;
        const char* answer;  // nullptr: no question
        bool written;
    } cases[] = {
        {"file as it was", false, nullptr, true},
        {"changed by another program, overwritten", true, "Save", true},
        {"changed by another program, kept", true, "Cancel", false},
    };
    window->start_autosave(folder);
    for (const auto& c : cases) {
        std::string edited = leave_behind();
        {
            Modal_Answers answers;
            answers.box("Restore");
            window->offer_recovery();
        }
        ASSERT_EQ(window->get_song_windows().size(), 1) << c.name;
        Interface* song = window->get_active_song_window()->get_interface();
        std::string theirs;
        if (c.changed_on_disk) {
            Tracker_Instance other;
            build_test_song(other.song, 2);
            other.song.variables.name = "Changed by someone else";
            ASSERT_EQ(other.file_format_manager.save_module(original.c_str()), 0);
        }
        theirs = Scratch_Dir::read(original);
        Seen_Box asked;
        int result;
        {
            Modal_Answers answers;
            if (c.answer) answers.box(c.answer, &asked);
            result = song->save_song();
        }
        EXPECT_EQ(asked.seen, c.answer != nullptr) << c.name;
        if (c.answer) {
            EXPECT_EQ(asked.title, "Changed on Disk") << c.name;
            asked.buttons.sort();
            EXPECT_EQ(asked.buttons, QStringList({"Cancel", "Save"})) << c.name;
        }
        EXPECT_EQ(result == 0, c.written) << c.name;
        EXPECT_EQ(Scratch_Dir::read(original), c.written ? edited : theirs) << c.name;
        EXPECT_EQ(song->get_tracker()->history.is_modified(), !c.written) << c.name;
        window->get_autosave_worker()->wait_idle();
        EXPECT_EQ(songs_in(folder).size(), c.written ? 0u : 1u) << c.name << ": a save removes the autosave";
        song->get_tracker()->history.mark_saved();  // so the window closes without a second thought
        {
            // A song with nothing unsaved closes without a question.
            window->close_window();
        }
        window->get_autosave_worker()->wait_idle();
    }
}

TEST_F(Autosave_Recovery_Test, TheMusiciansSaveOrCloseRemovesTheAutosaveAndNothingElseDoes) {
    window->start_autosave(folder);
    const std::string pristine = Scratch_Dir::read(original);
    const struct {
        const char* name;
        std::function<void(Interface*)> action;
        size_t left;             // right after it
        size_t left_next_round;  // after the next autosave round
    } cases[] = {
        {"song saved", [](Interface* song) { song->save_song(); }, 0, 0},
        {"window closed",
         [this](Interface*) {
             Modal_Answers answers;
             answers.box("Discard");
             window->close_window();
         },
         0, 0},
        {"close taken back",
         [this](Interface*) {
             Modal_Answers answers;
             answers.then(press(false));
             window->close_window();
         },
         1, 1},
        // The song is as its file again: the next round lets the autosave go.
        {"undone back to the file", [](Interface* song) { song->get_tracker()->history.undo(); }, 1, 0},
        {"program quit",
         [this](Interface*) {
             Modal_Answers answers;
             answers.box("Discard");
             window->close();
         },
         0, 0},
    };
    for (const auto& c : cases) {
        Interface* song = edited_song();
        c.action(song);
        window->get_autosave_worker()->wait_idle();
        EXPECT_EQ(songs_in(folder).size(), c.left) << c.name;
        window->autosave_now();
        window->get_autosave_worker()->wait_idle();
        EXPECT_EQ(songs_in(folder).size(), c.left_next_round) << c.name;
        for (MDI_Sub_Window* open : window->get_song_windows()) {
            open->get_interface()->get_tracker()->history.mark_saved();
            // A song with nothing unsaved closes without a question.
            window->close_window();
        }
        window->get_autosave_worker()->wait_idle();
        Scratch_Dir::write(original, pristine);
    }
}

TEST_F(Autosave_Recovery_Test, IntervalIsAStoredSettingWithAControl) {
    window->start_autosave(folder);
    Interface_Settings* page = window->get_settings_window()->get_interface_settings();
    const struct {
        const char* stored;  // nullptr: not in the file
        int minutes;
        int interval_ms;
    } cases[] = {
        {"5", 5, 5 * 60 * 1000},
        {"0", 0, 0},
        {"500", 2, 2 * 60 * 1000},  // out of range: the default stays
        {"soon", 2, 2 * 60 * 1000},
        {nullptr, 2, 2 * 60 * 1000},
    };
    for (const auto& c : cases) {
        MDI_Main_Window::autosave_minutes = MDI_Main_Window::DEFAULT_AUTOSAVE_MINUTES;
        ConfigHandler config;
        if (c.stored) config.add_property(Interface_Settings::SETTINGS_SECTION, "autosave_minutes", c.stored, "");
        page->load_settings(&config);
        window->timer_callback();
        EXPECT_EQ(MDI_Main_Window::autosave_minutes, c.minutes) << (c.stored ? c.stored : "missing");
        EXPECT_EQ(window->get_autosave_interval_ms(), c.interval_ms) << (c.stored ? c.stored : "missing");
        EXPECT_EQ(page->get_autosave_box()->value(), c.minutes);
    }
    auto* control = buddy_of<QSpinBox>(page, "Autosave every:");
    ASSERT_EQ(control, page->get_autosave_box());
    EXPECT_EQ(control->specialValueText(), "Off");
    control->setValue(7);
    window->timer_callback();
    EXPECT_EQ(window->get_autosave_interval_ms(), 7 * 60 * 1000);
    ConfigHandler stored;
    page->save_settings(&stored);
    EXPECT_EQ(stored.get_int_property(Interface_Settings::SETTINGS_SECTION, "autosave_minutes"), 7);
}

// The program itself, in a real X window: a typed note is autosaved within the (shortened)
// interval, kill -9 leaves the autosave behind, and the next start asks about it; Restore takes
// it in as that run's own.
TEST(Autosave_Program, KilledProgramLeavesItsAutosaveAndTheNextStartRestoresIt) {
    for (const char* tool : {"Xvfb", "xdotool"})
        if (!have_program(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Xvfb_Display x;
    if (!x.ok()) GTEST_SKIP() << "Xvfb could not be started here";
    std::string song = dir.file("song.wm");
    {
        Tracker_Instance ti;
        build_test_song(ti.song);
        ti.song.variables.name = "Crash Test";
        ASSERT_EQ(ti.file_format_manager.save_module(song.c_str()), 0);
    }
    std::string folder = dir.file("data/wendmoor/autosave");
    const std::vector<std::string> env = {"DISPLAY=" + x.display, "HOME=" + dir.path(),
                                          "XDG_DATA_HOME=" + dir.file("data"), "QT_QPA_PLATFORM=xcb",
                                          "WENDMOOR_AUTOSAVE_SECONDS=1"};
    auto wait_for = [](const std::function<bool()>& done) {
        for (int i = 0; i < 300 && !done(); i++) usleep(50000);
        return done();
    };

    pid_t program = spawn_program({WENDMOOR_QT_PATH, song}, env, dir.file("first.log"));
    ASSERT_GT(program, 0);
    bool shown = x.run("timeout 20 xdotool search --sync --onlyvisible --name '^Wendmoor' windowfocus --sync");
    // F2 puts the cursor in the pattern view; "q" types a note there.
    bool typed = shown && x.run("xdotool key F2") && x.run("xdotool key q");
    bool autosaved = typed && wait_for([&] { return songs_in(folder).size() == 1; });
    kill(program, SIGKILL);
    wait_for_exit(program, 5000);
    ASSERT_TRUE(autosaved) << "shown " << shown << ", typed " << typed << "\n" << Scratch_Dir::read(dir.file("first.log"));
    std::string left_id = songs_in(folder)[0];
    std::string autosave = Scratch_Dir::read(folder + "/" + left_id);
    {
        Tracker_Instance ti;
        ASSERT_EQ(ti.file_format_manager.load_module((folder + "/" + left_id).c_str()), Loader::SUCCESS);
        EXPECT_EQ(ti.song.variables.name, "Crash Test");
        Tracker_Instance before;
        ASSERT_EQ(before.file_format_manager.load_module(song.c_str()), Loader::SUCCESS);
        int differences = 0;
        for (int row = 0; row < ti.song.get_pattern(0)->get_length(); row++)
            for (int c = 0; c < Pattern::CHANNELS; c++)
                differences += !(ti.song.get_pattern(0)->get_note(c, row) == before.song.get_pattern(0)->get_note(c, row));
        EXPECT_EQ(differences, 1) << "the typed note is in the autosave";
    }

    program = spawn_program({WENDMOOR_QT_PATH}, env, dir.file("second.log"));
    ASSERT_GT(program, 0);
    bool asked = x.run("timeout 20 xdotool search --sync --onlyvisible --name '^Recover Songs' windowfocus --sync");
    bool restored = asked && x.run("xdotool key Return") && wait_for([&] {
                        std::vector<std::string> now = songs_in(folder);
                        return now.size() == 1 && now[0] != left_id;
                    });
    kill(program, SIGKILL);
    wait_for_exit(program, 5000);
    std::string log = Scratch_Dir::read(dir.file("second.log"));
    ASSERT_TRUE(asked) << log;
    ASSERT_TRUE(restored) << "the restored song's autosave became the second run's own\n" << log;
    EXPECT_EQ(Scratch_Dir::read(folder + "/" + songs_in(folder)[0]), autosave);
    Autosave_Folder next(folder);
    std::vector<Autosave_Folder::Left_Behind> left = next.find_left_behind();
    ASSERT_EQ(left.size(), 1u) << "killed again: offered again";
    EXPECT_EQ(left[0].record.original_path, song);
    EXPECT_EQ(left[0].record.song_name, "Crash Test");
}
