// Before any Qt header: Qt's "emit" macro would rewrite libsigc++'s emit().
#include "common/components/audio/sound_driver_manager.h"

#include "interface__QT/audio_config.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "tracker/config_handler.h"

namespace {

QComboBox* add_choice(QFormLayout* form, const QString& caption, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(combo);
    form->addRow(label, combo);
    return combo;
}

}  // namespace

Audio_Config::Audio_Config(QWidget* parent) : QWidget(parent) {
    auto* output_group = new QGroupBox(tr("Output File/Device"), this);
    driver_list = new QListWidget(output_group);
    driver_list->setAccessibleName(tr("Sound Driver"));
    file_entry = new QLineEdit(output_group);
    browse_button = new QPushButton(tr("Browse"), output_group);
    auto* file_label = new QLabel(tr("File Name:"), output_group);
    file_label->setBuddy(file_entry);
    auto* file_row = new QHBoxLayout;
    file_row->addWidget(file_label);
    file_row->addWidget(file_entry, 1);
    file_row->addWidget(browse_button);
    device_combo = new QComboBox(output_group);
    device_combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    device_combo->setMinimumContentsLength(16);
    refresh_button = new QPushButton(tr("Refresh"), output_group);
    refresh_button->setToolTip(tr("Look again for output devices"));
    auto* device_label = new QLabel(tr("Output Device:"), output_group);
    device_label->setBuddy(device_combo);
    auto* device_row = new QHBoxLayout;
    device_row->addWidget(device_label);
    device_row->addWidget(device_combo, 1);
    device_row->addWidget(refresh_button);
    auto* output_layout = new QVBoxLayout(output_group);
    output_layout->addWidget(driver_list);
    output_layout->addLayout(device_row);
    output_layout->addLayout(file_row);

    auto* device_group = new QGroupBox(tr("Audio Device"), this);
    auto* properties_group = new QGroupBox(tr("Properties:"), device_group);
    auto* properties = new QFormLayout(properties_group);
    bits_combo = add_choice(properties, tr("Sampling Depth:"), properties_group);
    bits_combo->addItems({tr("8 Bits"), tr("16 Bits")});
    channels_combo = add_choice(properties, tr("Channels:"), properties_group);
    channels_combo->addItems({tr("Mono"), tr("Stereo")});
    buffersize_combo = add_choice(properties, tr("Buffer Size:"), properties_group);
    frequency_combo = add_choice(properties, tr("Sampling Rate:"), properties_group);

    auto* status_group = new QGroupBox(tr("Status:"), device_group);
    enabled_check = new QCheckBox(tr("Enabled"), status_group);
    reset_button = new QPushButton(tr("Reset!"), status_group);
    status_label = new QLabel(status_group);
    status_label->setWordWrap(true);
    status_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* status_layout = new QVBoxLayout(status_group);
    auto* status_row = new QHBoxLayout;
    status_row->addWidget(enabled_check);
    status_row->addStretch(1);
    status_row->addWidget(reset_button);
    status_layout->addLayout(status_row);
    status_layout->addWidget(status_label);

    auto* device_layout = new QVBoxLayout(device_group);
    device_layout->addWidget(properties_group);
    device_layout->addWidget(status_group);
    device_layout->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(output_group, 1);
    layout->addWidget(device_group, 1);

    connect(driver_list, &QListWidget::currentRowChanged, this, &Audio_Config::listbox_driver_changed);
    connect(channels_combo, &QComboBox::currentIndexChanged, this, &Audio_Config::combo_stereo_changed_cbk);
    connect(bits_combo, &QComboBox::currentIndexChanged, this, &Audio_Config::combo_bits_changed_cbk);
    connect(buffersize_combo, &QComboBox::currentIndexChanged, this, &Audio_Config::combo_buffersize_changed_cbk);
    connect(frequency_combo, &QComboBox::currentIndexChanged, this, &Audio_Config::combo_freq_changed_cbk);
    connect(enabled_check, &QCheckBox::toggled, this, &Audio_Config::button_enabled_cbk);
    connect(reset_button, &QPushButton::clicked, this, &Audio_Config::button_reset_callback);
    connect(browse_button, &QPushButton::clicked, this, &Audio_Config::button_choose_file_callback);
    connect(file_entry, &QLineEdit::textChanged, this, &Audio_Config::entry_file_changed_callback);
    connect(device_combo, &QComboBox::currentIndexChanged, this, &Audio_Config::combo_device_changed_cbk);
    connect(refresh_button, &QPushButton::clicked, this, &Audio_Config::refresh_device_list);
    update_driver_variables();
}

