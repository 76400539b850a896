#include "trackercore/song.h"

#include <algorithm>

// Song variables

Song::Song_Variables::Song_Variables()
    : name_prop("Name", &name, 25),
      filename_prop("File Name", &filename),
      message_prop("Message:", &message),
      row_hilight_minor_prop("Row Hilight Minor", &row_hilight_minor, 1, 200),
      row_hilight_major_prop("Row Hilight Major", &row_hilight_major, 1, 200),
      mixing_volume_prop("Mixing Volume", &mixing_volume, 0, 128),
      stereo_separation_prop("Stereo Separation", &stereo_separation, 0, 128),
      use_stereo_prop("Stereo", &use_stereo),
      // The editors list them in this order, which differs from the fields'.
      properties{&name_prop,          &message_prop,           &filename_prop,
                 &row_hilight_major_prop, &row_hilight_minor_prop, &mixing_volume_prop,
                 &stereo_separation_prop, &use_stereo_prop} {
    for (size_t i = 0; i < Playback_Rules::list().size(); i++) {
        const Playback_Rules::Entry& rule = Playback_Rules::list()[i];
        if (rule.flag)
            rule_properties.push_back(std::make_unique<Bool_Property_Bridge>(rule.caption, &(rules.*rule.flag)));
        else
            rule_properties.push_back(
                std::make_unique<Int_Property_Bridge>(rule.caption, &(rules.*rule.number), rule.min, rule.max));
        properties.push_back(rule_properties.back().get());
    }
    reset();
}

Song::Song_Variables::Song_Variables(const Song_Variables& from) : Song_Variables() { *this = from; }

Song::Song_Variables& Song::Song_Variables::operator=(const Song_Variables& from) {
    name = from.name;
    filename = from.filename;
    message = from.message;
    row_hilight_minor = from.row_hilight_minor;
    row_hilight_major = from.row_hilight_major;
    mixing_volume = from.mixing_volume;
    stereo_separation = from.stereo_separation;
    use_stereo = from.use_stereo;
    rules = from.rules;
    midi_config = from.midi_config;
    return *this;
}

void Song::Song_Variables::reset() {
    name.clear();
    filename.clear();
    message.clear();
    row_hilight_minor = 4;
    row_hilight_major = 16;
    mixing_volume = 48;
    stereo_separation = 128;
    use_stereo = true;
    rules = Playback_Rules::native();
    midi_config = Midi_Config::default_config();
}

// Initial variables

Song::Initial_Variables::Channel_State::Channel_State()
    : pan_prop("Pan", &pan, 0, 64),
      volume_prop("Volume", &volume, 0, 64),
      surround_prop("Surround", &surround),
      mute_prop("Mute", &mute),
      properties{&pan_prop, &volume_prop, &surround_prop, &mute_prop} {
    reset();
}

Song::Initial_Variables::Channel_State::Channel_State(const Channel_State& from) : Channel_State() {
    *this = from;
}

Song::Initial_Variables::Channel_State& Song::Initial_Variables::Channel_State::operator=(const Channel_State& from) {
    pan = from.pan;
    volume = from.volume;
    surround = from.surround;
    mute = from.mute;
    return *this;
}

void Song::Initial_Variables::Channel_State::reset() {
    pan = 32;
    volume = 64;
    surround = false;
    mute = false;
}

Song::Initial_Variables::Initial_Variables()
    : global_volume_prop("Global Volume", &global_volume, 0, 128),
      speed_prop("Speed", &speed, 1, 255),
      tempo_prop("Tempo", &tempo, 31, 255),
      properties{&global_volume_prop, &speed_prop, &tempo_prop} {
    reset();
}

Song::Initial_Variables::Initial_Variables(const Initial_Variables& from) : Initial_Variables() { *this = from; }

Song::Initial_Variables& Song::Initial_Variables::operator=(const Initial_Variables& from) {
    global_volume = from.global_volume;
    speed = from.speed;
    tempo = from.tempo;
    for (int c = 0; c < CHANNELS; c++) channel[c] = from.channel[c];
    return *this;
}

void Song::Initial_Variables::reset() {
    global_volume = 128;
    speed = 6;
    tempo = 125;
    for (Channel_State& state : channel) state.reset();
}

// Song

Song::Song() { reset_data(); }

Pattern* Song::get_pattern(int index) {
    return (index < 0 || index >= MAX_PATTERNS) ? nullptr : &pattern[index];
}

Sample* Song::get_sample(int index) {
    return (index < 0 || index >= MAX_SAMPLES) ? nullptr : &sample[index];
}

Instrument* Song::get_instrument(int index) {
    return (index < 0 || index >= MAX_INSTRUMENTS) ? nullptr : &instrument[index];
}

short Song::get_order(int position) const {
    return (position < 0 || position >= MAX_ORDERS) ? ORDER_EMPTY : order[position];
}

void Song::set_order(int position, short value) {
    if (position < 0 || position >= MAX_ORDERS) return;
    order[position] = value;
}

void Song::reset_data() {
    for (Pattern& p : pattern) {
        p.clear();
        p.set_length(Pattern::DEFAULT_LENGTH);
    }
    for (Instrument& i : instrument) i.reset();
    for (Sample& s : sample) s.reset(true);
    clear_all_orders();
    variables.reset();
    initial_variables.reset();
}

void Song::clear_all_patterns() {
    for (Pattern& p : pattern) p.clear();
}

void Song::clear_all_instruments() {
    for (Instrument& i : instrument) i.reset();
}

