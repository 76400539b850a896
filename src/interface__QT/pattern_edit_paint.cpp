// The drawing of the pattern view. Text goes out as glyph runs, one per colour, from fixed
// buffers: no shaping and no allocation per cell, so a full 1080p repaint stays cheap.
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

#include "common/components/audio/channel_scopes.h"
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
    for (Glyph_Mask& mask : glyph_masks) mask.colored.clear();
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
    mask_ratio = 0;

    if (editor) {
        editor->set_font_size(char_width, line_height - 1);
        tell_editor_view_size();
        editor->adjust_view_to_cursor();
    }
}

void Pattern_Edit::paintEvent(QPaintEvent* event) {
    // Each rectangle of the region on its own: a scrolled view is dirty at both ends, and
    // their bounding box would be most of the view.
    const QRegion& region = event->region();
    if (!Interface_Preferences::get_singleton_instance().get_use_backing_store()) {
        QPainter painter(this);
        for (const QRect& rect : region) {
            painter.setClipRect(rect);
            render_area(painter, rect);
        }
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
        for (const QRect& rect : region) {
            image_painter.setClipRect(rect);
            render_area(image_painter, rect);
        }
    }
    QPainter painter(this);
    for (const QRect& rect : region) {
        const QRectF source(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio);
        painter.drawImage(QRectF(rect), backing_store, source);
    }
}

void Pattern_Edit::render_area(QPainter& painter, const QRect& rect) {
    Pattern* pattern = editor && song ? song->get_pattern(editor->get_current_pattern()) : nullptr;
    if (!pattern) {
        painter.fillRect(rect, palette.background);
        return;
    }
    // Each pixel is filled once: the header, the rows with their bands, and here what lies
    // below the pattern's last row.
    const int pattern_end = std::max(row_y(pattern->get_length()), HEADER_LINES * line_height);
    const QRect below = rect & QRect(0, pattern_end, width(), height() - pattern_end);
    if (!below.isEmpty()) painter.fillRect(below, palette.background);
    begin_direct_text(painter, rect);
    const int first_channel = editor->get_column_offset();
    const int last_channel = last_visible_channel();
    paint_rows(painter, rect, first_channel, last_channel);
    paint_headers(painter, rect, first_channel, last_channel);
    for (Text_Run& run : runs) flush_run(painter, run);
    direct_image = nullptr;
}

// Text goes straight into the pixels when the painter draws on a plain RGB image at a whole
// pixel ratio without a transformation; anything else takes the glyph runs.
bool Pattern_Edit::begin_direct_text(QPainter& painter, const QRect& rect) {
    direct_image = nullptr;
    if (!painter.device() || painter.device()->devType() != QInternal::Image) return false;
    auto* image = static_cast<QImage*>(painter.device());
    const qreal ratio = image->devicePixelRatio();
    const int whole_ratio = qRound(ratio);
    if (image->format() != QImage::Format_RGB32 || whole_ratio < 1 || ratio != whole_ratio ||
        !painter.worldTransform().isIdentity() || !raw_font.isValid())
        return false;
    if (mask_ratio != whole_ratio) build_glyph_masks(whole_ratio);
    const int stride = (int)(image->bytesPerLine() / sizeof(QRgb));
    if (stride != offsets_stride) {
        for (Glyph_Mask& mask : glyph_masks) {
            mask.offsets.resize(mask.pixels.size());
            for (size_t i = 0; i < mask.pixels.size(); i++)
                mask.offsets[i] = mask.pixels[i].dy * stride + mask.pixels[i].dx;
        }
        background_offset = background_probe.y() * stride + background_probe.x();
        offsets_stride = stride;
    }
    direct_image = image;
    const QRect scaled(rect.topLeft() * whole_ratio, rect.size() * whole_ratio);
    direct_clip = scaled & image->rect();
    if (painter.hasClipping()) {
        const QRect clip = painter.clipBoundingRect().toAlignedRect();
        direct_clip &= QRect(clip.topLeft() * whole_ratio, clip.size() * whole_ratio);
    }
    return true;
}

