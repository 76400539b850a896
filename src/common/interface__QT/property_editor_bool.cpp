#include "common/interface__QT/property_editor_bool.h"

#include <QCheckBox>
#include <QHBoxLayout>

#include "common/components/data/property_bridge.h"

Property_Editor_Bool::Property_Editor_Bool(Bool_Property_Bridge* bridge, QWidget* parent)
    : Property_Editor(bridge, parent), check_box(new QCheckBox(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(check_box);
    connect(check_box, &QCheckBox::toggled, this, &Property_Editor_Bool::toggled);
    bind_controls();
    show_value(true);
}

QWidget* Property_Editor_Bool::get_focus_control() const {
    return check_box;
}

Bool_Property_Bridge* Property_Editor_Bool::bool_bridge() const {
    return static_cast<Bool_Property_Bridge*>(get_bridge());
}

bool Property_Editor_Bool::accepts(Property_Bridge* candidate) const {
    return dynamic_cast<Bool_Property_Bridge*>(candidate) != nullptr;
}

void Property_Editor_Bool::bind_controls() {
    QString caption = QString::fromStdString(bool_bridge()->get_name());
    check_box->setText(caption);
    check_box->setAccessibleName(caption);
}

void Property_Editor_Bool::show_value(bool force) {
    bool value = bool_bridge()->get();
    if (!force && value == shown) return;
    shown = value;
    updating = true;
    check_box->setChecked(value);
    updating = false;
}

void Property_Editor_Bool::toggled(bool checked) {
    if (updating) return;
    write([this, checked] { bool_bridge()->set(checked); });
}
