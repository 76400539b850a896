#pragma once

#include <QWidget>

#include <array>
#include <vector>

#include "common/components/audio/audio_output_device.h"

class ConfigHandler;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class Sound_Driver_Manager;

// The "Audio" page: which sound driver plays, in what format, and whether it runs. Reads and
// changes the driver manager only through its operations; owns the "Sound Driver" settings.
class Audio_Config : public QWidget {
    Q_OBJECT
public:
    static constexpr std::array<int, 9> buffersize_options = {256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};
    static constexpr std::array<int, 7> frequency_options = {4096, 8192, 11025, 22050, 32768, 44100, 48000};

    static constexpr const char* SETTINGS_SECTION = "Sound Driver";
    // What a stored value may hold; anything else keeps the format in force.
    static constexpr int MIN_FREQUENCY = 4000;
    static constexpr int MAX_FREQUENCY = 192000;
    static constexpr int MIN_BUFFER_SIZE = 64;
    static constexpr int MAX_BUFFER_SIZE = 65536;

    explicit Audio_Config(QWidget* parent = nullptr);

    void set_sound_driver_manager(Sound_Driver_Manager* manager);
    // Shows the manager's state; changes made here are not taken as edits.
    void update_driver_variables();

    void load_settings(ConfigHandler* config);
    void save_settings(ConfigHandler* config);

public slots:
    void listbox_driver_changed(int row);
    void combo_stereo_changed_cbk(int index);
    void combo_bits_changed_cbk(int index);
    void combo_buffersize_changed_cbk(int index);
    void combo_freq_changed_cbk(int index);
    void button_enabled_cbk(bool checked);
    void button_reset_callback();
    void button_choose_file_callback();
    void entry_file_changed_callback(const QString& text);
    void combo_device_changed_cbk(int index);
    // Asks the driver which output devices there are now (loads the device module).
    void refresh_device_list();

protected:
    void showEvent(QShowEvent* event) override;

private:
    static constexpr int DEFAULT_FREQUENCY = 44100;
    static constexpr int DEFAULT_BUFFER_SIZE = 4096;

    struct Format {
        bool stereo = true;
        bool sixteen_bits = true;
        int frequency = DEFAULT_FREQUENCY;
        int buffer_size = DEFAULT_BUFFER_SIZE;
    };

    // The manager's format, with values a driver that never started reports put right.
    Format current_format() const;
    void request_format(const Format& format);
    template <size_t N>
    static void show_in_choice(QComboBox* combo, const std::array<int, N>& options, int value);
    void start_driver();
    void update_status();
    void update_device_choice();

    Sound_Driver_Manager* manager = nullptr;
    bool updating = false;
    // The user's wish, kept apart from whether the driver runs: a device missing for one
    // session must not switch sound off in the stored settings.
    bool driver_wanted = true;

    QListWidget* driver_list;
    QComboBox* device_combo;
    QPushButton* refresh_button;
    // The devices last listed, and what each entry of device_combo stands for: the system
    // default first, then the listed devices, then the stored choice when it is not among them.
    std::vector<Audio_Output_Device_Info> listed_devices;
    std::vector<Audio_Output_Device> device_choices;
    QLineEdit* file_entry;
    QPushButton* browse_button;
    QComboBox* bits_combo;
    QComboBox* channels_combo;
    QComboBox* buffersize_combo;
    QComboBox* frequency_combo;
    QCheckBox* enabled_check;
    QPushButton* reset_button;
    QLabel* status_label;
};
