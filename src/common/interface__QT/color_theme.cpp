#include "common/interface__QT/color_theme.h"

#include <QStringList>

#include "tracker/config_handler.h"

namespace {

struct Color_Name {
    const char* group;
    const char* name;
};

// Registration order is the order of the settings file and of the colour page.
constexpr Color_Name COLOR_NAMES[] = {
    {"pattern_edit", "background"},
    {"pattern_edit", "foreground"},
    {"pattern_edit", "cursor"},
    {"pattern_edit", "hl_maj"},
    {"pattern_edit", "hl_min"},
    {"pattern_edit", "background_selected"},
    {"pattern_edit", "foreground_selected"},
    {"pattern_edit", "hl_selected"},
    {"pattern_edit", "sep"},
    {"pattern_edit", "sep_main"},
    {"pattern_edit", "mask"},
    {"pattern_edit", "foreground_inactive"},
    {"pattern_edit", "played_position"},
    {"lists", "background"},
    {"lists", "foreground"},
    {"lists", "cursor"},
    {"lists", "being_played"},
    {"lists", "separator"},
    {"sample_edit", "background"},
    {"sample_edit", "foreground"},
    {"sample_edit", "center"},
    {"sample_edit", "loop_background"},
    {"sample_edit", "loop_foreground"},
    {"sample_edit", "played_position"},
    {"sample_edit", "background_selected"},
    {"sample_edit", "foreground_selected"},
    {"sample_edit", "center_selected"},
    {"sample_edit", "loop_background_selected"},
    {"sample_edit", "loop_foreground_selected"},
    {"sample_edit", "played_position_selected"},
};
constexpr size_t COLOR_COUNT = sizeof(COLOR_NAMES) / sizeof(COLOR_NAMES[0]);

struct Preset {
    const char* name;
    QRgb colors[COLOR_COUNT];  // in registration order
};

// Rows of each preset: the pattern view, the lists, the sample view.
constexpr Preset PRESETS[] = {
    // Dark blue-grey with a blue cursor.
    {"default",
     {0x141820, 0xc8d0dc, 0x3c8cdc, 0x2c3444, 0x202632, 0x3a4866, 0xffffff,
      0x48587a, 0x343c4c, 0x5a667c, 0xe09c3c, 0x565e6c, 0x6c2c3c,
      0x1a1e26, 0xc8d0dc, 0x3c8cdc, 0x6c2c3c, 0x343c4c,
      0x10141a, 0x5cd08c, 0x343c4c, 0x1c2430, 0x9ce0b4, 0xe05c5c, 0x2c3852,
      0xa8f0c4, 0x4c5870, 0x34425e, 0xd0ffe0, 0xff8080}},
    // Dark text on warm paper, for bright rooms.
    {"light",
     {0xf4f1ea, 0x2b2f36, 0x2f6fd0, 0xe2dccf, 0xebe6dc, 0xc8d8f0, 0x101418,
      0xb4c8e8, 0xd4cec2, 0xa89f90, 0xc06a10, 0xa0a4aa, 0xf0c8c8,
      0xf7f5f0, 0x2b2f36, 0x2f6fd0, 0xf0c8c8, 0xd4cec2,
      0xfbfaf7, 0x1f7a4a, 0xc8c2b6, 0xece6da, 0x2b9a60, 0xd03c3c, 0xd4e0f4,
      0x10603a, 0xa8b8d4, 0xc4d2ec, 0x187048, 0xb02020}},
    // Amber phosphor on black.
    {"amber",
     {0x120c04, 0xffb000, 0xb36b00, 0x2a1c08, 0x1c1306, 0x4a3210, 0xffe0a0,
      0x5a3e14, 0x2e2010, 0x6a4a1a, 0xff6a00, 0x6a4a10, 0x5a1e08,
      0x140e05, 0xffb000, 0xb36b00, 0x5a1e08, 0x2e2010,
      0x0e0903, 0xffb000, 0x3a2a10, 0x22180a, 0xffd070, 0xff5020, 0x3a2810,
      0xffe0a0, 0x5a4420, 0x4a3418, 0xfff0c0, 0xff8050}},
};

const Preset* find_preset(const QString& name) {
    for (const Preset& preset : PRESETS)
        if (name == preset.name) return &preset;
    return nullptr;
}

}  // namespace

Color_Theme::Color_Theme() {
    for (size_t i = 0; i < COLOR_COUNT; ++i)
        entries.push_back({COLOR_NAMES[i].group, COLOR_NAMES[i].name, QColor::fromRgb(PRESETS[0].colors[i])});
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
    QStringList names;
    for (const Preset& preset : PRESETS) names << preset.name;
    return names;
}

bool Color_Theme::apply_preset(const QString& name) {
    const Preset* preset = find_preset(name);
    if (!preset) return false;
    for (size_t i = 0; i < entries.size(); ++i) entries[i].color = QColor::fromRgb(preset->colors[i]);
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
