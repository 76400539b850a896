#include "tracker/song_history.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "common/components/data/property_bridge.h"
#include "tracker/sample_editor.h"
#include "trackercore/song.h"

namespace {

// What a stored cell costs in its channel's map, as the common map nodes lay it out.
constexpr size_t MAP_NODE_BYTES = 48;

size_t pattern_bytes(const Pattern& pattern) {
    return sizeof(Pattern) + (pattern.is_empty() ? 0 : Pattern::CHANNELS * sizeof(std::map<int, Note>)) +
           (size_t)pattern.get_note_count() * MAP_NODE_BYTES;
}

// A copy whose pending write through get_note_ref is stored like every other cell.
Pattern snapshot_of(Pattern& live) {
    Pattern copy = live;
    copy.get_note_ref(0, 0);
    return copy;
}

bool same_cells(Pattern& a, Pattern& b) {
    if (a.get_length() != b.get_length() || a.get_note_count() != b.get_note_count()) return false;
    Pattern::Edit_Scope scope;  // one lock for all the reads, not one each
    for (int column = 0; column < Pattern::CHANNELS; column++)
        for (int row = 0; row < a.get_length(); row++)
            if (a.get_note(column, row) != b.get_note(column, row)) return false;
    return true;
}

// Patterns: whole copies before and after (patterns are small and sparse).
class Patterns_Change : public Song_History::Change {
public:
    Patterns_Change(Song& song, int first, int last) {
        for (int index = first; index <= last; index++)
            if (Pattern* live = song.get_pattern(index)) items.push_back({index, snapshot_of(*live), Pattern()});
    }
    bool capture_after(Song& song) override {
        std::vector<Item> changed;
        for (Item& item : items) {
            item.after = snapshot_of(*song.get_pattern(item.index));
            if (!same_cells(item.after, item.before)) changed.push_back(std::move(item));
        }
        items = std::move(changed);
        return !items.empty();
    }
    // The copies are made and the replaced cells freed outside the locks; inside, patterns swap.
    void prepare(Song&, bool undo) override {
        for (Item& item : items) staged.push_back(undo ? item.before : item.after);
    }
    void apply(Song& song, Sample_Edit_Players*, bool) override {
        for (size_t i = 0; i < items.size() && i < staged.size(); i++)
            std::swap(*song.get_pattern(items[i].index), staged[i]);
    }
    void finish() override { staged.clear(); }
    size_t get_byte_size() const override {
        size_t total = sizeof(*this);
        for (const Item& item : items) total += pattern_bytes(item.before) + pattern_bytes(item.after);
        return total;
    }
    int get_parts() const override { return Song_History::PART_PATTERNS; }
    int get_pattern() const override { return items.empty() ? -1 : items.front().index; }
    bool absorb(Song_History::Change& later) override {
        auto* other = dynamic_cast<Patterns_Change*>(&later);
        if (!other || other->items.size() != 1 || items.size() != 1 || other->items[0].index != items[0].index)
            return false;
        items[0].after = std::move(other->items[0].after);
        return true;
    }
    bool is_empty() const override {
        for (Item& item : items)
            if (!same_cells(item.after, item.before)) return false;
        return true;
    }

private:
    struct Item {
        int index;
        Pattern before;
        Pattern after;
    };
    mutable std::vector<Item> items;  // reading cells moves their write cache
    std::vector<Pattern> staged;
};

class Orders_Change : public Song_History::Change {
public:
    explicit Orders_Change(Song& song) { std::copy(song.order, song.order + Song::MAX_ORDERS, before); }
    bool capture_after(Song& song) override {
        std::copy(song.order, song.order + Song::MAX_ORDERS, after);
        return !is_empty();
    }
    void apply(Song& song, Sample_Edit_Players*, bool undo) override {
        const short* from = undo ? before : after;
        std::copy(from, from + Song::MAX_ORDERS, song.order);
    }
    size_t get_byte_size() const override { return sizeof(*this); }
    int get_parts() const override { return Song_History::PART_ORDERS; }
    bool absorb(Song_History::Change& later) override {
        auto* other = dynamic_cast<Orders_Change*>(&later);
        if (!other) return false;
        std::copy(other->after, other->after + Song::MAX_ORDERS, after);
        return true;
    }
    bool is_empty() const override { return std::equal(before, before + Song::MAX_ORDERS, after); }

private:
    short before[Song::MAX_ORDERS];
    short after[Song::MAX_ORDERS];
};

// Every variable has a bridge, so two sets compare through their bridges.
bool same_values(const Property_Bridge_List& a, const Property_Bridge_List& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (auto* x = dynamic_cast<const Int_Property_Bridge*>(a[i])) {
            if (x->get() != static_cast<const Int_Property_Bridge*>(b[i])->get()) return false;
        } else if (auto* y = dynamic_cast<const Bool_Property_Bridge*>(a[i])) {
            if (y->get() != static_cast<const Bool_Property_Bridge*>(b[i])->get()) return false;
        } else if (auto* z = dynamic_cast<const String_Property_Bridge*>(a[i])) {
            if (z->get() != static_cast<const String_Property_Bridge*>(b[i])->get()) return false;
        } else if (auto* o = dynamic_cast<const Options_Property_Bridge*>(a[i])) {
            if (o->get() != static_cast<const Options_Property_Bridge*>(b[i])->get()) return false;
        } else if (auto* f = dynamic_cast<const Float_Property_Bridge*>(a[i])) {
            if (f->get() != static_cast<const Float_Property_Bridge*>(b[i])->get()) return false;
        }
    }
    return true;
}

