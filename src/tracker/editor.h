#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tracker/song_history.h"
#include "trackercore/pattern.h"

class Song;

// The toolkit-independent logic behind the pattern view and the order list. The view turns
// keys, drags and menu choices into calls here and reads the state back to draw.
// Cells are written only through Pattern::get_note_ref; everything runs on the interface thread.
class Editor {
public:
    enum Pattern_Actions {
        MARK_BLOCK_BEGINING,
        MARK_BLOCK_END,
        MARK_COLUMN_ALL,
        SELECTION_COPY,
        SELECTION_PASTE_INSERT,
        SELECTION_PASTE_OVERWRITE,
        SELECTION_RELEASE,
        SELECTION_ZAP,
        SELECTION_RAISE,
        SELECTION_LOWER,
        SELECTION_SET_INSTRUMENT_MASK,
        SELECTION_SET_VOLUME_MASK,
        SELECTION_WIPE_STRAY_VOLUMES,
        SELECTION_VOLUME_RAMP,
        SELECTION_PARAMETER_RAMP,
        SELECTION_EXPAND,
        SELECTION_SHRINK,
        TOGGLE_MASK_AT_CURSOR,
        CLEAR_FIELD_AT_CURSOR,
        GET_MASK_FROM_CURSOR,
        PRESS_MASK_WRITE_CURSOR,
        PATTERN_ACTION_COUNT
    };

    // The pattern menu's captions, indexed by Pattern_Actions.
    static const char* const pattern_action_captions[PATTERN_ACTION_COUNT];

    // Bits of the view change flags.
    static constexpr int CHANGED_CURSOR = 1;
    static constexpr int CHANGED_VIEW = 4;  // block or view offsets

    static constexpr int FIELDS = 9;
    static constexpr int LAST_FIELD = FIELDS - 1;
    static constexpr int LAST_CHANNEL = Pattern::CHANNELS - 1;
    static constexpr int ORDERLIST_PAGE = 8;
    static constexpr int NOTE_STRING_LENGTH = 13;  // note, instrument, volume, blank, command

    Editor();
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    void link_to_song(Song* song);
    // Every edit becomes a step of the song's history.
    void link_to_history(Song_History* to) { history = to; }
    Song_History* get_history() const { return history; }

    // Cursor.
    void cursor_move_up(int n);
    void cursor_move_down(int n);
    void cursor_move_up();    // by edit_step
    void cursor_move_down();  // by edit_step
    void cursor_move_left(int n);
    void cursor_move_right(int n);
    void cursor_move_field_right();
    void cursor_move_field_left();
    void cursor_page_up();
    void cursor_page_down();
    void cursor_home();
    void cursor_end();
    void cursor_tab();
    void cursor_back_tab();
    void cursor_next_pattern();
    void cursor_prev_pattern();
    void cursor_goto_pattern(int pattern);
    void cursor_insert();
    void cursor_delete();

    int get_cursor_column() const { return cursor_column; }
    int get_cursor_row() const { return cursor_row; }
    int get_cursor_field() const { return cursor_field; }
    int get_current_pattern() const { return current_pattern; }
    // Places the cursor (clamped) without the side effects of the movements; for mouse clicks.
    void set_cursor(int column, int row, int field);

    // View geometry; the view reports its size and its font's cell size in pixels.
    void set_view_size(int width, int height);
    void set_font_size(int width, int height);
    void adjust_view_to_cursor();
    void set_column_offset(int offset);
    void set_row_offset(int offset);
    int get_column_offset() const { return column_offset; }
    int get_row_offset() const { return row_offset; }
    int get_visible_columns() const;
    int get_visible_rows() const;
    int get_changed_flags() const { return changed_flags; }
    void clear_changed_flags() { changed_flags = 0; }

    // Entry. Keys are character codes.
    void press_key_at_cursor(int key);
    void insert_note_at_cursor(char key);
    void insert_octave_at_cursor(char key);
    void insert_instrument_at_cursor_field1(char key);
    void insert_instrument_at_cursor_field2(char key);
    void insert_volume_at_cursor_field1(char key);
    void insert_volume_at_cursor_field2(char key);
    void insert_command_at_cursor(char key);
    void insert_parameter_at_cursor_field1(char key);
    void insert_parameter_at_cursor_field2(char key);
    void press_note_off_at_cursor();
    void press_note_cut_at_cursor();
    // Semitones above C of the editing octave, or 99 when the key is no note key.
    int get_note_increment(char key) const;
    // The note a key plays live, or 255 when it is no note key.
    int get_note_from_key(int key) const;

