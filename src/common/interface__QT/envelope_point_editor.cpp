#include "common/interface__QT/envelope_point_editor.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

#include "common/components/audio/mutex_lock.h"
#include "common/interface__QT/color_theme.h"
#include "trackercore/envelope.h"

namespace {

constexpr int NODE_SIZE = 5;
constexpr int GRID_MIN_PIXELS = 48;

QColor blend(const QColor& a, const QColor& b, float amount) {
    auto mix = [amount](int x, int y) { return (int)std::lround(x + (y - x) * amount); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

// The smallest round step of ticks whose grid lines stand at least GRID_MIN_PIXELS apart.
int grid_step(float zoom) {
    for (int step : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000})
        if (step / zoom >= GRID_MIN_PIXELS) return step;
    return 5000;
}

}  // namespace

Envelope_Point_Editor::Envelope_Point_Editor(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed, this,
            qOverload<>(&QWidget::update));
}

void Envelope_Point_Editor::set_envelope(Envelope* new_envelope) {
    if (dragging) releaseMouse();
    envelope = new_envelope;
    dragging = false;
    dragged_node = -1;
    positions.clear();
    adjust_zoom_to_window();
    update();
}

QSize Envelope_Point_Editor::sizeHint() const {
    return QSize(fontMetrics().horizontalAdvance('0') * 50, info_height() + fontMetrics().height() * 9);
}

QSize Envelope_Point_Editor::minimumSizeHint() const {
    return QSize(fontMetrics().horizontalAdvance('0') * 20, info_height() + fontMetrics().height() * 4);
}

int Envelope_Point_Editor::info_height() const {
    return fontMetrics().height() + 6;
}

int Envelope_Point_Editor::graph_height() const {
    return height() - info_height();
}

bool Envelope_Point_Editor::can_map() const {
    return envelope && graph_height() > 0 && envelope->get_max_height() != envelope->get_min_height();
}

QPoint Envelope_Point_Editor::to_pixel(int offset, int height) const {
    int h = graph_height();
    int range = envelope->get_max_height() - envelope->get_min_height();
    int x = (int)(offset / zoom);
    int y = h - ((height - envelope->get_min_height()) * h) / range;
    return QPoint(x, info_height() + y);
}

void Envelope_Point_Editor::to_envelope(QPoint pixel, int& offset, int& height) const {
    int h = graph_height();
    int range = envelope->get_max_height() - envelope->get_min_height();
    int y = pixel.y() - info_height();
    offset = (int)(pixel.x() * zoom);
    height = (int)((float)(h - y) * range / h + envelope->get_min_height());
}

QPoint Envelope_Point_Editor::get_node_position(int node) const {
    if (!can_map() || node < 0 || node >= envelope->get_node_count()) return QPoint(-1, -1);
    return to_pixel(envelope->get_node_offset(node), envelope->get_node_height(node));
}

