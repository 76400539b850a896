#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <sigc++/sigc++.h>

#include "common/components/audio/mutex_lock.h"
#include "trackercore/channel_control.h"
#include "trackercore/note.h"
#include "trackercore/song.h"
#include "trackercore/voice_control.h"

class Mixer_Base;

// The tick-driven sequencer: reads rows of the linked song, turns cells into voice starts,
// runs the effects and pushes every voice's state into the linked mixer. The mixer's process
// callback runs one tick (audio thread); the play-control operations run on the interface
// thread under the variables lock.
class Player_Data : public sigc::trackable {
public:
    enum Play_Mode : uint8_t { PLAY_NOTHING = 0, PLAY_PATTERN = 1, PLAY_SONG = 2 };

    struct VoiceStatusInfo {
        Sample* sample = nullptr;
        int position = 0;
        Instrument::Layer* layer = nullptr;
        int volume_envelope_pos = 0;
        int pan_envelope_pos = 0;
        int pitch_envelope_pos = 0;
        int pan = 0;
        int frequency = 0;
    };

    // Where playback is, for the song windows' status lines: published with the voice
    // status under the info lock, so the interface never reads the player's own fields.
    struct Play_Status {
        Play_Mode play_mode = PLAY_NOTHING;
        int order = 0;
        int pattern = 0;
        int row = 0;  // the row the next row start plays
        int voices = 0;
        int buffers = 0;
    };

    static constexpr int CHANNELS = Pattern::CHANNELS;
    // Volume-column commands the decoded column may hold beyond IT's (A..H are 0..7).
    static constexpr uint8_t VOLUME_COMMAND_FINE_UP = 0;
    static constexpr uint8_t VOLUME_COMMAND_FINE_DOWN = 1;
    static constexpr uint8_t VOLUME_COMMAND_SLIDE_DOWN = 3;
    static constexpr uint8_t VOLUME_COMMAND_PORTAMENTO = 6;
    static constexpr uint8_t VOLUME_COMMAND_VIBRATO = 7;
    static constexpr uint8_t VOLUME_COMMAND_VIBRATO_SPEED = 8;
    // The volume column's slides to a note, speeds 0..9.
    static constexpr unsigned char VOLUME_PORTAMENTO_FIRST = 193;
    static constexpr unsigned char VOLUME_PORTAMENTO_LAST = 202;
    // Voices come from a fixed pool so that a tick never allocates. The mixer holds at most
    // 128 voices; the rest covers the voices started in one tick before the mixer steals.
    static constexpr int VOICE_POOL_SIZE = 512;
    static constexpr int VOICE_STATUS_CAPACITY = VOICE_POOL_SIZE;

    static const uint8_t vibrato_table[32];
    static const int8_t panbrello_table[256];

    Player_Data();
    ~Player_Data();
    Player_Data(const Player_Data&) = delete;
    Player_Data& operator=(const Player_Data&) = delete;

    // Play control (interface thread).
    void play_start(int pattern, int order, int row);
    void play_start_song() { play_start(-1, -1, -1); }
    void play_start_song_from_order(int order) { play_start(-1, order, -1); }
    void play_start_song_from_order_and_row(int order, int row) { play_start(-1, order, row); }
    void play_start_pattern(int pattern) { play_start(pattern, -1, -1); }
    void play_stop();
    void play_note(int channel, Note note, bool ignore_mute);
    // A live key let go of the note it played on the channel: keyed off as a pattern note off
    // would, and cut where nothing would ever end it (a looping sample with no fade-out and
    // no envelope falling to silence), so that a preview never drones on. Nothing happens
    // when the channel plays another note by now.
    void release_note(int channel, int note);
    void goto_next_order();
    void goto_previous_order();
    bool reached_end_of_song() const { return reached_end != 0; }
    void lock_player_variables();
    void unlock_player_variables();
    void erase_voices_using_sample(Sample* sample);
    void get_voice_status_info(std::vector<VoiceStatusInfo>& out);
    void get_play_status(Play_Status& out);

    void link_to_song(Song* song);
    void link_to_mixer(Mixer_Base* mixer);
    void set_variables_lock(Mutex_Lock* lock) { variables_lock = lock; }
    void set_info_lock(Mutex_Lock* lock) { info_lock = lock; }

