#pragma once

#include <string>
#include <vector>

#include "common/components/audio/mutex_lock.h"
#include "trackercore/loader.h"
#include "trackercore/saver.h"

class Song;
class Sample_Data;

// The loaders and savers of one tracker instance, tried in registration order.
// The lists hold pointers and own nothing.
class File_Format_Manager {
public:
    void set_song(Song* s) { song = s; }
    Song* get_song() const { return song; }
    // Held while a loaded module or instrument goes into the song, which the audio thread may
    // be reading (the variables lock); the file itself is read without it.
    void set_song_lock(Mutex_Lock* lock);

    void register_loader(Loader* loader);
    void register_saver(Saver* saver);

    Loader::Error load_module(const char* file);
    int save_module(const char* file);
    // With `format_of`, that name chooses the format and `file` is what is written: Impulse
    // Tracker's ".its" and ".iti" are saved by the savers of ".is" and ".ii".
    int save_sample(const char* file, int slot, const char* format_of = nullptr);
    int save_instrument(const char* file, int slot, const char* format_of = nullptr);
    // What saving under these names would lose, one sentence each (see Saver::get_losses);
    // empty when the format holds everything.
    std::vector<std::string> get_save_losses(const char* file) const;
    std::vector<std::string> get_sample_save_losses(const char* file, int slot) const;
    std::vector<std::string> get_instrument_save_losses(const char* file, int slot) const;
    Loader::Error load_sample(const char* file, int slot);
    // As load_sample(file, slot), but into a slot of another song (a staging one), so that the
    // file is read while nothing the player reads is touched. The error says why the file was
    // refused: FILE_CANNOT_OPEN, HEADER_CORRUPT (recognised but broken) or FILE_FORMAT_NOT_RECOGNIZED.
    Loader::Error load_sample_into(const char* file, Song* staging, int slot);
    Loader::Error load_instrument(const char* file, int slot);
    // As load_instrument(file, slot), but into another song, with the reason for a refusal as
    // load_sample_into gives it. The instrument's samples go to that song's free slots.
    Loader::Error load_instrument_into(const char* file, Song* staging, int slot);
    Sample_Data* load_sample(const char* file);  // the caller owns the result
    Loader* load_sample_library(const char* file);
    Loader* check_file_in_loaders(const char* file);

    // What the last successful load left out of its file (cut short, samples missing, more
    // channels than a song holds), one sentence each; empty when the whole file was taken.
    const std::vector<std::string>& get_load_warnings() const { return load_warnings; }

    // Why the last save that returned -1 failed, in the system's words where it has them.
    const std::string& get_save_error() const { return save_error; }

    // The loader that read the file of the last successful load_sample_into or
    // load_instrument_into; null before one and after a failed one.
    const Loader* get_last_loader() const { return last_loader; }

    const std::vector<Loader*>& get_loaders() const { return loaders; }
    const std::vector<Saver*>& get_savers() const { return savers; }

private:
    template <typename Save>
    int ask_savers(Save save, const char* file = nullptr);
    template <typename Losses>
    std::vector<std::string> ask_losses(Losses losses) const;
    template <typename Load>
    Loader::Error load_into(const char* file, Song* staging, Load load);
    void start_load();
    void take_warnings(const Loader& loader, const char* file);

    std::vector<Loader*> loaders;
    std::vector<Saver*> savers;
    Song* song = nullptr;
    Mutex_Lock* song_lock = nullptr;
    std::string save_error;
    std::vector<std::string> load_warnings;
    const Loader* last_loader = nullptr;
};