void Audio_Config::set_sound_driver_manager(Sound_Driver_Manager* new_manager) {
    manager = new_manager;
    update_driver_variables();
}

void Audio_Config::showEvent(QShowEvent* event) {
    // Devices come and go; and the audio thread may have stopped a driver that gave up since
    // the page was last shown.
    refresh_device_list();
    QWidget::showEvent(event);
}

// The table's entries in decimal, and the value in force after them when it is not one.
template <size_t N>
void Audio_Config::show_in_choice(QComboBox* combo, const std::array<int, N>& options, int value) {
    combo->clear();
    for (int option : options) combo->addItem(QString::number(option));
    auto found = std::find(options.begin(), options.end(), value);
    if (found == options.end()) combo->addItem(QString::number(value));
    combo->setCurrentIndex(found == options.end() ? (int)N : (int)(found - options.begin()));
}

void Audio_Config::update_driver_variables() {
    updating = true;
    setEnabled(manager != nullptr);
    driver_list->clear();
    if (manager) {
        for (int i = 0; i < manager->get_amount_of_drivers(); ++i)
            driver_list->addItem(QString::fromStdString(manager->get_driver_name(i)));
        channels_combo->setCurrentIndex(manager->get_mix_stereo() ? 1 : 0);
        bits_combo->setCurrentIndex(manager->get_mix_16bits() ? 1 : 0);
        show_in_choice(buffersize_combo, buffersize_options, manager->get_mix_buffer_size());
        show_in_choice(frequency_combo, frequency_options, manager->get_mix_frequency());
        enabled_check->setChecked(manager->is_active_driver_active());
        driver_list->setCurrentRow(manager->get_active_driver());
        file_entry->setText(QString::fromStdString(manager->get_active_driver_current_file()));
        bool writes_file = manager->does_active_driver_perform_disk_write();
        file_entry->setEnabled(writes_file);
        browse_button->setEnabled(writes_file);
    }
    update_device_choice();
    update_status();
    updating = false;
}

void Audio_Config::refresh_device_list() {
    listed_devices.clear();
    if (manager && manager->can_active_driver_choose_output_device())
        listed_devices = manager->list_active_driver_output_devices();
    update_driver_variables();
}

// The system default, the devices last listed, and the stored choice when it is not there now.
void Audio_Config::update_device_choice() {
    device_combo->clear();
    device_choices.clear();
    device_choices.push_back(Audio_Output_Device{});
    device_combo->addItem(tr("System default"));
    for (const Audio_Output_Device_Info& info : listed_devices) {
        device_choices.push_back(info.device);
        QString text = tr("%1 (%2)").arg(QString::fromStdString(info.device.name),
                                         QString::fromStdString(info.api_display_name));
        if (info.is_api_default) text = tr("%1 (%2, default)").arg(QString::fromStdString(info.device.name),
                                                                  QString::fromStdString(info.api_display_name));
        device_combo->addItem(text);
    }
    const Audio_Output_Device wanted = manager ? manager->get_output_device() : Audio_Output_Device{};
    auto found = std::find(device_choices.begin(), device_choices.end(), wanted);
    if (found == device_choices.end()) {
        device_choices.push_back(wanted);
        device_combo->addItem(tr("%1 (%2, not found)")
                                  .arg(QString::fromStdString(wanted.name),
                                       QString::fromStdString(audio_api_display_name(wanted.api))));
        found = device_choices.end() - 1;
    }
    device_combo->setCurrentIndex((int)(found - device_choices.begin()));
    const bool choosable = manager && manager->can_active_driver_choose_output_device();
    device_combo->setEnabled(choosable);
    refresh_button->setEnabled(choosable);
}