    void set_filters_enabled(bool enabled) { filters_enabled = enabled; }
    void set_force_no_nna(bool force) { force_no_nna = force; }
    void set_force_external_vibratos(bool force) { force_external_vibratos = force; }
    void set_voice_amount_limit(int limit) { voice_amount_limit = limit; }
    void set_reserved_voices(int reserved) { voice_amount_limit = voice_total - reserved; }
    int get_reserved_voices_amount() const { return voice_total - voice_amount_limit; }

    void reset();
    void handle_tick();
    void process_tick() { handle_tick(); }

    // Note logic.
    void process_note(int channel, Note note);
    // A row's cell: processed at once, or held back whole by a note delay.
    void take_row_cell(int channel, Note cell);
    void strike_delayed_cell(int channel);
    int process_note_and_instrument(int channel, int note, int instrument);
    void process_new_note(int channel, unsigned char note);
    void process_new_instrument(int channel, unsigned char instrument);
    void process_instrument_without_note(int channel, unsigned char instrument);
    bool instrument_strikes_again(const Channel_Control& ch, Instrument& target);
    bool prepare_ft2_portamento(int channel, unsigned char note, unsigned char instrument);
    void process_volume_column(int channel, unsigned char volume);
    void process_NNAs();

    // Effects.
    void run_effects(int channel);
    void run_volume_column_effects(int channel);
    void do_effect_S(int channel);
    void do_vibrato(int channel, bool fine);
    void do_pitch_slide_down(int channel, unsigned char parameter);
    void do_pitch_slide_up(int channel, unsigned char parameter);
    int period_for_sample(int period, const Sample* from, const Sample* to) const;
    void do_pitch_slide_to_note(int channel);
    void slide_to_target(Channel_Control::Layer_Slot& slot, int step);
    int note_period(const Channel_Control::Layer_Slot& slot, int note) const;
    int glissando_period(const Channel_Control::Layer_Slot& slot, int period) const;
    void do_tremor(int channel);
    void do_pan_slide(int channel);
    void do_volume_slide(int channel, int parameter);
    void do_channel_volume_slide(int channel);
    void do_tremolo(int channel);
    void do_arpegio(int channel);
    void do_retrig(int channel);
    void do_retrig_ft2(int channel);
    void strike_again(int channel, int volume_change);
    void do_global_volume_slide(int channel);
    void do_panbrello(int channel);
    void do_ft2_fine_volume_slide(int channel, bool up, int amount);
    uint8_t remember_ft2_pitch_slide(int channel, bool up, uint8_t parameter);
    bool run_ft2_volume_column_slide(int channel);

    // State, for the interface and the tests.
    Play_Mode get_play_mode() const { return (Play_Mode)play_mode; }
    int get_speed() const { return speed; }
    int get_tempo() const { return tempo; }
    int get_global_volume() const { return global_volume; }
    int get_tick_counter() const { return tick_counter; }
    int get_current_order() const { return current_order; }
    int get_current_pattern() const { return current_pattern; }
    int get_current_row() const { return current_row; }
    // The order and row the current row was read from, and whether it is an SEx repeat of it.
    int get_row_start_order() const { return row_start_snapshot.order; }
    int get_row_start_row() const { return row_start_snapshot.row; }
    bool is_repeating_row() const { return repeating_row != 0; }
    // Whoever takes a channel may change it: from then on it is processed every tick.
    Channel_Control& get_channel(int channel) {
        note_channel_used(channel);
        return channels[channel];
    }
    const Channel_Control& read_channel(int channel) const { return channels[channel]; }
    const std::vector<Voice_Control*>& get_voice_list() const { return voice_list; }

private:
    struct Row_Start_Snapshot {
        int order = 0;
        int pattern = 0;
        int row = 0;
        int forced_next_order = -1;
        int loop_jumped = 0;
    };

