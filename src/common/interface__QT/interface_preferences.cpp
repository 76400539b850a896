#include "common/interface__QT/interface_preferences.h"

#include <QFontDatabase>

Interface_Preferences::Interface_Preferences()
    : pattern_edit_font(QFontDatabase::systemFont(QFontDatabase::FixedFont)),
      orderlist_font(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {}

Interface_Preferences& Interface_Preferences::get_singleton_instance() {
    static Interface_Preferences preferences;
    return preferences;
}

void Interface_Preferences::set_pattern_edit_font(const QFont& font) {
    if (font == pattern_edit_font) return;
    pattern_edit_font = font;
    emit changed();
}

void Interface_Preferences::set_orderlist_font(const QFont& font) {
    if (font == orderlist_font) return;
    orderlist_font = font;
    emit changed();
}

void Interface_Preferences::set_use_backing_store(bool use) {
    if (use == use_backing_store) return;
    use_backing_store = use;
    emit changed();
}
