#pragma once

#include <QWidget>

class Mutex_Lock;
class Pattern_Edit;
class QListWidget;
class QPushButton;
class QScrollBar;
class QSpinBox;
class Tracker_Instance;

// The "Patterns" page: the pattern view with its scroll bars, the pattern, order and
// instrument controls, the length button and the undo history.
class Pattern_Edit_Widget : public QWidget {
    Q_OBJECT
public:
    explicit Pattern_Edit_Widget(QWidget* parent = nullptr);
    Pattern_Edit_Widget(Tracker_Instance* tracker, Mutex_Lock* variables_lock, QWidget* parent = nullptr);

    // Binds the page to a song's editor, song, player and live keyboard (again after a load).
    void set_tracker(Tracker_Instance* tracker);
    // The lock the audio thread holds while it plays (the player's variables lock).
    void set_variables_lock(Mutex_Lock* lock);

    Pattern_Edit* get_pattern_edit() const { return pattern_edit; }

    // Driven by the song window's timer: marks the playing row and refreshes the controls.
    void timer_callback();
    // After the editor was used from outside the page (menus, loads).
    void refresh();

    // Gives `length` rows to the edited pattern and the count - 1 patterns after it.
    void resize_patterns(int length, int count);
    // Undoes the history entry chosen in the list, or the newest one.
    void undo_selected();

private:
    void build();
    void refresh_controls();
    void refresh_undo_list();
    void refresh_scroll_bars();
    void pattern_changed(int pattern);
    void order_changed(int order);
    void instrument_changed(int number);
    void show_instrument(int instrument);
    void ask_resize();

    Tracker_Instance* tracker = nullptr;
    Mutex_Lock* variables_lock = nullptr;
    bool updating = false;  // controls are being set from the editor, not by the user

    Pattern_Edit* pattern_edit = nullptr;
    QSpinBox* pattern_spin = nullptr;
    QSpinBox* order_spin = nullptr;
    QSpinBox* instrument_spin = nullptr;
    QPushButton* length_button = nullptr;
    QListWidget* undo_list = nullptr;
    QPushButton* undo_button = nullptr;
    QScrollBar* row_scroll = nullptr;
    QScrollBar* column_scroll = nullptr;
};
