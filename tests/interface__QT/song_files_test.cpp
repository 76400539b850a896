// Loading and saving through the main window: the dialogs with their titles and filters,
// the overwrite question, and the boxes that report failures. Nothing is written on "No",
// and a failed save leaves the file that was there.
#include <QStatusBar>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "common/components/audio/effect_amp.h"
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

// Two channels, one empty row: the smallest module of a format Wendmoor reads but does not write.
std::string minimal_xm() {
    std::string b = "Extended Module: ";
    b += std::string("xm song") + std::string(13, '\0') + "\x1a" + std::string(20, ' ');
    auto le = [&b](unsigned v, int bytes) {
        for (int i = 0; i < bytes; i++) b += (char)((v >> (8 * i)) & 0xFF);
    };
    le(0x0104, 2);
    le(276, 4);
    for (unsigned v : {1u, 0u, 2u, 1u, 0u, 1u, 6u, 125u}) le(v, 2);  // length, restart, channels, patterns, ...
    b += std::string(256, '\0');
    le(9, 4);
    le(0, 1);
    le(1, 2);
    le(2, 2);
    b += "\x80\x80";
    return b;
}

std::vector<std::string> entries_of(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
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
    // No window is left with nothing in it, nor with the failed file's path for Save.
    EXPECT_EQ(window->get_song_windows().size(), 1);
    EXPECT_EQ(window->get_active_song_window()->get_interface(), loaded);

    // What is no file is refused at once, with the reason.
    std::string fifo = dir.file("pipe.it");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(fifo)).box("Ok :(", &error);
        item("File", "&Load...")->trigger();
    }
    EXPECT_EQ(error.text, QString("Cannot open file!\n%1: not a regular file").arg(QString::fromStdString(fifo)));
    EXPECT_EQ(window->get_song_windows().size(), 1);

    // Songs named on the command line open the same way; one open already comes to the front.
    std::string other = write_song(dir, "other.wm", "Other Song");
    MDI_Sub_Window* opened = window->open_song(QString::fromStdString(other));
    EXPECT_EQ(opened->get_interface()->get_song_path(), QString::fromStdString(other));
    EXPECT_EQ(window->get_song_windows().size(), 2);
    EXPECT_EQ(window->open_song(QString::fromStdString(good))->get_interface(), loaded);
    EXPECT_EQ(window->get_song_windows().size(), 2);
    {
        Modal_Answers answers;
        answers.box("Ok :(");
        EXPECT_EQ(window->open_song(QString::fromStdString(bad)), nullptr);
    }
    EXPECT_EQ(window->get_song_windows().size(), 2);
    // A window that loads another song and fails keeps its own, and its path.
    {
        Modal_Answers answers;
        answers.box("Ok :(");
        EXPECT_NE(opened->open_song(QString::fromStdString(bad)), Loader::SUCCESS);
    }
    EXPECT_EQ(opened->get_interface()->get_song_path(), QString::fromStdString(other));
    EXPECT_EQ(opened->get_interface()->get_tracker()->song.variables.name, "Other Song");
}

// A file that loads only in part opens with a box saying what is missing, and without a path:
// Save asks for a name, so the damaged original is never written over.
TEST_F(Main_Window_Test, PartialLoadSaysWhatIsMissingAndNeverSavesOverTheOriginal) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string source = std::string(WENDMOOR_SOURCE_DIR) + "/tests/data/regressions/it_sample_cut_short.it";
    const std::string cut = dir.file("cut.it");
    std::filesystem::copy_file(source, cut);
    const std::string before = Scratch_Dir::read(cut);

    Seen_Box partial;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(cut)).box("Ok", &partial);
        item("File", "&Load...")->trigger();
    }
    EXPECT_EQ(partial.title, "Incomplete Song");
    EXPECT_EQ(partial.icon, QMessageBox::Warning);
    EXPECT_EQ(partial.text, QString::fromUtf8("\"cut.it\" did not load completely:\n\n"
                                              "\u2022 The file ends early: at least 6000 bytes are missing.\n"
                                              "\u2022 Sample 1 \"Kick\" is cut short: 1000 of its 4000 frames are in "
                                              "the file.\n\nSaving asks for a new name, so the original file stays "
                                              "as it is."));
    ASSERT_EQ(window->get_song_windows().size(), 1);
    Interface* song = window->get_active_song_window()->get_interface();
    EXPECT_EQ(song->get_tracker()->song.get_sample(0)->data.get_size(), 1000);
    EXPECT_TRUE(song->get_song_path().isEmpty());
    EXPECT_EQ(window->get_active_song_window()->windowTitle(), "Cut Short *");

    struct Case {
        const char* how;
        QString answer;  // the name given in the save dialog; empty: cancelled
    } cases[] = {{"Save, cancelled", ""}, {"Save", QString::fromStdString(dir.file("recovered.it"))}};
    for (const Case& c : cases) {
        QString asked;
        {
            Modal_Answers answers;
            answers.file(c.answer, &asked);
            item("File", "&Save")->trigger();
        }
        EXPECT_EQ(asked, "Save Song") << c.how;
        EXPECT_EQ(Scratch_Dir::read(cut), before) << c.how;
        EXPECT_EQ(song->get_song_path(), c.answer) << c.how;
    }
    EXPECT_EQ(Scratch_Dir::read(dir.file("recovered.it")).substr(0, 4), "IMPM");
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
    Scratch_Dir::write(xm, minimal_xm());
    QString asked;
    ASSERT_EQ(song_window->open_song(QString::fromStdString(xm)), Loader::SUCCESS);
    EXPECT_EQ(song_window->get_song_path(), QString::fromStdString(xm));
    {
        Modal_Answers answers;
        answers.file("", &asked);
        item("File", "&Save")->trigger();
    }
    EXPECT_EQ(asked, "Save Song");
    EXPECT_EQ(Scratch_Dir::read(xm), minimal_xm());
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
    EXPECT_EQ(oops.text, QString("Error saving song!\n%1: File name too long").arg(QString::fromStdString(path)));
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