    bool linked() const { return song && mixer; }
    const Playback_Rules& rules() const { return song->variables.rules; }
    // The period a note starts at with the sample given, before any E5x tuning (old periods:
    // from the Amiga's table where the song keeps to it).
    unsigned int untuned_period(int note, const Sample* sample) const;
    void set_tick_size();
    void delete_all_voices();
    void pre_process_effects();
    void setup_voices();
    void update_mixer();
    void start_row();
    void advance_row();
    Pattern* pattern_at(int index);
    bool song_mode() const { return play_mode == PLAY_SONG; }
    void stop_at_end_of_song();
    Play_Status current_play_status();
    // Interface thread, under the variables lock: play control shows at once, even when no
    // driver is running to publish the next tick.
    void publish_play_status();

    // Voice pool.
    Voice_Control* acquire_voice();
    void release_voice(Voice_Control* voice);
    void end_voice(size_t index);

    // Note and effect helpers.
    void apply_nna(Voice_Control* voice, int action);
    void apply_duplicate_action(Voice_Control* voice, int action);
    void do_past_note_action(int channel, int action);
    bool other_loop_counting(int channel) const;
    void do_tremor_ft2(int channel, int parameter);
    void restart_tremor(int channel);
    void cut_notes(int channel);
    void share_effect_memory(int channel);
    void do_protracker_offset(int channel);
    void apply_macro(int channel, int parameter, bool smooth);
    void set_envelope_switch(int channel, int envelope, bool on);
    void do_pitch_slide(int channel, int amount);
    void do_portamento(int channel);
    void slide_ft2_portamento(Channel_Control::Layer_Slot& slot, int step);
    void slide_protracker_portamento(Channel_Control::Layer_Slot& slot, int step);
    void do_volume_column_slide(int channel, int parameter);
    void set_all_pans(int channel, int pan);
    void set_all_base_volumes(int channel, int volume);
    // The row's first tick: of every pass of a repeated row, or only of its first (FT2).
    bool t0() const { return tick_counter == 0 && (!repeating_row || rules().repeats_start_on_first_tick); }
    int volume_slide_change(int x, int y) const;
    int random();

    Song* song = nullptr;
    Mixer_Base* mixer = nullptr;
    std::vector<Voice_Control*> voice_list;
    int reached_end = 0;
    int end_pending = 0;  // the song ends once the row playing now is over
    uint8_t play_mode = PLAY_NOTHING;
    int filters_enabled = 1;
    int global_volume = 0;
    int speed = 5;
    int tempo = 120;
    int pending_tempo = 0;  // a tempo command's value, waiting for the row's second tick
    int first_row = 0;      // the row being played is the first since playback started
    int tick_counter = 0;
    Channel_Control channels[CHANNELS];
    // Channels from here on have had nothing since the last reset and are left out of the
    // per-tick work: most songs use far fewer than CHANNELS.
    int channels_in_use = 0;
    void note_channel_used(int channel) {
        if (channel >= channels_in_use) channels_in_use = channel < CHANNELS ? channel + 1 : CHANNELS;
    }
    int voice_amount_limit = 0;
    int force_no_nna = 0;
    int force_external_vibratos = 0;
    int current_order = 0;
    int current_pattern = 0;
    int current_row = 0;
    int forced_next_order = -1;
    int loop_jumped = 0;
    int row_break_target = -1;  // the row a C on the row being played named, -1 none
    int row_jump_seen = 0;      // a B on the row being played named the next order
    int carried_row = -1;       // where the next pattern starts once this one ends, -1 row 0
    Row_Start_Snapshot row_start_snapshot;
    Mutex_Lock* variables_lock = nullptr;
    Mutex_Lock* info_lock = nullptr;
    std::vector<VoiceStatusInfo> voice_status_work;
    std::vector<VoiceStatusInfo> voice_status;
    Play_Status play_status;

    // Row delays: S6x adds ticks to the row, SEx plays it again without its notes.
    int row_extra_ticks = 0;
    int row_repeats_left = 0;
    int row_repeat_set = 0;
    int repeating_row = 0;
    int repeated_ticks = 0;  // the ticks the row's earlier passes played

    int voice_total = 0;  // never set; the reserved-voice settings subtract from it
    std::unique_ptr<Voice_Control[]> voice_pool;
    std::vector<Voice_Control*> free_voices;
    uint32_t random_state = 1;
    sigc::connection tick_connection;
};
