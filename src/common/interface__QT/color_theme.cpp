#include "common/interface__QT/color_theme.h"

#include <QStringList>

#include "tracker/config_handler.h"

namespace {

struct Preset_Color {
    const char* group;
    const char* name;
    QRgb value;
};

// Registration order is the order of the settings file and of the colour page.
constexpr Preset_Color DEFAULT_COLORS[] = {
    {"pattern_edit", "background", qRgb(0x14, 0x18, 0x20)},
    {"pattern_edit", "foreground", qRgb(0xc8, 0xd0, 0xdc)},
    {"pattern_edit", "cursor", qRgb(0x3c, 0x8c, 0xdc)},
    {"pattern_edit", "hl_maj", qRgb(0x2c, 0x34, 0x44)},
    {"pattern_edit", "hl_min", qRgb(0x20, 0x26, 0x32)},
    {"pattern_edit", "background_selected", qRgb(0x3a, 0x48, 0x66)},
    {"pattern_edit", "foreground_selected", qRgb(0xff, 0xff, 0xff)},
    {"pattern_edit", "hl_selected", qRgb(0x48, 0x58, 0x7a)},
    {"pattern_edit", "sep", qRgb(0x34, 0x3c, 0x4c)},
    {"pattern_edit", "sep_main", qRgb(0x5a, 0x66, 0x7c)},
    {"pattern_edit", "mask", qRgb(0xe0, 0x9c, 0x3c)},
    {"pattern_edit", "foreground_inactive", qRgb(0x56, 0x5e, 0x6c)},
    {"pattern_edit", "played_position", qRgb(0x6c, 0x2c, 0x3c)},
    {"lists", "background", qRgb(0x1a, 0x1e, 0x26)},
    {"lists", "foreground", qRgb(0xc8, 0xd0, 0xdc)},
    {"lists", "cursor", qRgb(0x3c, 0x8c, 0xdc)},
    {"lists", "being_played", qRgb(0x6c, 0x2c, 0x3c)},
    {"lists", "separator", qRgb(0x34, 0x3c, 0x4c)},
    {"sample_edit", "background", qRgb(0x10, 0x14, 0x1a)},
    {"sample_edit", "foreground", qRgb(0x5c, 0xd0, 0x8c)},
    {"sample_edit", "center", qRgb(0x34, 0x3c, 0x4c)},
    {"sample_edit", "loop_background", qRgb(0x1c, 0x24, 0x30)},
    {"sample_edit", "loop_foreground", qRgb(0x9c, 0xe0, 0xb4)},
    {"sample_edit", "played_position", qRgb(0xe0, 0x5c, 0x5c)},
    {"sample_edit", "background_selected", qRgb(0x2c, 0x38, 0x52)},
    {"sample_edit", "foreground_selected", qRgb(0xa8, 0xf0, 0xc4)},
    {"sample_edit", "center_selected", qRgb(0x4c, 0x58, 0x70)},
    {"sample_edit", "loop_background_selected", qRgb(0x34, 0x42, 0x5e)},
    {"sample_edit", "loop_foreground_selected", qRgb(0xd0, 0xff, 0xe0)},
    {"sample_edit", "played_position_selected", qRgb(0xff, 0x80, 0x80)},
};

}  // namespace

Color_Theme::Color_Theme() {
    for (const Preset_Color& color : DEFAULT_COLORS)
        entries.push_back({color.group, color.name, QColor::fromRgb(color.value)});
}

Color_Theme& Color_Theme::get_singleton_instance() {
    static Color_Theme theme;
    return theme;
}

Color_Theme::Entry* Color_Theme::find(const QString& group, const QString& name) {
    for (Entry& entry : entries)
        if (entry.group == group && entry.name == name) return &entry;
    return nullptr;
}

const Color_Theme::Entry* Color_Theme::find(const QString& group, const QString& name) const {
    return const_cast<Color_Theme*>(this)->find(group, name);
}

QColor Color_Theme::get(const QString& group, const QString& name) const {
    const Entry* entry = find(group, name);
    return entry ? entry->color : QColor(Qt::black);
}

void Color_Theme::set(const QString& group, const QString& name, const QColor& color) {
    Entry* entry = find(group, name);
    if (!entry || !color.isValid() || entry->color == color) return;
    entry->color = color;
    emit colors_changed();
}

QStringList Color_Theme::get_preset_names() const {
    return {DEFAULT_PRESET};
}

bool Color_Theme::apply_preset(const QString& preset) {
    if (preset != DEFAULT_PRESET) return false;
    for (size_t i = 0; i < entries.size(); ++i) entries[i].color = QColor::fromRgb(DEFAULT_COLORS[i].value);
    emit colors_changed();
    return true;
}

QString Color_Theme::settings_key(const Entry& entry) {
    return entry.group + KEY_SEPARATOR + entry.name;
}

void Color_Theme::load_settings(const ConfigHandler* config) {
    bool changed = false;
    for (Entry& entry : entries) {
        std::string key = settings_key(entry).toStdString();
        if (!config->property_exists(SETTINGS_SECTION, key)) continue;
        QStringList parts = QString::fromStdString(config->get_str_property(SETTINGS_SECTION, key)).split(',');
        if (parts.size() != 3) continue;
        int rgb[3];
        bool valid = true;
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            rgb[i] = parts[i].trimmed().toInt(&ok);
            valid = valid && ok && rgb[i] >= 0 && rgb[i] <= 255;
        }
        if (!valid) continue;  // a malformed colour keeps the one in force
        entry.color = QColor(rgb[0], rgb[1], rgb[2]);
        changed = true;
    }
    if (changed) emit colors_changed();
}

void Color_Theme::save_settings(ConfigHandler* config) const {
    config->add_section(SETTINGS_SECTION);
    for (const Entry& entry : entries) {
        QString value = QString("%1,%2,%3").arg(entry.color.red()).arg(entry.color.green()).arg(entry.color.blue());
        config->add_property(SETTINGS_SECTION, settings_key(entry).toStdString(), value.toStdString(), "");
    }
}