void Audio_Config::update_status() {
    if (!manager || manager->get_active_driver() < 0) {
        status_label->setText(tr("No sound driver selected."));
    } else if (manager->is_active_driver_active()) {
        QString text = tr("Playing through %1.").arg(QString::fromStdString(
            manager->get_driver_name(manager->get_active_driver())));
        std::string notice = manager->get_active_driver_notice();
        if (!notice.empty()) text += "\n" + QString::fromStdString(notice);
        status_label->setText(text);
    } else {
        std::string error = manager->get_active_driver_error();
        status_label->setText(error.empty() ? tr("Stopped.")
                                            : tr("Could not start: %1").arg(QString::fromStdString(error)));
    }
}

Audio_Config::Format Audio_Config::current_format() const {
    Format format;
    format.stereo = manager->get_mix_stereo();
    format.sixteen_bits = manager->get_mix_16bits();
    int frequency = manager->get_mix_frequency();
    int buffer_size = manager->get_mix_buffer_size();
    if (frequency >= MIN_FREQUENCY && frequency <= MAX_FREQUENCY) format.frequency = frequency;
    if (buffer_size >= MIN_BUFFER_SIZE && buffer_size <= MAX_BUFFER_SIZE) format.buffer_size = buffer_size;
    return format;
}

void Audio_Config::request_format(const Format& format) {
    manager->request_mix_stereo(format.stereo);
    manager->request_mix_16bits(format.sixteen_bits);
    manager->request_mix_frequency(format.frequency);
    manager->request_buffer_size(format.buffer_size);
}

void Audio_Config::listbox_driver_changed(int row) {
    if (updating || !manager || row < 0) return;
    Format format = current_format();
    manager->set_active_driver(row);
    // A driver that was not started has never been told the format; it would report none.
    if (!manager->is_active_driver_active()) request_format(format);
    update_driver_variables();
}

void Audio_Config::combo_device_changed_cbk(int index) {
    if (updating || !manager || index < 0 || index >= (int)device_choices.size()) return;
    manager->request_output_device(device_choices[index]);
    update_driver_variables();
}

void Audio_Config::combo_stereo_changed_cbk(int index) {
    if (updating || !manager || index < 0) return;
    manager->request_mix_stereo(index > 0);
    update_driver_variables();
}

void Audio_Config::combo_bits_changed_cbk(int index) {
    if (updating || !manager || index < 0) return;
    manager->request_mix_16bits(index > 0);
    update_driver_variables();
}

// An index past the table is the value in force, shown because it is not in the table.
void Audio_Config::combo_buffersize_changed_cbk(int index) {
    if (updating || !manager || index < 0 || index >= (int)buffersize_options.size()) return;
    manager->request_buffer_size(buffersize_options[index]);
    update_driver_variables();
}

void Audio_Config::combo_freq_changed_cbk(int index) {
    if (updating || !manager || index < 0 || index >= (int)frequency_options.size()) return;
    manager->request_mix_frequency(frequency_options[index]);
    update_driver_variables();
}

void Audio_Config::start_driver() {
    driver_wanted = true;
    manager->reset_active_driver();
}

void Audio_Config::button_enabled_cbk(bool checked) {
    if (updating || !manager) return;
    if (checked) {
        start_driver();
    } else {
        driver_wanted = false;
        manager->stop_active_driver(true);
    }
    update_driver_variables();
}

void Audio_Config::button_reset_callback() {
    if (updating || !manager) return;
    start_driver();
    update_driver_variables();
}

