#pragma once

#include <QMainWindow>
#include <QTimer>

#include "trackercore/loader.h"

class Interface;
class QLabel;
class Mutex_Lock;
class Sound_Driver_Manager;

// One song in the workspace: its editor (which owns the song's tracker instance) and a
// status bar with what the song's player is doing.
class MDI_Sub_Window : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int STATUS_TEXT_SIZE = 160;

    explicit MDI_Sub_Window(QWidget* parent = nullptr);
    ~MDI_Sub_Window() override;

    Interface* get_interface() const { return interface; }
    // Hands the song's mixer to the manager, which plays it with every other open song.
    void set_sound_driver_manager(Sound_Driver_Manager* manager);
    void set_info_lock(Mutex_Lock* lock);

    // The load's result; a failure has been reported and changed nothing.
    Loader::Error open_song(const QString& path);
    // The song's name, and " *" while it has changes not saved.
    QString get_caption() const;
    void update_caption();
    // Refreshes the status line from the player's published state; cheap when nothing changed.
    void update_display_box();
    const char* get_status_text() const { return status_text; }
    // A word to the user beside the status line (why a note is silent, what a load made);
    // it goes away after HINT_MS.
    static constexpr int HINT_MS = 8000;
    void show_hint(const QString& text);
    QString get_hint_text() const;

    // The status line for a play state (buffer of STATUS_TEXT_SIZE characters).
    static void format_status(char* buffer, int play_mode, int order, int used_orders, int pattern, int row,
                              int pattern_length, int voices, int buffers);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Interface* interface;
    Sound_Driver_Manager* sound_driver_manager = nullptr;
    Mutex_Lock* info_lock = nullptr;
    char status_text[STATUS_TEXT_SIZE] = "";
    QLabel* hint = nullptr;
    QTimer hint_timer;
};
