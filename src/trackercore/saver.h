#pragma once

#include <cstring>

#include "trackercore/file_writer.h"

class Song;
class Mixer;

// One writer per file format, chosen by the end of the file name.
// Results: 0 written; -1 claimed but failed; -2 not this saver's name.
class Saver {
public:
    Saver() = default;
    virtual ~Saver() = default;
    Saver(const Saver&) = delete;
    Saver& operator=(const Saver&) = delete;

    virtual int save(const char* file) = 0;
    virtual int save_sample(const char* file, int slot) = 0;
    virtual int save_instrument(const char* file, int slot) = 0;

    void set_song(Song* s) { song = s; }
    Song* get_song() const { return song; }
    void set_mixer(Mixer* m) { mixer = m; }

    // True when the name is longer than four characters and ends in exactly the lower-case or
    // the upper-case spelling of the extension (".wav", ".WAV"; never ".Wav").
    static bool has_extension(const char* file, const char* lower, const char* upper) {
        if (!file) return false;
        size_t len = std::strlen(file), ext = std::strlen(lower);
        if (len <= 4 || len < ext) return false;
        const char* tail = file + len - ext;
        return std::strcmp(tail, lower) == 0 || std::strcmp(tail, upper) == 0;
    }

protected:
    // Ends a save begun with writer.open: 0 when every byte reached the file, else -1 (and the
    // file that was there before is untouched).
    int finish_save() { return writer.close() == 0 ? 0 : -1; }

    Song* song = nullptr;
    Mixer* mixer = nullptr;
    File_Writer writer;
};
