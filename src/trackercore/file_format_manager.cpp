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

void File_Format_Manager::start_load() {
    load_warnings.clear();
    for (Loader* loader : loaders) loader->clear_warnings();
}

// A file that ends early or holds more than the song can loads with what fits; the musician
// must hear what is missing.
void File_Format_Manager::take_warnings(const Loader& loader, const char* file) {
    if (unsigned long long missing = loader.get_missing_bytes()) {
        std::fprintf(stderr, "Warning: %s ends early: at least %llu bytes are missing\n", file, missing);
        load_warnings.push_back("The file ends early: at least " + std::to_string(missing) + " bytes are missing.");
    }
    load_warnings.insert(load_warnings.end(), loader.get_warnings().begin(), loader.get_warnings().end());
}

Loader::Error File_Format_Manager::load_module(const char* file) {
    start_load();
    // The error of the first loader that recognised the file says what is wrong with it;
    // a later loader's "not recognized" would hide that.
    Loader::Error first_error = Loader::FILE_FORMAT_NOT_RECOGNIZED;
    bool recognised = false;
    for (Loader* loader : loaders) {
        if (!loader->test(file)) continue;
        Loader::Error result = loader->load(file, true);
        if (result == Loader::SUCCESS) {
            take_warnings(*loader, file);
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

// The first saver that claims the name answers; -2 when none does. With a file given, the
// savers write it whatever name they are asked to claim.
template <typename Save>
int File_Format_Manager::ask_savers(Save save, const char* file) {
    save_error.clear();
    for (Saver* saver : savers) {
        if (file) saver->set_write_target(file);
        int result = save(*saver);
        if (file) saver->set_write_target("");
        if (result == -2) continue;
        if (result != 0) save_error = saver->get_error_text().empty() ? "Error saving file" : saver->get_error_text();
        return result;
    }
    return -2;
}

int File_Format_Manager::save_module(const char* file) {
    return ask_savers([&](Saver& saver) { return saver.save(file); });
}

int File_Format_Manager::save_sample(const char* file, int slot, const char* format_of) {
    const char* name = format_of ? format_of : file;
    return ask_savers([&](Saver& saver) { return saver.save_sample(name, slot); }, format_of ? file : nullptr);
}

int File_Format_Manager::save_instrument(const char* file, int slot, const char* format_of) {
    const char* name = format_of ? format_of : file;
    return ask_savers([&](Saver& saver) { return saver.save_instrument(name, slot); }, format_of ? file : nullptr);
}

// Savers answer only for their own names, so the lists of all of them are those of the one
// that would write the file.
template <typename Losses>
std::vector<std::string> File_Format_Manager::ask_losses(Losses losses) const {
    std::vector<std::string> lines;
    for (const Saver* saver : savers) {
        std::vector<std::string> more = losses(*saver);
        lines.insert(lines.end(), more.begin(), more.end());
    }
    return lines;
}

std::vector<std::string> File_Format_Manager::get_save_losses(const char* file) const {
    return ask_losses([&](const Saver& saver) { return saver.get_losses(file); });
}

std::vector<std::string> File_Format_Manager::get_sample_save_losses(const char* file, int slot) const {
    return ask_losses([&](const Saver& saver) { return saver.get_sample_losses(file, slot); });
}

std::vector<std::string> File_Format_Manager::get_instrument_save_losses(const char* file, int slot) const {
    return ask_losses([&](const Saver& saver) { return saver.get_instrument_losses(file, slot); });
}

Loader::Error File_Format_Manager::load_sample(const char* file, int slot) {
    start_load();
    for (Loader* loader : loaders)
        if (loader->load_sample(file, slot) == Loader::SUCCESS) {
            take_warnings(*loader, file);
            return Loader::SUCCESS;
        }
    return Loader::FILE_FORMAT_NOT_RECOGNIZED;
}

// Every loader is asked in turn with the staging song as its own, then given the registry's
// song back.
template <typename Load>
Loader::Error File_Format_Manager::load_into(const char* file, Song* staging, Load load) {
    last_loader = nullptr;
    start_load();
    if (!File_Reader::why_unreadable(file).empty()) return Loader::FILE_CANNOT_OPEN;
    Loader::Error why = Loader::FILE_FORMAT_NOT_RECOGNIZED;
    for (Loader* loader : loaders) {
        loader->set_song(staging);
        Loader::Error result = load(*loader);
        loader->set_song(song);
        if (result == Loader::SUCCESS) {
            last_loader = loader;
            take_warnings(*loader, file);
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
    start_load();
    for (Loader* loader : loaders)
        if (loader->load_instrument(file, slot) == Loader::SUCCESS) {
            take_warnings(*loader, file);
            return Loader::SUCCESS;
        }
    return Loader::FILE_FORMAT_NOT_RECOGNIZED;
}

Sample_Data* File_Format_Manager::load_sample(const char* file) {
    start_load();
    for (Loader* loader : loaders)
        if (Sample_Data* data = loader->load_sample(file)) {
            take_warnings(*loader, file);
            return data;
        }
    return nullptr;
}

Loader* File_Format_Manager::load_sample_library(const char* file) {
    start_load();
    for (Loader* loader : loaders)
        if (loader->load_samples_from_instrument(file) == Loader::SUCCESS) {
            take_warnings(*loader, file);
            return loader;
        }
    return nullptr;
}
