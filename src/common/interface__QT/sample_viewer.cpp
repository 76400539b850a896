#include "common/components/audio/sample_data.h"
#include "tracker/selection.h"

#include "common/interface__QT/sample_viewer.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "common/interface__QT/color_theme.h"

Sample_Viewer::Sample_Viewer(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::ClickFocus);
    setAccessibleName(tr("Sample Waveform"));
    connect(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed, this,
            qOverload<>(&QWidget::update));
}

QSize Sample_Viewer::sizeHint() const { return {fontMetrics().averageCharWidth() * 80, fontMetrics().height() * 12}; }

QSize Sample_Viewer::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 20, fontMetrics().height() * 4};
}

void Sample_Viewer::set_sample_data(Sample_Data* to) {
    data = to;
    dragging = false;
    cache.clear();
    cache_valid = false;
    positions.clear();
    zoom = 1.0f;
    zoom_offset = 0;
    update();
    emit zoom_changed();
}

void Sample_Viewer::set_selection(Selection* to) {
    selection = to;
    update();
}

void Sample_Viewer::sample_changed() {
    cache_valid = false;
    // A cut or a depth change may have shortened the sample under the view.
    zoom_offset = std::clamp(zoom_offset, 0, get_max_zoom_offset());
    update();
    emit zoom_changed();
}

void Sample_Viewer::set_zoom(float to) {
    zoom = std::clamp(to, MIN_ZOOM, 1.0f);
    zoom_offset = std::clamp(zoom_offset, 0, get_max_zoom_offset());
    update();
    emit zoom_changed();
}

void Sample_Viewer::set_zoom_offset(int to) {
    zoom_offset = std::clamp(to, 0, get_max_zoom_offset());
    update();
    emit zoom_changed();
}

int Sample_Viewer::get_max_zoom_offset() const {
    int size = data ? data->get_size() : 0;
    return std::max(size - get_visible_frames(), 0);
}

int Sample_Viewer::get_visible_frames() const {
    int size = data ? data->get_size() : 0;
    return (int)(size * zoom);
}

int Sample_Viewer::screen_pos_to_sample_pos(int x) const {
    int size = data ? data->get_size() : 0;
    int w = std::max(width(), 1);
    return (int)((double)x * size * zoom / w + zoom_offset);
}

int Sample_Viewer::sample_pos_to_screen_pos(long long frame) const {
    double span = data ? (double)data->get_size() * zoom : 0.0;
    if (span <= 0.0) return 0;
    return (int)std::floor((frame - zoom_offset) * width() / span);
}

double Sample_Viewer::frames_per_pixel() const {
    return data ? (double)data->get_size() * zoom / std::max(width(), 1) : 0.0;
}

int Sample_Viewer::get_factor() const { return cache.get_factor(frames_per_pixel()); }

// Only the columns under the old and the new marks are repainted.
void Sample_Viewer::set_position_list(const std::vector<int>& to) {
    if (to == positions) return;
    for (int position : positions) update(sample_pos_to_screen_pos(position), 0, 1, height());
    positions = to;
    for (int position : positions) update(sample_pos_to_screen_pos(position), 0, 1, height());
}

void Sample_Viewer::ensure_cache() {
    if (cache_valid && cache.matches(data)) return;
    cache.build(data);
    cache_valid = true;
}

// Mouse: the left button makes a selection, the right one moves its larger end and the
// middle one its smaller end. Qt keeps the mouse grabbed for the widget while a button is down.

void Sample_Viewer::mousePressEvent(QMouseEvent* event) {
    if (!data || data->get_size() <= 0 || !selection || dragging) return;
    int frame = screen_pos_to_sample_pos((int)event->position().x());
    switch (event->button()) {
        case Qt::LeftButton:
            selection->clear();
            selection->set_active(true);
            selection->set_max(data->get_size());
            selection->set_point_1(frame);
            selection->set_point_2(frame);
            drag_mode = 0;
            drag_point = 2;
            break;
        case Qt::RightButton:
            if (!selection->is_active()) return;
            drag_mode = 2;
            drag_point = selection->get_point_1() <= selection->get_point_2() ? 2 : 1;
            break;
        case Qt::MiddleButton:
            if (!selection->is_active()) return;
            drag_mode = 1;
            drag_point = selection->get_point_2() <= selection->get_point_1() ? 2 : 1;
            break;
        default:
            return;
    }
    dragging = true;
    update();
    emit selection_changed();
}

void Sample_Viewer::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging || !selection) return;
    int frame = screen_pos_to_sample_pos((int)event->position().x());
    if (drag_point == 1)
        selection->set_point_1(frame);
    else
        selection->set_point_2(frame);
    update();
    emit selection_changed();
}

void Sample_Viewer::mouseReleaseEvent(QMouseEvent* event) {
    static const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton};
    if (!dragging || event->button() != buttons[drag_mode]) return;
    dragging = false;
    if (selection && selection->get_begin() == selection->get_end()) selection->set_active(false);
    update();
    emit selection_changed();
}

// The wheel scrolls; with Ctrl it zooms in or out around the middle of the view.
void Sample_Viewer::wheelEvent(QWheelEvent* event) {
    int steps = event->angleDelta().y() / 120;
    if (!data || data->get_size() <= 0 || steps == 0) return;
    if (event->modifiers() & Qt::ControlModifier) {
        float old_zoom = zoom;
        zoom = std::clamp(steps > 0 ? zoom * 0.5f : zoom * 2.0f, MIN_ZOOM, 1.0f);
        set_zoom_offset((int)(zoom_offset + data->get_size() * old_zoom / 2 - data->get_size() * zoom / 2));
    } else {
        set_zoom_offset(zoom_offset - steps * std::max(get_visible_frames() / 8, 1));
    }
    event->accept();
}

