#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <vector>

class Editor;
class Mutex_Lock;

// The order list: one line per order position, its number and the entry. Keys and clicks
// move the editor's order-list cursor and edit the entry under it; the order being played
// is marked.
class OrderList_Edit : public QWidget {
    Q_OBJECT
public:
    // A line's characters: a blank, the position, two blanks, the entry's three digits and
    // a blank. A click on character 5, 6 or 7 picks the hundreds, tens or units.
    static constexpr int POSITION_CHAR = 1;
    static constexpr int ENTRY_CHAR = 5;
    static constexpr int LINE_CHARS = 9;
    static constexpr int LAST_ROW = 254;

    // A key of the list, without Control or Alt. The list handles keys by looking them up
    // here and the keys window lists the same entries.
    struct Key_Command {
        int key;  // a Qt::Key; up to last_key for a range (the digits)
        int last_key;
        const char* caption;
        void (*run)(OrderList_Edit& list, int key);
        bool passed_on;  // the window sees the key too, as it sees every key but the movements
    };
    static const std::vector<Key_Command>& key_commands();
    static const Key_Command* find_key_command(int key);

    explicit OrderList_Edit(QWidget* parent = nullptr);

    void set_editor(Editor* editor);
    // Held while an entry changes: the player walks the list on the audio thread.
    void set_variables_lock(Mutex_Lock* lock) { variables_lock = lock; }

    // The order to mark as playing, -1 for none; repaints only when it changes.
    void set_current_playing_order(int order);
    int get_current_playing_order() const { return playing_order; }

    int get_first_visible_row() const { return row_offset; }
    // Scrolls the list (a scroll bar beside it); the cursor stays where it is.
    void set_first_visible_row(int row);
    int get_row_height() const { return row_height; }
    int get_char_width() const { return char_width; }
    int get_visible_rows() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The first visible row or the number of visible rows changed.
    void view_changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Palette {
        QColor background, foreground, cursor, being_played, separator;
    };

    // Runs an editor call that may change entries, under the variables lock.
    template <class Edit> void edit(Edit call);
    void load_colors();
    void measure_font();
    void keep_cursor_visible();
    void update_row(int row);

    Editor* editor = nullptr;
    Mutex_Lock* variables_lock = nullptr;
    int row_offset = 0;
    int playing_order = -1;

    int char_width = 8;
    int row_height = 16;
    int ascent = 12;
    Palette palette;
    QString line;  // reused for each painted line
};
