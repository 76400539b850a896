#pragma once

#include <map>
#include <string>
#include <vector>

#include "trackercore/file_stamp.h"

// The folder where songs with unsaved changes are saved every few minutes, and the answer to
// which of those autosaves a run that did not end cleanly left behind.
//
// A run that autosaves holds a lock on "<session>.lock" for as long as it lives; its songs are
// "<session>-<n>.wm", each with a side record "<session>-<n>.txt". The system lets go of the
// lock when the process ends, however it ends (kill -9 too), so an autosave whose session no
// process holds was left behind, while another running instance's autosaves stay its own.
class Autosave_Folder {
public:
    // What the side record keeps about a song.
    struct Record {
        std::string original_path;  // empty: the song was never loaded from or saved to a file
        std::string song_name;
        long long time = 0;         // when the autosave was taken, seconds since the epoch
        File_Stamp original_stamp;  // the original file as it was when loaded or last saved
    };
    struct Left_Behind {
        std::string id;
        std::string song_file;  // the .wm
        Record record;
    };

    static constexpr const char* PROGRAM_FOLDER = "wendmoor";
    static constexpr const char* SONG_EXTENSION = ".wm";
    static constexpr const char* RECORD_EXTENSION = ".txt";
    static constexpr const char* LOCK_EXTENSION = ".lock";
    static constexpr size_t MAX_RECORD_BYTES = 64 * 1024;

    // "$XDG_DATA_HOME/wendmoor/autosave", or "$HOME/.local/share/wendmoor/autosave" when
    // XDG_DATA_HOME is unset, empty or not an absolute path.
    static std::string default_path();

    explicit Autosave_Folder(std::string path = default_path());
    // Lets go of this run's lock, and removes it when none of this run's autosaves is left.
    ~Autosave_Folder();
    Autosave_Folder(const Autosave_Folder&) = delete;
    Autosave_Folder& operator=(const Autosave_Folder&) = delete;

    const std::string& get_path() const { return path; }
    // A name for one more song's autosave in this run. The first one makes the folder and takes
    // this run's lock; empty, with the reason in *why, when that cannot be done.
    std::string new_id(std::string* why = nullptr);
    std::string song_file(const std::string& id) const { return path + "/" + id + SONG_EXTENSION; }
    std::string record_file(const std::string& id) const { return path + "/" + id + RECORD_EXTENSION; }

    // Written through the safe path; false with the reason in *why.
    static bool write_record(const std::string& file, const Record& record, std::string* why);
    // False when the file is missing, not a regular file, too large or not a record.
    static bool read_record(const std::string& file, Record* record);
    static void remove_files(const std::string& song_file, const std::string& record_file);

    // Autosaves of runs that ended without closing their songs, oldest first. Their runs' locks
    // are held from now until release_left_behind(), so an instance starting meanwhile does not
    // offer them too.
    std::vector<Left_Behind> find_left_behind();
    // Takes a left-behind autosave into this run, its song being open again; the new id, or
    // empty when the files could not be moved (they are then left where they were).
    std::string adopt(const Left_Behind& entry);
    void discard(const Left_Behind& entry);
    // Lets go of the runs found left behind; what was neither adopted nor discarded stays for
    // the next start.
    void release_left_behind();

private:
    bool take_session(std::string* why);
    // A session's lock file goes with its last autosave.
    void remove_session_if_empty(const std::string& session);
    std::vector<std::string> list_songs() const;

    std::string path;
    std::string session;  // empty until the first autosave
    int session_lock = -1;
    int next_serial = 1;
    std::map<std::string, int> claimed;  // sessions found left behind, with their held locks
};
