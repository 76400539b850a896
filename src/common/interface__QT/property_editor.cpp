#include "common/interface__QT/property_editor.h"

#include "common/components/data/property_bridge.h"
#include "common/interface__QT/property_editor_bool.h"
#include "common/interface__QT/property_editor_float.h"
#include "common/interface__QT/property_editor_int.h"
#include "common/interface__QT/property_editor_options.h"
#include "common/interface__QT/property_editor_string.h"

Property_Editor* Property_Editor::create(Property_Bridge* bridge, QWidget* parent) {
    if (auto* b = dynamic_cast<Int_Property_Bridge*>(bridge)) return new Property_Editor_Int(b, parent);
    if (auto* b = dynamic_cast<Float_Property_Bridge*>(bridge)) return new Property_Editor_Float(b, parent);
    if (auto* b = dynamic_cast<Bool_Property_Bridge*>(bridge)) return new Property_Editor_Bool(b, parent);
    if (auto* b = dynamic_cast<Options_Property_Bridge*>(bridge)) return new Property_Editor_Options(b, parent);
    if (auto* b = dynamic_cast<String_Property_Bridge*>(bridge)) {
        auto mode = b->get_display_preference() == Property_Editor_String::MULTI_LINE_PREFERENCE
                        ? Property_Editor_String::Mode::MULTI_LINE
                        : Property_Editor_String::Mode::SINGLE_LINE;
        return new Property_Editor_String(b, mode, parent);
    }
    return nullptr;
}

Property_Editor::Property_Editor(Property_Bridge* bridge, QWidget* parent) : QWidget(parent), bridge(bridge) {}

bool Property_Editor::set_bridge(Property_Bridge* new_bridge) {
    if (!new_bridge || !accepts(new_bridge)) return false;
    bridge = new_bridge;
    bind_controls();
    show_value(true);
    return true;
}

void Property_Editor::refresh() {
    show_value(false);
}

QString Property_Editor::get_caption() const {
    return shows_caption() ? QString() : QString::fromStdString(bridge->get_name());
}

void Property_Editor::written() {
    show_value(false);
    emit property_edited(bridge);
}

QString Property_Editor::range_text(const QString& min, const QString& max) const {
    return tr("%1 (%2 to %3)").arg(QString::fromStdString(bridge->get_name()), min, max);
}
