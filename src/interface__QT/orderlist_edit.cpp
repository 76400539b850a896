// The core headers come first: sigc++ cannot be parsed after Qt's "emit" macro.
#include "common/components/audio/mutex_lock.h"
#include "tracker/editor.h"

#include "interface__QT/orderlist_edit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <string>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/interface_preferences.h"

namespace {

constexpr int ROW_COUNT = OrderList_Edit::LAST_ROW + 1;

// Half way between two colours: the position numbers and the empty entries recede.
QColor blend(const QColor& a, const QColor& b) {
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

}  // namespace

OrderList_Edit::OrderList_Edit(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Order list"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    line.reserve(4);
    load_colors();
    measure_font();
    connect(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed, this, [this] {
        load_colors();
        update();
    });
    connect(&Interface_Preferences::get_singleton_instance(), &Interface_Preferences::changed, this, [this] {
        measure_font();
        updateGeometry();
        keep_cursor_visible();
        update();
    });
}

void OrderList_Edit::set_editor(Editor* to) {
    editor = to;
    keep_cursor_visible();
    update();
}

void OrderList_Edit::load_colors() {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    const QString group = QStringLiteral("lists");
    palette.background = theme.get(group, QStringLiteral("background"));
    palette.foreground = theme.get(group, QStringLiteral("foreground"));
    palette.cursor = theme.get(group, QStringLiteral("cursor"));
    palette.being_played = theme.get(group, QStringLiteral("being_played"));
    palette.separator = theme.get(group, QStringLiteral("separator"));
}

void OrderList_Edit::measure_font() {
    QFont font = Interface_Preferences::get_singleton_instance().get_orderlist_font();
    setFont(font);
    QFontMetrics metrics(font);
    // Every character gets a cell as wide as the widest drawn, so the digits line up in
    // any font.
    int widest = 1;
    for (const char* c = "0123456789.+-"; *c; c++) widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(*c)));
    char_width = widest;
    row_height = metrics.height() + 2;
    ascent = metrics.ascent() + 1;
}

QSize OrderList_Edit::sizeHint() const { return QSize(LINE_CHARS * char_width, 24 * row_height); }

QSize OrderList_Edit::minimumSizeHint() const { return QSize(LINE_CHARS * char_width, 4 * row_height); }

int OrderList_Edit::get_visible_rows() const { return std::max(height() / row_height, 1); }

void OrderList_Edit::set_first_visible_row(int row) {
    int first = std::clamp(row, 0, std::max(ROW_COUNT - get_visible_rows(), 0));
    if (first == row_offset) return;
    row_offset = first;
    update();
    emit view_changed();
}

void OrderList_Edit::keep_cursor_visible() {
    if (!editor) return;
    int row = editor->get_orderlist_row();
    int visible = get_visible_rows();
    if (row < row_offset)
        set_first_visible_row(row);
    else if (row >= row_offset + visible)
        set_first_visible_row(row - visible + 1);
}

void OrderList_Edit::set_current_playing_order(int order) {
    if (order == playing_order) return;
    update_row(playing_order);
    playing_order = order;
    update_row(playing_order);
}

void OrderList_Edit::update_row(int row) {
    if (row < row_offset || row >= row_offset + get_visible_rows() + 1) return;
    update(0, (row - row_offset) * row_height, width(), row_height);
}

template <class Edit> void OrderList_Edit::edit(Edit call) {
    Mutex_Lock_Guard guard(variables_lock);
    call(*editor);
}

const std::vector<OrderList_Edit::Key_Command>& OrderList_Edit::key_commands() {
    using L = OrderList_Edit;
    static const std::vector<Key_Command> table = {
        {Qt::Key_Up, Qt::Key_Up, "Previous order", [](L& l, int) { l.editor->orderlist_move_up(); }, false},
        {Qt::Key_Down, Qt::Key_Down, "Next order", [](L& l, int) { l.editor->orderlist_move_down(); }, false},
        {Qt::Key_Left, Qt::Key_Left, "Digit left", [](L& l, int) { l.editor->orderlist_move_left(); }, false},
        {Qt::Key_Right, Qt::Key_Right, "Digit right", [](L& l, int) { l.editor->orderlist_move_right(); }, false},
        {Qt::Key_PageUp, Qt::Key_PageUp, "Up a page", [](L& l, int) { l.editor->orderlist_page_up(); }, false},
        {Qt::Key_PageDown, Qt::Key_PageDown, "Down a page", [](L& l, int) { l.editor->orderlist_page_down(); },
         false},
        {Qt::Key_0, Qt::Key_9, "Type the pattern number",
         [](L& l, int key) { l.edit([key](Editor& e) { e.orderlist_insert_value(key - Qt::Key_0); }); }, true},
        {Qt::Key_Plus, Qt::Key_Plus, "Separator (+++)",
         [](L& l, int) { l.edit([](Editor& e) { e.orderlist_add_separator(); }); }, true},
        {Qt::Key_Equal, Qt::Key_Equal, "Separator (+++)",
         [](L& l, int) { l.edit([](Editor& e) { e.orderlist_add_separator(); }); }, true},
        {Qt::Key_Period, Qt::Key_Period, "Clear the order",
         [](L& l, int) { l.edit([](Editor& e) { e.orderlist_clear_order(); }); }, true},
        {Qt::Key_Insert, Qt::Key_Insert, "Insert an order",
         [](L& l, int) { l.edit([](Editor& e) { e.orderlist_insert(); }); }, true},
        {Qt::Key_Delete, Qt::Key_Delete, "Delete the order",
         [](L& l, int) { l.edit([](Editor& e) { e.orderlist_delete(); }); }, true},
    };
    return table;
}

