#pragma once

#include <QWidget>

#include <array>

#include "trackercore/pattern.h"

class Editor;
class Mutex_Lock;
class OrderList_Edit;
class Property_Editor_Bool;
class Property_Editor_Int;
class QGridLayout;
class QLabel;
class QScrollBar;
class Song;

// The "Order && Defaults" page: the order list, and the pan, surround, volume and mute each
// channel starts a song with, edited straight in the song through property editors.
class Order_And_Defaults_Editor : public QWidget {
    Q_OBJECT
public:
    // Timer calls between two readings of the mute switches, which the pattern view's mute
    // and solo change behind this page's back.
    static constexpr int MUTE_REFRESH_CALLS = 50;

    // One line per channel under "Initial channel defaults:".
    class Defaults : public QWidget {
    public:
        struct Entry {
            QLabel* caption = nullptr;  // "Channel N", counting from 1 as the pattern view does
            Property_Editor_Int* pan = nullptr;
            Property_Editor_Bool* surround = nullptr;
            Property_Editor_Int* volume = nullptr;
            Property_Editor_Bool* mute = nullptr;
        };

        explicit Defaults(QWidget* parent = nullptr);
        // Binds every entry to the song's channel states (again after a load).
        void set_song(Song* song);
        void set_lock(Mutex_Lock* lock);
        void refresh_mutes();
        // Null before the first song.
        const Entry* get_entry(int channel) const;

    private:
        void build(Song* song);
        void name_entry(int channel);

        QGridLayout* grid;
        std::array<Entry, Pattern::CHANNELS> entries;
        bool built = false;
        Mutex_Lock* lock = nullptr;
    };

    explicit Order_And_Defaults_Editor(QWidget* parent = nullptr);

    void set_song(Song* song);
    void set_editor(Editor* editor);
    void set_variables_lock(Mutex_Lock* lock);
    // On every song-window timer tick.
    void timer_callback();

    OrderList_Edit* get_orderlist() const { return orderlist; }
    Defaults* get_defaults() const { return defaults; }

private:
    void refresh_scroll_bar();

    Song* song = nullptr;
    OrderList_Edit* orderlist;
    QScrollBar* orderlist_scroll;
    Defaults* defaults;
    int timer_calls = 0;
    bool updating = false;
};
