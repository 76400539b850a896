#pragma once

#include <QWidget>

class ConfigHandler;
class QCheckBox;
class QPushButton;
class QSpinBox;

// The "Interface" page: how often the song windows redraw, whether the pattern view draws
// off-screen, whether new song windows follow the playing song, and the fonts of the pattern
// view and of the order list and tables.
// Owns the "Misc Interface" settings.
class Interface_Settings : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* SETTINGS_SECTION = "Misc Interface";
    static constexpr int MIN_REPAINT_INTERVAL = 5;  // milliseconds
    static constexpr int MAX_REPAINT_INTERVAL = 1000;
    static constexpr int MIN_FONT_SIZE = 4;  // points
    static constexpr int MAX_FONT_SIZE = 96;
    static constexpr int MAX_AUTOSAVE_MINUTES = 120;

    explicit Interface_Settings(QWidget* parent = nullptr);

    // Shows the values in force.
    void refresh();

    void load_settings(ConfigHandler* config);
    void save_settings(ConfigHandler* config);

    QSpinBox* get_repaint_interval_box() const { return repaint_interval; }
    QCheckBox* get_backing_store_box() const { return backing_store; }
    QCheckBox* get_follow_song_box() const { return follow_song; }
    QPushButton* get_pattern_font_button() const { return pattern_font; }
    QPushButton* get_orderlist_font_button() const { return orderlist_font; }
    QSpinBox* get_autosave_box() const { return autosave_minutes; }

signals:
    // The song windows restart their timers with Interface::widget_timer_interval.
    void repaint_interval_changed(int milliseconds);

private:
    void set_repaint_interval(int milliseconds);
    void repaint_interval_edited(int milliseconds);
    void backing_store_toggled(bool checked);
    void follow_song_toggled(bool checked);
    void choose_pattern_font();
    void choose_orderlist_font();
    void autosave_minutes_edited(int minutes);

    QSpinBox* repaint_interval;
    QCheckBox* backing_store;
    QCheckBox* follow_song;
    QPushButton* pattern_font;
    QPushButton* orderlist_font;
    QSpinBox* autosave_minutes;
    bool updating = false;
};