struct Variables_State {
    Song::Song_Variables variables;
    Song::Initial_Variables initial;

    bool operator==(const Variables_State& other) const {
        if (!same_values(variables.get_properties(), other.variables.get_properties()) ||
            !same_values(initial.get_properties(), other.initial.get_properties()))
            return false;
        for (int c = 0; c < Song::CHANNELS; c++)
            if (!same_values(initial.channel[c].get_properties(), other.initial.channel[c].get_properties()))
                return false;
        return true;
    }
};

class Variables_Change : public Song_History::Change {
public:
    explicit Variables_Change(Song& song) {
        before.variables = song.variables;
        before.initial = song.initial_variables;
    }
    bool capture_after(Song& song) override {
        after.variables = song.variables;
        after.initial = song.initial_variables;
        return !is_empty();
    }
    void apply(Song& song, Sample_Edit_Players*, bool undo) override {
        const Variables_State& to = undo ? before : after;
        song.variables = to.variables;
        song.initial_variables = to.initial;
    }
    size_t get_byte_size() const override {
        return sizeof(*this) + before.variables.message.size() + after.variables.message.size();
    }
    int get_parts() const override { return Song_History::PART_VARIABLES; }
    bool absorb(Song_History::Change& later) override {
        auto* other = dynamic_cast<Variables_Change*>(&later);
        if (!other) return false;
        after.variables = other->after.variables;
        after.initial = other->after.initial;
        return true;
    }
    bool is_empty() const override { return before == after; }

private:
    Variables_State before;
    Variables_State after;
};

bool same_envelope(const Envelope& a, const Envelope& b) {
    if (a.get_node_count() != b.get_node_count() || a.is_enabled() != b.is_enabled() ||
        a.is_loop_enabled() != b.is_loop_enabled() || a.get_loop_begin() != b.get_loop_begin() ||
        a.get_loop_end() != b.get_loop_end() || a.is_sustain_loop_enabled() != b.is_sustain_loop_enabled() ||
        a.is_carry_enabled() != b.is_carry_enabled() ||
        a.get_sustain_loop_begin() != b.get_sustain_loop_begin() ||
        a.get_sustain_loop_end() != b.get_sustain_loop_end() || a.get_max_nodes() != b.get_max_nodes() ||
        a.get_min_nodes() != b.get_min_nodes() || a.get_max_height() != b.get_max_height() ||
        a.get_min_height() != b.get_min_height())
        return false;
    for (int i = 0; i < a.get_node_count(); i++)
        if (a.get_node_offset(i) != b.get_node_offset(i) || a.get_node_height(i) != b.get_node_height(i)) return false;
    return true;
}

