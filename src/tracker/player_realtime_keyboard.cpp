#include "tracker/player_realtime_keyboard.h"

#include <cstdint>

#include "common/components/audio/mixer_base.h"
#include "common/components/audio/sample_data.h"
#include "trackercore/player_data.h"
#include "trackercore/tables.h"

static constexpr int C5_NOTE = 60;

Player_Realtime_Keyboard::Player_Realtime_Keyboard() {
    for (int& note : channel_note) note = -1;
}

Player_Realtime_Keyboard::~Player_Realtime_Keyboard() {
    // The mixer must not keep a pointer to a voice that dies with us.
    lock();
    remove_preview_voice();
    unlock();
}

void Player_Realtime_Keyboard::lock() {
    if (player) player->lock_player_variables();
}

void Player_Realtime_Keyboard::unlock() {
    if (player) player->unlock_player_variables();
}

int Player_Realtime_Keyboard::find_empty_channel() const {
    for (int c = 0; c < LIVE_CHANNELS; c++)
        if (channel_note[c] == -1) return c;
    return 0;
}

int Player_Realtime_Keyboard::find_note_in_channel(int note) const {
    for (int c = 0; c < LIVE_CHANNELS; c++)
        if (channel_note[c] == note) return c;
    return -1;
}

int Player_Realtime_Keyboard::get_channel_note(int channel) const {
    return channel >= 0 && channel < LIVE_CHANNELS ? channel_note[channel] : -1;
}

static Note note_off() { return Note{NOTE_OFF, EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 0}; }

void Player_Realtime_Keyboard::instrument_press_key(int note, int volume) {
    if (note < 0 || note >= NOTE_COUNT || key_down[note]) return;
    key_down[note] = true;
    int channel = find_empty_channel();
    channel_note[channel] = note;
    if (player)
        player->play_note(channel,
                          Note{(unsigned char)note, (unsigned char)instrument, (unsigned char)volume, EMPTY_FIELD, 0},
                          true);
}

void Player_Realtime_Keyboard::instrument_stop_key(int note) {
    if (note < 0 || note >= NOTE_COUNT) return;
    key_down[note] = false;
    int channel = find_note_in_channel(note);
    if (channel < 0) return;
    channel_note[channel] = -1;
    if (player) player->release_note(channel, note);
}

void Player_Realtime_Keyboard::instrument_stop_all() {
    for (int c = 0; c < LIVE_CHANNELS; c++) {
        if (channel_note[c] == -1) continue;
        channel_note[c] = -1;
        if (player) player->play_note(c, note_off(), true);
    }
    for (bool& down : key_down) down = false;
}

unsigned int Player_Realtime_Keyboard::preview_frequency(int c5_freq, int note) {
    auto frequency_of = [](int note2) { return Tables::get_linear_frequency(Tables::get_linear_period(note2, 0)); };
    uint64_t base = frequency_of(2 * C5_NOTE);
    if (base == 0 || c5_freq <= 0) return 0;
    return (unsigned int)((uint64_t)c5_freq * frequency_of(2 * note) / base);
}

void Player_Realtime_Keyboard::add_preview_voice() {
    if (!mixer) return;
    if (preview_in_mixer && !preview_voice.was_removed_from_mixer()) return;
    mixer->allocate_voice(&preview_voice);
    preview_in_mixer = true;
}

// The mixer may have dropped the voice on its own (stolen or finished); only a voice it
// still holds is taken out.
void Player_Realtime_Keyboard::remove_preview_voice() {
    if (mixer && preview_in_mixer && !preview_voice.was_removed_from_mixer()) mixer->eliminate_voice(&preview_voice);
    preview_in_mixer = false;
}

void Player_Realtime_Keyboard::sample_set(Sample_Data* data) {
    lock();
    remove_preview_voice();
    preview_voice.reset();
    if (data) preview_voice.setup_sample(data, 0);
    preview_voice.set_priority(PREVIEW_PRIORITY);
    unlock();
    sample = data;
}

void Player_Realtime_Keyboard::sample_press_key(int note) {
    if (note < 0 || note >= NOTE_COUNT || key_down[note]) return;
    key_down[note] = true;
    latest_key = note;
    if (!sample) return;
    sample_active = true;
    lock();
    // Each press starts the sample from its beginning.
    preview_voice.reset();
    preview_voice.setup_sample(sample, 0);
    preview_voice.set_priority(PREVIEW_PRIORITY);
    add_preview_voice();
    preview_voice.set_frequency(preview_frequency(sample->get_c5_freq(), note));
    preview_voice.set_volume(PREVIEW_VOLUME);
    preview_voice.set_panning(PREVIEW_PANNING);
    unlock();
}

void Player_Realtime_Keyboard::sample_adjust_latest_key() {
    if (latest_key < 0 || !sample) return;
    lock();
    preview_voice.set_frequency(preview_frequency(sample->get_c5_freq(), latest_key));
    unlock();
}

void Player_Realtime_Keyboard::sample_stop_key(int note) {
    if (note < 0 || note >= NOTE_COUNT) return;
    key_down[note] = false;
    if (note != latest_key) return;
    lock();
    remove_preview_voice();
    unlock();
    sample_active = false;
}

void Player_Realtime_Keyboard::sample_stop_all() {
    if (sample) {
        lock();
        remove_preview_voice();
        unlock();
    }
    for (bool& down : key_down) down = false;
    sample_active = false;
    latest_key = -1;
}
