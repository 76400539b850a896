#include "common/interface__QT/property_editor_float.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QSlider>

#include <algorithm>
#include <cmath>

#include "common/components/data/property_bridge.h"

namespace {

// Enough decimals to step through a narrow range, few enough to keep a wide one readable.
int decimals_for(double span) {
    if (span <= 2) return 4;
    if (span <= 20) return 3;
    if (span <= 2000) return 2;
    return 1;
}

}  // namespace

Property_Editor_Float::Property_Editor_Float(Float_Property_Bridge* bridge, QWidget* parent)
    : Property_Editor(bridge, parent), spin_box(new QDoubleSpinBox(this)), slider(new QSlider(Qt::Horizontal, this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(spin_box);
    layout->addWidget(slider, 1);
    slider->setRange(0, SLIDER_STEPS);
    slider->setPageStep(SLIDER_STEPS / 10);
    connect(spin_box, &QDoubleSpinBox::valueChanged, this, &Property_Editor_Float::spin_box_edited);
    connect(slider, &QSlider::valueChanged, this, &Property_Editor_Float::slider_edited);
    bind_controls();
    show_value(true);
}

QWidget* Property_Editor_Float::get_focus_control() const {
    return spin_box;
}

Float_Property_Bridge* Property_Editor_Float::float_bridge() const {
    return static_cast<Float_Property_Bridge*>(get_bridge());
}

bool Property_Editor_Float::accepts(Property_Bridge* candidate) const {
    return dynamic_cast<Float_Property_Bridge*>(candidate) != nullptr;
}

void Property_Editor_Float::bind_controls() {
    Float_Property_Bridge* bridge = float_bridge();
    updating = true;
    double min = bridge->get_min(), max = bridge->get_max();
    spin_box->setDecimals(decimals_for(max - min));
    spin_box->setRange(min, max);
    spin_box->setSingleStep((max - min) / 100);
    QString caption = QString::fromStdString(bridge->get_name());
    QString range = range_text(QString::number(min), QString::number(max));
    spin_box->setAccessibleName(caption);
    spin_box->setToolTip(range);
    slider->setAccessibleName(caption + tr(" slider"));
    slider->setToolTip(range);
    updating = false;
}

int Property_Editor_Float::step_of(float value) const {
    float min = float_bridge()->get_min(), max = float_bridge()->get_max();
    if (!(max > min)) return 0;
    double step = std::round((value - min) / (double(max) - min) * SLIDER_STEPS);
    return (int)std::clamp(step, 0.0, double(SLIDER_STEPS));
}

void Property_Editor_Float::show_value(bool force) {
    float value = float_bridge()->get();
    if (std::isnan(value)) value = float_bridge()->get_min();  // written behind the bridge's back
    if (!force && value == shown) return;
    shown = value;
    updating = true;
    spin_box->setValue(value);
    slider->setValue(step_of(value));
    updating = false;
}

void Property_Editor_Float::spin_box_edited(double value) {
    if (updating) return;
    write([this, value] { float_bridge()->set((float)value); });
}

void Property_Editor_Float::slider_edited(int step) {
    if (updating) return;
    float min = float_bridge()->get_min(), max = float_bridge()->get_max();
    float value = (float)(min + (double(max) - min) * step / SLIDER_STEPS);
    write([this, value] { float_bridge()->set(value); });
}
