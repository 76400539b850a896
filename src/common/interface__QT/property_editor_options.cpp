#include "common/interface__QT/property_editor_options.h"

#include <QComboBox>
#include <QHBoxLayout>

#include "common/components/data/property_bridge.h"

Property_Editor_Options::Property_Editor_Options(Options_Property_Bridge* bridge, QWidget* parent)
    : Property_Editor(bridge, parent), combo_box(new QComboBox(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(combo_box);
    layout->addStretch(1);
    connect(combo_box, &QComboBox::currentIndexChanged, this, &Property_Editor_Options::chosen);
    bind_controls();
    show_value(true);
}

QWidget* Property_Editor_Options::get_focus_control() const {
    return combo_box;
}

Options_Property_Bridge* Property_Editor_Options::options_bridge() const {
    return static_cast<Options_Property_Bridge*>(get_bridge());
}

bool Property_Editor_Options::accepts(Property_Bridge* candidate) const {
    return dynamic_cast<Options_Property_Bridge*>(candidate) != nullptr;
}

void Property_Editor_Options::bind_controls() {
    Options_Property_Bridge* bridge = options_bridge();
    updating = true;
    combo_box->clear();
    for (int i = 0; i < bridge->get_option_count(); ++i) {
        const char* text = bridge->get_option_text(i);
        combo_box->addItem(QString::fromUtf8(text ? text : ""));
    }
    combo_box->setAccessibleName(QString::fromStdString(bridge->get_name()));
    updating = false;
}

void Property_Editor_Options::show_value(bool force) {
    int value = options_bridge()->get();
    if (!force && value == shown) return;
    shown = value;
    updating = true;
    // A value outside the options shows no choice rather than a wrong one.
    combo_box->setCurrentIndex(value >= 0 && value < combo_box->count() ? value : -1);
    updating = false;
}

void Property_Editor_Options::chosen(int index) {
    if (updating || index < 0) return;
    write([this, index] { options_bridge()->set(index); });
}
