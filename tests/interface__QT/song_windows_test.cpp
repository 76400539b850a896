// Song windows in the workspace: where new ones go and that each page fits its window, the
// recent songs of the File menu, the folder the file dialogs open in, and a song opened twice.
// The geometry test also runs on a 1920x1080 screen at scale factors 1 and 2 (tests/CMakeLists.txt).
#include <QCheckBox>
#include <QFileDialog>
#include <QScreen>
#include <QStatusBar>

#include <cstdlib>
#include <filesystem>

#include "interface__QT/gui_test_support.h"
#include "interface__QT/interface_settings.h"
#include "interface__QT/settings_window.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/config_handler.h"
#include "tracker/file_history.h"

namespace fs = std::filesystem;

namespace {

std::string write_song(const Scratch_Dir& dir, const std::string& file) {
    Tracker_Instance ti;
    build_test_song(ti.song);
    ti.song.variables.name = file;
    std::string path = dir.file(file);
    EXPECT_EQ(ti.file_format_manager.save_module(path.c_str()), 0);
    return path;
}

QStringList recent_menu_paths(MDI_Main_Window& window) {
    QMenu* menu = window.get_recent_songs_menu();
    emit menu->aboutToShow();
    QStringList paths;
    for (QAction* action : menu->actions())
        if (action->data().isValid()) paths << action->data().toString();
    return paths;
}

QString canonical(const std::string& path) { return QString::fromStdString(fs::canonical(path).string()); }

}  // namespace

// Any workspace, any number of windows: a window lies inside when the workspace can hold its
// least size, and each cascaded one leaves the title bars behind it in view.
TEST(Song_Window_Geometry, CascadeStaysInsideTheWorkspace) {
    const struct {
        QSize workspace;
        int step;
        QSize minimum;
    } cases[] = {
        {{1436, 700}, 24, {300, 200}},
        {{940, 380}, 24, {300, 200}},   // a 1920x1080 screen at scale factor 2
        {{500, 260}, 24, {300, 200}},
        {{200, 150}, 24, {300, 200}},   // smaller than the window can be
    };
    for (const auto& c : cases) {
        const QRect area(QPoint(0, 0), c.workspace);
        QList<QPoint> corners;
        for (int open = 0; open < 6; open++) {
            QRect r = MDI_Main_Window::song_window_geometry(c.workspace, open, c.step, c.minimum);
            SCOPED_TRACE(testing::Message() << c.workspace.width() << "x" << c.workspace.height() << ", window " << open + 1);
            EXPECT_GE(r.width(), c.minimum.width());
            EXPECT_GE(r.height(), c.minimum.height());
            if (c.minimum.width() <= c.workspace.width() && c.minimum.height() <= c.workspace.height()) {
                EXPECT_TRUE(area.contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
            } else {
                EXPECT_EQ(r.topLeft(), QPoint(0, 0));
            }
            if (open == 0) {
                EXPECT_EQ(r.size(), c.workspace.expandedTo(c.minimum));
            }
            if (open >= 1 && open <= MDI_Main_Window::CASCADE_STEPS && area.contains(r)) {
                EXPECT_FALSE(corners.contains(r.topLeft())) << "covers the title bar of an earlier window";
            }
            corners << r.topLeft();
        }
    }
}

// The real windows on the screen the test runs on: five song windows lie inside the
// workspace, and in the first one every page gets at least the room its controls need.
TEST_F(Main_Window_Test, SongWindowsFitTheWorkspaceAndEveryPageFitsItsWindow) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    if (const char* expected = std::getenv("WENDMOOR_EXPECT_SCREEN")) {
        QString size = QString("%1x%2").arg(screen->size().width()).arg(screen->size().height());
        ASSERT_EQ(size, QString(expected)) << "the screen this run was set up for";
    }
    QApplication::processEvents();
    QRect frame_geometry = window->frameGeometry(), available = screen->availableGeometry();
    EXPECT_TRUE(available.contains(frame_geometry))
        << "the main window at " << frame_geometry.x() << "," << frame_geometry.y() << " " << frame_geometry.width() << "x"
        << frame_geometry.height() << " is not inside " << available.width() << "x" << available.height();

    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    MDI_Sub_Window* first = window->open_song(QString::fromStdString(write_song(dir, "first.wm")));
    for (int i = 1; i < 5; i++) window->new_doc();
    QApplication::processEvents();
    QList<QMdiSubWindow*> frames = window->get_workspace()->subWindowList();
    ASSERT_EQ(frames.size(), 5);
    auto expect_inside = [&](const char* when) {
        const QRect workspace = window->get_workspace()->viewport()->rect();
        for (int i = 0; i < frames.size(); i++) {
            QRect frame = frames[i]->geometry();
            EXPECT_TRUE(workspace.contains(frame)) << when << ": window " << i + 1 << " at " << frame.x() << ","
                                                   << frame.y() << " " << frame.width() << "x" << frame.height()
                                                   << " in " << workspace.width() << "x" << workspace.height();
        }
    };
    expect_inside("opened");
    // The main window made smaller (by the user, or by a window manager maximizing it late).
    window->setWindowState(Qt::WindowNoState);
    window->resize(window->size() - QSize(40, 30));
    QApplication::processEvents();
    expect_inside("main window smaller");

    Interface* interface = first->get_interface();
    for (int page = 0; page < Interface::PAGE_COUNT; page++) {
        interface->set_current_page((Interface::Page)page);
        QApplication::processEvents();
        QWidget* shown = interface->currentWidget();
        QSize need = shown->minimumSizeHint();
        EXPECT_GE(shown->width(), need.width()) << Interface::page_titles[page];
        EXPECT_GE(shown->height(), need.height()) << Interface::page_titles[page];
    }
}

