#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>

#include <vector>

#include "tracker/sample_view_cache.h"

class Sample_Data;
class Selection;

// The waveform of one sample: a zoomed window onto its frames, the loop, the frame selection
// (made and adjusted with the three mouse buttons) and the playing positions. Draws from a
// cache of reductions, rebuilt only when the frames change.
class Sample_Viewer : public QWidget {
    Q_OBJECT
public:
    static constexpr float MIN_ZOOM = 0.0001f;

    explicit Sample_Viewer(QWidget* parent = nullptr);

    void set_sample_data(Sample_Data* data);
    Sample_Data* get_sample_data() const { return data; }
    void set_selection(Selection* to);
    Selection* get_selection() const { return selection; }
    // The frames changed in place (an edit): the cache is rebuilt before the next paint.
    void sample_changed();

    float get_zoom() const { return zoom; }
    void set_zoom(float to);
    int get_zoom_offset() const { return zoom_offset; }
    void set_zoom_offset(int to);
    int get_max_zoom_offset() const;
    int get_visible_frames() const;
    int screen_pos_to_sample_pos(int x) const;
    // The cache level drawing reads at the current zoom and width (-1: the frames themselves).
    int get_factor() const;
    // Frame positions of the voices playing this sample; repaints only when they changed.
    void set_position_list(const std::vector<int>& positions);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void zoom_changed();
    void selection_changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Palette {
        QColor background[2][2];  // [selected][in loop]
        QColor foreground[2][2];
        QColor center[2];
        QColor played[2];
    };

    void ensure_cache();
    void read_palette(Palette& palette) const;
    int sample_pos_to_screen_pos(long long frame) const;
    double frames_per_pixel() const;
    void paint_columns(QPainter& painter, const Palette& palette, int left, int right);
    void paint_marker(QPainter& painter, int frame, const QColor& color, int top, int bottom);

    Sample_Data* data = nullptr;
    Selection* selection = nullptr;
    Sample_View_Cache cache;
    bool cache_valid = false;
    float zoom = 1.0f;
    int zoom_offset = 0;
    bool dragging = false;
    int drag_mode = 0;   // 0 left, 1 middle, 2 right
    int drag_point = 2;  // which selection point the drag moves
    std::vector<int> positions;
    // Reused by every paint: one rectangle a column wide per column, by colour. Filled
    // rectangles take the raster engine's fast path, where lines would be stroked.
    std::vector<QRect> wave_columns[2][2];
};
