#pragma once

#include <QWidget>

class ConfigHandler;
class Sound_Driver_Manager;

// The settings window: "Audio", "Keyboard", colour and interface pages. Created once by
// the main window and raised on demand; owns the stored preferences of those pages.
class Settings_Window : public QWidget {
    Q_OBJECT
public:
    explicit Settings_Window(QWidget* parent = nullptr);

    void set_sound_driver_manager(Sound_Driver_Manager* manager);
    // Hands every stored preference to its owner; missing or malformed values keep defaults.
    void load_settings(ConfigHandler* config);
    // Writes every preference of these pages.
    void save_settings(ConfigHandler* config);

private:
    Sound_Driver_Manager* sound_driver_manager = nullptr;
};
