// Loading and saving through the main window: the dialogs with their titles and filters,
// the overwrite question, and the boxes that report failures. Nothing is written on "No",
// and a failed save leaves the file that was there.
#include <QStatusBar>

#include <filesystem>

#include "interface__QT/gui_test_support.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"

namespace {

// A native song file named `name`, written by a tracker instance of its own.
std::string write_song(const Scratch_Dir& dir, const std::string& file, const std::string& name) {
    Tracker_Instance ti;
    build_test_song(ti.song);
    ti.song.variables.name = name;
    std::string path = dir.file(file);
    EXPECT_EQ(ti.file_format_manager.save_module(path.c_str()), 0);
    return path;
}

std::string song_name_in(const std::string& path) {
    Tracker_Instance ti;
    if (ti.file_format_manager.load_module(path.c_str()) != Loader::SUCCESS) return "<unreadable>";
    return ti.song.variables.name;
}

}  // namespace

TEST_F(Main_Window_Test, LoadOpensEachSongInItsOwnWindowAndReportsBadFiles) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string good = write_song(dir, "good.wm", "Good Song");
    std::string bad = dir.file("bad.it");
    Scratch_Dir::write(bad, std::string("IMPM") + std::string(40, '\x7f'));

    QString title;
    QStringList filters;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(good), &title, &filters);
        item("File", "&Load...")->trigger();
    }
    EXPECT_EQ(title, "Load Song");
    EXPECT_EQ(filters, QStringList({"Module Files (*.wm *.WM *.it *.IT *.xm *.XM *.s3m *.S3M *.mod *.MOD)"}));
    ASSERT_EQ(window->get_song_windows().size(), 1);
    Interface* loaded = window->get_active_song_window()->get_interface();
    EXPECT_EQ(loaded->get_tracker()->song.variables.name, "Good Song");
    EXPECT_EQ(window->get_active_song_window()->windowTitle(), "Good Song");
    EXPECT_EQ(loaded->get_tracker()->player.get_play_mode(), Player_Data::PLAY_NOTHING);

    {
        Modal_Answers answers;
        answers.file("");
        item("File", "&Load...")->trigger();
    }
    EXPECT_EQ(window->statusBar()->currentMessage(), "Loading aborted");
    EXPECT_EQ(window->get_song_windows().size(), 1);

    Tracker_Instance reference;
    Loader::Error expected = reference.file_format_manager.load_module(bad.c_str());
    ASSERT_NE(expected, Loader::SUCCESS);
    Seen_Box error;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(bad)).box("Ok :(", &error);
        item("File", "&Load...")->trigger();
    }
    EXPECT_EQ(error.title, "Error Loading Song");
    EXPECT_EQ(error.text, Loader::error_string[expected]);
    EXPECT_EQ(error.buttons, QStringList({"Ok :("}));
    EXPECT_EQ(error.icon, QMessageBox::Critical);
    // The window stays, usable, and the program goes on.
    ASSERT_EQ(window->get_song_windows().size(), 2);
    Interface* failed = window->get_active_song_window()->get_interface();
    failed->get_tracker()->song.get_pattern(0)->get_note_ref(0, 0).note = 60;
    EXPECT_EQ(failed->get_tracker()->song.get_pattern(0)->get_note(0, 0).note, 60);

    // Songs named on the command line open the same way; one open already comes to the front.
    std::string other = write_song(dir, "other.wm", "Other Song");
    MDI_Sub_Window* opened = window->open_song(QString::fromStdString(other));
    EXPECT_EQ(opened->get_interface()->get_song_path(), QString::fromStdString(other));
    EXPECT_EQ(window->get_song_windows().size(), 3);
    EXPECT_EQ(window->open_song(QString::fromStdString(good))->get_interface(), loaded);
    EXPECT_EQ(window->get_song_windows().size(), 3);
}

