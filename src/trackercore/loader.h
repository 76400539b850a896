#pragma once

#include <string>
#include <vector>

#include "common/components/audio/mutex_lock.h"
#include "trackercore/file_reader.h"

class Song;
class Mixer;
class Sample_Data;

// One reader per file format. load() stages the whole file inside the loader; the registry then
// resets the song and calls transfer_data_to_song(), so a failed load never touches the song.
class Loader {
public:
    enum Error {
        SUCCESS = 0,
        FILE_IN_USE = 1,
        FILE_CANNOT_OPEN = 2,
        FILE_ERROR = 3,
        FILE_FORMAT_NOT_RECOGNIZED = 4,
        HEADER_CORRUPT = 5,
    };
    static const char* const error_string[6];

    Loader() = default;
    virtual ~Loader() = default;
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    virtual Error load(const char* file, bool) = 0;
    virtual bool test(const char* file) = 0;
    virtual int get_amount_of_samples() = 0;
    virtual Sample_Data* get_sample_data(int i) = 0;
    virtual std::string get_sample_name(int i) = 0;
    virtual void add_sample_to_song(int i, int slot, bool make_instrument) = 0;
    virtual Error load_sample(const char* file, int slot) = 0;
    // A new Sample_Data holding the file's sample (the caller owns it), or null.
    virtual Sample_Data* load_sample(const char* file);
    virtual Error load_samples_from_instrument(const char* file) = 0;
    virtual Error load_instrument(const char* file, int slot) = 0;
    virtual void transfer_data_to_song() = 0;
    virtual void free_info(bool free_sample_data);

    void set_song(Song* s) { song = s; }
    Song* get_song() const { return song; }
    void set_mixer(Mixer* m) { mixer = m; }
    // Held while load_instrument writes into the song, which the audio thread may be playing;
    // the file is read without it.
    void set_song_lock(Mutex_Lock* lock) { song_lock = lock; }
    const std::string& get_file_name() const { return file_name; }
    const std::string& get_format_name() const { return format_name; }
    bool is_busy() const { return reader.is_open(); }
    // What the last file read lacked at its end (see File_Reader::note_wanted_end).
    unsigned long long get_missing_bytes() const { return reader.get_missing_bytes(); }
    // What a load that succeeded still left out (a sample cut short, channels the song cannot
    // hold), one sentence each for the musician; the registry clears them before each load.
    const std::vector<std::string>& get_warnings() const { return warnings; }
    void clear_warnings() { warnings.clear(); }

protected:
    Error abort_load(Error e) {
        reader.close();
        return e;
    }
    void warn(const std::string& line) { warnings.push_back(line); }
    // "The file has 230 patterns; Wendmoor holds 200: the rest were left out." when count > holds.
    void warn_of_excess(int count, int holds, const char* what);

    File_Reader reader;
    Song* song = nullptr;
    Mixer* mixer = nullptr;
    Mutex_Lock* song_lock = nullptr;
    std::string file_name;
    std::string format_name;
    std::vector<std::string> warnings;
};
