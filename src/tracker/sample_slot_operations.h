#pragma once

#include <string>
#include <vector>

#include "trackercore/loader.h"

class File_Format_Manager;
class Sample;
class Sample_Edit_Players;
class Song;
class Song_History;

// Whole-slot operations of the sample page: copy, cut, paste, delete, load and save of one of
// the song's sample slots. Whatever replaces or frees data that a voice may be reading is done
// inside the sample guard (live previews stopped, the variables lock taken, the voices of that
// sample erased). The lock is held only while the slot takes its new block: copies are made
// and files read before, and the old block is freed after.
class Sample_Slot_Operations {
public:
    Sample_Slot_Operations(Song* song, File_Format_Manager* formats, Sample_Edit_Players* players)
        : song(song), formats(formats), players(players) {}

    // Each does nothing, and answers false, when the slot does not exist.
    bool copy(int slot, Sample& clipboard) const;
    bool cut(int slot, Sample& clipboard);
    // False, with the slot unchanged, also when memory for the copy ran out.
    bool paste(int slot, const Sample& clipboard);
    bool remove(int slot);
    // A failed load leaves the slot as it was; the error says why. A loaded sample whose
    // same-numbered instrument is empty makes that instrument (Song::make_instrument_if_empty);
    // *made_instrument is then its number, else -1.
    Loader::Error load(const char* file, int slot, int* made_instrument = nullptr);
    // The registry's result (0 written, -1 failed, -2 no saver claims the name); -1 for an unused slot.
    int save(const char* file, int slot) const;
    // What saving under this name would lose, and why the last save failed (the registry's).
    std::vector<std::string> get_save_losses(const char* file, int slot) const;
    std::string get_save_error() const;

    // Each change of a slot becomes a step of this history (null: none).
    void set_history(Song_History* to) { history = to; }

    void guard_begin(Sample* sample);
    void guard_end();

private:
    // Moves `with`'s settings and block into `target` inside the guard; with an instrument
    // slot, that instrument is made when empty. True when it was.
    bool replace(Sample* target, Sample& with, int instrument_slot = -1);
    bool clear_slot(int slot);

    Song* song;
    File_Format_Manager* formats;
    Sample_Edit_Players* players;
    Song_History* history = nullptr;
};
