#pragma once

#include <QString>
#include <QTabWidget>

#include <vector>

#include "interface__QT/held_notes.h"
#include "tracker/autosave_folder.h"
#include "tracker/song_autosave.h"
#include "tracker/tracker_instance.h"
#include "trackercore/file_stamp.h"

class Instrument_Edit;
class Mutex_Lock;
class QKeyEvent;
class Sample_Edit;

// The song editor: six pages over one tracker instance, which it owns. Keys that belong to
// the whole song window (page keys, play keys, the editing octave, live notes on the sample
// and instrument pages) are taken here before the focused page sees them.
class Interface : public QTabWidget {
    Q_OBJECT
public:
    enum Page { PAGE_PATTERNS, PAGE_SAMPLES, PAGE_INSTRUMENTS, PAGE_ORDERS, PAGE_VARIABLES, PAGE_BUFFERS, PAGE_COUNT };
    static const char* const page_titles[PAGE_COUNT];

    // The refresh interval of every song window, in milliseconds ("repaint_interval").
    static int widget_timer_interval;
    // Whether a new song window's pattern view follows the playing song ("follow_song").
    static bool follow_song_default;
    static constexpr int LIVE_NOTE_VOLUME = 64;

    // A key of the whole song window. The window handles keys by looking them up here and
    // the keys window lists the same entries.
    struct Window_Key {
        Qt::KeyboardModifiers modifiers;  // Shift is free unless an entry names it
        int key;                          // a Qt::Key
        const char* caption;
        void (*run)(Interface& window);
        bool typed;  // a character key: not while typing into a text field
    };
    static const std::vector<Window_Key>& window_keys();
    // The entry a key press stands for, or null.
    static const Window_Key* find_window_key(int key, Qt::KeyboardModifiers modifiers);

    explicit Interface(QWidget* parent = nullptr);
    ~Interface() override;

    Tracker_Instance* get_tracker() { return &tracker; }
    // The variables lock guards what the player and mixer read; the info lock the status.
    void set_locks(Mutex_Lock* variables_lock, Mutex_Lock* info_lock);
    // Pages hold it while they change what the audio thread reads (null: no locking).
    Mutex_Lock* get_variables_lock() const { return variables_lock; }

    Page get_current_page() const { return (Page)currentIndex(); }
    void set_current_page(Page page);
    QWidget* get_page(Page page) const;
    // Puts a page's own widget in place of what is there now (the interface takes it).
    void set_page_widget(Page page, QWidget* widget);

    // The song's name; its file's name or "New Song" while it has none.
    QString get_song_name() const;
    // Where Save writes; empty for a new song and for one that did not load whole.
    const QString& get_song_path() const { return song_path; }

    // Files. Load failures and save failures are reported in a box. A failed load changes
    // nothing; a file that loads only in part says what is missing and leaves the song without
    // a path, so that saving asks for a name and never overwrites the damaged original.
    Loader::Error open_song(const QString& path);
    // Before writing, these ask when the file changed on disk since it was loaded or saved,
    // and when the chosen format cannot hold everything the song has.
    int save_song();
    int save_song_as();
    // The song file as it was when loaded or last saved here; unknown without one.
    const File_Stamp& get_disk_stamp() const { return song_file_stamp; }

    // Autosave: where it goes (null folder or worker: off), and one round of it.
    void set_autosave_place(Autosave_Folder* folder, Autosave_Worker* worker);
    bool autosave_if_changed();
    Song_Autosave& get_autosave() { return autosave; }
    // What the side record says about the song now.
    Autosave_Folder::Record get_autosave_record() const;
    // Opens an autosave an earlier run left behind: the song comes back modified, with the path
    // (and the file's stamp) it had, so Save writes where the musician expects. False, with the
    // loader's error shown, when it cannot be read.
    bool restore_autosave(const std::string& file, const Autosave_Folder::Record& record);

    // Play control.
    void play_song();
    void stop_song();
    void play_pattern();
    void play_from_mark();
    void play_from_order();
    void play_from_cursor();
    void play_next_order();
    void play_previous_order();

    // The "Edit" menu, on every page: the song's history.
    void undo();
    void redo();
    bool is_modified() const { return tracker.history.is_modified(); }

