#include "trackercore/file_format_manager.h"

#include <cstdio>

#include "trackercore/song.h"

void File_Format_Manager::register_loader(Loader* loader) {
    if (!loader) return;
    if (!song) std::printf("Trying to link a loader when we dont have a song!\n");
    loader->set_song(song);
    loader->set_song_lock(song_lock);
    loaders.push_back(loader);
}

void File_Format_Manager::set_song_lock(Mutex_Lock* lock) {
    song_lock = lock;
    for (Loader* loader : loaders) loader->set_song_lock(lock);
}

void File_Format_Manager::register_saver(Saver* saver) {
    if (!saver) return;
    if (!song) std::printf("Trying to link a saver when we dont have a song!\n");
    saver->set_song(song);
    savers.push_back(saver);
}

// A file that ends early loads with what is there; the user must hear that something is missing.
static void warn_if_cut_short(const Loader& loader, const char* file) {
    if (unsigned long long missing = loader.get_missing_bytes())
        std::fprintf(stderr, "Warning: %s ends early: at least %llu bytes are missing\n", file, missing);
}

Loader::Error File_Format_Manager::load_module(const char* file) {
    // The error of the first loader that recognised the file says what is wrong with it;
    // a later loader's "not recognized" would hide that.
    Loader::Error first_error = Loader::FILE_FORMAT_NOT_RECOGNIZED;
    bool recognised = false;
    for (Loader* loader : loaders) {
        if (!loader->test(file)) continue;
        Loader::Error result = loader->load(file, true);
        if (result == Loader::SUCCESS) {
            warn_if_cut_short(*loader, file);
            if (song) {
                Mutex_Lock_Guard guard(song_lock);
                song->reset_data();
                loader->transfer_data_to_song();
                loader->free_info(false);
            } else {
                loader->free_info(true);
            }
            return Loader::SUCCESS;
        }
        if (!recognised) {
            recognised = true;
            first_error = result;
        }
    }
    return first_error;
}

Loader* File_Format_Manager::check_file_in_loaders(const char* file) {
    for (Loader* loader : loaders) {
        if (!loader->test(file)) continue;
        return loader->load(file, false) == Loader::SUCCESS ? loader : nullptr;
    }
    return nullptr;
}

// The first saver that claims the name answers; -2 when none does.
template <typename Save>
int File_Format_Manager::ask_savers(Save save) {
    save_error.clear();
    for (Saver* saver : savers) {
        int result = save(*saver);
        if (result == -2) continue;
        if (result != 0) save_error = saver->get_error_text().empty() ? "Error saving file" : saver->get_error_text();
        return result;
    }
    return -2;
}

int File_Format_Manager::save_module(const char* file) {
    return ask_savers([&](Saver& saver) { return saver.save(file); });
}

int File_Format_Manager::save_sample(const char* file, int slot) {
    return ask_savers([&](Saver& saver) { return saver.save_sample(file, slot); });
}

int File_Format_Manager::save_instrument(const char* file, int slot) {
    return ask_savers([&](Saver& saver) { return saver.save_instrument(file, slot); });
}

Loader::Error File_Format_Manager::load_sample(const char* file, int slot) {
    for (Loader* loader : loaders)
        if (loader->load_sample(file, slot) == Loader::SUCCESS) {
            warn_if_cut_short(*loader, file);
            return Loader::SUCCESS;
        }
    return Loader::FILE_FORMAT_NOT_RECOGNIZED;
}

// Every loader is asked in turn with the staging song as its own, then given the registry's
// song back.
template <typename Load>
Loader::Error File_Format_Manager::load_into(const char* file, Song* staging, Load load) {
    last_loader = nullptr;
    if (FILE* probe = std::fopen(file, "rb"))
        std::fclose(probe);
    else
        return Loader::FILE_CANNOT_OPEN;
    Loader::Error why = Loader::FILE_FORMAT_NOT_RECOGNIZED;
    for (Loader* loader : loaders) {
        loader->set_song(staging);
        Loader::Error result = load(*loader);
        loader->set_song(song);
        if (result == Loader::SUCCESS) {
            last_loader = loader;
            warn_if_cut_short(*loader, file);
            return Loader::SUCCESS;
        }
        // Loaders without such files answer FILE_ERROR to every file: that says nothing.
        if (result == Loader::HEADER_CORRUPT) why = Loader::HEADER_CORRUPT;
    }
    return why;
}

Loader::Error File_Format_Manager::load_sample_into(const char* file, Song* staging, int slot) {
    if (!staging || !staging->get_sample(slot)) return Loader::FILE_ERROR;
    return load_into(file, staging, [&](Loader& loader) { return loader.load_sample(file, slot); });
}

Loader::Error File_Format_Manager::load_instrument_into(const char* file, Song* staging, int slot) {
    if (!staging || !staging->get_instrument(slot)) return Loader::FILE_ERROR;
    return load_into(file, staging, [&](Loader& loader) { return loader.load_instrument(file, slot); });
}

Loader::Error File_Format_Manager::load_instrument(const char* file, int slot) {
    for (Loader* loader : loaders)
        if (loader->load_instrument(file, slot) == Loader::SUCCESS) {
            warn_if_cut_short(*loader, file);
            return Loader::SUCCESS;
        }
    return Loader::FILE_FORMAT_NOT_RECOGNIZED;
}

Sample_Data* File_Format_Manager::load_sample(const char* file) {
    for (Loader* loader : loaders)
        if (Sample_Data* data = loader->load_sample(file)) {
            warn_if_cut_short(*loader, file);
            return data;
        }
    return nullptr;
}

Loader* File_Format_Manager::load_sample_library(const char* file) {
    for (Loader* loader : loaders)
        if (loader->load_samples_from_instrument(file) == Loader::SUCCESS) {
            warn_if_cut_short(*loader, file);
            return loader;
        }
    return nullptr;
}
