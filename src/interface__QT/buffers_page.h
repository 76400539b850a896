#pragma once

#include "common/interface__QT/audio/mixer_effects_manager.h"

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
};