void Pattern_Edit::build_glyph_masks(int ratio) {
    // A cell with room on both sides for glyphs that reach past it.
    const int margin = char_width;
    QImage cell(QSize(char_width + 2 * margin, line_height) * ratio, QImage::Format_ARGB32_Premultiplied);
    cell.setDevicePixelRatio(ratio);
    QGlyphRun run;
    run.setRawFont(raw_font);
    for (int c = 0; c < 128; c++) {
        Glyph_Mask& mask = glyph_masks[c];
        mask.pixels.clear();
        mask.colored.clear();
        mask.bounds = QRect();
        if (c <= ' ' || c == 127) continue;
        cell.fill(Qt::transparent);
        {
            QPainter painter(&cell);
            painter.setPen(Qt::white);
            const quint32 glyph = glyph_of[c];
            const QPointF position(margin, ascent);
            run.setRawData(&glyph, &position, 1);
            painter.drawGlyphRun(QPointF(0, 0), run);
        }
        for (int y = 0; y < cell.height(); y++) {
            const QRgb* line = reinterpret_cast<const QRgb*>(cell.constScanLine(y));
            for (int x = 0; x < cell.width(); x++) {
                const int alpha = qAlpha(line[x]);
                if (alpha == 0) continue;
                const Glyph_Pixel pixel{(short)(x - margin * ratio), (short)y, (unsigned char)alpha};
                mask.pixels.push_back(pixel);
                mask.bounds |= QRect(pixel.dx, pixel.dy, 1, 1);
            }
        }
    }

    // How far any character reaches into its neighbours' cells.
    const int cell_width = char_width * ratio, cell_height = line_height * ratio;
    int reach = 0;
    for (const Glyph_Mask& mask : glyph_masks)
        if (!mask.bounds.isNull())
            reach = std::max({reach, -mask.bounds.left(), mask.bounds.right() - (cell_width - 1)});
    std::vector<bool> covered((size_t)cell_width * cell_height, false);
    for (Glyph_Mask& mask : glyph_masks) {
        auto inner = [&](const Glyph_Pixel& pixel) { return pixel.dx >= reach && pixel.dx < cell_width - reach; };
        auto middle = std::stable_partition(mask.pixels.begin(), mask.pixels.end(), inner);
        mask.inner_count = (size_t)(middle - mask.pixels.begin());
        for (const Glyph_Pixel& pixel : mask.pixels)
            if (pixel.dx >= 0 && pixel.dx < cell_width && pixel.dy >= 0 && pixel.dy < cell_height)
                covered[(size_t)pixel.dy * cell_width + pixel.dx] = true;
    }
    // The line under the text is the likeliest free place.
    background_probe = QPoint(-1, -1);
    for (int y = cell_height - 1; y >= 0 && background_probe.x() < 0; y--)
        for (int x = 0; x < cell_width; x++)
            if (!covered[(size_t)y * cell_width + x]) {
                background_probe = QPoint(x, y);
                break;
            }
    mask_ratio = ratio;
    offsets_stride = 0;
}

// color over the pixel by alpha, channel by channel, rounded.
static inline QRgb blend_pixel(QRgb under, QRgb color, unsigned alpha) {
    const unsigned inverse = 255 - alpha;
    unsigned rb = (color & 0xff00ff) * alpha + (under & 0xff00ff) * inverse + 0x800080;
    rb = ((rb + ((rb >> 8) & 0xff00ff)) >> 8) & 0xff00ff;
    unsigned g = (color & 0x00ff00) * alpha + (under & 0x00ff00) * inverse + 0x008000;
    g = ((g + ((g >> 8) & 0x00ff00)) >> 8) & 0x00ff00;
    return 0xff000000u | rb | g;
}

// The blended inner pixels of a character in a colour over a flat background, made on first use.
const Pattern_Edit::Glyph_Mask::Colored* Pattern_Edit::colored_glyph(Glyph_Mask& mask, QRgb color, QRgb under) {
    for (const Glyph_Mask::Colored& colored : mask.colored)
        if (colored.color == color && colored.under == under) return &colored;
    if ((int)mask.colored.size() == Glyph_Mask::MAX_COLORED) return nullptr;
    Glyph_Mask::Colored colored{color, under, std::vector<QRgb>(mask.inner_count)};
    for (size_t i = 0; i < mask.inner_count; i++) colored.values[i] = blend_pixel(under, color, mask.pixels[i].alpha);
    mask.colored.push_back(std::move(colored));
    return &mask.colored.back();
}

void Pattern_Edit::blit_glyph(const char character, QRgb color, int x, int top) {
    Glyph_Mask& mask = glyph_masks[(unsigned char)character & 127];
    if (mask.pixels.empty()) return;
    const QRect bounds = mask.bounds.translated(x, top);
    if (!direct_clip.intersects(bounds)) return;
    uchar* bits = direct_image->bits();
    const qsizetype stride = direct_image->bytesPerLine();
    QRgb* origin = reinterpret_cast<QRgb*>(bits + top * stride) + x;
    if (direct_clip.contains(bounds)) {
        // Locals, as the stores into the image could otherwise alias the mask for the compiler.
        const int* offsets = mask.offsets.data();
        const Glyph_Pixel* pixels = mask.pixels.data();
        const size_t count = mask.pixels.size(), inner_count = mask.inner_count;
        size_t first_blended = 0;
        if (background_probe.x() >= 0 && direct_clip.contains(background_probe + QPoint(x, top))) {
            if (const Glyph_Mask::Colored* colored = colored_glyph(mask, color, origin[background_offset])) {
                const QRgb* values = colored->values.data();
                for (size_t i = 0; i < inner_count; i++) origin[offsets[i]] = values[i];
                first_blended = inner_count;
            }
        }
        for (size_t i = first_blended; i < count; i++)
            origin[offsets[i]] = blend_pixel(origin[offsets[i]], color, pixels[i].alpha);
        return;
    }
    // Cut by the edge of the painted part.
    for (const Glyph_Pixel& pixel : mask.pixels) {
        const int px = x + pixel.dx, py = top + pixel.dy;
        if (!direct_clip.contains(px, py)) continue;
        QRgb* target = reinterpret_cast<QRgb*>(bits + py * stride) + px;
        *target = blend_pixel(*target, color, pixel.alpha);
    }
}