bool same_layer(const Instrument::Layer& a, const Instrument::Layer& b) {
    return a.override_instrument_output == b.override_instrument_output && a.channel_output == b.channel_output &&
           std::memcmp(a.sample_table, b.sample_table, sizeof a.sample_table) == 0 &&
           std::memcmp(a.note_table, b.note_table, sizeof a.note_table) == 0 && a.nna_type == b.nna_type &&
           a.dc_type == b.dc_type && a.dc_action == b.dc_action &&
           same_envelope(a.volume_envelope, b.volume_envelope) &&
           a.volume_amount == b.volume_amount && a.volume_fadeout == b.volume_fadeout &&
           a.volume_random == b.volume_random && same_envelope(a.panning_envelope, b.panning_envelope) &&
           a.pan_use_default == b.pan_use_default && a.pan_default == b.pan_default &&
           a.pitch_separation == b.pitch_separation && a.pitch_center == b.pitch_center &&
           a.pan_random == b.pan_random && same_envelope(a.pitch_envelope, b.pitch_envelope) &&
           a.pitch_use_as_filter == b.pitch_use_as_filter && a.pitch_use_default_cutoff == b.pitch_use_default_cutoff &&
           a.pitch_default_cutoff == b.pitch_default_cutoff && a.pitch_use_default_Q == b.pitch_use_default_Q &&
           a.pitch_default_Q == b.pitch_default_Q;
}

bool same_instrument(const Instrument& a, const Instrument& b) {
    if (a.name != b.name || a.filename != b.filename || a.channel_output != b.channel_output) return false;
    for (int l = 0; l < Instrument::LAYERS; l++)
        if (!same_layer(a.layers[l], b.layers[l])) return false;
    return true;
}

size_t envelope_bytes(const Envelope& e) { return (size_t)e.get_node_count() * sizeof(Envelope::Node); }

size_t instrument_bytes(const Instrument& instrument) {
    size_t total = sizeof(Instrument) + instrument.name.size() + instrument.filename.size();
    for (const Instrument::Layer& layer : instrument.layers)
        total += envelope_bytes(layer.volume_envelope) + envelope_bytes(layer.panning_envelope) +
                 envelope_bytes(layer.pitch_envelope);
    return total;
}

class Instrument_Change : public Song_History::Change {
public:
    Instrument_Change(Song& song, int slot) : slot(slot), before(*song.get_instrument(slot)) {}
    bool capture_after(Song& song) override {
        after = *song.get_instrument(slot);
        return !is_empty();
    }
    void apply(Song& song, Sample_Edit_Players*, bool undo) override {
        *song.get_instrument(slot) = undo ? before : after;
    }
    size_t get_byte_size() const override {
        return sizeof(*this) - 2 * sizeof(Instrument) + instrument_bytes(before) + instrument_bytes(after);
    }
    int get_parts() const override { return Song_History::PART_INSTRUMENTS; }
    bool absorb(Song_History::Change& later) override {
        auto* other = dynamic_cast<Instrument_Change*>(&later);
        if (!other || other->slot != slot) return false;
        after = other->after;
        return true;
    }
    bool is_empty() const override { return same_instrument(before, after); }

private:
    int slot;
    Instrument before;
    Instrument after;
};

// A sample's settings without its frames: the frame count and depth are kept, the block is not.
void copy_settings(Sample& to, const Sample& from) {
    to.name = from.name;
    to.filename = from.filename;
    to.def_volume = from.def_volume;
    to.glb_volume = from.glb_volume;
    to.def_panning_active = from.def_panning_active;
    to.def_panning = from.def_panning;
    to.vibrato_type = from.vibrato_type;
    to.vibrato_speed = from.vibrato_speed;
    to.vibrato_depth = from.vibrato_depth;
    to.vibrato_rate = from.vibrato_rate;
    to.in_use = from.in_use;
    to.data.set_loop_enabled(from.data.is_loop_enabled());
    to.data.set_loop_ping_pong(from.data.is_loop_ping_pong());
    to.data.set_loop_begin(from.data.get_loop_begin());
    to.data.set_loop_end(from.data.get_loop_end());
    to.data.set_c5_freq(from.data.get_c5_freq());
}

Sample settings_of(const Sample& sample) {
    Sample copy;
    copy_settings(copy, sample);
    copy.data.set_data_ptr(nullptr, sample.data.get_size(), sample.data.is_16bit());
    return copy;
}

