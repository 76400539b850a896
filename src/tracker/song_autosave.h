#pragma once

#include <memory>
#include <string>

#include "tracker/autosave_folder.h"

class Autosave_Worker;
class Mutex_Lock;
class Tracker_Instance;

// One open song's autosave: written when the song has changes its last autosave lacks, and
// removed once the musician saves the song or closes it.
class Song_Autosave {
public:
    Song_Autosave();
    ~Song_Autosave();
    Song_Autosave(const Song_Autosave&) = delete;
    Song_Autosave& operator=(const Song_Autosave&) = delete;

    // Where autosaves go and who writes them; null turns autosave off for this song.
    void set_place(Autosave_Folder* folder, Autosave_Worker* worker);
    bool is_on() const { return folder && worker; }

    // Takes a snapshot and has the worker write it, when the song is modified and its history
    // moved on since the last autosave; a song that is no longer modified loses its autosave.
    // True when a write was asked for.
    bool save_if_changed(Tracker_Instance& tracker, Mutex_Lock* variables_lock, const Autosave_Folder::Record& record);
    // The song was saved or closed by the musician: its autosave goes.
    void discard();
    // A restored autosave becomes this song's, already holding the song as it is now.
    void adopt(const std::string& id, unsigned long generation);

    // An autosave of the song is there or on its way.
    bool has_file() const { return written; }
    const std::string& get_id() const { return id; }
    // Why the last write failed; empty when it succeeded.
    std::string get_error() const;

private:
    struct Outcome;

    Autosave_Folder* folder = nullptr;
    Autosave_Worker* worker = nullptr;
    std::string id;
    bool written = false;
    unsigned long generation = 0;  // the history's, when the last autosave was taken
    std::shared_ptr<Outcome> outcome;
};
