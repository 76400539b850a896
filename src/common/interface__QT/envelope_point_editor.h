#pragma once

#include <QPoint>
#include <QWidget>

#include <array>
#include <vector>

class Envelope;
class Mutex_Lock;
class QMouseEvent;
class QPainter;

// The envelope as a graph: a left click adds a node and drags it (or drags the node within
// NEAR_PIXELS), a right click deletes the node under it. Node 0 and the minimum node count
// are the envelope's to protect; Escape during a drag puts the node back. The view zooms itself so that the envelope fills 70 % to
// 95 % of the width, and marks where the voices playing it are.
class Envelope_Point_Editor : public QWidget {
    Q_OBJECT
public:
    static constexpr int NEAR_PIXELS = 8;
    static constexpr float MIN_ZOOM = 0.2f;  // ticks per pixel
    static constexpr float FILL_MIN = 0.7f;
    static constexpr float FILL_MAX = 0.95f;

    explicit Envelope_Point_Editor(QWidget* parent = nullptr);

    // Null: nothing is drawn and no event is handled.
    void set_envelope(Envelope* envelope);
    Envelope* get_envelope() const { return envelope; }
    // Held around every change of the envelope (null: no locking).
    void set_lock(Mutex_Lock* new_lock) { lock = new_lock; }

    // True when the zoom changed.
    bool adjust_zoom_to_window();
    void move_mouse_to_selected_node();
    // Playing positions in ticks; repaints only when they differ from the shown ones.
    void update_position_list(const std::vector<int>& positions);

    float get_zoom() const { return zoom; }
    // Where a node is drawn, in widget pixels.
    QPoint get_node_position(int node) const;
    bool is_dragging() const { return dragging; }
    int get_dragged_node() const { return dragged_node; }
    QString get_info_text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void envelopeChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int info_height() const;
    int graph_height() const;
    bool can_map() const;
    QPoint to_pixel(int offset, int height) const;
    void to_envelope(QPoint pixel, int& offset, int& height) const;
    int nearest_node(QPoint pixel) const;
    void mouse_pressed(QMouseEvent* event);
    void mouse_moved(QMouseEvent* event);
    void mouse_released(QMouseEvent* event);
    void start_drag(int node);
    void cancel_drag();
    void paint_grid(QPainter& painter, const QRect& graph) const;
    void paint_loops(QPainter& painter, const QRect& graph) const;
    void paint_curve(QPainter& painter) const;
    void paint_positions(QPainter& painter, const QRect& graph) const;

    Envelope* envelope = nullptr;
    Mutex_Lock* lock = nullptr;
    float zoom = 1.0f;
    bool dragging = false;
    int dragged_node = -1;
    // Where the dragged node was when the drag began: Escape puts it back.
    int drag_start_offset = 0;
    int drag_start_height = 0;
    // Where the pointer was put lately: the moves that placing it causes are not drags.
    std::array<QPoint, 4> warps{QPoint(-1, -1), QPoint(-1, -1), QPoint(-1, -1), QPoint(-1, -1)};
    int next_warp = 0;
    std::vector<int> positions;
};