bool same_settings(const Sample& a, const Sample& b) {
    return a.name == b.name && a.filename == b.filename && a.def_volume == b.def_volume &&
           a.glb_volume == b.glb_volume && a.def_panning_active == b.def_panning_active &&
           a.def_panning == b.def_panning && a.vibrato_type == b.vibrato_type && a.vibrato_speed == b.vibrato_speed &&
           a.vibrato_depth == b.vibrato_depth && a.vibrato_rate == b.vibrato_rate && a.in_use == b.in_use &&
           a.data.is_loop_enabled() == b.data.is_loop_enabled() &&
           a.data.is_loop_ping_pong() == b.data.is_loop_ping_pong() &&
           a.data.get_loop_begin() == b.data.get_loop_begin() && a.data.get_loop_end() == b.data.get_loop_end() &&
           a.data.get_c5_freq() == b.data.get_c5_freq() && a.data.get_size() == b.data.get_size() &&
           a.data.is_16bit() == b.data.is_16bit();
}

size_t block_bytes(const Sample_Data& data) { return data.get_data_ptr() ? (size_t)data.get_byte_size() : 0; }

const char* block_of(const Sample_Data& data) { return static_cast<const char*>(data.get_data_ptr()); }

// A sample: its settings before and after, and of its frames only the span that differs: the
// bytes both blocks share at their start and at their end are not kept.
class Sample_Change : public Song_History::Change {
public:
    // `window` is the byte span the edit may change while the block keeps its size; the
    // whole block when it is -1..-1; none at all for settings only.
    Sample_Change(Song& song, int slot, long window_begin, long window_end, bool frames)
        : slot(slot), frames(frames), before(settings_of(*song.get_sample(slot))) {
        const Sample_Data& data = song.get_sample(slot)->data;
        before_length = block_bytes(data);
        if (!frames) return;
        long length = (long)before_length;
        begin = window_begin < 0 ? 0 : std::min(window_begin, length);
        end = window_end < 0 ? length : std::clamp(window_end, begin, length);
        if (before_length) before_window.assign(block_of(data) + begin, block_of(data) + end);
    }

    bool capture_after(Song& song) override {
        const Sample& sample = *song.get_sample(slot);
        after = settings_of(sample);
        after_length = block_bytes(sample.data);
        if (frames) diff(sample.data);
        std::vector<char>().swap(before_window);
        return !is_empty();
    }

    void prepare(Song& song, bool undo) override {
        const Sample_Data& data = song.get_sample(slot)->data;
        const Sample& target = undo ? before : after;
        const std::vector<char>& middle = undo ? before_middle : after_middle;
        size_t length = undo ? before_length : after_length;
        size_t current = block_bytes(data);
        in_place = current == length && data.get_data_ptr() && data.get_size() == target.data.get_size() &&
                   data.is_16bit() == target.data.is_16bit();
        new_block = nullptr;
        if (broken || in_place || length == 0) return;
        new_block = std::malloc(length);
        if (!new_block) return;
        char* to = static_cast<char*>(new_block);
        // An empty block has no address to copy from, even for nothing.
        if (prefix) std::memcpy(to, block_of(data), prefix);
        if (!middle.empty()) std::memcpy(to + prefix, middle.data(), middle.size());
        if (suffix) std::memcpy(to + prefix + middle.size(), block_of(data) + current - suffix, suffix);
    }

    void apply(Song& song, Sample_Edit_Players* players, bool undo) override {
        Sample& sample = *song.get_sample(slot);
        const Sample& to = undo ? before : after;
        size_t length = undo ? before_length : after_length;
        old_block = nullptr;
        if (broken) return;
        if (frames && length != 0 && !in_place && !new_block) return;  // out of memory: the sample stays as it is
        if (frames && in_place) {
            const std::vector<char>& middle = undo ? before_middle : after_middle;
            char* live = static_cast<char*>(sample.data.get_data_ptr());
            if (!middle.empty()) std::memcpy(live + prefix, middle.data(), middle.size());
        }
        void* block = sample.data.get_data_ptr();
        if (frames && !in_place) {
            if (players) players->erase_voices_using_sample(&sample);
            old_block = block;
            block = new_block;
            new_block = nullptr;
        }
        copy_settings(sample, to);
        sample.data.release_data_ptr();
        sample.data.set_data_ptr(block, to.data.get_size(), to.data.is_16bit());
    }

    void finish() override {
        std::free(old_block);
        std::free(new_block);
        old_block = new_block = nullptr;
    }

