#pragma once

#include <QColor>
#include <QGlyphRun>
#include <QImage>
#include <QRawFont>
#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

#include "interface__QT/held_notes.h"

class Channel_Scopes;
class Editor;
class Mutex_Lock;
class Player_Data;
class Player_Realtime_Keyboard;
class QKeyEvent;
class QMouseEvent;
class QPainter;
class QWheelEvent;
class Song;

// The pattern grid of the "Patterns" page. Keys, mouse and wheel become calls on the editor
// and the player; the drawing reads the editor and the song and keeps no copy of either.
class Pattern_Edit : public QWidget {
    Q_OBJECT
public:
    // Row numbers, channel width and header height in characters and lines; the editor's
    // view geometry counts with the same numbers, but for the scope line, the view's own.
    static constexpr int ROW_NUMBER_CHARS = 6;
    static constexpr int CHANNEL_CHARS = 14;
    static constexpr int HEADER_LINES = 3;  // the channel's title, its scope, the column legend
    static constexpr int SCOPE_LINE = 1;

    // The last percentage given to the volume amplifier, shared by every view.
    static int volume_scale_memory;

    // A fixed key of the view. The view handles keys by looking them up here and the keys
    // window lists the same entries, so the two cannot differ.
    struct Key_Command {
        const char* section;              // the group the keys window lists it under
        Qt::KeyboardModifiers modifiers;  // Control, Alt or none; Shift is free unless an entry names it
        int key;                          // a Qt::Key; up to last_key for a range (Alt+1 .. Alt+9)
        int last_key;
        const char* caption;  // null: swallowed, not listed
        void (*run)(Pattern_Edit& view, int key);
        const char* menu_item;  // the "Pattern" menu item that does the same, or null
        bool movement;          // moves the cursor and nothing else
    };
    static const std::vector<Key_Command>& key_commands();
    // The entry a key press stands for, or null.
    static const Key_Command* find_key_command(int key, Qt::KeyboardModifiers modifiers);
    // "Pattern" menu items that a tracker key binding does in the view: (item, binding number).
    static const std::vector<std::pair<const char*, int>>& bound_menu_items();
    static constexpr const char* VOLUME_AMPLIFIER_ITEM = "Block- Volume Amplifier";

    explicit Pattern_Edit(QWidget* parent = nullptr);

    void set_song(Song* song);
    void set_editor(Editor* editor);
    void set_player(Player_Data* player);
    void set_keyboard(Player_Realtime_Keyboard* keyboard);
    // Held around key handling, released while notes play (the player takes it itself).
    void set_variables_lock(Mutex_Lock* lock);

    // The playing pattern and row to mark, -1 for none; follows them while the editor's
    // "Cursor Follows Song" is on.
    void update_info_areas(int pattern, int row);
    int get_playing_pattern() const { return playing_pattern; }
    int get_playing_row() const { return playing_row; }

    void repaint_after_command();

    // What each channel's voices sound like, drawn in the headers (null: flat lines), with
    // `full_scale` the value a full-scale sample at full volume reaches in the feed. The song
    // window's clock calls update_scopes, which repaints the scope line when there is something
    // new to show.
    void set_channel_scopes(const Channel_Scopes* scopes, double full_scale);
    void update_scopes();
    // The scope line, in the view's coordinates.
    QRect scope_area() const;

    // Pattern coordinates of a point of the view; false outside the cells. Fields 9 and above
    // are the blanks between the columns.
    bool screen_to_pattern_coords(QPoint point, int* channel, int* row, int* field) const;
    // The channel whose header holds the point, or -1.
    int header_channel_at(QPoint point) const;

    // Paints the part of the view inside rect (the benchmarks render into an image).
    void render_area(QPainter& painter, const QRect& rect);

    int get_char_width() const { return char_width; }
    int get_line_height() const { return line_height; }

signals:
    // The current instrument (the one notes are entered with): a slot 0..98, or -1 for none.
    void instrument_changed_signal(int instrument);
    void operation_performed_signal();
    // A note typed or previewed on this instrument (slot 0..98).
    void note_played_signal(int instrument);
    // The row or column offset changed (the page moves its scroll bars).
    void view_changed_signal();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // One colour's glyphs of a paint, drawn as one run.
    struct Text_Run {
        std::vector<quint32> glyphs;
        std::vector<QPointF> positions;
        int count = 0;
        QColor color;
        QGlyphRun run;
    };
    enum Run_Kind { RUN_TEXT, RUN_EMPTY, RUN_SELECTED, RUN_CURSOR, RUN_MASK, RUN_KIND_COUNT };
    static constexpr int RUN_CAPACITY = 4096;  // glyphs; a full run is drawn and reused

    // The "pattern_edit" colours, read once per change of the theme.
    struct Palette {
        QColor background, foreground, cursor, hl_maj, hl_min, background_selected, foreground_selected,
            hl_selected, sep, sep_main, mask, foreground_inactive, played_position;
    };

