// The drawing of the pattern view. Text goes out as glyph runs, one per colour, from fixed
// buffers: no shaping and no allocation per cell, so a full 1080p repaint stays cheap.
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/interface_preferences.h"
#include "interface__QT/pattern_edit.h"
#include "tracker/editor.h"
#include "trackercore/song.h"

namespace {

// Where each cursor field sits in a channel's text: first character and count.
struct Field_Span {
    int first;
    int count;
};
constexpr Field_Span FIELD_SPANS[Editor::FIELDS] = {{0, 2}, {2, 1}, {4, 1}, {5, 1}, {7, 1},
                                                    {8, 1}, {10, 1}, {11, 1}, {12, 1}};

// The four columns of a cell's text (Editor::write_note_string): note, instrument, volume, command.
constexpr Field_Span COLUMN_SPANS[4] = {{0, 3}, {3, 3}, {6, 3}, {10, 3}};

// The header's legend over the three columns with entry masks, coloured by the mask.
constexpr char LEGEND[] = "    In Vl Fx";
constexpr Field_Span LEGEND_SPANS[3] = {{4, 2}, {7, 2}, {10, 2}};

}  // namespace

void Pattern_Edit::load_colors() {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    const QString group = QStringLiteral("pattern_edit");
    auto color = [&](const char* name) { return theme.get(group, QLatin1String(name)); };
    palette.background = color("background");
    palette.foreground = color("foreground");
    palette.cursor = color("cursor");
    palette.hl_maj = color("hl_maj");
    palette.hl_min = color("hl_min");
    palette.background_selected = color("background_selected");
    palette.foreground_selected = color("foreground_selected");
    palette.hl_selected = color("hl_selected");
    palette.sep = color("sep");
    palette.sep_main = color("sep_main");
    palette.mask = color("mask");
    palette.foreground_inactive = color("foreground_inactive");
    palette.played_position = color("played_position");
    runs[RUN_TEXT].color = palette.foreground;
    runs[RUN_EMPTY].color = palette.foreground_inactive;
    runs[RUN_SELECTED].color = palette.foreground_selected;
    runs[RUN_CURSOR].color = palette.foreground_selected;
    runs[RUN_MASK].color = palette.mask;
}

void Pattern_Edit::measure_font() {
    QFont font = Interface_Preferences::get_singleton_instance().get_pattern_edit_font();
    QFontMetrics metrics(font);
    // Every character is put in a cell of the widest one the view draws, so a font that is
    // not fixed-pitch still lines up.
    static const char drawn[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz.-#=^?";
    int widest = 1;
    for (const char* c = drawn; *c; c++) widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(*c)));
    char_width = widest;
    column_gap = std::max(1, char_width / 3);
    line_height = metrics.height() + 1;
    ascent = metrics.ascent();

    raw_font = QRawFont::fromFont(font);
    QChar characters[128];
    for (int c = 0; c < 128; c++) characters[c] = QChar(c < 32 ? ' ' : c);
    int count = 128;
    if (!raw_font.isValid() || !raw_font.glyphIndexesForChars(characters, 128, glyph_of, &count))
        std::fill(std::begin(glyph_of), std::end(glyph_of), 0);
    for (Text_Run& run : runs) run.run.setRawFont(raw_font);

    if (editor) {
        editor->set_font_size(char_width, line_height - 1);
        editor->adjust_view_to_cursor();
    }
}

void Pattern_Edit::paintEvent(QPaintEvent* event) {
    const QRect rect = event->rect();
    if (!Interface_Preferences::get_singleton_instance().get_use_backing_store()) {
        QPainter painter(this);
        painter.setClipRect(rect);
        render_area(painter, rect);
        return;
    }
    // Draw into our own image and copy the exposed part.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (backing_store.size() != pixels) {
        backing_store = QImage(pixels, QImage::Format_RGB32);
        backing_store.setDevicePixelRatio(ratio);
    }
    {
        QPainter image_painter(&backing_store);
        image_painter.setClipRect(rect);
        render_area(image_painter, rect);
    }
    QPainter painter(this);
    const QRectF source(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio);
    painter.drawImage(QRectF(rect), backing_store, source);
}

