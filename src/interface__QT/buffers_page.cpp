#include "tracker/tracker_instance.h"

#include "interface__QT/buffers_page.h"

#include "interface__QT/interface.h"

Buffers_Page::Buffers_Page(Interface* interface)
    : Mixer_Effects_Manager(interface),
      interface(interface),
      edit_marker(&interface->get_tracker()->history, interface->get_variables_lock()) {
    setObjectName("buffers_page");
    edit_marker.set_marks_modified(true);
    set_lock(&edit_marker);
    set_mixer(&interface->get_tracker()->mixer);
    connect(interface, &Interface::variables_lock_changed, this,
            [this](Mutex_Lock* lock) { edit_marker.set_lock(lock); });
    connect(interface, &Interface::song_replaced, this, &Buffers_Page::song_replaced);
    connect(interface, &Interface::timer_tick, this, &Buffers_Page::timer_tick);
}

void Buffers_Page::song_replaced() {
    // The load emptied the mixer and built it again: no chain, effect or buffer shown is left.
    set_mixer(&interface->get_tracker()->mixer);
}

void Buffers_Page::timer_tick() {
    if (isVisible()) update_meters();
}