    bool stops_sample_previews() const override { return frames; }
    size_t get_byte_size() const override {
        return sizeof(*this) + before.name.size() + after.name.size() + before_middle.capacity() +
               after_middle.capacity();
    }
    int get_parts() const override { return Song_History::PART_SAMPLES; }
    bool absorb(Song_History::Change& later) override {
        auto* other = dynamic_cast<Sample_Change*>(&later);
        // Frames would have to be diffed again; only settings runs (a spin, a drag) merge.
        if (!other || other->slot != slot || frames || other->frames) return false;
        after = settings_of(other->after);
        return true;
    }
    bool is_empty() const override {
        return same_settings(before, after) && before_length == after_length && before_middle == after_middle;
    }

private:
    void diff(const Sample_Data& data) {
        const char* now = block_of(data);
        size_t window_length = before_window.size();
        // The promise of the window holds only while the block keeps its size.
        bool windowed = after_length == before_length && (begin > 0 || (size_t)end < before_length);
        if (!windowed && window_length != before_length) {
            // The edit broke its promise and changed the size: without the old frames the
            // step could only do harm, so it does nothing.
            broken = true;
            return;
        }
        size_t first = windowed ? (size_t)begin : 0;
        const char* old_bytes = before_window.data();
        size_t old_length = windowed ? window_length : before_window.size();
        size_t new_length = windowed ? window_length : after_length;
        const char* new_bytes = now ? now + first : nullptr;
        size_t common = std::min(old_length, new_length);
        size_t head = 0;
        while (head < common && old_bytes[head] == new_bytes[head]) head++;
        size_t tail = 0;
        while (tail < common - head && old_bytes[old_length - 1 - tail] == new_bytes[new_length - 1 - tail]) tail++;
        prefix = first + head;
        suffix = (windowed ? before_length - (first + old_length) : 0) + tail;
        before_middle.assign(old_bytes + head, old_bytes + old_length - tail);
        if (new_bytes) after_middle.assign(new_bytes + head, new_bytes + new_length - tail);
    }

    int slot;
    bool frames;
    Sample before;
    Sample after;
    size_t before_length = 0;
    size_t after_length = 0;
    long begin = 0;
    long end = 0;
    std::vector<char> before_window;  // while the edit runs
    size_t prefix = 0;                // bytes both blocks share at their start
    size_t suffix = 0;                // ... and at their end
    std::vector<char> before_middle;
    std::vector<char> after_middle;
    bool in_place = false;
    bool broken = false;
    void* new_block = nullptr;
    void* old_block = nullptr;
};

// Several changes made by one edit (an instrument loaded with its samples).
class Group_Change : public Song_History::Change {
public:
    explicit Group_Change(std::vector<std::unique_ptr<Song_History::Change>> changes) : changes(std::move(changes)) {}
    bool capture_after(Song&) override { return true; }
    void prepare(Song& song, bool undo) override {
        for (auto& change : changes) change->prepare(song, undo);
    }
    void apply(Song& song, Sample_Edit_Players* players, bool undo) override {
        if (undo)
            for (auto change = changes.rbegin(); change != changes.rend(); ++change)
                (*change)->apply(song, players, true);
        else
            for (auto& change : changes) change->apply(song, players, false);
    }
    void finish() override {
        for (auto& change : changes) change->finish();
    }
    bool stops_sample_previews() const override {
        return std::any_of(changes.begin(), changes.end(), [](auto& c) { return c->stops_sample_previews(); });
    }
    size_t get_byte_size() const override {
        size_t total = sizeof(*this);
        for (auto& change : changes) total += change->get_byte_size();
        return total;
    }
    int get_parts() const override {
        int parts = 0;
        for (auto& change : changes) parts |= change->get_parts();
        return parts;
    }
    int get_pattern() const override {
        for (auto& change : changes)
            if (change->get_pattern() >= 0) return change->get_pattern();
        return -1;
    }
    bool is_empty() const override {
        return std::all_of(changes.begin(), changes.end(), [](auto& c) { return c->is_empty(); });
    }

private:
    std::vector<std::unique_ptr<Song_History::Change>> changes;
};

}  // namespace

// Steps

Song_History::Step::Step(Song_History* history, std::string description)
    : history(history && history->song ? history : nullptr), description(std::move(description)) {}

void Song_History::Step::watch(std::unique_ptr<Change> change) {
    if (history) watched.push_back(std::move(change));
}

