#pragma once

#include "common/interface__QT/audio/mixer_effects_manager.h"
#include "tracker/song_history.h"

class Interface;

// The "Buffers" page of a song window: the mixer routing page bound to the window's song,
// its lock and its timer, and rebound when another song is loaded.
class Buffers_Page : public Mixer_Effects_Manager {
    Q_OBJECT
public:
    explicit Buffers_Page(Interface* interface);

private:
    void song_replaced();
    void timer_tick();

    Interface* interface;
    // The buses and effect chains are saved with the song but not undone: every edit here
    // only marks the song modified.
    Song_History::Recording_Lock edit_marker;
};