void Pattern_Edit::render_area(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, palette.background);
    if (!editor || !song) return;
    const int first_channel = editor->get_column_offset();
    // The last channel may show in part.
    const int last_channel = std::min(
        Editor::LAST_CHANNEL,
        first_channel + (width() - ROW_NUMBER_CHARS * char_width) / (CHANNEL_CHARS * char_width));
    paint_rows(painter, rect, first_channel, last_channel);
    paint_headers(painter, rect, first_channel, last_channel);
    for (Text_Run& run : runs) flush_run(painter, run);
}

void Pattern_Edit::add_text(QPainter& painter, Run_Kind kind, const char* text, int length, int x, int baseline) {
    Text_Run& run = runs[kind];
    for (int i = 0; i < length; i++, x += char_width) {
        unsigned char c = (unsigned char)text[i];
        if (c <= ' ' || c >= 128) continue;
        if (run.count == RUN_CAPACITY) flush_run(painter, run);
        run.glyphs[run.count] = glyph_of[c];
        run.positions[run.count] = QPointF(x, baseline);
        run.count++;
    }
}

void Pattern_Edit::flush_run(QPainter& painter, Text_Run& run) {
    if (run.count == 0) return;
    run.run.setRawData(run.glyphs.data(), run.positions.data(), run.count);
    painter.setPen(run.color);
    painter.drawGlyphRun(QPointF(0, 0), run.run);
    run.count = 0;
}

void Pattern_Edit::paint_rows(QPainter& painter, const QRect& rect, int first_channel, int last_channel) {
    const int current = editor->get_current_pattern();
    Pattern* pattern = song->get_pattern(current);
    if (!pattern) return;
    const int length = pattern->get_length();
    const int header_height = HEADER_LINES * line_height;
    const int row_offset = editor->get_row_offset();
    const int first_row = std::max(row_offset + (rect.top() - header_height) / line_height, row_offset);
    const int last_row = std::min(row_offset + (rect.bottom() - header_height) / line_height, length - 1);
    if (rect.bottom() < header_height || first_row > last_row) return;

    const int minor = std::max(song->variables.row_hilight_minor, 1);
    const int major = std::max(song->variables.row_hilight_major, 1);
    const int cursor_row = editor->get_cursor_row();
    const int cursor_column = editor->get_cursor_column();
    const int channel_width = CHANNEL_CHARS * char_width;
    const int text_width = char_x(CHANNEL_CHARS - 1);
    const int row_number_width = ROW_NUMBER_CHARS * char_width;
    const bool playing_here = playing_pattern == current;
    const auto* channel_states = song->initial_variables.channel;

    // Backgrounds: row bands, the block and the playing row.
    for (int row = first_row; row <= last_row; row++) {
        const int y = row_y(row);
        const bool highlighted = row % major == 0 || row % minor == 0;
        QColor band = row % major == 0 ? palette.hl_maj : (row % minor == 0 ? palette.hl_min : palette.background);
        if (playing_here && row == playing_row) band = palette.played_position;
        if (band != palette.background) painter.fillRect(0, y, width(), line_height, band);
        if (row == cursor_row) painter.fillRect(0, y, row_number_width - char_width / 2, line_height, palette.cursor);
        for (int channel = first_channel; channel <= last_channel; channel++) {
            if (!editor->is_in_selection(channel, row)) continue;
            const bool joins_next = editor->is_in_selection(channel + 1, row) && channel < last_channel;
            const QColor selected = highlighted ? palette.hl_selected : palette.background_selected;
            painter.fillRect(channel_x(channel), y, joins_next ? channel_width : text_width, line_height, selected);
        }
    }

    // Separators between the channels, through the header.
    const int bottom = std::min(row_y(last_row) + line_height, height());
    painter.setPen(palette.sep);
    for (int channel = first_channel; channel <= last_channel; channel++) {
        const int x = channel_x(channel) + separator_x();
        painter.drawLine(x, 0, x, bottom - 1);
    }
    painter.setPen(palette.sep_main);
    painter.drawLine(row_number_width - 1, 0, row_number_width - 1, bottom - 1);

    // Text.
    for (int row = first_row; row <= last_row; row++) {
        const int y = row_y(row);
        const int baseline = y + ascent;
        const char number[3] = {(char)('0' + row / 100 % 10), (char)('0' + row / 10 % 10), (char)('0' + row % 10)};
        Run_Kind number_kind = row == cursor_row ? RUN_CURSOR : (row % minor == 0 ? RUN_TEXT : RUN_EMPTY);
        add_text(painter, number_kind, number, 3, char_width, baseline);

        for (int channel = first_channel; channel <= last_channel; channel++) {
            char text[Editor::NOTE_STRING_LENGTH + 1];
            const Note note = pattern->get_note(channel, row);
            Editor::write_note_string(note, text);
            const bool selected = editor->is_in_selection(channel, row);
            const bool muted = channel_states[channel].mute;
            const bool filled[4] = {note.note != EMPTY_FIELD, note.instrument != EMPTY_FIELD,
                                    note.volume != EMPTY_FIELD,
                                    note.command != EMPTY_FIELD || note.parameter != 0};
            const int x = channel_x(channel);
            for (int column = 0; column < 4; column++) {
                Run_Kind kind = !filled[column] || muted ? RUN_EMPTY : (selected ? RUN_SELECTED : RUN_TEXT);
                const Field_Span span = COLUMN_SPANS[column];
                add_text(painter, kind, text + span.first, span.count, x + char_x(span.first), baseline);
            }
        }
    }
    // The cursor goes over the text queued for its characters, which is drawn first.
    if (cursor_row >= first_row && cursor_row <= last_row && cursor_column >= first_channel &&
        cursor_column <= last_channel) {
        char text[Editor::NOTE_STRING_LENGTH + 1];
        Editor::write_note_string(pattern->get_note(cursor_column, cursor_row), text);
        const Field_Span span = FIELD_SPANS[editor->get_cursor_field()];
        for (Text_Run& run : runs) flush_run(painter, run);
        const int x = channel_x(cursor_column) + char_x(span.first);
        painter.fillRect(x, row_y(cursor_row), span.count * char_width, line_height, palette.cursor);
        add_text(painter, RUN_CURSOR, text + span.first, span.count, x, row_y(cursor_row) + ascent);
    }
}

