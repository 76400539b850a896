#include "tracker/instrument_operations.h"

#include <cstdio>

#include "tracker/tracker_instance.h"

Instrument Instrument_Operations::clipboard;

bool Instrument_Operations::copy_instrument(int slot) {
    Instrument* instrument = tracker.song.get_instrument(slot);
    if (!instrument) return false;
    clipboard = *instrument;
    return true;
}

bool Instrument_Operations::cut_instrument(int slot) {
    if (!copy_instrument(slot)) return false;
    Song_History::Step step(&tracker.history, "Cut instrument");
    step.watch_instrument(slot);
    return reset_slot(slot);
}

bool Instrument_Operations::paste_instrument(int slot) {
    Instrument* instrument = tracker.song.get_instrument(slot);
    if (!instrument) return false;
    Song_History::Step step(&tracker.history, "Paste instrument");
    step.watch_instrument(slot);
    // The voices of this instrument keep pointing at its layers, which stay where they are.
    tracker.player.lock_player_variables();
    *instrument = clipboard;
    tracker.player.unlock_player_variables();
    return true;
}

bool Instrument_Operations::delete_instrument(int slot) {
    Song_History::Step step(&tracker.history, "Delete instrument");
    step.watch_instrument(slot);
    return reset_slot(slot);
}

bool Instrument_Operations::reset_slot(int slot) {
    Instrument* instrument = tracker.song.get_instrument(slot);
    if (!instrument) return false;
    tracker.player.lock_player_variables();
    instrument->reset();
    tracker.player.unlock_player_variables();
    return true;
}

bool Instrument_Operations::delete_instrument_with_samples(int slot) {
    Instrument* instrument = tracker.song.get_instrument(slot);
    if (!instrument) return false;
    std::vector<int> samples = samples_named_by(slot);
    Song_History::Step step(&tracker.history, "Delete instrument and samples");
    step.watch_instrument(slot);
    for (int s : samples) step.watch_sample(s);
    // The preview voice reads sample data outside the player's voice list.
    tracker.keyboard.sample_stop_all();
    tracker.player.lock_player_variables();
    for (int s : samples) {
        Sample* sample = tracker.song.get_sample(s);
        tracker.player.erase_voices_using_sample(sample);
        sample->reset(true);
    }
    instrument->reset();
    tracker.player.unlock_player_variables();
    return true;
}

bool Instrument_Operations::is_used(int slot) const {
    Instrument* instrument = tracker.song.get_instrument(slot);
    if (!instrument) return false;
    if (!instrument->name.empty()) return true;
    // Asked for every row a list draws: no list is built.
    for (const Instrument::Layer& layer : instrument->layers)
        for (unsigned char s : layer.sample_table)
            if (s < Song::MAX_SAMPLES && tracker.song.sample[s].in_use) return true;
    return false;
}

std::vector<int> Instrument_Operations::samples_named_by(int slot) const {
    std::vector<int> found;
    Instrument* instrument = tracker.song.get_instrument(slot);
    if (!instrument) return found;
    bool named[Song::MAX_SAMPLES] = {};
    for (const Instrument::Layer& layer : instrument->layers)
        for (unsigned char s : layer.sample_table)
            if (s < Song::MAX_SAMPLES) named[s] = true;
    for (int s = 0; s < Song::MAX_SAMPLES; s++)
        if (named[s] && tracker.song.sample[s].in_use) found.push_back(s);
    return found;
}

Loader::Error Instrument_Operations::load_instrument(const std::string& file, int slot) {
    if (!tracker.song.get_instrument(slot)) return Loader::FILE_ERROR;
    // The registry only tells "not recognized"; a file that cannot be read is worth its own words.
    if (!File_Reader::why_unreadable(file.c_str()).empty()) return Loader::FILE_CANNOT_OPEN;
    // Its samples go to free slots: those and the instrument make the step.
    Song_History::Step step(&tracker.history, "Load instrument");
    step.watch_instrument(slot);
    for (int s = 0; s < Song::MAX_SAMPLES; s++)
        if (!tracker.song.sample[s].in_use) step.watch_sample(s);
    // The loaders take the variables lock themselves while they write into the song.
    return tracker.file_format_manager.load_instrument(file.c_str(), slot);
}

int Instrument_Operations::save_instrument(const std::string& file, int slot) {
    if (!tracker.song.get_instrument(slot)) return -1;
    // The saver writes through the safe path: the file is replaced only once complete.
    return tracker.file_format_manager.save_instrument(file.c_str(), slot);
}
