#pragma once

#include <utility>
#include <vector>

// The notes that computer keys hold down, so that a key's release stops the very note its
// press started, whatever the octave or the page is by then.
class Held_Notes {
public:
    struct Held {
        int key;    // the Qt key code
        int where;  // the channel, or which kind of preview, the note plays on
        int note;
    };

    // A key pressed again (auto-repeat) holds only its latest notes.
    void forget(int key) { std::erase_if(held, [key](const Held& h) { return h.key == key; }); }
    void hold(int key, int where, int note) { held.push_back({key, where, note}); }
    // Takes the notes the key holds out of the list.
    std::vector<Held> release(int key) {
        std::vector<Held> released;
        for (const Held& h : held)
            if (h.key == key) released.push_back(h);
        forget(key);
        return released;
    }
    std::vector<Held> release_all() { return std::exchange(held, {}); }
    bool empty() const { return held.empty(); }

private:
    std::vector<Held> held;
};