// Songs opened and saved go first in File > Recent Songs, ten at most, without files that are
// gone; the list is kept in the settings file. A song already open is not opened twice.
TEST_F(Main_Window_Test, RecentSongsAndOpeningASongTwice) {
    File_History& history = File_History::get_singleton_instance();
    history.clear_recent_songs();
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::vector<std::string> songs;
    for (int i = 0; i < 12; i++) songs.push_back(write_song(dir, "song" + std::to_string(i) + ".wm"));
    EXPECT_TRUE(recent_menu_paths(*window).isEmpty());

    for (int i = 0; i < 11; i++) window->open_song(QString::fromStdString(songs[i]));
    ASSERT_EQ(window->get_song_windows().size(), 11);
    QStringList expected;
    for (int i = 10; i >= 1; i--) expected << canonical(songs[i]);
    EXPECT_EQ(recent_menu_paths(*window), expected);

    // Opened again, by another name of the same file: its window comes up, no second copy.
    MDI_Sub_Window* third = window->get_song_windows()[2];
    MDI_Sub_Window* again = window->open_song(QString::fromStdString(dir.path() + "/./song2.wm"));
    EXPECT_EQ(again, third);
    EXPECT_EQ(window->get_active_song_window(), third);
    EXPECT_EQ(window->get_song_windows().size(), 11);
    EXPECT_EQ(recent_menu_paths(*window).first(), canonical(songs[10])) << "not opened, not moved";

    // The recent songs menu opens its entries the same way.
    QAction* entry = window->get_recent_songs_menu()->actions().at(1);
    ASSERT_EQ(entry->data().toString(), canonical(songs[9]));
    entry->trigger();
    EXPECT_EQ(window->get_active_song_window(), window->get_song_windows()[9]);

    // Saved under a new name: that one goes first. A deleted file leaves the list.
    Interface* saved = window->get_song_windows()[0]->get_interface();
    const std::string renamed = dir.file("renamed.wm");
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(renamed));
        saved->save_song_as();
    }
    fs::remove(songs[10]);
    expected = QStringList{canonical(renamed)};
    for (int i = 9; i >= 2; i--) expected << canonical(songs[i]);
    EXPECT_EQ(recent_menu_paths(*window), expected);

    // Through the settings file, as at exit and at the next start.
    ConfigHandler written;
    window->get_settings_window()->save_settings(&written);
    const std::string settings = dir.file("settings");
    ASSERT_TRUE(written.save_to_text(settings));
    history.clear_recent_songs();
    ConfigHandler read;
    ASSERT_TRUE(read.load_from_text(settings));
    window->get_settings_window()->load_settings(&read);
    EXPECT_EQ(recent_menu_paths(*window), expected);

    QAction* clear = window->get_recent_songs_menu()->actions().last();
    ASSERT_EQ(clear->text(), "Clear Recent Songs");
    clear->trigger();
    EXPECT_TRUE(recent_menu_paths(*window).isEmpty());
}

// Each kind of file dialog opens where its last one was left, also after a restart; the
// follow-song switch of new windows is kept beside the other interface preferences.
TEST_F(Main_Window_Test, FileDialogsOpenInTheirLastFolderAcrossRuns) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    fs::create_directories(dir.file("songs"));
    fs::create_directories(dir.file("samples"));
    const std::string song = write_song(dir, "songs/a.wm");
    Interface* interface = window->new_doc()->get_interface();
    build_test_song(tracker_of(interface)->song);
    const QString song_folder = canonical(dir.file("songs")), sample_folder = canonical(dir.file("samples"));

    // A sample saved as WAV loses its loop and settings: that question is answered "Save".
    auto folder_of_next_dialog = [&](const std::function<void()>& open, const QString& choose,
                                     bool losses_asked = false) {
        QString seen;
        Modal_Answers answers;
        answers.then([&seen, choose](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            ASSERT_NE(dialog, nullptr);
            seen = QFileInfo(dialog->directory().absolutePath()).canonicalFilePath();
            if (choose.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(choose);
            static_cast<QDialog*>(dialog)->accept();
        });
        if (losses_asked) answers.box("Save");
        open();
        return seen;
    };
    auto load_song = [&] { window->load(); };
    auto save_sample = [&] {
        interface->set_current_page(Interface::PAGE_SAMPLES);
        interface->set_selected_sample(0);
        interface->sample_save();
    };

    folder_of_next_dialog(load_song, QString::fromStdString(song));
    EXPECT_EQ(folder_of_next_dialog(load_song, ""), song_folder);
    folder_of_next_dialog(save_sample, QString::fromStdString(dir.file("samples/tone.wav")), true);
    EXPECT_TRUE(fs::exists(dir.file("samples/tone.wav")));
    EXPECT_EQ(folder_of_next_dialog(save_sample, ""), sample_folder);
    EXPECT_EQ(folder_of_next_dialog(load_song, ""), song_folder) << "each kind keeps its own folder";

    Settings_Window* settings = window->get_settings_window();
    QCheckBox* follow = settings->get_interface_settings()->get_follow_song_box();
    EXPECT_TRUE(follow->isChecked());
    follow->click();
    EXPECT_FALSE(window->new_doc()->get_interface()->is_cursor_following_song());

    ConfigHandler written;
    settings->save_settings(&written);
    File_History::get_singleton_instance().set_last_folder(File_History::SONGS, dir.path());
    Interface::follow_song_default = true;
    settings->load_settings(&written);
    EXPECT_EQ(folder_of_next_dialog(load_song, ""), song_folder);
    EXPECT_FALSE(follow->isChecked());
    EXPECT_FALSE(Interface::follow_song_default);
    Interface::follow_song_default = true;
}
