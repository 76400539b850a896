#pragma once

#include <QList>
#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <string>

class Autosave_Folder;
class Autosave_Worker;
class Interface;
class Keys_Window;
class MDI_Sub_Window;
class Mutex_Lock;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QSpinBox;
class QToolBar;
class Settings_Window;
class Sound_Driver_Manager;

// The application window: a workspace of song windows, the menus and toolbars that act on
// the active one, the editing octave and the settings window.
class MDI_Main_Window : public QMainWindow {
    Q_OBJECT
public:
    // The menus' item ids, kept as each action's data.
    enum Pattern_Menu_Id {
        PATTERN_UNDO = 100,
        PATTERN_VOLUME_AMPLIFIER = 101,
        PATTERN_TOGGLE_FOLLOW = 102,
        PATTERN_CLEAR_ALL = 103,
        PATTERN_CLEAR_ORDERLIST = 104,
    };
    enum Sample_Menu_Id {
        SAMPLE_COPY,
        SAMPLE_CUT,
        SAMPLE_PASTE,
        SAMPLE_DELETE,
        SAMPLE_LOAD,
        SAMPLE_SAVE,
        SAMPLE_MAKE_INSTRUMENT,
        SAMPLE_CLEAR_UNUSED,
        SAMPLE_CLEAR_DEFAULT_PANNINGS,
    };
    enum Instrument_Menu_Id {
        INSTRUMENT_COPY,
        INSTRUMENT_CUT,
        INSTRUMENT_PASTE,
        INSTRUMENT_DELETE,
        INSTRUMENT_DELETE_WITH_SAMPLES,
        INSTRUMENT_LOAD,
        INSTRUMENT_SAVE,
        INSTRUMENT_RECREATE_ALL,
        INSTRUMENT_CLEAR_DEFAULT_PANNINGS,
    };
    enum Settings_Menu_Id { SHOW_PLAY_TOOLBAR, SHOW_OCTAVE_TOOLBAR, SHOW_FILE_TOOLBAR, CONFIGURE };

    static constexpr const char* PRODUCT_NAME = "Wendmoor";
    static constexpr const char* SONG_FILTER = "Module Files (*.wm *.WM *.it *.IT *.xm *.XM *.s3m *.S3M *.mod *.MOD)";
    // The main window's refresh interval, in milliseconds.
    static int widget_timer_interval;

    explicit MDI_Main_Window(QWidget* parent = nullptr);
    ~MDI_Main_Window() override;

    void set_sound_driver_manager(Sound_Driver_Manager* manager);
    void set_info_lock(Mutex_Lock* lock) { info_lock = lock; }
    Settings_Window* get_settings_window() const { return settings_window; }

    // A new song window with the song read from the file, stopped; none (null) when the file
    // does not load. A song already open (the same file by its canonical path) is not read
    // again: its window comes to the front.
    MDI_Sub_Window* open_song(const QString& path);
    // The window whose song is this file, or null.
    MDI_Sub_Window* find_song_window(const QString& path) const;
    // Where the song window opened with `open_windows` others in the workspace goes: cascaded
    // by `step` and sized so that the whole window lies inside the workspace while it can.
    static QRect song_window_geometry(const QSize& workspace, int open_windows, int step, const QSize& minimum);
    static constexpr int CASCADE_STEPS = 4;

    MDI_Sub_Window* get_active_song_window() const;
    QList<MDI_Sub_Window*> get_song_windows() const;
    QMdiArea* get_workspace() const { return workspace; }
    QMenu* get_menu(const QString& title) const;
    QMenu* get_recent_songs_menu() const { return recent_songs_menu; }
    QToolBar* get_play_toolbar() const { return play_toolbar; }
    QToolBar* get_octave_toolbar() const { return octave_toolbar; }
    QToolBar* get_file_toolbar() const { return file_toolbar; }
    QSpinBox* get_octave_spin_box() const { return octave_spin_box; }
    // The active song's edit step (rows the cursor moves after an entry), beside the octave.
    QSpinBox* get_edit_step_spin_box() const { return edit_step_spin_box; }
    Keys_Window* get_keys_window() const { return keys_window; }
    // Why the sound driver is not running; empty while it runs.
    QString get_driver_problem() const { return driver_problem; }

