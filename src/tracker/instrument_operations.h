#pragma once

#include <string>
#include <vector>

#include "trackercore/instrument.h"
#include "trackercore/loader.h"

class Tracker_Instance;

// The whole-slot operations of the instrument page, free of widgets: copy, cut, paste,
// delete (alone or with every sample its layers name), load and save. Whatever the audio
// thread could be reading is changed under the player's variables lock, and the voices
// playing a sample are erased before its data is freed.
class Instrument_Operations {
public:
    // One for the whole process, so an instrument copied in one song window pastes into another.
    static Instrument clipboard;

    explicit Instrument_Operations(Tracker_Instance& tracker) : tracker(tracker) {}

    // Each returns false, changing nothing, for a slot that does not exist.
    bool copy_instrument(int slot);
    bool cut_instrument(int slot);
    bool paste_instrument(int slot);
    bool delete_instrument(int slot);
    bool delete_instrument_with_samples(int slot);

    // Has a name, or a layer names a sample that is in use.
    bool is_used(int slot) const;
    // The in-use sample slots any of the four layers names, each once, lowest first.
    std::vector<int> samples_named_by(int slot) const;

    // The slot is left as it was when the file does not load.
    Loader::Error load_instrument(const std::string& file, int slot);
    // 0 written, -1 failed (the registry says why), -2 no saver claims the name. A failed
    // save leaves no partial file and an existing one untouched.
    int save_instrument(const std::string& file, int slot);

private:
    bool reset_slot(int slot);

    Tracker_Instance& tracker;
};