    // The "Pattern" menu.
    void perform_pattern_action(int action);  // an Editor::Pattern_Actions value
    void undo_last_action();
    void volume_amplifier();
    // The pattern view follows the playing row while the editor's flag is on.
    void toggle_cursor_follows_song() { tracker.editor.toggle_follow_song(); }
    bool is_cursor_following_song() const { return tracker.editor.is_follow_song(); }
    void clear_all_patterns();
    void clear_orderlist();

    // The "Sample" menu; copy, cut, paste, delete, load and save belong to the sample page.
    void sample_copy();
    void sample_cut();
    void sample_paste();
    void sample_delete();
    void sample_load();
    void sample_save();
    void sample_make_instrument();
    void sample_clear_unused();
    void sample_clear_default_pannings();

    // The "Instrument" menu; copy, cut, paste, load and save belong to the instrument page.
    void instrument_copy();
    void instrument_cut();
    void instrument_paste();
    void instrument_delete();
    void instrument_delete_with_samples();
    void instrument_load();
    void instrument_save();
    void instrument_recreate_all();
    void instrument_clear_default_pannings();

    // The slots the live keyboard and the menus act on; the sample and instrument pages
    // set them as the selection changes.
    int get_selected_sample() const { return selected_sample; }
    void set_selected_sample(int sample);
    int get_selected_instrument() const { return selected_instrument; }
    void set_selected_instrument(int instrument);

    // What the timer read last: pages draw play positions from it.
    const Player_Data::Play_Status& get_play_status() const { return play_status; }
    const std::vector<Player_Data::VoiceStatusInfo>& get_voice_status() const { return voice_status; }

    void update_pattern_editor() { emit patterns_changed(); }

    // Why a note on this instrument is silent ("Instrument 03 has no sample: ...").
    static QString silent_instrument_text(int instrument);
    // Says so when a note on the instrument would be silent; true when it did.
    bool hint_if_silent(int instrument);

    // What the song window's clock does every interval: read the player's published state
    // and let the pages refresh from it.
    void timer_callback();

signals:
    // After each refresh of the play status; pages run their own timer work on it.
    void timer_tick();
    // The whole song was replaced (a load): every page rebinds.
    void song_replaced();
    void patterns_changed();
    void orders_changed();
    void samples_changed();
    void instruments_changed();
    // set_locks() gave the pages' lock (the program sets it after the pages exist).
    void variables_lock_changed(Mutex_Lock* lock);
    // The song's name was edited: the window takes it as its caption.
    void song_name_changed();
    // Undo or redo changed the song variables or the channel defaults.
    void variables_changed();
    // The song came to differ from its file, or back.
    void modified_changed(bool modified);
    // A word for the song window's status bar.
    void status_hint(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool key_pressed(QKeyEvent* event);
    bool key_released(QKeyEvent* event);
    // Live notes of the sample and instrument pages stop when their key goes up.
    enum Live_Kind { LIVE_SAMPLE, LIVE_INSTRUMENT };
    void stop_live_note(const Held_Notes::Held& held);
    void stop_live_notes();
    void watch_keys_of(QWidget* widget);
    void place_pattern_page();
    void place_order_page();
    void place_variables_page();
    // Runs a change the audio thread could see under the variables lock.
    template <class Change> void locked(Change change);
    int write_song(const QString& path);
    // The pages show what undo or redo changed; the window shows whether the song is modified.
    void history_applied(int parts);
    void check_history();

    Tracker_Instance tracker;
    Held_Notes live_notes;
    QMetaObject::Connection focus_watch;
    Sample_Edit* sample_edit = nullptr;
    Instrument_Edit* instrument_edit = nullptr;
    Mutex_Lock* variables_lock = nullptr;
    // What the variables and channel-defaults editors change is recorded in the history.
    Song_History::Recording_Lock variables_recorder{&tracker.history};
    Song_History::Recording_Lock defaults_recorder{&tracker.history};
    bool shown_modified = false;
    QString song_path;
    File_Stamp song_file_stamp;  // the song's file as this window last read or wrote it
    QString loaded_from;         // a file that did not load whole: it names the window only
    Song_Autosave autosave;
    int selected_sample = 0;
    int selected_instrument = 0;
    Player_Data::Play_Status play_status;
    std::vector<Player_Data::VoiceStatusInfo> voice_status;
};