    static void default_octave_raise();
    static void default_octave_lower();
    static void set_default_octave(char octave);  // ignored outside 0..8
    static int get_default_octave() { return default_octave; }

    // Masks and last values.
    bool is_instrument_mask_on() const { return instrument_mask; }
    bool is_volume_mask_on() const { return volume_mask; }
    bool is_command_mask_on() const { return command_mask; }
    void set_instrument_mask(bool on) { instrument_mask = on; }
    void set_volume_mask(bool on) { volume_mask = on; }
    void set_command_mask(bool on) { command_mask = on; }
    int get_last_note() const { return last_note; }
    int get_last_instrument() const { return last_instrument; }
    int get_last_volume() const { return last_volume; }
    int get_last_command() const { return last_command; }
    int get_last_parameter() const { return last_parameter; }
    void set_last_instrument(int instrument);  // zero-based slot, or 255
    void set_last_volume(int volume);
    bool is_volume_pan_mode() const { return volume_pan_mode; }
    void set_volume_pan_mode(bool on) { volume_pan_mode = on; }
    int get_edit_step() const { return edit_step; }
    void set_edit_step(int step);  // 0..200; 0 keeps the cursor in place

    // Block and field actions.
    void perform_action(Pattern_Actions action);
    void mark_block_begining();
    void mark_block_end();
    void mark_column_all();
    void selection_copy();
    void selection_paste_insert();
    void selection_paste_overwrite();
    void selection_paste_mix();
    void selection_release();
    void selection_zap();
    void selection_raise();
    void selection_lower();
    void selection_set_instrument_mask();
    void selection_set_volume_mask();
    void selection_wipe_stray_volumes();
    void selection_volume_ramp();
    void selection_parameter_ramp();
    void selection_volume_scale(int percent);
    void selection_expand();
    void selection_shrink();
    void toggle_mask_at_cursor();
    void clear_field_at_cursor();
    void get_mask_from_cursor();
    void press_mask_write_cursor();
    void perform_raise_at_cursor();
    void perform_lower_at_cursor();

    void selection_begin_at_cursor();
    void selection_end_at_cursor();
    void shift_selection_begin();
    void shift_selection_update();
    void shift_selection_end();
    void normalize_selection();

    bool is_selection_active() const { return selection_active; }
    bool is_shift_selection_active() const { return shift_selection_active; }
    int get_selection_begin_column() const { return selection_begin_column; }
    int get_selection_begin_row() const { return selection_begin_row; }
    int get_selection_end_column() const { return selection_end_column; }
    int get_selection_end_row() const { return selection_end_row; }
    // Sets the block bounds directly (normalized), as a mouse drag does.
    void set_selection(int begin_column, int begin_row, int end_column, int end_row);
    bool is_in_selection(int column, int row) const;

    const Pattern& get_clipboard() const { return clipboard; }
    int get_clipboard_width() const { return clipboard_width; }

    // The song's history as the "Undo History:" list shows it: the steps that can be redone
    // first ("Redo " and their description, the next one first), then the done ones, newest
    // first. Each returns the parts of the song it changed.
    int undo_index(int index);  // redoes or undoes up to and including that entry
    int undo();
    int redo();
    int get_undo_max() const;  // entries listed
    int get_undo_pattern(int index) const;  // the pattern the entry changed; -1 for none, 0 outside the list
    std::string get_undo_info(int index) const;  // "invalid pattern!" outside the list
    bool is_undo_changed() const { return history && history->get_generation() != seen_generation; }
    void clear_undo_changed() { seen_generation = history ? history->get_generation() : 0; }

    // Channels, on the song's initial channel states.
    void channel_mute_toggle(int channel);
    void channel_solo_toggle(int channel);
    void current_channel_mute_toggle();
    void current_channel_solo_toggle();