TEST_F(Main_Window_Test, SaveAsksForANameThenOverwritesOnlyOnYes) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Interface* song_window = new_song();
    build_test_song(song_window->get_tracker()->song);
    song_window->get_tracker()->song.variables.name = "Fresh";

    // A new song has no file: Save asks for one. A bare name gets the filter's extension.
    QString title;
    QStringList filters;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(dir.file("fresh")), &title, &filters);
        item("File", "&Save")->trigger();
    }
    EXPECT_EQ(title, "Save Song");
    EXPECT_EQ(filters, QStringList({"Wendmoor (*.wm)", "Impulse Tracker 2.14 (*.it)", "Songs (*.wm *.it)"}));
    EXPECT_EQ(song_name_in(dir.file("fresh.wm")), "Fresh");
    EXPECT_EQ(song_window->get_song_path(), QString::fromStdString(dir.file("fresh.wm")));

    // Now it has one: Save writes it without asking.
    song_window->get_tracker()->song.variables.name = "Fresh 2";
    item("File", "&Save")->trigger();
    EXPECT_EQ(song_name_in(dir.file("fresh.wm")), "Fresh 2");

    std::string other = dir.file("other.it");
    Scratch_Dir::write(other, "old bytes");
    Seen_Box question;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(other)).box("No", &question);
        item("File", "Save &As..")->trigger();
    }
    EXPECT_EQ(question.title, "Question:");
    EXPECT_EQ(question.text, "File exists! Overwrite?");
    EXPECT_EQ(question.buttons, QStringList({"Yes", "No"}));
    EXPECT_EQ(Scratch_Dir::read(other), "old bytes");
    EXPECT_EQ(song_window->get_song_path(), QString::fromStdString(dir.file("fresh.wm")));
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(other)).box("Yes");
        item("File", "Save &As..")->trigger();
    }
    EXPECT_EQ(Scratch_Dir::read(other).substr(0, 4), "IMPM");
    EXPECT_EQ(song_window->get_song_path(), QString::fromStdString(other));

    // A module read from a format we do not write is saved under a new name.
    std::string xm = dir.file("from.xm");
    Scratch_Dir::write(xm, "xm bytes");
    QString asked;
    {
        Modal_Answers answers;
        answers.box("Ok :(").file("", &asked);
        song_window->open_song(QString::fromStdString(xm));  // not a module: reported, path kept
        item("File", "&Save")->trigger();
    }
    EXPECT_EQ(asked, "Save Song");
    EXPECT_EQ(Scratch_Dir::read(xm), "xm bytes");
}

TEST_F(Main_Window_Test, FailedSaveSaysOopsAndKeepsTheOldFile) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    // A name so long that no file can be made beside it: the safe save cannot start.
    std::string path = dir.file(std::string(250, 'n') + ".wm");
    std::filesystem::copy_file(write_song(dir, "short.wm", "On Disk"), path);
    std::string before = Scratch_Dir::read(path);

    MDI_Sub_Window* opened = window->open_song(QString::fromStdString(path));
    opened->get_interface()->get_tracker()->song.variables.name = "Changed";
    Seen_Box oops;
    {
        Modal_Answers answers;
        answers.box("Ok", &oops);
        item("File", "&Save")->trigger();
    }
    EXPECT_EQ(oops.title, "Oops!");
    EXPECT_EQ(oops.text, "Error saving song!");
    EXPECT_EQ(oops.buttons, QStringList({"Ok"}));
    EXPECT_EQ(oops.icon, QMessageBox::Warning);
    EXPECT_EQ(Scratch_Dir::read(path), before);
}

TEST_F(Main_Window_Test, ClosingAsksPerChangedWindowAndQuitStopsOnCancel) {
    Interface* first = new_song();
    first->get_tracker()->song.variables.name = "Keep Me";
    first->get_tracker()->editor.press_key_at_cursor('q');
    Interface* second = new_song();
    second->get_tracker()->editor.press_key_at_cursor('q');
    window->timer_callback();

    Seen_Box seen;
    {
        Modal_Answers answers;
        answers.box("Cancel", &seen);
        item("File", "&Close")->trigger();
    }
    EXPECT_EQ(seen.title, "Closing..");
    EXPECT_EQ(seen.text, "Really close \"New Song\"?\nIt has unsaved changes.");
    EXPECT_EQ(seen.buttons, QStringList({"Save", "Discard", "Cancel"}));
    EXPECT_EQ(window->get_song_windows().size(), 2);
    {
        Modal_Answers answers;
        answers.box("Discard");
        item("File", "&Close")->trigger();
    }
    EXPECT_EQ(window->get_song_windows().size(), 1);

    // Quit closes every song window the same way; a "Cancel" keeps the program open.
    {
        Modal_Answers answers;
        answers.box("Cancel", &seen);
        item("File", "&Quit")->trigger();
    }
    EXPECT_EQ(seen.text, "Really close \"Keep Me\"?\nIt has unsaved changes.");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->get_song_windows().size(), 1);
    {
        Modal_Answers answers;
        answers.box("Discard");
        item("File", "&Quit")->trigger();
    }
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->get_song_windows().isEmpty());
}
