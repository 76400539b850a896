#include <QApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "common/components/audio/sound_driver_manager.h"
#include "interface__QT/mdi_main_window.h"
#include "interface__QT/settings_window.h"
#include "tracker/autosave_folder.h"
#include "tracker/program_entry.h"

namespace {

// A desktop logging out, or Ctrl-C in a terminal: leave the event loop as Quit does, so the
// settings are still stored. The handler only sets a flag; a timer looks at it.
std::atomic<bool> termination_requested{false};

void request_termination(int) { termination_requested = true; }

constexpr int TERMINATION_CHECK_MS = 100;

}  // namespace

// The locks, drivers, resamplers, effect sources and key bindings come first and go last;
// the application and the main window live inside them. Qt takes its own options out of
// the argument list before the program entry reads it.
int main(int argc, char** argv) {
    MDI_Main_Window* window = nullptr;
    QApplication* application = nullptr;
    Program_Hooks hooks;
    hooks.open_song = [&](const std::string& path) { window->open_song(QString::fromLocal8Bit(path.c_str())); };
    hooks.load_settings = [&](ConfigHandler* config) { window->get_settings_window()->load_settings(config); };
    hooks.save_settings = [&](ConfigHandler* config) { window->get_settings_window()->save_settings(config); };
    hooks.show_main_window = [&] {
        window->show();
        // Once the event loop runs: the window is drawn before the question comes up.
        QTimer::singleShot(0, window, &MDI_Main_Window::offer_recovery);
    };
    hooks.run_event_loop = [&] { return application->exec(); };
    Program_Entry entry(hooks);

    QApplication app(argc, argv);
    application = &app;
    QApplication::setApplicationName("Wendmoor");
    QApplication::setApplicationVersion(WENDMOOR_VERSION);
    QApplication::setDesktopFileName("wendmoor");
    std::signal(SIGTERM, request_termination);
    std::signal(SIGINT, request_termination);
    QTimer termination_check;
    QObject::connect(&termination_check, &QTimer::timeout, [] {
        if (termination_requested) QApplication::exit(0);
    });
    termination_check.start(TERMINATION_CHECK_MS);

    MDI_Main_Window main_window;
    window = &main_window;
    main_window.set_sound_driver_manager(&driver_manager);
    main_window.set_info_lock(entry.get_info_lock());
    main_window.start_autosave(Autosave_Folder::default_path());
    // Seconds instead of the stored minutes, for tests that cannot wait minutes.
    if (const char* seconds = std::getenv("WENDMOOR_AUTOSAVE_SECONDS")) main_window.set_autosave_seconds(std::atoi(seconds));
    return entry.run(argc, argv);
}