// Saving to a format that cannot hold everything says what will be lost first; only "Save"
// writes. Both Save As and Save ask.
TEST_F(Main_Window_Test, SavingWhatTheFormatCannotHoldAsksFirst) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Interface* song_window = new_song();
    Tracker_Instance& tracker = *song_window->get_tracker();
    build_test_song(tracker.song);
    tracker.mixer.get_channel_effect_chain(1)->add_effect(new Effect_Amp);
    tracker.song.get_instrument(0)->layers[1].sample_table[40] = 1;
    const std::string it = dir.file("lossy.it");
    const QString expected = QString::fromUtf8(
        "\"lossy.it\" cannot hold everything the song has:\n\n"
        "\u2022 Effects: 1 effect on mixer channel 1 cannot be kept.\n"
        "\u2022 Layers: Impulse Tracker instruments have one layer; layers 2 to 4 of instrument 1 are dropped.\n"
        "\nSave anyway?");

    struct Case {
        const char* how;
        const char* command;
        const char* answer;
        bool written;
    } cases[] = {
        {"Save As, cancelled", "Save &As..", "Cancel", false},
        {"Save As", "Save &As..", "Save", true},
        {"Save, cancelled", "&Save", "Cancel", false},
        {"Save", "&Save", "Save", true},
    };
    Scratch_Dir::write(it, "old bytes");
    for (const Case& c : cases) {
        tracker.song.variables.name = c.how;
        const std::string before = Scratch_Dir::read(it);
        Seen_Box question;
        {
            Modal_Answers answers;
            if (std::string(c.command) == "Save &As..") answers.file(QString::fromStdString(it)).box("Yes");
            answers.box(c.answer, &question);
            item("File", c.command)->trigger();
        }
        EXPECT_EQ(question.title, "Not Everything Fits") << c.how;
        EXPECT_EQ(question.text, expected) << c.how;
        EXPECT_EQ(question.buttons, QStringList({"Save", "Cancel"})) << c.how;
        if (c.written) {
            EXPECT_EQ(song_name_in(it), c.how);
        } else {
            EXPECT_EQ(Scratch_Dir::read(it), before) << c.how;
        }
        EXPECT_EQ(entries_of(dir.path()), std::vector<std::string>{"lossy.it"}) << c.how;
    }
    EXPECT_EQ(song_window->get_song_path(), QString::fromStdString(it));
    // A native file holds everything: no question.
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(dir.file("whole.wm")));
        item("File", "Save &As..")->trigger();
    }
    EXPECT_EQ(song_name_in(dir.file("whole.wm")), tracker.song.variables.name);
}

// A file another program changed since the window loaded or saved it is not written over
// without asking, and Enter keeps the other program's version.
TEST_F(Main_Window_Test, SaveAsksBeforeOverwritingAFileChangedOnDisk) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = write_song(dir, "shared.wm", "Mine");
    MDI_Sub_Window* opened = window->open_song(QString::fromStdString(path));
    ASSERT_NE(opened, nullptr);
    Interface* song_window = opened->get_interface();

    // Unchanged: Save writes without a word.
    song_window->get_tracker()->song.variables.name = "Mine 2";
    item("File", "&Save")->trigger();
    EXPECT_EQ(song_name_in(path), "Mine 2");

    struct Case {
        const char* how;
        std::function<void()> change;
        const char* answer;
        bool overwritten;
    } cases[] = {
        {"rewritten, kept", [&] { write_song(dir, "shared.wm", "Theirs"); }, "Cancel", false},
        {"rewritten, overwritten", [&] { write_song(dir, "shared.wm", "Theirs"); }, "Save", true},
        {"replaced by rename, kept",
         [&] {
             std::string other = write_song(dir, "other.wm", "Theirs");
             std::filesystem::rename(other, path);
         },
         "Cancel", false},
    };
    for (const Case& c : cases) {
        c.change();
        Seen_Box question;
        {
            Modal_Answers answers;
            answers.box(c.answer, &question);
            item("File", "&Save")->trigger();
        }
        EXPECT_EQ(question.title, "Changed on Disk") << c.how;
        EXPECT_EQ(question.text, "\"shared.wm\" was changed on disk by another program since it was loaded or "
                                 "saved.\nOverwrite it?")
            << c.how;
        EXPECT_EQ(question.buttons, QStringList({"Save", "Cancel"})) << c.how;
        EXPECT_EQ(question.default_button, "Cancel") << c.how;
        EXPECT_EQ(song_name_in(path), c.overwritten ? "Mine 2" : "Theirs") << c.how;
    }
    // Once written, the window knows the file again.
    {
        Modal_Answers answers;
        answers.box("Save");
        item("File", "&Save")->trigger();
    }
    song_window->get_tracker()->song.variables.name = "Mine 3";
    item("File", "&Save")->trigger();
    EXPECT_EQ(song_name_in(path), "Mine 3");
}
