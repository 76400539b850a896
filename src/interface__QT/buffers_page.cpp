#include "tracker/tracker_instance.h"

#include "interface__QT/buffers_page.h"

#include "interface__QT/interface.h"

Buffers_Page::Buffers_Page(Interface* interface) : Mixer_Effects_Manager(interface), interface(interface) {
    setObjectName("buffers_page");
    set_lock(interface->get_variables_lock());
    set_mixer(&interface->get_tracker()->mixer);
    connect(interface, &Interface::variables_lock_changed, this, [this](Mutex_Lock* lock) { set_lock(lock); });
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