void Song::clear_all_orders() {
    for (short& entry : order) entry = ORDER_EMPTY;
}

void Song::clear_unused_samples() {
    bool used[MAX_SAMPLES] = {};
    for (Pattern& p : pattern) {
        if (p.is_empty()) continue;
        for (int column = 0; column < CHANNELS; column++)
            for (int row = 0; row < p.get_length(); row++) {
                Note note = p.get_note(column, row);
                if (note.note >= NOTE_COUNT || note.instrument >= MAX_INSTRUMENTS) continue;
                for (const Instrument::Layer& layer : instrument[note.instrument].layers) {
                    int s = layer.sample_table[note.note];
                    if (s < MAX_SAMPLES) used[s] = true;
                }
            }
    }
    for (int s = 0; s < MAX_SAMPLES; s++)
        if (sample[s].in_use && !used[s]) sample[s].reset(true);
}

void Song::make_instrument_out_of_sample_at(int sample_index, int instrument_index) {
    Sample* source = get_sample(sample_index);
    Instrument* target = get_instrument(instrument_index);
    if (!source || !target) return;
    target->reset();
    // Through the property, which keeps the instrument name within its 25 characters.
    target->name_prop.set(source->name);
    Instrument::Layer& layer = target->layers[0];
    for (int n = 0; n < NOTE_COUNT; n++) {
        layer.sample_table[n] = (unsigned char)sample_index;
        layer.note_table[n] = (unsigned char)n;
    }
}

bool Song::make_instrument_if_empty(int sample_index) {
    Sample* source = get_sample(sample_index);
    Instrument* target = get_instrument(sample_index);
    if (!source || !source->in_use || !target || !target->name.empty()) return false;
    for (const Instrument::Layer& layer : target->layers)
        for (unsigned char s : layer.sample_table)
            if (s != EMPTY_FIELD) return false;
    target->name_prop.set(source->name);
    Instrument::Layer& layer = target->layers[0];
    for (int n = 0; n < NOTE_COUNT; n++) {
        layer.sample_table[n] = (unsigned char)sample_index;
        layer.note_table[n] = (unsigned char)n;
    }
    return true;
}

void Song::make_instrument_out_of_sample(int sample_index) {
    int target = find_unused_instrument();
    if (target == -1) return;
    make_instrument_out_of_sample_at(sample_index, target);
}

void Song::recreate_all_instruments() {
    for (int s = 0; s < MAX_SAMPLES; s++)
        if (sample[s].in_use) make_instrument_out_of_sample_at(s, s);
}

void Song::clear_default_sample_pannings() {
    for (Sample& s : sample) s.def_panning_active = false;
}

void Song::clear_default_instrument_pannings() {
    for (Instrument& i : instrument)
        for (Instrument::Layer& layer : i.layers) layer.pan_use_default = false;
}

int Song::get_next_order(int position) const {
    const bool empty_ends = variables.rules.empty_order_ends_song;
    int candidate = std::max(position, -1);
    for (int step = 0; step < MAX_ORDERS; step++) {
        candidate = candidate + 1 >= MAX_ORDERS ? 0 : candidate + 1;
        if (empty_ends && order[candidate] == ORDER_EMPTY) {
            // The list ends here: what lies after the marker is hidden.
            if (candidate == 0) return -1;
            candidate = 0;
        }
        if (order[candidate] >= 0 && order[candidate] < MAX_PATTERNS) return candidate;
    }
    return -1;
}

int Song::get_used_orders_amount() const {
    for (int position = 0; position < MAX_ORDERS; position++)
        if (order[position] == ORDER_EMPTY) return position;
    return MAX_ORDERS + 1;  // a full list answers 256, which callers rely on
}

int Song::get_patterns_used() const {
    for (int p = MAX_PATTERNS - 1; p >= 0; p--)
        if (!pattern[p].is_empty()) return p + 1;
    return 0;
}

int Song::find_pattern_in_orderlist(int pattern_index) const {
    for (int position = 0; position < MAX_ORDERS; position++)
        if (order[position] == pattern_index) return position;
    return -1;
}

int Song::find_unused_instrument() const {
    for (int i = 0; i < MAX_INSTRUMENTS; i++)
        if (!instrument_plays_a_sample(i)) return i;
    return -1;
}

bool Song::instrument_plays_a_sample(int index) const {
    if (index < 0 || index >= MAX_INSTRUMENTS) return false;
    for (const Instrument::Layer& layer : instrument[index].layers)
        for (unsigned char s : layer.sample_table)
            if (s < MAX_SAMPLES && sample[s].in_use) return true;
    return false;
}

int Song::find_unused_sample_slot() const {
    for (int s = 0; s < MAX_SAMPLES; s++)
        if (!sample[s].in_use) return s;
    return -1;
}

int Song::find_sample_in_instrument(int sample_index) const {
    for (int i = 0; i < MAX_INSTRUMENTS; i++)
        for (int n = 0; n < NOTE_COUNT; n++)
            for (const Instrument::Layer& layer : instrument[i].layers)
                if (layer.sample_table[n] == sample_index) return i;
    return sample_index;
}

int Song::find_first_sample_in_instrument(int instrument_index) const {
    if (instrument_index < 0 || instrument_index >= MAX_INSTRUMENTS) return 0;
    for (int n = 0; n < NOTE_COUNT; n++)
        for (const Instrument::Layer& layer : instrument[instrument_index].layers)
            if (layer.sample_table[n] < EMPTY_FIELD) return layer.sample_table[n];
    return 0;
}
