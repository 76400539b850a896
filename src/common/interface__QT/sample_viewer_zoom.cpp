#include "common/components/audio/sample_data.h"
#include "tracker/selection.h"

#include "common/interface__QT/sample_viewer_zoom.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

#include <algorithm>

#include "common/interface__QT/sample_viewer.h"

Sample_Viewer_Zoom::Sample_Viewer_Zoom(QWidget* parent)
    : QWidget(parent),
      offset_bar(new QScrollBar(Qt::Horizontal, this)),
      all_button(new QPushButton(tr("Zoom All"), this)),
      in_button(new QPushButton(tr("Zoom In"), this)),
      out_button(new QPushButton(tr("Zoom Out"), this)),
      selection_button(new QPushButton(tr("Zoom to Selection"), this)),
      slider(new QSlider(Qt::Horizontal, this)),
      percent_label(new QLabel(tr("100%"), this)) {
    offset_bar->setAccessibleName(tr("View Offset"));
    slider->setRange(0, 100);
    slider->setValue(100);
    // As wide as the widest percentage, so the bar does not jump while zooming.
    percent_label->setMinimumWidth(percent_label->fontMetrics().horizontalAdvance(" 100.00%"));
    percent_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* zoom_caption = new QLabel(tr("Zoom:"), this);
    zoom_caption->setBuddy(slider);

    auto* controls = new QHBoxLayout;
    controls->addWidget(all_button);
    controls->addWidget(in_button);
    controls->addWidget(out_button);
    controls->addWidget(selection_button);
    controls->addSpacing(fontMetrics().averageCharWidth() * 2);
    controls->addWidget(zoom_caption);
    controls->addWidget(slider, 1);
    controls->addWidget(percent_label);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(offset_bar);
    layout->addLayout(controls);

    connect(all_button, &QPushButton::clicked, this, &Sample_Viewer_Zoom::zoom_all_cbk);
    connect(in_button, &QPushButton::clicked, this, &Sample_Viewer_Zoom::zoom_more_cbk);
    connect(out_button, &QPushButton::clicked, this, &Sample_Viewer_Zoom::zoom_less_cbk);
    connect(selection_button, &QPushButton::clicked, this, &Sample_Viewer_Zoom::zoom_selection_cbk);
    connect(slider, &QSlider::valueChanged, this, &Sample_Viewer_Zoom::zoom_slider_cbk);
    connect(offset_bar, &QScrollBar::valueChanged, this, &Sample_Viewer_Zoom::zoom_offset_changed_cbk);
}

void Sample_Viewer_Zoom::set_sample_viewer(Sample_Viewer* to) {
    if (viewer) disconnect(viewer, nullptr, this, nullptr);
    viewer = to;
    if (viewer) {
        connect(viewer, &Sample_Viewer::zoom_changed, this, &Sample_Viewer_Zoom::update_zoom_bar);
        connect(viewer, &Sample_Viewer::selection_changed, this, &Sample_Viewer_Zoom::update_zoom_bar);
    }
    update_zoom_bar();
}

void Sample_Viewer_Zoom::set_sample_data(Sample_Data* to) {
    data = to;
    update_zoom_bar();
}

bool Sample_Viewer_Zoom::has_data() const { return viewer && data && data->get_size() > 0; }

void Sample_Viewer_Zoom::update_zoom_bar() {
    if (updating) return;
    updating = true;
    float zoom = viewer ? viewer->get_zoom() : 1.0f;
    slider->setValue((int)(zoom * 100));
    percent_label->setText(QString::asprintf(" %.2f%%", zoom * 100));
    int visible = viewer ? viewer->get_visible_frames() : 0;
    offset_bar->setRange(0, viewer ? viewer->get_max_zoom_offset() : 0);
    offset_bar->setPageStep(std::max(visible, 1));
    offset_bar->setSingleStep(std::max(visible / 16, 1));
    offset_bar->setValue(viewer ? viewer->get_zoom_offset() : 0);
    bool usable = has_data();
    for (QWidget* control : {(QWidget*)all_button, (QWidget*)in_button, (QWidget*)out_button, (QWidget*)slider,
                             (QWidget*)offset_bar})
        control->setEnabled(usable);
    selection_button->setEnabled(usable && viewer->get_selection() && viewer->get_selection()->is_active());
    updating = false;
}

void Sample_Viewer_Zoom::zoom_centred(float zoom) {
    float old_zoom = viewer->get_zoom();
    int size = data->get_size();
    int offset = viewer->get_zoom_offset();
    updating = true;
    viewer->set_zoom(zoom);
    viewer->set_zoom_offset((int)(offset + size * old_zoom / 2 - size * viewer->get_zoom() / 2));
    updating = false;
    update_zoom_bar();
}

void Sample_Viewer_Zoom::zoom_all_cbk() {
    if (!viewer) return;
    updating = true;
    viewer->set_zoom(1.0f);
    updating = false;
    update_zoom_bar();
}

void Sample_Viewer_Zoom::zoom_more_cbk() {
    if (has_data()) zoom_centred(viewer->get_zoom() * 0.5f);
}

void Sample_Viewer_Zoom::zoom_less_cbk() {
    if (has_data()) zoom_centred(viewer->get_zoom() * 2.0f);
}

void Sample_Viewer_Zoom::zoom_selection_cbk() {
    Selection* selection = viewer ? viewer->get_selection() : nullptr;
    if (!has_data() || !selection || !selection->is_active()) return;
    updating = true;
    viewer->set_zoom((float)(selection->get_end() - selection->get_begin()) / data->get_size());
    viewer->set_zoom_offset(selection->get_begin());
    updating = false;
    update_zoom_bar();
}

void Sample_Viewer_Zoom::zoom_slider_cbk(int value) {
    if (updating || !has_data()) return;
    zoom_centred(value * 0.01f);
}

void Sample_Viewer_Zoom::zoom_offset_changed_cbk(int offset) {
    if (updating || !viewer) return;
    updating = true;
    viewer->set_zoom_offset(offset);
    updating = false;
}