void Pattern_Edit::add_text(QPainter& painter, Run_Kind kind, const char* text, int length, int x, int baseline) {
    if (direct_image) {
        const QRgb color = runs[kind].color.rgb();
        const int top = (baseline - ascent) * mask_ratio;
        for (int i = 0; i < length; i++, x += char_width) blit_glyph(text[i], color, x * mask_ratio, top);
        return;
    }
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
        painter.fillRect(0, y, width(), line_height, band);
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

// The last channel may show in part.
int Pattern_Edit::last_visible_channel() const {
    const int first_channel = editor ? editor->get_column_offset() : 0;
    return std::min(Editor::LAST_CHANNEL,
                    first_channel + (width() - ROW_NUMBER_CHARS * char_width) / (CHANNEL_CHARS * char_width));
}

void Pattern_Edit::paint_headers(QPainter& painter, const QRect& rect, int first_channel, int last_channel) {
    const int header_height = HEADER_LINES * line_height;
    if (rect.top() >= header_height) return;
    for (Text_Run& run : runs) flush_run(painter, run);  // the rows' text must not draw over the header
    painter.fillRect(0, 0, width(), header_height, palette.hl_maj);
    paint_scopes(painter, first_channel, last_channel);
    // The scopes' own repaints stop here.
    if (rect.top() >= SCOPE_LINE * line_height && rect.bottom() < (SCOPE_LINE + 1) * line_height) {
        painter.setPen(palette.sep);
        for (int channel = first_channel; channel <= last_channel; channel++) {
            const int separator = channel_x(channel) + separator_x();
            painter.drawLine(separator, rect.top(), separator, rect.bottom());
        }
        return;
    }
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
                     x + char_x(span.first), (HEADER_LINES - 1) * line_height + ascent);
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

// Scopes

void Pattern_Edit::set_channel_scopes(const Channel_Scopes* to, double full_scale) {
    full_scale = std::max(full_scale, 1.0);
    if (to == scopes && full_scale == scope_full_scale) return;
    scopes = to;
    scope_full_scale = full_scale;
    scopes_sounded = true;  // draw once whatever it shows
    update(scope_area());
}

QRect Pattern_Edit::scope_area() const {
    const int left = ROW_NUMBER_CHARS * char_width;
    return QRect(left, SCOPE_LINE * line_height, std::max(width() - left, 0), line_height);
}

int Pattern_Edit::scope_points() const {
    return std::clamp(char_x(CHANNEL_CHARS - 1) - 2, 1, (int)Channel_Scopes::MAX_READ_POINTS);
}

// Repaints the scope line when the feed moved on and something sounds now or did when last drawn,
// so a stopped song costs one last repaint and then nothing.
void Pattern_Edit::update_scopes() {
    if (!scopes || !isVisible() || !editor) return;
    const unsigned written = scopes->get_written();
    if (written == scopes_seen) return;
    scopes_seen = written;
    bool sounds = false;
    const int count = scope_points();
    for (int channel = editor->get_column_offset(); channel <= last_visible_channel() && !sounds; channel++)
        sounds = scopes->level(channel, count) != 0;
    if (!sounds && !scopes_sounded) return;
    scopes_sounded = sounds;
    update(scope_area());
}

void Pattern_Edit::paint_scopes(QPainter& painter, int first_channel, int last_channel) {
    // Half of a full-scale sample fills the line: few samples are louder, and what is is
    // clipped to the line.
    const double gain = 2.0 / scope_full_scale;
    const int count = scope_points();
    if ((int)scope_values.size() < count) scope_values.resize(Channel_Scopes::MAX_READ_POINTS);
    if ((int)scope_line.capacity() < count) scope_line.reserve(Channel_Scopes::MAX_READ_POINTS);
    const double middle = SCOPE_LINE * line_height + line_height / 2 + 0.5;  // a pixel's centre: a sharp flat line
    const double half = line_height / 2.0 - 1.0;
    const auto* channel_states = song->initial_variables.channel;
    const bool was_antialiased = painter.testRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (int channel = first_channel; channel <= last_channel; channel++) {
        const double x = channel_x(channel) + 1.5;
        const bool read = scopes && scopes->read(channel, scope_values.data(), count);
        bool silent = true;
        scope_line.clear();
        for (int j = 0; j < count; j++) {
            const int value = read ? scope_values[j] : 0;
            silent = silent && value == 0;
            const double y = std::clamp(value * gain, -1.0, 1.0) * half;
            scope_line.emplace_back(x + j, middle - y);
        }
        painter.setPen(silent || channel_states[channel].mute ? palette.foreground_inactive : palette.foreground);
        if (silent)
            painter.drawLine(QPointF(x, middle), QPointF(x + count - 1, middle));
        else
            painter.drawPolyline(scope_line.data(), count);
    }
    painter.setRenderHint(QPainter::Antialiasing, was_antialiased);
}
