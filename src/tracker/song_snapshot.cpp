#include "tracker/song_snapshot.h"

#include <algorithm>

#include "common/components/audio/dds_helpers.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/mutex_lock.h"
#include "savers/saver_wm.h"

Song_Snapshot::Song_Snapshot(Song& from, Mixer* mixer, Mutex_Lock* variables_lock) {
    std::copy(std::begin(from.order), std::end(from.order), std::begin(song.order));
    for (int i = 0; i < Song::MAX_PATTERNS; i++) song.pattern[i] = from.pattern[i];
    for (int i = 0; i < Song::MAX_SAMPLES; i++) song.sample[i] = from.sample[i];
    for (int i = 0; i < Song::MAX_INSTRUMENTS; i++) song.instrument[i] = from.instrument[i];
    song.variables = from.variables;
    song.initial_variables = from.initial_variables;
    if (!mixer) return;
    Mutex_Lock_Guard guard(variables_lock);
    DDS_Helpers::get_mixer_data(mixer, &mixer_tree);
    has_mixer = true;
}

int Song_Snapshot::save(const std::string& file, std::string* why) {
    // The copy's patterns are this thread's alone.
    Pattern::Unshared_Scope unshared;
    Saver_WM saver;
    saver.set_song(&song);
    DDS tree;
    saver.get_dds_from_song(&tree);
    if (has_mixer) tree.set_dynamic_data_struct_var("mixer", mixer_tree);
    int result = saver.save_song_tree(file.c_str(), tree);
    if (result != 0 && why) *why = saver.get_error_text();
    return result;
}
