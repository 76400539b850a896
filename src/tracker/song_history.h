#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/components/audio/mutex_lock.h"

class Sample_Edit_Players;
class Song;

// One song's undo history. Every edit made through the editor, the pages and the slot
// operations becomes a step that can undo and redo itself and keeps only what it changed
// (a pattern's or an instrument's before and after, a sample's changed frames). The history
// also tells whether the song differs from what was last loaded or saved: undoing back to
// the saved step makes it clean again.
//
// Everything here runs on the interface thread. Undo and redo take the player's variables
// lock and the pattern data lock themselves, so their callers must not hold them.
class Song_History {
public:
    static constexpr int MAX_STEPS = 100;
    static constexpr size_t MAX_BYTES = (size_t)256 << 20;

    // What a step touched, so that the pages showing it can refresh.
    enum Part {
        PART_PATTERNS = 1,
        PART_ORDERS = 2,
        PART_VARIABLES = 4,
        PART_SAMPLES = 8,
        PART_INSTRUMENTS = 16,
    };

    // One undoable change. It holds the state before and after; it is applied in three
    // stages so that nothing is allocated or freed while the audio thread waits.
    class Change {
    public:
        virtual ~Change() = default;
        // Takes the state after the edit; false when nothing differs from before.
        virtual bool capture_after(Song& song) = 0;
        // Outside the locks: builds whatever apply() puts in place.
        virtual void prepare(Song&, bool /*undo*/) {}
        // Under the variables and pattern data locks.
        virtual void apply(Song& song, Sample_Edit_Players* players, bool undo) = 0;
        // Outside the locks: frees what apply() took out.
        virtual void finish() {}
        // Whether the live keyboard's sample preview must stop before apply().
        virtual bool stops_sample_previews() const { return false; }
        virtual size_t get_byte_size() const = 0;
        virtual int get_parts() const = 0;
        virtual int get_pattern() const { return -1; }
        // Takes over a later change of the same thing, so this one ends where that one ends.
        virtual bool absorb(Change&) { return false; }
        // Before and after are the same (a run that came back to where it started).
        virtual bool is_empty() const = 0;
    };

    // An edit in the making: what it may change is snapshotted by the watch calls before the
    // edit, and what did change is recorded as one step by commit() (or the destructor).
    // Watching nothing, or changing nothing, records nothing.
    class Step {
    public:
        Step(Song_History* history, std::string description);  // null: records nothing
        ~Step() { commit(); }
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

        Step& watch_pattern(int index);
        Step& watch_patterns(int first, int last);
        Step& watch_orders();
        // The song variables and the initial ones (channel defaults included).
        Step& watch_variables();
        Step& watch_instrument(int slot);
        // The sample's settings and frames. With a frame range, the edit promises to change
        // no frame outside it as long as the sample keeps its size and depth.
        Step& watch_sample(int slot);
        Step& watch_sample(int slot, int first_frame, int last_frame);
        // The sample's settings only: the edit leaves the frames alone.
        Step& watch_sample_settings(int slot);
        Step& watch_all_samples();
        Step& watch_all_instruments();

        // A later step with the same description and key merges into this one while nothing
        // else came between: a run of typing into one cell, the same block operation again.
        Step& merge_with_same(int key = 0);
        // The same, but only while the steps follow within the merge window (a drag, a spin).
        Step& merge_while_running(int key = 0);

        void commit();

    private:
        void watch(std::unique_ptr<Change> change);

        Song_History* history;
        std::string description;
        std::vector<std::unique_ptr<Change>> watched;
        int merge_mode = 0;
        int merge_key = 0;
    };

    // A lock handed to a page's editors in place of the variables lock: whatever they change
    // while holding it is recorded as a step on the target the page set.
    class Recording_Lock : public Mutex_Lock {
    public:
        using Watch = std::function<void(Step&)>;

        explicit Recording_Lock(Song_History* history, Mutex_Lock* lock = nullptr) : history(history), lock(lock) {}
        void set_lock(Mutex_Lock* to) { lock = to; }
        void set_history(Song_History* to) { history = to; }
        // The edited thing and the description its steps get; a null watch records nothing.
        void set_target(const std::string& description, int key, Watch watch);
        // For edits that cannot be undone (the mixer's buses and effect chains): each one
        // held marks the song modified.
        void set_marks_modified(bool on) { marks_modified = on; }

        void grab() override;
        bool try_grab() override;
        void release() override;
        Mutex_Lock* create_mutex_type() override;

    private:
        void begin();
        void end();

        Song_History* history;
        Mutex_Lock* lock;
        std::string description;
        int key = 0;
        Watch target;
        bool marks_modified = false;
        std::unique_ptr<Step> step;
    };

    Song_History() = default;
    Song_History(const Song_History&) = delete;
    Song_History& operator=(const Song_History&) = delete;

    // `players` silences and locks what undo and redo change.
    void link(Song* song, Sample_Edit_Players* players);
    Song* get_song() const { return song; }

    // Each returns the parts it changed (0 when there was nothing to do).
    int undo();
    int redo();
    bool can_undo() const { return position > 0; }
    bool can_redo() const { return position < (int)entries.size(); }
    int get_undo_count() const { return position; }
    int get_redo_count() const { return (int)entries.size() - position; }
    // Index 0 is the newest done step (undo) or the next step to redo (redo).
    const std::string& get_undo_description(int index) const;
    const std::string& get_redo_description(int index) const;
    // The pattern a step changed, or -1.
    int get_undo_pattern(int index) const;
    int get_redo_pattern(int index) const;
    int get_undo_parts(int index) const;
    int get_redo_parts(int index) const;

    // What the held steps take, as they account for it.
    size_t get_byte_size() const { return bytes; }
    // Changes with every step recorded, undone or redone, and with the modified state.
    unsigned long get_generation() const { return generation; }
    // Parts changed by undo and redo since the last call: the pages refresh them.
    int take_applied_parts();

    bool is_modified() const { return unrecorded_changes || state_serial() != saved_serial; }
    // An edit that cannot be undone (the mixer's effect chains) still marks the song modified.
    void mark_modified();
    void mark_saved();
    // A new or loaded song: nothing to undo, nothing changed.
    void clear();

    void set_merge_window(std::chrono::milliseconds window) { merge_window = window; }

    // Records a change made elsewhere (the steps do this).
    void record(std::unique_ptr<Change> change, const std::string& description, int merge_mode, int merge_key);

    enum Merge_Mode { MERGE_NEVER, MERGE_SAME, MERGE_RUNNING };

private:
    struct Entry {
        std::unique_ptr<Change> change;
        std::string description;
        int merge_mode;
        int merge_key;
        unsigned long serial;
        size_t bytes;
        std::chrono::steady_clock::time_point last_edit;
    };

    unsigned long state_serial() const { return position > 0 ? entries[position - 1].serial : base_serial; }
    bool merge(std::unique_ptr<Change>& change, const std::string& description, int merge_mode, int merge_key);
    void apply(Change& change, bool undo);
    void drop_redo();
    void keep_bounds();
    void changed() { generation++; }

    Song* song = nullptr;
    Sample_Edit_Players* players = nullptr;
    std::vector<Entry> entries;  // oldest first
    int position = 0;            // entries before it are done, the rest can be redone
    size_t bytes = 0;
    unsigned long next_serial = 1;
    unsigned long base_serial = 0;   // the state before the oldest entry
    unsigned long saved_serial = 0;  // the state last loaded or saved
    bool unrecorded_changes = false;
    unsigned long generation = 0;
    int applied_parts = 0;
    std::chrono::milliseconds merge_window{1000};
};
