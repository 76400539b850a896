#include "trackercore/pattern.h"

#include <string>

#include "common/components/data/error_line.h"

const Note Pattern::empty_note;
Mutex_Lock* Pattern::data_lock = nullptr;
thread_local int Pattern::edit_depth = 0;

// The data lock for one call, unless this thread already holds it through an Edit_Scope.
class Pattern::Data_Guard {
public:
    Data_Guard() : lock(edit_depth == 0 ? data_lock : nullptr) {
        if (lock) lock->grab();
    }
    ~Data_Guard() {
        if (lock) lock->release();
    }
    Data_Guard(const Data_Guard&) = delete;
    Data_Guard& operator=(const Data_Guard&) = delete;

private:
    Mutex_Lock* lock;
};

Pattern::Edit_Scope::Edit_Scope() : lock(edit_depth == 0 ? data_lock : nullptr) {
    if (lock) lock->grab();
    edit_depth++;
}

Pattern::Edit_Scope::~Edit_Scope() {
    edit_depth--;
    if (lock) lock->release();
}

static bool cell_in_grid(int column, int row, int length) {
    return column >= 0 && column < Pattern::CHANNELS && row >= 0 && row < length;
}

void Pattern::discard_data() {
    std::vector<std::map<int, Note>>().swap(data);  // release the capacity too
    empty = true;
}

bool Pattern::check_for_empty_pattern() const {
    if (empty) return true;
    for (const auto& channel : data)
        if (!channel.empty()) return false;
    return true;
}

void Pattern::process_insert_request(int column, int row, const Note& note) {
    if (column < 0 || column >= CHANNELS) return;
    if (note == empty_note) {
        if (empty) return;
        note_count -= (int)data[column].erase(row);
        if (check_for_empty_pattern()) discard_data();
        return;
    }
    if (empty) {
        data.assign(CHANNELS, {});
        empty = false;
    }
    auto [entry, inserted] = data[column].try_emplace(row, note);
    if (inserted)
        note_count++;
    else
        entry->second = note;
}

Note Pattern::process_retrieve_request(int column, int row) const {
    if (empty || column < 0 || column >= CHANNELS) return empty_note;
    auto entry = data[column].find(row);
    return entry == data[column].end() ? empty_note : entry->second;
}

Note Pattern::get_note(int column, int row) {
    Data_Guard guard;
    if (!cell_in_grid(column, row, length)) return empty_note;
    if (cache_active && column == cache_column && row == cache_row) return cache_note;
    return process_retrieve_request(column, row);
}

int Pattern::get_used_columns() {
    Data_Guard guard;
    int used = cache_active ? cache_column + 1 : 0;
    if (empty) return used;
    for (int c = CHANNELS - 1; c >= used; c--)
        if (!data[c].empty()) return c + 1;
    return used;
}

Note& Pattern::get_note_ref(int column, int row) {
    Data_Guard guard;
    if (cache_active) process_insert_request(cache_column, cache_row, cache_note);
    if (!cell_in_grid(column, row, length)) {
        ERROR_LINE("trackercore/pattern", 156,
                   "It wants a note from " + std::to_string(column) + "," + std::to_string(row));
        cache_note = empty_note;
        cache_active = false;
        return cache_note;
    }
    cache_column = column;
    cache_row = row;
    cache_active = true;
    cache_note = process_retrieve_request(column, row);
    return cache_note;
}

void Pattern::set_length(int rows) {
    if (rows < 1 || rows > MAX_LENGTH) return;
    Data_Guard guard;
    // A pending write past the new end would otherwise be committed outside the pattern.
    if (cache_active && cache_row >= rows) cache_active = false;
    if (!empty) {
        int first_removed = rows < length ? rows : length;
        for (auto& channel : data) {
            auto from = channel.lower_bound(first_removed);
            note_count -= (int)std::distance(from, channel.end());
            channel.erase(from, channel.end());
        }
        if (check_for_empty_pattern()) discard_data();
    }
    length = rows;
}

void Pattern::clear() {
    Data_Guard guard;
    discard_data();
    note_count = 0;
    cache_row = -1;
    cache_column = -1;
    cache_active = false;
}