// Drawing

void Sample_Viewer::read_palette(Palette& palette) const {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    auto color = [&theme](const char* name, bool selected) {
        return theme.get("sample_edit", selected ? QString(name) + "_selected" : QString(name));
    };
    for (int selected = 0; selected < 2; selected++) {
        palette.background[selected][0] = color("background", selected);
        palette.background[selected][1] = color("loop_background", selected);
        palette.foreground[selected][0] = color("foreground", selected);
        palette.foreground[selected][1] = color("loop_foreground", selected);
        palette.center[selected] = color("center", selected);
        palette.played[selected] = color("played_position", selected);
    }
}

void Sample_Viewer::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    Palette palette;
    read_palette(palette);
    const QRect exposed = event->rect();
    if (!data || data->get_size() <= 0 || !data->get_data_ptr()) {
        painter.fillRect(exposed, palette.background[0][0]);
        painter.setPen(palette.center[0]);
        painter.drawLine(exposed.left(), height() / 2, exposed.right(), height() / 2);
        painter.setPen(palette.foreground[0][0]);
        painter.drawText(rect(), Qt::AlignCenter, tr("No sample data"));
        return;
    }
    ensure_cache();
    paint_columns(painter, palette, exposed.left(), exposed.right());

    const int top = exposed.top(), bottom = exposed.bottom();
    if (data->is_loop_enabled()) {
        bool in_selection = selection && selection->is_in_range(data->get_loop_begin());
        paint_marker(painter, data->get_loop_begin(), palette.foreground[in_selection][1], top, bottom);
        in_selection = selection && selection->is_in_range(data->get_loop_end());
        paint_marker(painter, data->get_loop_end(), palette.foreground[in_selection][1], top, bottom);
    }
    for (int position : positions) {
        bool in_selection = selection && selection->is_in_range(position);
        paint_marker(painter, position, palette.played[in_selection], top, bottom);
    }
}

void Sample_Viewer::paint_marker(QPainter& painter, int frame, const QColor& color, int top, int bottom) {
    int x = sample_pos_to_screen_pos(frame);
    if (x < 0 || x >= width()) return;
    painter.setPen(color);
    painter.drawLine(x, top, x, bottom);
}

// Columns left..right: backgrounds and the centre line in runs of one colour, then one
// column-wide bar from the lowest to the highest frame each column covers, exactly.
void Sample_Viewer::paint_columns(QPainter& painter, const Palette& palette, int left, int right) {
    const int size = data->get_size();
    const int h = height();
    const int mid = h / 2;
    const double scale = std::max(h / 2 - 1, 1) / 32768.0;
    // Joining each column to the last frame of the one before is what draws a trace when single
    // frames are wider than a pixel; past that, the columns' own extremes are exact.
    const bool join = frames_per_pixel() < 2.0;
    const bool loop = data->is_loop_enabled();
    const int loop_begin = data->get_loop_begin(), loop_end = data->get_loop_end();
    for (auto& row : wave_columns)
        for (std::vector<QRect>& columns : row) {
            columns.clear();
            if ((int)columns.capacity() < width()) columns.reserve(width());
        }

    int run_start = left, run_state = -1;
    auto flush_run = [&](int end) {
        if (run_state < 0 || end <= run_start) return;
        int selected = run_state & 1, in_loop = (run_state >> 1) & 1;
        painter.fillRect(run_start, 0, end - run_start, h, palette.background[selected][in_loop]);
        painter.setPen(palette.center[selected]);
        painter.drawLine(run_start, mid, end - 1, mid);
    };

    int previous = screen_pos_to_sample_pos(left - 1);
    for (int x = left; x <= right; x++) {
        int first = screen_pos_to_sample_pos(x);
        int next = std::max(screen_pos_to_sample_pos(x + 1), first + 1);
        bool selected = selection && selection->is_in_range(first);
        bool in_loop = loop && first >= loop_begin && first < loop_end;
        int state = (selected ? 1 : 0) | (in_loop ? 2 : 0);
        if (state != run_state) {
            flush_run(x);
            run_start = x;
            run_state = state;
        }
        if (first < size) {
            // From the last frame of the column before, so that the trace has no gaps.
            int begin = join && previous < first && x > 0 ? first - 1 : first;
            Sample_View_Cache::Peak peak = cache.get_range_peak(data, begin, next);
            int top = mid - (int)std::lround(peak.max * scale);
            int bottom = mid - (int)std::lround(peak.min * scale);
            wave_columns[selected][in_loop].emplace_back(x, top, 1, bottom - top + 1);
        }
        previous = first;
    }
    flush_run(right + 1);
    painter.setPen(Qt::NoPen);
    for (int selected = 0; selected < 2; selected++)
        for (int in_loop = 0; in_loop < 2; in_loop++) {
            const std::vector<QRect>& columns = wave_columns[selected][in_loop];
            if (columns.empty()) continue;
            painter.setBrush(palette.foreground[selected][in_loop]);
            painter.drawRects(columns.data(), (int)columns.size());
        }
    painter.setBrush(Qt::NoBrush);
}