int Envelope_Point_Editor::nearest_node(QPoint pixel) const {
    int nearest = -1;
    double best = NEAR_PIXELS;
    for (int i = 0; i < envelope->get_node_count(); i++) {
        QPoint at = get_node_position(i) - pixel;
        double distance = std::hypot((double)at.x(), (double)at.y());
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

bool Envelope_Point_Editor::adjust_zoom_to_window() {
    float width_pixels = (float)width();
    if (!envelope || envelope->get_node_count() < 1 || width_pixels <= 0) return false;
    float last = (float)envelope->get_node_offset(envelope->get_node_count() - 1);
    float before = zoom;
    if (last / zoom < FILL_MIN * width_pixels) zoom = last / (FILL_MAX * width_pixels);
    if (last / zoom > FILL_MAX * width_pixels) zoom = last / (FILL_MIN * width_pixels);
    if (!(zoom >= MIN_ZOOM)) zoom = MIN_ZOOM;  // also catches 0/0 for a single node at 0
    return zoom != before;
}

void Envelope_Point_Editor::move_mouse_to_selected_node() {
    QPoint at = get_node_position(dragged_node);
    if (at.x() < 0) return;
    warps[next_warp] = at;
    next_warp = (next_warp + 1) % (int)warps.size();
    QCursor::setPos(screen(), mapToGlobal(at));
}

void Envelope_Point_Editor::update_position_list(const std::vector<int>& new_positions) {
    if (new_positions == positions) return;
    positions.assign(new_positions.begin(), new_positions.end());
    update();
}

QString Envelope_Point_Editor::get_info_text() const {
    int percent = (int)std::lround(100.0f / zoom);
    int nodes = envelope ? envelope->get_node_count() : 0;
    if (!dragging || !envelope) return QString::asprintf("Zoom %i%%, %i nodes. ", percent, nodes);
    return QString::asprintf("Zoom %i%%, %i nodes. Moving node %i, pos: %i,%i", percent, nodes, dragged_node,
                             envelope->get_node_offset(dragged_node), envelope->get_node_height(dragged_node));
}

// Events

bool Envelope_Point_Editor::event(QEvent* event) {
    if (!can_map()) return QWidget::event(event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: mouse_pressed(static_cast<QMouseEvent*>(event)); return true;
        case QEvent::MouseMove: mouse_moved(static_cast<QMouseEvent*>(event)); return true;
        case QEvent::MouseButtonRelease: mouse_released(static_cast<QMouseEvent*>(event)); return true;
        case QEvent::KeyPress:
            if (dragging && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                cancel_drag();
                return true;
            }
            break;
        default: break;
    }
    return QWidget::event(event);
}

void Envelope_Point_Editor::start_drag(int node) {
    dragged_node = node;
    drag_start_offset = envelope->get_node_offset(node);
    drag_start_height = envelope->get_node_height(node);
    dragging = true;
    grabMouse();
}

void Envelope_Point_Editor::mouse_pressed(QMouseEvent* event) {
    if (dragging) return;
    QPoint at = event->position().toPoint();
    int near = nearest_node(at);
    if (event->button() == Qt::LeftButton && near >= 0) {
        start_drag(near);
        move_mouse_to_selected_node();
        update();
    } else if (event->button() == Qt::LeftButton) {
        int offset, height, added;
        to_envelope(at, offset, height);
        {
            Mutex_Lock_Guard guard(lock);
            added = envelope->add_node_at_offset(offset, height);
        }
        if (added < 0) return;  // at the node limit, or a node already sits at this offset
        start_drag(added);
        move_mouse_to_selected_node();
        update();
        emit envelopeChanged();
    } else if (event->button() == Qt::RightButton) {
        if (near >= 0) {
            Mutex_Lock_Guard guard(lock);
            envelope->delete_node(near);
        }
        update();
        if (near < 0) return;
        emit envelopeChanged();
        adjust_zoom_to_window();
    }
}

void Envelope_Point_Editor::mouse_moved(QMouseEvent* event) {
    if (!dragging) return;
    QPoint at = event->position().toPoint();
    // Putting the pointer on the node comes back as a move; it arrives late, maybe after the
    // next warp, and mapping it back could round the node away from where it is.
    for (QPoint& warp : warps)
        if (warp == at) {
            warp = QPoint(-1, -1);
            return;
        }
    if (at == get_node_position(dragged_node)) return;
    int offset, height;
    to_envelope(at, offset, height);
    if (offset == envelope->get_node_offset(dragged_node) && height == envelope->get_node_height(dragged_node)) return;
    {
        Mutex_Lock_Guard guard(lock);
        envelope->set_node_offset(dragged_node, offset, height);
    }
    if (adjust_zoom_to_window()) move_mouse_to_selected_node();
    update();
}

void Envelope_Point_Editor::mouse_released(QMouseEvent* event) {
    if (!dragging || event->button() != Qt::LeftButton) return;
    dragging = false;
    releaseMouse();
    update();
}

void Envelope_Point_Editor::cancel_drag() {
    {
        Mutex_Lock_Guard guard(lock);
        envelope->set_node_offset(dragged_node, drag_start_offset, drag_start_height);
    }
    dragging = false;
    releaseMouse();
    adjust_zoom_to_window();
    update();
}

void Envelope_Point_Editor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    adjust_zoom_to_window();
}

// Painting

void Envelope_Point_Editor::paintEvent(QPaintEvent*) {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    QColor background = theme.get("sample_edit", "background");
    QColor foreground = theme.get("sample_edit", "foreground");
    QPainter painter(this);
    painter.fillRect(rect(), background);
    QRect info(0, 0, width(), info_height());
    painter.fillRect(info, blend(background, foreground, 0.15f));
    painter.setPen(foreground);
    painter.drawText(info.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     envelope ? get_info_text() : tr("No envelope"));
    if (!can_map()) return;
    QRect graph(0, info_height(), width(), graph_height());
    painter.setClipRect(graph, Qt::IntersectClip);
    paint_loops(painter, graph);
    paint_grid(painter, graph);
    paint_curve(painter);
    paint_positions(painter, graph);
}

void Envelope_Point_Editor::paint_grid(QPainter& painter, const QRect& graph) const {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    QColor background = theme.get("sample_edit", "background");
    QColor foreground = theme.get("sample_edit", "foreground");
    QColor faint = blend(background, foreground, 0.18f);
    int step = grid_step(zoom);
    int label_top = graph.bottom() - fontMetrics().height();
    for (int tick = step;; tick += step) {
        int x = (int)(tick / zoom);
        if (x > graph.right()) break;
        painter.setPen(faint);
        painter.drawLine(x, graph.top(), x, graph.bottom());
        painter.setPen(blend(background, foreground, 0.45f));
        painter.drawText(x + 3, label_top, fontMetrics().horizontalAdvance("00000"), fontMetrics().height(),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(tick));
    }
    // Pan and pitch swing around 0: show where that is.
    if (envelope->get_min_height() < 0 && envelope->get_max_height() > 0) {
        painter.setPen(theme.get("sample_edit", "center"));
        int y = to_pixel(0, 0).y();
        painter.drawLine(graph.left(), y, graph.right(), y);
    }
}

void Envelope_Point_Editor::paint_loops(QPainter& painter, const QRect& graph) const {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    QColor loop_foreground = theme.get("sample_edit", "loop_foreground");
    auto x_of = [this](int node) { return get_node_position(node).x(); };
    if (envelope->is_loop_enabled()) {
        int begin = x_of(envelope->get_loop_begin()), end = x_of(envelope->get_loop_end());
        painter.fillRect(QRect(begin, graph.top(), end - begin + 1, graph.height()),
                         theme.get("sample_edit", "loop_background"));
        painter.setPen(QPen(loop_foreground, 1));
        painter.drawLine(begin, graph.top(), begin, graph.bottom());
        painter.drawLine(end, graph.top(), end, graph.bottom());
    }
    if (envelope->is_sustain_loop_enabled()) {
        painter.setPen(QPen(loop_foreground, 1, Qt::DashLine));
        for (int node : {envelope->get_sustain_loop_begin(), envelope->get_sustain_loop_end()})
            painter.drawLine(x_of(node), graph.top(), x_of(node), graph.bottom());
    }
}

void Envelope_Point_Editor::paint_curve(QPainter& painter) const {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    QColor background = theme.get("sample_edit", "background");
    QColor foreground = theme.get("sample_edit", "foreground");
    // A disabled envelope is still editable, but it should not look like it plays.
    QColor line = envelope->is_enabled() ? foreground : blend(background, foreground, 0.45f);
    int count = envelope->get_node_count();
    if (count == 0) return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(line, 1.5));
    for (int i = 1; i < count; i++) painter.drawLine(get_node_position(i - 1), get_node_position(i));
    QPoint last = get_node_position(count - 1);
    painter.setPen(QPen(line, 1, Qt::DotLine));
    painter.drawLine(last, QPoint(width(), last.y()));  // the last height holds
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < count; i++) {
        QPoint at = get_node_position(i);
        bool held = dragging && i == dragged_node;
        int size = held ? NODE_SIZE + 4 : NODE_SIZE;
        QRect box(at.x() - size / 2, at.y() - size / 2, size, size);
        painter.fillRect(box, held ? theme.get("sample_edit", "loop_foreground") : line);
    }
}

void Envelope_Point_Editor::paint_positions(QPainter& painter, const QRect& graph) const {
    if (positions.empty()) return;
    painter.setPen(QPen(Color_Theme::get_singleton_instance().get("sample_edit", "played_position"), 1));
    for (int position : positions) {
        int x = (int)(position / zoom);
        painter.drawLine(x, graph.top(), x, graph.bottom());
    }
}