const OrderList_Edit::Key_Command* OrderList_Edit::find_key_command(int key) {
    for (const Key_Command& command : key_commands())
        if (key >= command.key && key <= command.last_key) return &command;
    return nullptr;
}

void OrderList_Edit::keyPressEvent(QKeyEvent* event) {
    // Chords belong to the window (Ctrl+Page Up steps through the pages).
    if (!editor || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        QWidget::keyPressEvent(event);
        return;
    }
    const Key_Command* command = find_key_command(event->key());
    if (command) command->run(*this, event->key());
    keep_cursor_visible();
    update();
    if (command && !command->passed_on)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

void OrderList_Edit::mousePressEvent(QMouseEvent* event) {
    if (!editor) return;
    const QPoint point = event->position().toPoint();
    int row = std::min(std::max(point.y(), 0) / row_height + row_offset, LAST_ROW);
    int character = point.x() / char_width;
    int column = editor->get_orderlist_column();
    if (character >= ENTRY_CHAR && character < ENTRY_CHAR + 3) column = character - ENTRY_CHAR;
    editor->set_orderlist_cursor(row, column);
    keep_cursor_visible();
    update();
}

void OrderList_Edit::wheelEvent(QWheelEvent* event) {
    int notches = event->angleDelta().y() / 120;
    if (notches == 0) notches = event->angleDelta().y() > 0 ? 1 : (event->angleDelta().y() < 0 ? -1 : 0);
    set_first_visible_row(row_offset - notches * QApplication::wheelScrollLines());
    event->accept();
}

void OrderList_Edit::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void OrderList_Edit::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void OrderList_Edit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    set_first_visible_row(row_offset);  // a taller list may show the end
    keep_cursor_visible();
    emit view_changed();
}

void OrderList_Edit::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect rect = event->rect();
    painter.fillRect(rect, palette.background);
    const QColor dim = blend(palette.foreground, palette.background);
    const int cursor_row = editor ? editor->get_orderlist_row() : -1;
    const int cursor_column = editor ? editor->get_orderlist_column() : 0;
    const bool focused = hasFocus();

    auto draw_chars = [&](const char* text, int count, int character, int y, const QColor& color) {
        painter.setPen(color);
        for (int i = 0; i < count; i++) {
            line.resize(1);
            line[0] = QLatin1Char(text[i]);
            painter.drawText((character + i) * char_width, y + ascent, line);
        }
    };

    const int first = row_offset + rect.top() / row_height;
    const int last = std::min(row_offset + rect.bottom() / row_height, LAST_ROW);
    for (int row = first; row <= last; row++) {
        const int y = (row - row_offset) * row_height;
        if (row == playing_order) painter.fillRect(0, y, width(), row_height, palette.being_played);
        const char position[3] = {(char)('0' + row / 100), (char)('0' + row / 10 % 10), (char)('0' + row % 10)};
        draw_chars(position, 3, POSITION_CHAR, y, row == cursor_row ? palette.cursor : dim);

        const std::string entry = editor ? editor->orderlist_get_cursor_string(row) : std::string("...");
        draw_chars(entry.c_str(), 3, ENTRY_CHAR, y, entry == "..." ? dim : palette.foreground);
        if (row != cursor_row) continue;
        const int x = (ENTRY_CHAR + cursor_column) * char_width;
        if (focused) {
            // The digit being typed stands out in the cursor's colour.
            painter.fillRect(x, y, char_width, row_height, palette.cursor);
            draw_chars(entry.c_str() + cursor_column, 1, ENTRY_CHAR + cursor_column, y, palette.background);
        } else {
            painter.setPen(palette.cursor);
            painter.drawRect(ENTRY_CHAR * char_width, y, 3 * char_width - 1, row_height - 1);
        }
    }
    // The rule between the positions and the entries.
    painter.setPen(palette.separator);
    const int rule = (ENTRY_CHAR - 1) * char_width + char_width / 2;
    painter.drawLine(rule, rect.top(), rule, rect.bottom());
}
