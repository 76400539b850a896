#pragma once

#include <cstring>
#include <string>
#include <vector>

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

    // What the format cannot hold of what save(file), save_sample(file, slot) or
    // save_instrument(file, slot) would write: one sentence each, for the musician to read before
    // anything is lost. Empty when the format holds everything, or the name is not this saver's.
    virtual std::vector<std::string> get_losses(const char*) const { return {}; }
    virtual std::vector<std::string> get_sample_losses(const char*, int) const { return {}; }
    virtual std::vector<std::string> get_instrument_losses(const char*, int) const { return {}; }

    // While set, the next saves write this file instead of the name they are given, which then
    // only chooses the format: Impulse Tracker's own ".its" is written by the saver of ".is".
    void set_write_target(const std::string& path) { write_target = path; }

    void set_song(Song* s) { song = s; }
    Song* get_song() const { return song; }
    void set_mixer(Mixer* m) { mixer = m; }
    // Why the last save that returned -1 failed ("No space left on device"); empty otherwise.
    const std::string& get_error_text() const { return error_text; }

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
    // Begins a save: 0, or -1 with the reason kept when the file cannot be written.
    int open_for_save(const char* file) {
        error_text.clear();
        if (writer.open(write_target.empty() ? file : write_target.c_str()) == 0) return 0;
        error_text = writer.get_error_text();
        return -1;
    }
    // Ends a save begun with open_for_save: 0 when every byte reached the file, else -1 (and the
    // file that was there before is untouched).
    int finish_save() {
        if (writer.close() == 0) return 0;
        error_text = writer.get_error_text();
        return -1;
    }
    // A save refused before any file was touched.
    int refuse_save(const std::string& reason) {
        error_text = reason;
        return -1;
    }

    std::string error_text;
    std::string write_target;

    Song* song = nullptr;
    Mixer* mixer = nullptr;
    File_Writer writer;
};