void Pattern_Edit::paint_headers(QPainter& painter, const QRect& rect, int first_channel, int last_channel) {
    const int header_height = HEADER_LINES * line_height;
    if (rect.top() >= header_height) return;
    for (Text_Run& run : runs) flush_run(painter, run);  // the rows' text must not draw over the header
    painter.fillRect(0, 0, width(), header_height, palette.hl_maj);
    const auto* channel_states = song->initial_variables.channel;

    // A solo channel is the only one sounding.
    int unmuted = 0, last_unmuted = -1;
    for (int channel = 0; channel < Pattern::CHANNELS; channel++)
        if (!channel_states[channel].mute) unmuted++, last_unmuted = channel;
    const int solo = unmuted == 1 ? last_unmuted : -1;

    const int cursor_column = editor->get_cursor_column();
    const bool masks[3] = {editor->is_instrument_mask_on(), editor->is_volume_mask_on(),
                           editor->is_command_mask_on()};
    const int text_width = char_x(CHANNEL_CHARS - 1);
    for (int channel = first_channel; channel <= last_channel; channel++) {
        const int x = channel_x(channel);
        const bool muted = channel_states[channel].mute;
        if (channel == cursor_column) painter.fillRect(x, 0, text_width, line_height, palette.hl_selected);
        const char title[5] = {'C', 'h', ' ', (char)('0' + (channel + 1) / 10), (char)('0' + (channel + 1) % 10)};
        add_text(painter, muted ? RUN_EMPTY : (channel == cursor_column ? RUN_SELECTED : RUN_TEXT), title, 5, x,
                 ascent);
        if (channel == solo)
            add_text(painter, RUN_MASK, "Solo", 4, x + 6 * char_width, ascent);
        else if (muted)
            add_text(painter, RUN_MASK, "Muted", 5, x + 6 * char_width, ascent);
        for (int column = 0; column < 3; column++) {
            const Field_Span span = LEGEND_SPANS[column];
            add_text(painter, masks[column] ? RUN_MASK : RUN_EMPTY, LEGEND + span.first, span.count,
                     x + char_x(span.first), line_height + ascent);
        }
        painter.setPen(palette.sep);
        const int separator = x + separator_x();
        painter.drawLine(separator, 0, separator, header_height - 1);
    }
    painter.setPen(palette.sep_main);
    painter.drawLine(0, header_height - 1, width(), header_height - 1);
    const int row_number_width = ROW_NUMBER_CHARS * char_width;
    painter.drawLine(row_number_width - 1, 0, row_number_width - 1, header_height - 1);
}