    // "Cursor Follows Song": while it is on, the view moves the cursor along with playback.
    bool is_follow_song() const { return follow_song; }
    void set_follow_song(bool on) { follow_song = on; }
    void toggle_follow_song() { follow_song = !follow_song; }
    // Puts the cursor on the playing pattern and row. Following playback is not an edit, so
    // unlike cursor_goto_pattern it records nothing in the undo history.
    void follow_song_position(int pattern, int row);

    // Mark.
    void set_mark();
    bool is_mark_active() const { return mark_active; }
    int get_mark_pattern() const { return mark_pattern; }
    int get_mark_row() const { return mark_row; }

    // Order list.
    void orderlist_move_up();
    void orderlist_move_down();
    void orderlist_move_left();
    void orderlist_move_right();
    void orderlist_page_up();
    void orderlist_page_down();
    void orderlist_insert_value(int digit);
    void orderlist_add_separator();
    void orderlist_clear_order();
    void orderlist_insert();
    void orderlist_delete();
    std::string orderlist_get_cursor_string(int position) const;
    int get_orderlist_column() const { return orderlist_column; }
    int get_orderlist_row() const { return orderlist_row; }
    void set_orderlist_cursor(int row, int column);

    // Rendering for the view.
    static std::string get_pattern_note_string(const Note& note);
    static std::string get_pattern_instrument_string(const Note& note);
    static std::string get_pattern_volume_string(const Note& note);
    static std::string get_pattern_command_string(const Note& note);
    static std::string get_single_note_string(int note);
    // Writes NOTE_STRING_LENGTH characters and a terminating zero.
    void get_note_string(int column, int row, char* buffer);
    // The same for a given cell, without allocating (the view formats every visible cell).
    static void write_note_string(const Note& note, char* buffer);

private:
    Pattern* pattern();
    int pattern_length();
    Note& cell_at_cursor();
    Note note_at_cursor();
    void cursor_moved();
    void clamp_cursor_row();
    void move_down_by_step() { cursor_move_down(edit_step); }
    void entry_move(int rows, int field);
    // A typed volume, stored as panning while volume_pan_mode is on.
    int plain_volume_for_mode(int value) const;
    bool block_has_two_rows() const;
    void paste(int mode);
    void orderlist_next_row();
    // Puts the cursor on the pattern an undone or redone step changed.
    void show_pattern(int pattern);
    // The merge key of typing into the cell under the cursor.
    int cursor_cell_key() const { return cursor_column * Pattern::MAX_LENGTH + cursor_row + 1; }

    Song* song = nullptr;

    int column_offset = 0;
    int row_offset = 0;
    int view_width = 0;
    int view_height = 0;
    int font_width = 0;
    int font_height = 0;

    int cursor_column = 0;
    int cursor_row = 0;
    int cursor_field = 0;
    int current_pattern = 0;

    int last_note = EMPTY_FIELD;
    int last_instrument = 0;  // instrument 01: a new song plays what is loaded into slot 01
    int last_volume = EMPTY_FIELD;
    int last_command = EMPTY_FIELD;
    int last_parameter = 0;

    bool instrument_mask = true;
    bool volume_mask = true;
    bool command_mask = false;
    bool volume_pan_mode = false;
    int edit_step = 1;

    bool follow_song = false;

    int mark_pattern = 0;
    int mark_row = 0;
    bool mark_active = false;

    int selection_begin_column = 0;
    int selection_begin_row = 0;
    int selection_end_column = 0;
    int selection_end_row = 0;
    bool selection_active = false;

    bool shift_selection_active = false;
    int shift_selection_anchor_column = 0;
    int shift_selection_anchor_row = 0;
    int selection_point_column = 0;  // stored by selection_begin_at_cursor
    int selection_point_row = 0;

    Pattern clipboard;
    int clipboard_width = 0;

    Song_History* history = nullptr;
    unsigned long seen_generation = ~0ul;

    int orderlist_column = 0;
    int orderlist_row = 0;
    bool orderlist_typing = false;  // digits of the entry under the cursor are being typed
    int orderlist_typed_value = 0;  // the number typed so far, before limiting

    int changed_flags = 0;

    struct Cell_Position {
        int column = -1, row = -1, pattern = -1;
        bool operator==(const Cell_Position&) const = default;
    };
    Cell_Position command_letter_cell;  // where an effect letter was typed last, until its digits

    static int default_octave;
};
