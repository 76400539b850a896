#pragma once

#include <memory>
#include <vector>

#include <sigc++/signal.h>

#include "tracker/edit_effect.h"
#include "tracker/selection.h"

class Sample;
class Song_History;

// What must be silenced while a sample's data block is replaced: the live keyboard's
// preview and the player's voices. Wired to Player_Realtime_Keyboard and Player_Data.
class Sample_Edit_Players {
public:
    virtual ~Sample_Edit_Players() = default;
    virtual void sample_stop_all() = 0;
    virtual void lock_player_variables() = 0;
    virtual void erase_voices_using_sample(Sample* sample) = 0;
    virtual void unlock_player_variables() = 0;
};

// The toolkit-independent part of the sample page: the edit effects, the frame selection
// and the frame clipboard, working on the data of one sample.
class Sample_Editor {
public:
    Sample_Editor();
    Sample_Editor(const Sample_Editor&) = delete;
    Sample_Editor& operator=(const Sample_Editor&) = delete;

    void set_sample(Sample* sample);
    Sample* get_sample() const { return sample; }
    void link_to_players(Sample_Edit_Players* to) { players = to; }
    // The edits become steps of this history when the sample is one of its song's.
    void link_to_history(Song_History* to) { history = to; }
    Selection* get_selection() { return &selection; }

    int get_effect_count() const { return (int)effects.size(); }
    Edit_Effect* get_effect(int index) const;
    // Presets the effect for the current range and returns its parameters.
    Property_Bridge_List select_effect(int index);
    void apply_effect(int index);

    // The frame clipboard; here the selection's end is exclusive.
    void frame_copy();
    void frame_cut();
    void frame_paste();
    void frame_clipboard_clear() { frame_clipboard.clear(); }
    const std::vector<float>& get_frame_clipboard() const { return frame_clipboard; }

    // Stops everything reading the sample's block; every begin is followed by one end.
    void destructive_operation_begin();
    void destructive_operation_end();

    // Around every change of the frames, so that views can repaint.
    sigc::signal<void()> data_modification_begin;
    sigc::signal<void()> data_modification_end;

private:
    Sample_Data* data() const;
    bool effect_range(int* begin, int* end) const;
    // The selection as begin..end-1 clipped to the frames; false when there is no sample data.
    bool clipboard_range(int* begin, int* end) const;
    bool replace_frames(const std::vector<float>& frames, int loop_begin, int loop_end);
    // The song's slot being edited, or -1 when the sample is not one of the history's song.
    int slot() const;
    Song_History* recording_history() const { return slot() >= 0 ? history : nullptr; }

    Sample* sample = nullptr;
    Sample_Edit_Players* players = nullptr;
    Song_History* history = nullptr;
    Selection selection;
    std::vector<std::unique_ptr<Edit_Effect>> effects;
    std::vector<float> frame_clipboard;
};
