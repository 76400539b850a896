#pragma once

#include <map>
#include <vector>

#include "common/components/audio/mutex_lock.h"
#include "trackercore/note.h"

// A grid of 64 channels by 1..256 rows, stored sparsely: only non-empty cells take memory,
// and a pattern without any holds no per-channel maps at all.
class Pattern {
public:
    static constexpr int CHANNELS = 64;
    static constexpr int MAX_LENGTH = 256;
    static constexpr int DEFAULT_LENGTH = 64;

    static const Note empty_note;
    // Guards every pattern's cells between the interface and audio threads; null means no locking.
    static Mutex_Lock* data_lock;

    // Holds the data lock across an edit made through get_note_ref, so the write into the
    // returned cell happens under the lock like the audio thread's reads of it. Pattern calls
    // made inside the scope on the same thread do not take the lock again.
    class Edit_Scope {
    public:
        Edit_Scope();
        ~Edit_Scope();
        Edit_Scope(const Edit_Scope&) = delete;
        Edit_Scope& operator=(const Edit_Scope&) = delete;

    private:
        Mutex_Lock* lock;
    };

    // Marks this thread as one that reads only patterns no other thread can reach (a copy being
    // written out): its Pattern calls take no lock, so they never hold up the audio thread.
    class Unshared_Scope {
    public:
        Unshared_Scope() { edit_depth++; }
        ~Unshared_Scope() { edit_depth--; }
        Unshared_Scope(const Unshared_Scope&) = delete;
        Unshared_Scope& operator=(const Unshared_Scope&) = delete;
    };

    Pattern() = default;

    Note get_note(int column, int row);
    // The reference is to a one-cell write cache, committed by the next get_note_ref on this
    // pattern; use it at once. Out-of-range cells print an error and give a scratch note.
    Note& get_note_ref(int column, int row);
    void set_length(int rows);  // 1..256; anything else is ignored
    int get_length() const { return length; }
    void clear();
    int get_note_count() const { return note_count; }
    bool check_for_empty_pattern() const;
    // True when no cell is stored (the pattern holds no maps).
    bool is_empty() const { return empty; }
    // One past the last column holding a cell (0 when none does).
    int get_used_columns();

private:
    class Data_Guard;
    static thread_local int edit_depth;  // Edit_Scopes open on this thread

    void process_insert_request(int column, int row, const Note& note);
    Note process_retrieve_request(int column, int row) const;
    void discard_data();

    std::vector<std::map<int, Note>> data;
    int length = DEFAULT_LENGTH;
    Note cache_note;
    int cache_row = -1;
    int cache_column = -1;
    bool cache_active = false;
    bool empty = true;
    int note_count = 0;
};
