#include "common/interface__QT/property_editor_int.h"

#include <QHBoxLayout>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>

#include "common/components/data/property_bridge.h"

Property_Editor_Int::Property_Editor_Int(Int_Property_Bridge* bridge, QWidget* parent)
    : Property_Editor(bridge, parent), spin_box(new QSpinBox(this)), slider(new QSlider(Qt::Horizontal, this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(spin_box);
    layout->addWidget(slider, 1);
    connect(spin_box, &QSpinBox::valueChanged, this, &Property_Editor_Int::value_edited);
    connect(slider, &QSlider::valueChanged, this, &Property_Editor_Int::value_edited);
    bind_controls();
    show_value(true);
}

QWidget* Property_Editor_Int::get_focus_control() const {
    return spin_box;
}

Int_Property_Bridge* Property_Editor_Int::int_bridge() const {
    return static_cast<Int_Property_Bridge*>(get_bridge());
}

bool Property_Editor_Int::accepts(Property_Bridge* candidate) const {
    return dynamic_cast<Int_Property_Bridge*>(candidate) != nullptr;
}

void Property_Editor_Int::bind_controls() {
    Int_Property_Bridge* bridge = int_bridge();
    updating = true;
    int min = bridge->get_min(), max = bridge->get_max();
    spin_box->setRange(min, max);
    slider->setRange(min, max);
    slider->setPageStep(std::max(1, (max - min) / 10));
    QString caption = QString::fromStdString(bridge->get_name());
    QString range = range_text(QString::number(min), QString::number(max));
    spin_box->setAccessibleName(caption);
    spin_box->setToolTip(range);
    slider->setAccessibleName(caption + tr(" slider"));
    slider->setToolTip(range);
    updating = false;
}

void Property_Editor_Int::show_value(bool force) {
    int value = int_bridge()->get();
    if (!force && value == shown) return;
    shown = value;
    updating = true;
    spin_box->setValue(value);
    slider->setValue(value);
    updating = false;
}

void Property_Editor_Int::value_edited(int value) {
    if (updating) return;
    write([this, value] { int_bridge()->set(value); });
}