    // What decides how much of the view a change has to redraw.
    struct View_State {
        int pattern, row_offset, column_offset, cursor_row, cursor_column;
        bool same_view(const View_State& other) const {
            return pattern == other.pattern && row_offset == other.row_offset && column_offset == other.column_offset;
        }
    };
    View_State view_state() const;
    static bool is_movement_key(const QKeyEvent* event);
    // Live notes: a note a key started stops when the key goes up.
    void release_held(int key);
    void release_all_held();
    // A key the view would act on or swallow.
    static bool is_view_key(const QKeyEvent* event);
    void update_cursor_rows(const View_State& before);

    bool key_press(QKeyEvent* event);
    bool plain_key(QKeyEvent* event);
    void follow_order_cursor();
    void track_shift(Qt::KeyboardModifiers modifiers);
    void play_cell(int channel, int row, bool ignore_mute);
    void undo_last();
    void play_row(int row);
    void ask_volume_scale();
    void change_instrument(int delta);
    int current_instrument() const;

    void mouse_press(QMouseEvent* event);
    void mouse_move(QMouseEvent* event);
    void mouse_release(QMouseEvent* event);
    void wheel(QWheelEvent* event);
    bool can_use_mouse() const;

    void load_colors();
    void measure_font();
    void update_row(int row);
    void view_changed();
    int row_y(int row) const;
    int channel_x(int channel) const;
    // A character's offset inside a channel: the volume column and what follows it sit a
    // little apart, as a panning value starts without a blank ("01P32").
    int char_x(int character) const { return character * char_width + (character >= 6 ? column_gap : 0); }
    int separator_x() const { return char_x(CHANNEL_CHARS - 1) + (char_width - column_gap) / 2; }

    void paint_headers(QPainter& painter, const QRect& rect, int first_channel, int last_channel);
    void paint_scopes(QPainter& painter, int first_channel, int last_channel);
    int scope_points() const;  // points a scope shows: one a pixel
    int last_visible_channel() const;
    void tell_editor_view_size();
    void paint_rows(QPainter& painter, const QRect& rect, int first_channel, int last_channel);
    void add_text(QPainter& painter, Run_Kind kind, const char* text, int length, int x, int baseline);
    void flush_run(QPainter& painter, Text_Run& run);
    bool begin_direct_text(QPainter& painter, const QRect& rect);
    void build_glyph_masks(int ratio);
    void blit_glyph(const char character, QRgb color, int x, int top);

    Song* song = nullptr;
    Editor* editor = nullptr;
    Player_Data* player = nullptr;
    Player_Realtime_Keyboard* keyboard = nullptr;
    Mutex_Lock* variables_lock = nullptr;
    bool lock_held = false;

    Held_Notes held_notes;
    int pressed_key = 0;  // the key being handled, while it is

    bool shift_was_down = false;
    bool mouse_pressed = false;
    bool mouse_dragging = false;
    int press_channel = 0;
    int press_row = 0;
    int press_field = 0;

    int playing_pattern = -1;
    int playing_row = -1;

    const Channel_Scopes* scopes = nullptr;
    double scope_full_scale = 32768.0;
    unsigned scopes_seen = 0;        // the feed's count when last looked at
    bool scopes_sounded = false;     // whether the scopes last drawn showed any sound
    std::vector<std::int16_t> scope_values;  // sized once: no allocation per paint
    std::vector<QPointF> scope_line;

    int char_width = 8;
    int column_gap = 2;
    int line_height = 16;
    int ascent = 12;
    Palette palette;
    QRawFont raw_font;
    quint32 glyph_of[128] = {};
    Text_Run runs[RUN_KIND_COUNT];

    // Drawing into our own image, text skips the painter: each character's coverage is kept
    // at the image's pixel ratio and blended straight into the pixels, which costs a fraction
    // of a glyph run's per-glyph work.
    struct Glyph_Pixel {
        short dx, dy;  // from the character cell's top left, in image pixels
        unsigned char alpha;
    };
    struct Glyph_Mask {
        // The final pixels of the character in one colour over one background.
        struct Colored {
            QRgb color, under;
            std::vector<QRgb> values;
        };
        static constexpr int MAX_COLORED = 16;

        // Pixels a neighbour's glyph may also reach come last and are always blended with
        // what is there; the others lie on the cell's flat background.
        std::vector<Glyph_Pixel> pixels;
        size_t inner_count = 0;
        std::vector<int> offsets;  // the pixels as offsets in an image line of offsets_stride
        QRect bounds;              // of the pixels, relative to the cell
        std::vector<Colored> colored;
    };
    const Glyph_Mask::Colored* colored_glyph(Glyph_Mask& mask, QRgb color, QRgb under);
    Glyph_Mask glyph_masks[128];
    int mask_ratio = 0;           // the pixel ratio the masks were made at; 0 none
    int offsets_stride = 0;       // the image line length the offsets were made for, in pixels
    QPoint background_probe{-1, -1};  // a point of the cell no character covers; -1 none
    int background_offset = 0;        // the probe at offsets_stride
    QImage* direct_image = nullptr;  // set while a paint writes text straight into an image
    QRect direct_clip;            // in image pixels
    QImage backing_store;
};
