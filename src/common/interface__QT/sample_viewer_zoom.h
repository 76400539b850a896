#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QScrollBar;
class QSlider;
class Sample_Data;
class Sample_Viewer;

// The bar under the sample viewer: which part of the sample it shows. An offset scroll bar,
// the zoom buttons (all, in, out, selection), and a slider with the visible percentage.
class Sample_Viewer_Zoom : public QWidget {
    Q_OBJECT
public:
    explicit Sample_Viewer_Zoom(QWidget* parent = nullptr);

    void set_sample_viewer(Sample_Viewer* viewer);
    void set_sample_data(Sample_Data* data);
    // Shows the viewer's zoom and offset.
    void update_zoom_bar();

    void zoom_all_cbk();
    void zoom_more_cbk();
    void zoom_less_cbk();
    void zoom_selection_cbk();
    void zoom_slider_cbk(int value);
    void zoom_offset_changed_cbk(int offset);

private:
    // Zooms keeping the middle of the view where it is.
    void zoom_centred(float zoom);
    bool has_data() const;

    Sample_Viewer* viewer = nullptr;
    Sample_Data* data = nullptr;
    bool updating = false;
    QScrollBar* offset_bar;
    QPushButton* all_button;
    QPushButton* in_button;
    QPushButton* out_button;
    QPushButton* selection_button;
    QSlider* slider;
    QLabel* percent_label;
};
