#pragma once

#include <QKeySequence>
#include <QWidget>

#include <memory>
#include <vector>

#include "tracker/sample_edit_player_link.h"
#include "tracker/sample_editor.h"
#include "tracker/sample_slot_operations.h"
#include "tracker/song_history.h"
#include "trackercore/sample.h"

class Interface;
class Property_List_Editor;
class QAction;
class QPushButton;
class QSplitter;
class Sample_Edit_Clipboard;
class Sample_Edit_Effects;
class Sample_Editor_Format;
class Sample_List;
class Sample_Viewer;
class Sample_Viewer_Zoom;

// The "Samples" page: the slot list on the left; on the right the selected sample's waveform
// under tabs with its format and loop, its playback defaults, and the edit effects with the
// frame clipboard. The list's selection is the song window's selected sample (the live keys
// and the menus use it). The whole-slot operations of the "Sample" menu act on it.
class Sample_Edit : public QWidget {
    Q_OBJECT
public:
    // Shared by every song window.
    static Sample sample_clipboard;

    // The slot operations of the list's context menu, with the keys the list takes for them.
    struct List_Action {
        const char* text;
        QKeySequence key;
        void (Sample_Edit::*slot)();
    };
    static const std::vector<List_Action>& list_actions();

    explicit Sample_Edit(Interface* interface, QWidget* parent = nullptr);
    ~Sample_Edit() override;

    void copy_sample();
    void cut_sample();
    void paste_sample();
    void delete_sample();
    void load_sample();
    void save_sample();
    // Loads files into slot, slot + 1, ...; tells in one box which could not be loaded.
    void load_files(int slot, const QStringList& paths);

    // Selects the slot in the list, and with it everywhere.
    void select_sample(int slot);
    void set_selected_sample(int slot);
    int get_selected_sample() const;
    // The song's samples changed: the list and the selected sample are shown again.
    void update_samples();
    // Binds the panels to the selected sample.
    void update_selected_sample();
    void destructive_operation_begin_cbk();
    void destructive_operation_end_cbk();

    Sample_List* get_list() const { return list; }
    Sample_Viewer* get_viewer() const { return viewer; }
    Sample_Viewer_Zoom* get_zoom_bar() const { return zoom_bar; }
    Sample_Editor_Format* get_format_panel() const { return format; }
    Sample_Edit_Effects* get_effects_panel() const { return effects; }
    Sample_Edit_Clipboard* get_clipboard_panel() const { return clipboard; }
    Sample_Editor* get_sample_editor() { return &editor; }

signals:
    void selected_sample_signal(int slot);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void song_replaced();
    void timer_callback();
    void slot_chosen(int slot);
    void frames_changed();
    void apply_lock();
    Sample* selected() const;
    void tell_load_error(const QString& file, Loader::Error error);

    Interface* interface;
    Sample_Edit_Player_Link players;
    Sample_Editor editor;
    Sample_Slot_Operations operations;
    // Edits of the format panel and the defaults become steps on the selected sample.
    Song_History::Recording_Lock settings_recorder;
    bool updating = false;
    bool shown_once = false;
    std::vector<int> positions;     // reused by every timer tick
    std::vector<bool> playing;      // likewise, one flag per slot

    Sample_List* list = nullptr;
    QSplitter* right = nullptr;
    QPushButton* load_button = nullptr;
    QPushButton* save_button = nullptr;
    Sample_Editor_Format* format = nullptr;
    Property_List_Editor* defaults = nullptr;
    Sample_Edit_Effects* effects = nullptr;
    Sample_Edit_Clipboard* clipboard = nullptr;
    Sample_Viewer* viewer = nullptr;
    Sample_Viewer_Zoom* zoom_bar = nullptr;
};
