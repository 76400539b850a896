#pragma once

#include <QWidget>

class Audio_Config;
class CColor_List;
class ConfigHandler;
class Interface_Settings;
class Keyboard_Input_Config;
class QTabWidget;
class Resampler_Config;
class Sound_Driver_Manager;

// The settings window: "Audio", "Keyboard", colour and interface pages. Created once by
// the main window and raised on demand; owns the stored preferences of those pages.
class Settings_Window : public QWidget {
    Q_OBJECT
public:
    explicit Settings_Window(QWidget* parent = nullptr);

    void set_sound_driver_manager(Sound_Driver_Manager* manager);
    // Hands every stored preference to its owner; missing or malformed values keep defaults.
    // The key bindings are loaded by their owner before this; their page is refreshed here.
    void load_settings(ConfigHandler* config);
    // Writes every preference of these pages.
    void save_settings(ConfigHandler* config);

    QTabWidget* get_pages() const { return pages; }
    Audio_Config* get_audio_config() const { return audio_config; }
    Resampler_Config* get_resampler_config() const { return resampler_config; }
    Keyboard_Input_Config* get_keyboard_config() const { return keyboard_config; }
    CColor_List* get_color_list() const { return color_list; }
    Interface_Settings* get_interface_settings() const { return interface_settings; }

signals:
    // Interface::widget_timer_interval changed; song windows restart their timers.
    void repaint_interval_changed(int milliseconds);

private:
    QTabWidget* pages;
    Audio_Config* audio_config;
    Resampler_Config* resampler_config;
    Keyboard_Input_Config* keyboard_config;
    CColor_List* color_list;
    Interface_Settings* interface_settings;
};