Song_History::Step& Song_History::Step::watch_pattern(int index) { return watch_patterns(index, index); }

Song_History::Step& Song_History::Step::watch_patterns(int first, int last) {
    if (history) watch(std::make_unique<Patterns_Change>(*history->song, first, last));
    return *this;
}

Song_History::Step& Song_History::Step::watch_orders() {
    if (history) watch(std::make_unique<Orders_Change>(*history->song));
    return *this;
}

Song_History::Step& Song_History::Step::watch_variables() {
    if (history) watch(std::make_unique<Variables_Change>(*history->song));
    return *this;
}

Song_History::Step& Song_History::Step::watch_instrument(int slot) {
    if (history && history->song->get_instrument(slot))
        watch(std::make_unique<Instrument_Change>(*history->song, slot));
    return *this;
}

Song_History::Step& Song_History::Step::watch_all_instruments() {
    for (int slot = 0; slot < Song::MAX_INSTRUMENTS; slot++) watch_instrument(slot);
    return *this;
}

Song_History::Step& Song_History::Step::watch_sample(int slot) { return watch_sample(slot, -1, -1); }

Song_History::Step& Song_History::Step::watch_sample(int slot, int first_frame, int last_frame) {
    Sample* sample = history ? history->song->get_sample(slot) : nullptr;
    if (!sample) return *this;
    long width = sample->data.is_16bit() ? 2 : 1;
    long begin = first_frame < 0 ? -1 : first_frame * width;
    long end = last_frame < 0 ? -1 : (last_frame + 1L) * width;
    watch(std::make_unique<Sample_Change>(*history->song, slot, begin, end, true));
    return *this;
}

Song_History::Step& Song_History::Step::watch_sample_settings(int slot) {
    if (history && history->song->get_sample(slot))
        watch(std::make_unique<Sample_Change>(*history->song, slot, -1, -1, false));
    return *this;
}

Song_History::Step& Song_History::Step::watch_all_samples() {
    for (int slot = 0; slot < Song::MAX_SAMPLES; slot++) watch_sample(slot);
    return *this;
}

Song_History::Step& Song_History::Step::merge_with_same(int key) {
    merge_mode = MERGE_SAME;
    merge_key = key;
    return *this;
}

Song_History::Step& Song_History::Step::merge_while_running(int key) {
    merge_mode = MERGE_RUNNING;
    merge_key = key;
    return *this;
}

void Song_History::Step::commit() {
    if (!history) return;
    std::vector<std::unique_ptr<Change>> changed;
    for (auto& change : watched)
        if (change->capture_after(*history->song)) changed.push_back(std::move(change));
    watched.clear();
    Song_History* to = history;
    history = nullptr;
    if (changed.empty()) return;
    if (changed.size() == 1)
        to->record(std::move(changed.front()), description, merge_mode, merge_key);
    else
        to->record(std::make_unique<Group_Change>(std::move(changed)), description, merge_mode, merge_key);
}

// The recording lock

void Song_History::Recording_Lock::set_target(const std::string& to, int new_key, Watch watch) {
    description = to;
    key = new_key;
    target = std::move(watch);
}

void Song_History::Recording_Lock::begin() {
    if (!history || !target || step) return;
    step = std::make_unique<Step>(history, description);
    step->merge_while_running(key);
    target(*step);
}

void Song_History::Recording_Lock::end() {
    step.reset();
    if (marks_modified && history) history->mark_modified();
}

// Only this thread writes the song, so the snapshots are taken outside the lock the audio
// thread waits on.
void Song_History::Recording_Lock::grab() {
    begin();
    if (lock) lock->grab();
}

bool Song_History::Recording_Lock::try_grab() {
    if (lock && lock->try_grab()) return true;
    begin();
    return false;
}

void Song_History::Recording_Lock::release() {
    if (lock) lock->release();
    end();
}

Mutex_Lock* Song_History::Recording_Lock::create_mutex_type() { return lock ? lock->create_mutex_type() : nullptr; }

// The history

void Song_History::link(Song* to, Sample_Edit_Players* with) {
    song = to;
    players = with;
}