void Audio_Config::button_choose_file_callback() {
    if (updating || !manager) return;
    // The driver writes this file, so the dialog may name one that does not exist yet.
    QFileDialog dialog(this, tr("Output File"), file_entry->text());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QString extension = QString::fromStdString(manager->get_active_driver_disk_write_extension());
    if (!extension.isEmpty()) {
        dialog.setNameFilter(tr("%1 files (*.%2)").arg(extension.toUpper(), extension));
        dialog.setDefaultSuffix(extension);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    file_entry->setText(dialog.selectedFiles().first());  // handled as a text change
}

void Audio_Config::entry_file_changed_callback(const QString& text) {
    if (updating || !manager) return;
    manager->set_active_driver_disk_writer_file(text.toStdString());
    updating = true;
    update_status();
    updating = false;
}

void Audio_Config::load_settings(ConfigHandler* config) {
    if (!manager) return;
    const char* section = SETTINGS_SECTION;
    Format format = current_format();
    int stereo = format.stereo ? 1 : 0;
    int sixteen = format.sixteen_bits ? 1 : 0;
    int frequency = format.frequency;
    int buffer_size = format.buffer_size;
    // Before any driver was chosen the first one, the device driver, is the default.
    int driver_number = std::max(manager->get_active_driver(), 0) + 1;
    int enabled = 1;
    config->read_int_property(section, "mix_stereo", 0, 1, &stereo);
    config->read_int_property(section, "mix_16bits", 0, 1, &sixteen);
    config->read_int_property(section, "mix_freq", MIN_FREQUENCY, MAX_FREQUENCY, &frequency);
    config->read_int_property(section, "mix_buffersize", MIN_BUFFER_SIZE, MAX_BUFFER_SIZE, &buffer_size);
    config->read_int_property(section, "audio_driver_index", 1, manager->get_amount_of_drivers(), &driver_number);
    config->read_int_property(section, "audio_driver_enabled", INT_MIN, INT_MAX, &enabled);
    auto read_string = [&](const char* key) {
        std::string value;
        if (config->property_exists(section, key)) {
            value = config->get_str_property(section, key);
            ConfigHandler::remove_trailing_space(&value);
        }
        return value;
    };
    std::string file = read_string("audio_driver_file");
    Audio_Output_Device device{read_string("audio_device_api"), read_string("audio_device_name")};
    if (device.api.empty() != device.name.empty()) device = Audio_Output_Device{};  // half a name is none

    // The format is requested after the driver is chosen, so that the chosen driver holds it
    // even when it is to stay stopped.
    manager->stop_active_driver(true);
    manager->set_active_driver(driver_number - 1);
    manager->stop_active_driver(true);
    request_format({stereo != 0, sixteen != 0, frequency, buffer_size});
    manager->request_output_device(device);
    if (!file.empty()) manager->set_active_driver_disk_writer_file(file);
    driver_wanted = enabled != 0;
    if (driver_wanted) manager->reset_active_driver();
    update_driver_variables();
}

void Audio_Config::save_settings(ConfigHandler* config) {
    if (!manager) return;
    const char* section = SETTINGS_SECTION;
    config->add_section(section);
    config->add_property(section, "mix_stereo", manager->get_mix_stereo() ? 1 : 0, "1 stereo, 0 mono");
    config->add_property(section, "mix_16bits", manager->get_mix_16bits() ? 1 : 0, "1 16bits, 0 8bits");
    config->add_property(section, "mix_freq", manager->get_mix_frequency(), "Sampling Rate (in HZ)");
    config->add_property(section, "mix_buffersize", manager->get_mix_buffer_size(), "Mixing Buffer Size (bytes)");
    std::string drivers;
    for (int i = 0; i < manager->get_amount_of_drivers(); ++i)
        drivers += std::to_string(i + 1) + "- " + manager->get_driver_name(i) + " ";
    config->add_property(section, "audio_driver_index", manager->get_active_driver() + 1, drivers);
    bool enabled = manager->is_active_driver_active() || driver_wanted;
    config->add_property(section, "audio_driver_enabled", enabled ? 1 : 0, "if 1, start enabled, 0 start disabled");
    config->add_property(section, "audio_driver_file", manager->get_active_driver_current_file(),
                         "File this audio driver needs (if applies)");
    const Audio_Output_Device& device = manager->get_output_device();
    config->add_property(section, "audio_device_api", device.api,
                         "Output device back end: alsa, pulse or jack (empty: the system default)");
    config->add_property(section, "audio_device_name", device.name,
                         "Output device name, as the Audio page lists it (empty: the system default)");
}
