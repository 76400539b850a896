#pragma once

#include <string>

#include "common/components/data/dds.h"
#include "trackercore/song.h"

class Mixer;
class Mutex_Lock;

// A copy of everything a native song file holds, taken in a moment on the interface thread and
// written out later on another thread while the song goes on being played and edited.
class Song_Snapshot {
public:
    // Only the interface thread changes the song, and while it copies it changes nothing, so the
    // song's parts are read without a lock: the audio thread only reads them too. Effects may
    // change their own controls while they run, so the mixer is read under the variables lock,
    // which is held for that alone.
    Song_Snapshot(Song& song, Mixer* mixer, Mutex_Lock* variables_lock);
    Song_Snapshot(const Song_Snapshot&) = delete;
    Song_Snapshot& operator=(const Song_Snapshot&) = delete;

    // Writes the copy as a .wm file through the safe path, on any thread and without a lock the
    // audio thread takes; 0, or -1 with the reason in *why.
    int save(const std::string& file, std::string* why = nullptr);

    Song& get_song() { return song; }

private:
    Song song;
    DDS mixer_tree;
    bool has_mixer = false;
};
