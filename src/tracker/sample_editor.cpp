#include "tracker/sample_editor.h"

#include <algorithm>
#include <cstdlib>

#include "tracker/song_history.h"
#include "trackercore/sample.h"
#include "trackercore/song.h"

Sample_Editor::Sample_Editor() {
    effects.push_back(std::make_unique<Edit_Effect_Reverse>());
    effects.push_back(std::make_unique<Edit_Effect_PreLoop_Cut>());
    effects.push_back(std::make_unique<Edit_Effect_PostLoop_Cut>());
    effects.push_back(std::make_unique<Edit_Effect_SelToLoop>());
    effects.push_back(std::make_unique<Edit_Effect_Center>());
    effects.push_back(std::make_unique<Edit_Effect_Normalize>());
    effects.push_back(std::make_unique<Edit_Effect_Toggle_Sign>());
    effects.push_back(std::make_unique<Edit_Effect_Toggle_Depth>());
    effects.push_back(std::make_unique<Edit_Effect_Tuner>());
    effects.push_back(std::make_unique<Edit_Effect_FadeIn>());
    effects.push_back(std::make_unique<Edit_Effect_FadeOut>());
}

void Sample_Editor::set_sample(Sample* to) {
    sample = to;
    selection.clear();
}

Sample_Data* Sample_Editor::data() const { return sample ? &sample->data : nullptr; }

Edit_Effect* Sample_Editor::get_effect(int index) const {
    if (index < 0 || index >= (int)effects.size()) return nullptr;
    return effects[index].get();
}

bool Sample_Editor::effect_range(int* begin, int* end) const {
    Sample_Data* d = data();
    if (!d || d->get_size() <= 0) return false;
    *begin = selection.is_active() ? selection.get_begin() : 0;
    *end = selection.is_active() ? selection.get_end() : d->get_size() - 1;
    return true;
}

Property_Bridge_List Sample_Editor::select_effect(int index) {
    Edit_Effect* effect = get_effect(index);
    if (!effect) return {};
    int begin = 0, end = -1;
    effect_range(&begin, &end);
    effect->selected_notify(data(), begin, end);
    return effect->get_property_list();
}

int Sample_Editor::slot() const {
    Song* song = history ? history->get_song() : nullptr;
    if (!song || !sample) return -1;
    for (int index = 0; index < Song::MAX_SAMPLES; index++)
        if (&song->sample[index] == sample) return index;
    return -1;
}

void Sample_Editor::apply_effect(int index) {
    Edit_Effect* effect = get_effect(index);
    int begin, end;
    if (!effect || !effect_range(&begin, &end)) return;
    // Only the frames an effect may touch are kept aside while it runs.
    Song_History::Step step(recording_history(), effect->get_name());
    if (effect->is_destructive() || !effect->keeps_frames_outside_range())
        step.watch_sample(slot());
    else
        step.watch_sample(slot(), begin, end);
    // The others change frames and loop points in place: the voices keep playing, but the
    // audio thread must not read them half-written.
    bool destructive = effect->is_destructive();
    if (destructive)
        destructive_operation_begin();
    else if (players)
        players->lock_player_variables();
    data_modification_begin.emit();
    effect->process(data(), begin, end);
    data_modification_end.emit();
    if (destructive)
        destructive_operation_end();
    else if (players)
        players->unlock_player_variables();
}

void Sample_Editor::destructive_operation_begin() {
    if (!players) return;
    players->sample_stop_all();
    players->lock_player_variables();
    players->erase_voices_using_sample(sample);
}

void Sample_Editor::destructive_operation_end() {
    if (players) players->unlock_player_variables();
}

bool Sample_Editor::clipboard_range(int* begin, int* end) const {
    Sample_Data* d = data();
    if (!selection.is_active() || !d || d->get_size() <= 0 || !d->get_data_ptr()) return false;
    *begin = std::min(selection.get_begin(), d->get_size());
    *end = std::min(selection.get_end(), d->get_size());
    return true;
}

void Sample_Editor::frame_copy() {
    int begin, end;
    if (!clipboard_range(&begin, &end)) return;
    frame_clipboard.clear();
    for (int i = begin; i < end; i++) frame_clipboard.push_back(data()->get_sample(i));
}

// The new frames are written into a block of their own first; the sample takes that block
// inside a destructive operation, since the voices read both it and the loop.
bool Sample_Editor::replace_frames(const std::vector<float>& frames, int loop_begin, int loop_end) {
    Sample_Data* d = data();
    size_t bytes = frames.size() * (d->is_16bit() ? 2 : 1);
    void* block = bytes ? std::malloc(bytes) : nullptr;
    if (bytes && !block) return false;  // not enough memory: leave the sample as it was
    Sample_Data staged;
    staged.set_data_ptr(block, (int)frames.size(), d->is_16bit());
    for (int i = 0; i < (int)frames.size(); i++) staged.set_sample(i, frames[i]);
    staged.release_data_ptr();

    destructive_operation_begin();
    data_modification_begin.emit();
    void* old_block = d->get_data_ptr();
    d->release_data_ptr();
    d->set_loop_begin(loop_begin);
    d->set_loop_end(loop_end);
    d->set_data_ptr(block, (int)frames.size());
    data_modification_end.emit();
    destructive_operation_end();
    std::free(old_block);
    return true;
}

void Sample_Editor::frame_cut() {
    int begin, end;
    if (!clipboard_range(&begin, &end) || begin == end) return;
    frame_copy();
    Song_History::Step step(recording_history(), "Cut frames");
    step.watch_sample(slot());
    Sample_Data* d = data();
    int removed = end - begin;
    auto adjust = [begin, end, removed](int point) {
        if (point >= end) return point - removed;
        if (point >= begin) return begin;
        return point;
    };
    std::vector<float> frames;
    frames.reserve(d->get_size() - removed);
    for (int i = 0; i < d->get_size(); i++)
        if (i < begin || i >= end) frames.push_back(d->get_sample(i));
    if (replace_frames(frames, adjust(d->get_loop_begin()), adjust(d->get_loop_end()))) selection.clear();
}

void Sample_Editor::frame_paste() {
    int begin, end;
    if (frame_clipboard.empty() || !clipboard_range(&begin, &end)) return;
    Song_History::Step step(recording_history(), "Paste frames");
    step.watch_sample(slot());
    Sample_Data* d = data();
    std::vector<float> frames;
    frames.reserve(d->get_size() + frame_clipboard.size());
    for (int i = 0; i < end; i++) frames.push_back(d->get_sample(i));
    frames.insert(frames.end(), frame_clipboard.begin(), frame_clipboard.end());
    for (int i = end; i < d->get_size(); i++) frames.push_back(d->get_sample(i));
    int inserted = (int)frame_clipboard.size();
    auto shift = [end, inserted](int point) { return point >= end ? point + inserted : point; };
    replace_frames(frames, shift(d->get_loop_begin()), shift(d->get_loop_end()));
}
