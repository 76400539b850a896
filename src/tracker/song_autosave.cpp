#include "tracker/song_autosave.h"

#include <mutex>

#include "common/components/data/error_line.h"
#include "tracker/autosave_worker.h"
#include "tracker/song_snapshot.h"
#include "tracker/tracker_instance.h"

// What the worker found; read on the interface thread.
struct Song_Autosave::Outcome {
    mutable std::mutex mutex;
    std::string error;
};

Song_Autosave::Song_Autosave() : outcome(std::make_shared<Outcome>()) {}

Song_Autosave::~Song_Autosave() = default;

void Song_Autosave::set_place(Autosave_Folder* to_folder, Autosave_Worker* to_worker) {
    folder = to_folder;
    worker = to_worker;
}

std::string Song_Autosave::get_error() const {
    std::lock_guard<std::mutex> hold(outcome->mutex);
    return outcome->error;
}

bool Song_Autosave::save_if_changed(Tracker_Instance& tracker, Mutex_Lock* variables_lock,
                                    const Autosave_Folder::Record& record) {
    if (!is_on()) return false;
    const Song_History& history = tracker.history;
    if (!history.is_modified()) {
        discard();
        return false;
    }
    // A failed write is tried again on the next round even without new changes.
    if (written && history.get_generation() == generation && get_error().empty()) return false;
    if (id.empty()) {
        std::string why;
        id = folder->new_id(&why);
        if (id.empty()) {
            std::lock_guard<std::mutex> hold(outcome->mutex);
            outcome->error = why;
            return false;
        }
    }
    auto snapshot = std::make_shared<Song_Snapshot>(tracker.song, &tracker.mixer, variables_lock);
    worker->post([snapshot, record, song_file = folder->song_file(id), record_file = folder->record_file(id),
                  result = outcome]() mutable {
        // The record first: a run killed in between leaves no song without the word of where
        // it came from.
        std::string why;
        bool saved = Autosave_Folder::write_record(record_file, record, &why);
        if (saved && snapshot->save(song_file, &why) != 0) {
            why = song_file + ": " + why;
            saved = false;
        }
        snapshot.reset();
        if (!saved) ERROR_LINE("tracker/song_autosave", __LINE__, "autosave not written: " + why);
        std::lock_guard<std::mutex> hold(result->mutex);
        result->error = saved ? std::string() : why;
    });
    written = true;
    generation = history.get_generation();
    return true;
}

void Song_Autosave::discard() {
    if (!written) return;
    written = false;
    if (!worker) return;
    // After any write still queued for it.
    worker->post([song_file = folder->song_file(id), record_file = folder->record_file(id), result = outcome] {
        Autosave_Folder::remove_files(song_file, record_file);
        std::lock_guard<std::mutex> hold(result->mutex);
        result->error.clear();
    });
}

void Song_Autosave::adopt(const std::string& adopted_id, unsigned long at_generation) {
    id = adopted_id;
    written = !id.empty();
    generation = at_generation;
}