    // Autosave: every "autosave_minutes" (0: off) each modified song is saved into the data
    // folder, and a clean close removes it again.
    static constexpr int DEFAULT_AUTOSAVE_MINUTES = 2;
    static int autosave_minutes;
    static constexpr const char* RECOVERY_TITLE = "Recover Songs";
    // Starts autosaving into the folder; open songs and songs opened later take part.
    void start_autosave(const std::string& folder);
    // An interval in seconds in place of the minutes (tests); 0 goes back to the minutes.
    void set_autosave_seconds(int seconds);
    // One round: each modified song whose history moved on since its last autosave is
    // snapshotted and handed to the worker. Returns how many were.
    int autosave_now();
    Autosave_Folder* get_autosave_folder() const { return autosave_folder.get(); }
    Autosave_Worker* get_autosave_worker() const { return autosave_worker.get(); }
    int get_autosave_interval_ms() const { return autosave_interval_ms; }
    // At start: one question about the autosaves that runs which did not end cleanly left
    // behind (Restore / Discard / Keep for later).
    void offer_recovery();

    // File commands.
    MDI_Sub_Window* new_doc();
    void load();
    void save();
    void save_as();
    void close_window();
    // Song > "Stop All Songs": every song window stops, not only the active one.
    void stop_all_songs();
    // Help > "Keys".
    void show_keys();

    // What the 50 ms timer does: status lines, octave, captions, menus.
    void timer_callback();
    static QString get_product_caption();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A song window in the workspace, not shown yet; show_song_window shows and activates it.
    MDI_Sub_Window* create_song_window();
    void show_song_window(MDI_Sub_Window* song_window);
    void create_toolbars();
    void create_menus();
    void create_file_menu();
    void create_edit_menu();
    void update_edit_menu();
    void create_pattern_menu();
    void create_sample_menu();
    void create_instrument_menu();
    void create_song_menu();
    void rebuild_windows_menu();
    void rebuild_recent_songs_menu();
    void rebuild_settings_menu();
    void settings_menu_activated(int id);
    void show_effect_list();
    void show_about();
    void default_octave_changed_cbk(int octave);
    void edit_step_changed_cbk(int step);
    // Shows each "Pattern" menu item's key as the pattern view has it, without taking the key.
    void show_pattern_keys_in_menu();
    void update_driver_status();
    void update_menus_for_page();
    void update_autosave_timer();
    // A workspace that shrank (the main window resized, maximized by the window manager after
    // the songs opened) keeps the song windows inside it while their least size allows.
    void fit_song_windows();
    // Runs the command on the active song's editor; nothing without a song window.
    template <class Command> void on_active(Command command);
    QAction* add_item(QMenu* menu, const QString& text, int id);

    QMdiArea* workspace;
    QToolBar* file_toolbar = nullptr;
    QToolBar* play_toolbar = nullptr;
    QToolBar* octave_toolbar = nullptr;
    QSpinBox* octave_spin_box = nullptr;
    QSpinBox* edit_step_spin_box = nullptr;
    QMenu* pattern_menu = nullptr;
    QMenu* sample_menu = nullptr;
    QMenu* instrument_menu = nullptr;
    QMenu* windows_menu = nullptr;
    QMenu* settings_menu = nullptr;
    QMenu* recent_songs_menu = nullptr;
    QAction* new_action = nullptr;
    QAction* load_action = nullptr;
    QAction* save_action = nullptr;
    QAction* save_as_action = nullptr;
    QAction* close_action = nullptr;
    QAction* quit_action = nullptr;
    QAction* undo_action = nullptr;
    QAction* redo_action = nullptr;
    QAction* previous_order_action = nullptr;
    QAction* play_song_action = nullptr;
    QAction* stop_action = nullptr;
    QAction* next_order_action = nullptr;
    QAction* play_pattern_action = nullptr;
    QAction* play_from_cursor_action = nullptr;
    QAction* follow_song_action = nullptr;
    QAction* stop_all_action = nullptr;
    QAction* keys_action = nullptr;
    Keys_Window* keys_window = nullptr;
    Settings_Window* settings_window;
    Sound_Driver_Manager* sound_driver_manager = nullptr;
    Mutex_Lock* info_lock = nullptr;
    QTimer timer;
    bool updating = false;  // the timer is setting a control, not the user
    int driver_check_countdown = 0;
    QString driver_problem;
    QLabel* driver_status = nullptr;
    std::unique_ptr<Autosave_Folder> autosave_folder;
    std::unique_ptr<Autosave_Worker> autosave_worker;  // after the folder: it finishes first
    QTimer autosave_timer;
    int autosave_seconds = 0;
    int autosave_interval_ms = 0;  // in force; 0 while off
};
