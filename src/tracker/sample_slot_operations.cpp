#include "tracker/sample_slot_operations.h"

#include <cstdlib>
#include <memory>

#include "tracker/sample_editor.h"
#include "tracker/song_history.h"
#include "trackercore/file_format_manager.h"
#include "trackercore/song.h"

bool Sample_Slot_Operations::copy(int slot, Sample& clipboard) const {
    Sample* sample = song ? song->get_sample(slot) : nullptr;
    if (!sample) return false;
    clipboard = *sample;
    return true;
}

bool Sample_Slot_Operations::cut(int slot, Sample& clipboard) {
    if (!copy(slot, clipboard)) return false;
    Song_History::Step step(history, "Cut sample");
    step.watch_sample(slot);
    return clear_slot(slot);
}

bool Sample_Slot_Operations::paste(int slot, const Sample& clipboard) {
    Sample* target = song ? song->get_sample(slot) : nullptr;
    if (!target) return false;
    Sample copy = clipboard;
    if (clipboard.data.get_data_ptr() && !copy.data.get_data_ptr()) return false;  // out of memory
    Song_History::Step step(history, "Paste sample");
    step.watch_sample(slot);
    replace(target, copy);
    return true;
}

bool Sample_Slot_Operations::remove(int slot) {
    Song_History::Step step(history, "Delete sample");
    step.watch_sample(slot);
    return clear_slot(slot);
}

bool Sample_Slot_Operations::clear_slot(int slot) {
    Sample* target = song ? song->get_sample(slot) : nullptr;
    if (!target) return false;
    Sample empty;
    replace(target, empty);
    return true;
}

Loader::Error Sample_Slot_Operations::load(const char* file, int slot, int* made_instrument) {
    if (made_instrument) *made_instrument = -1;
    Sample* target = song ? song->get_sample(slot) : nullptr;
    if (!target || !formats) return Loader::FILE_ERROR;
    // Read into a song of its own first: the slot is untouched by a failed load, and the
    // player is not held up while the file is read.
    auto staging = std::make_unique<Song>();
    Loader::Error result = formats->load_sample_into(file, staging.get(), 0);
    if (result != Loader::SUCCESS) return result;
    Song_History::Step step(history, "Load sample");
    step.watch_sample(slot);
    step.watch_instrument(slot);  // an empty instrument of the same number is made
    bool made = replace(target, *staging->get_sample(0), slot);
    if (made && made_instrument) *made_instrument = slot;
    return Loader::SUCCESS;
}

int Sample_Slot_Operations::save(const char* file, int slot) const {
    Sample* sample = song ? song->get_sample(slot) : nullptr;
    if (!sample || !sample->in_use || !formats) return -1;
    return formats->save_sample(file, slot);
}

void Sample_Slot_Operations::guard_begin(Sample* sample) {
    if (!players) return;
    players->sample_stop_all();
    players->lock_player_variables();
    players->erase_voices_using_sample(sample);
}

void Sample_Slot_Operations::guard_end() {
    if (players) players->unlock_player_variables();
}

bool Sample_Slot_Operations::replace(Sample* target, Sample& with, int instrument_slot) {
    void* block = with.data.get_data_ptr();
    with.data.release_data_ptr();
    guard_begin(target);
    void* old_block = target->data.get_data_ptr();
    target->data.release_data_ptr();
    *target = with;  // no block on either side: nothing is allocated under the lock
    target->data.set_data_ptr(block);
    // The player reads the instrument's tables too, under the same lock.
    bool made = instrument_slot >= 0 && song->make_instrument_if_empty(instrument_slot);
    guard_end();
    std::free(old_block);
    return made;
}

std::vector<std::string> Sample_Slot_Operations::get_save_losses(const char* file, int slot) const {
    return formats ? formats->get_sample_save_losses(file, slot) : std::vector<std::string>();
}

std::string Sample_Slot_Operations::get_save_error() const { return formats ? formats->get_save_error() : ""; }