void Song_History::record(std::unique_ptr<Change> change, const std::string& description, int merge_mode,
                          int merge_key) {
    if (!change) return;
    drop_redo();
    if (merge(change, description, merge_mode, merge_key)) {
        changed();
        return;
    }
    size_t size = change->get_byte_size();
    entries.push_back({std::move(change), description, merge_mode, merge_key, next_serial++, size,
                       std::chrono::steady_clock::now()});
    position = (int)entries.size();
    bytes += size;
    keep_bounds();
    changed();
}

bool Song_History::merge(std::unique_ptr<Change>& change, const std::string& description, int merge_mode,
                         int merge_key) {
    if (merge_mode == MERGE_NEVER || entries.empty()) return false;
    Entry& top = entries.back();
    // The saved state must stay one that undo can come back to.
    if (top.serial == saved_serial || top.merge_mode != merge_mode || top.merge_key != merge_key ||
        top.description != description)
        return false;
    auto now = std::chrono::steady_clock::now();
    if (merge_mode == MERGE_RUNNING && now - top.last_edit > merge_window) return false;
    if (!top.change->absorb(*change)) return false;
    top.last_edit = now;
    bytes -= top.bytes;
    if (top.change->is_empty()) {
        // Back where the run started: as if none of it had happened.
        entries.pop_back();
        position = (int)entries.size();
        return true;
    }
    top.bytes = top.change->get_byte_size();
    bytes += top.bytes;
    return true;
}

void Song_History::drop_redo() {
    while ((int)entries.size() > position) {
        bytes -= entries.back().bytes;
        entries.pop_back();
    }
}

void Song_History::keep_bounds() {
    size_t drop = 0;
    size_t held = bytes;
    while (drop < entries.size() && ((int)(entries.size() - drop) > MAX_STEPS || held > MAX_BYTES)) {
        held -= entries[drop].bytes;
        drop++;
    }
    if (drop == 0) return;
    // The state before the oldest entry left is the state after the last one dropped.
    base_serial = entries[drop - 1].serial;
    entries.erase(entries.begin(), entries.begin() + (long)drop);
    bytes = held;
    position = (int)entries.size();
}

void Song_History::apply(Change& change, bool undo) {
    change.prepare(*song, undo);
    if (players && change.stops_sample_previews()) players->sample_stop_all();
    if (players) players->lock_player_variables();
    {
        Pattern::Edit_Scope pattern_scope;
        change.apply(*song, players, undo);
    }
    if (players) players->unlock_player_variables();
    change.finish();
    applied_parts |= change.get_parts();
}

int Song_History::undo() {
    if (!song || position == 0) return 0;
    Change& change = *entries[position - 1].change;
    apply(change, true);
    position--;
    changed();
    return change.get_parts();
}

int Song_History::redo() {
    if (!song || position >= (int)entries.size()) return 0;
    Change& change = *entries[position].change;
    apply(change, false);
    position++;
    changed();
    return change.get_parts();
}

namespace {
const std::string no_step;
}

const std::string& Song_History::get_undo_description(int index) const {
    if (index < 0 || index >= position) return no_step;
    return entries[position - 1 - index].description;
}

const std::string& Song_History::get_redo_description(int index) const {
    if (index < 0 || index >= get_redo_count()) return no_step;
    return entries[position + index].description;
}

int Song_History::get_undo_pattern(int index) const {
    if (index < 0 || index >= position) return -1;
    return entries[position - 1 - index].change->get_pattern();
}

int Song_History::get_redo_pattern(int index) const {
    if (index < 0 || index >= get_redo_count()) return -1;
    return entries[position + index].change->get_pattern();
}

int Song_History::get_undo_parts(int index) const {
    if (index < 0 || index >= position) return 0;
    return entries[position - 1 - index].change->get_parts();
}

int Song_History::get_redo_parts(int index) const {
    if (index < 0 || index >= get_redo_count()) return 0;
    return entries[position + index].change->get_parts();
}

int Song_History::take_applied_parts() {
    int parts = applied_parts;
    applied_parts = 0;
    return parts;
}

void Song_History::mark_modified() {
    if (unrecorded_changes) return;
    unrecorded_changes = true;
    changed();
}

void Song_History::mark_saved() {
    saved_serial = state_serial();
    unrecorded_changes = false;
    changed();
}

void Song_History::clear() {
    entries.clear();
    position = 0;
    bytes = 0;
    base_serial = next_serial++;
    saved_serial = base_serial;
    unrecorded_changes = false;
    applied_parts = 0;
    changed();
}
