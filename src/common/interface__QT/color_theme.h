#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class ConfigHandler;

// The colours every view paints with, in three groups ("pattern_edit", "lists",
// "sample_edit"), stored in the "Color Theme" section. Views read them at paint time and
// repaint on colors_changed().
class Color_Theme : public QObject {
    Q_OBJECT
public:
    struct Entry {
        QString group;
        QString name;
        QColor color;
    };

    static constexpr const char* SETTINGS_SECTION = "Color Theme";
    static constexpr const char* KEY_SEPARATOR = ":-_-:";
    static constexpr const char* DEFAULT_PRESET = "default";

    static Color_Theme& get_singleton_instance();

    // Black for a colour that was never registered.
    QColor get(const QString& group, const QString& name) const;
    void set(const QString& group, const QString& name, const QColor& color);
    const std::vector<Entry>& get_entries() const { return entries; }

    QStringList get_preset_names() const;
    bool apply_preset(const QString& preset);

    void load_settings(const ConfigHandler* config);
    void save_settings(ConfigHandler* config) const;

    static QString settings_key(const Entry& entry);

signals:
    void colors_changed();

private:
    Color_Theme();
    Entry* find(const QString& group, const QString& name);
    const Entry* find(const QString& group, const QString& name) const;

    std::vector<Entry> entries;  // registration order
};
