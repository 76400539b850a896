#include "tracker/file_history.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tracker/config_handler.h"

namespace fs = std::filesystem;

namespace {

const char* const FOLDER_KEYS[File_History::KIND_COUNT] = {
    "last_song_folder",
    "last_sample_folder",
    "last_instrument_folder",
};
const char* const FOLDER_COMMENTS[File_History::KIND_COUNT] = {
    "Where the song file dialogs open",
    "Where the sample file dialogs open",
    "Where the instrument file dialogs open",
};

// Two digits, so that the file lists them in order.
std::string recent_song_key(int index) {
    char key[32];
    std::snprintf(key, sizeof key, "recent_song_%02d", index + 1);
    return key;
}

bool is_file(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool is_folder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The settings file keeps one value per line.
bool fits_a_line(const std::string& path) { return path.find_first_of("\r\n") == std::string::npos; }

}  // namespace

File_History& File_History::get_singleton_instance() {
    static File_History history;
    return history;
}

std::string File_History::canonical_path(const std::string& path) {
    if (path.empty()) return path;
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? path : canonical.string();
}

void File_History::add_recent_song(const std::string& path) {
    std::string canonical = canonical_path(path);
    if (canonical.empty() || !fits_a_line(canonical)) return;
    std::erase(recent_songs, canonical);
    recent_songs.insert(recent_songs.begin(), canonical);
    if ((int)recent_songs.size() > MAX_RECENT_SONGS) recent_songs.resize(MAX_RECENT_SONGS);
}

const std::vector<std::string>& File_History::get_recent_songs() {
    drop_missing_songs();
    return recent_songs;
}

void File_History::drop_missing_songs() {
    std::erase_if(recent_songs, [](const std::string& path) { return !is_file(path); });
}

std::string File_History::get_last_folder(Kind kind) const {
    if (kind < 0 || kind >= KIND_COUNT) return std::string();
    const std::string& folder = last_folders[kind];
    return is_folder(folder) ? folder : std::string();
}

void File_History::set_last_folder(Kind kind, const std::string& folder) {
    if (kind < 0 || kind >= KIND_COUNT || !fits_a_line(folder)) return;
    last_folders[kind] = canonical_path(folder);
}

void File_History::set_last_folder_of_file(Kind kind, const std::string& file) {
    std::error_code error;
    fs::path absolute = fs::absolute(file, error);
    if (!error) set_last_folder(kind, absolute.parent_path().string());
}

void File_History::load_settings(const ConfigHandler* config) {
    if (!config->section_exists(SETTINGS_SECTION)) return;
    recent_songs.clear();
    for (int i = 0; i < MAX_RECENT_SONGS; i++) {
        if (!config->property_exists(SETTINGS_SECTION, recent_song_key(i))) continue;
        std::string path = config->get_str_property(SETTINGS_SECTION, recent_song_key(i));
        if (!path.empty() && std::find(recent_songs.begin(), recent_songs.end(), path) == recent_songs.end())
            recent_songs.push_back(path);
    }
    drop_missing_songs();
    for (int kind = 0; kind < KIND_COUNT; kind++) {
        if (!config->property_exists(SETTINGS_SECTION, FOLDER_KEYS[kind])) continue;
        std::string folder = config->get_str_property(SETTINGS_SECTION, FOLDER_KEYS[kind]);
        if (!folder.empty()) last_folders[kind] = folder;
    }
}

void File_History::save_settings(ConfigHandler* config) const {
    config->add_section(SETTINGS_SECTION);
    for (int i = 0; i < MAX_RECENT_SONGS; i++)
        config->add_property(SETTINGS_SECTION, recent_song_key(i), i < (int)recent_songs.size() ? recent_songs[i] : "",
                             i == 0 ? "Songs opened or saved last, newest first" : "");
    for (int kind = 0; kind < KIND_COUNT; kind++)
        config->add_property(SETTINGS_SECTION, FOLDER_KEYS[kind], last_folders[kind], FOLDER_COMMENTS[kind]);
}
