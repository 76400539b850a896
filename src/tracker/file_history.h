#pragma once

#include <string>
#include <vector>

class ConfigHandler;

// The songs opened or saved last, and the folder each kind of file dialog was last left in,
// kept in the settings file between runs.
class File_History {
public:
    static constexpr const char* SETTINGS_SECTION = "File History";
    static constexpr int MAX_RECENT_SONGS = 10;
    enum Kind { SONGS, SAMPLES, INSTRUMENTS, KIND_COUNT };

    static File_History& get_singleton_instance();

    // Puts the song first; the same file (by its canonical path) listed before moves up, and
    // the oldest falls off past MAX_RECENT_SONGS. Relative paths are stored absolute.
    void add_recent_song(const std::string& path);
    // Newest first, without the files that are gone now.
    const std::vector<std::string>& get_recent_songs();
    void clear_recent_songs() { recent_songs.clear(); }

    // Empty when none was used, or when it is gone now.
    std::string get_last_folder(Kind kind) const;
    void set_last_folder(Kind kind, const std::string& folder);
    // The folder of a file the user chose.
    void set_last_folder_of_file(Kind kind, const std::string& file);

    // Missing or bad entries leave what is there.
    void load_settings(const ConfigHandler* config);
    // Every key, also the unused song entries, so that none of an older list comes back.
    void save_settings(ConfigHandler* config) const;

    // The same file: "a/../b.it" and "b.it" are one song.
    static std::string canonical_path(const std::string& path);

private:
    void drop_missing_songs();

    std::vector<std::string> recent_songs;
    std::string last_folders[KIND_COUNT];
};
