#pragma once

#include <QGroupBox>

class ConfigHandler;
class QComboBox;
class Sound_Driver_Manager;

// The "Resampler" choice: how every voice reads its sample between frames (Raw or Linear).
// Owns the "Resampler" settings.
class Resampler_Config : public QGroupBox {
    Q_OBJECT
public:
    static constexpr const char* SETTINGS_SECTION = "Resampler";

    explicit Resampler_Config(QWidget* parent = nullptr);

    // Voices read the choice on the audio thread: it is changed under the manager's variables lock.
    void set_sound_driver_manager(Sound_Driver_Manager* manager) { sound_driver_manager = manager; }
    void refresh();

    void load_settings(ConfigHandler* config);
    void save_settings(ConfigHandler* config);

private:
    void resampler_chosen(int index);
    void set_default_resampler(int index);

    QComboBox* choice;
    Sound_Driver_Manager* sound_driver_manager = nullptr;
    bool updating = false;
};
