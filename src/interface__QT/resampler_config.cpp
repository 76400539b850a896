// Before any Qt header: Qt's "emit" macro would rewrite libsigc++'s emit().
#include "common/components/audio/sound_driver_manager.h"

#include "interface__QT/resampler_config.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

#include "common/components/audio/mutex_lock.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "tracker/config_handler.h"

Resampler_Config::Resampler_Config(QWidget* parent) : QGroupBox(tr("Resampler"), parent), choice(new QComboBox(this)) {
    auto* label = new QLabel(tr("Interpolation:"), this);
    label->setBuddy(choice);
    auto* layout = new QFormLayout(this);
    layout->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    layout->addRow(label, choice);
    connect(choice, &QComboBox::currentIndexChanged, this, &Resampler_Config::resampler_chosen);
    refresh();
}

void Resampler_Config::refresh() {
    updating = true;
    choice->clear();
    Resampler_Manager* manager = Resampler_Manager::get_resampler_manager();
    if (manager) {
        for (int i = 0; i < manager->get_resampler_count(); ++i)
            choice->addItem(QString::fromStdString(manager->get_resampler(i)->get_name()));
        choice->setCurrentIndex(manager->get_default_resampler());
    }
    setEnabled(choice->count() > 0);
    updating = false;
}

void Resampler_Config::set_default_resampler(int index) {
    Resampler_Manager* manager = Resampler_Manager::get_resampler_manager();
    if (!manager) return;
    Mutex_Lock_Guard guard(sound_driver_manager ? sound_driver_manager->get_variables_lock() : nullptr);
    manager->set_default_resampler(index);
}

void Resampler_Config::resampler_chosen(int index) {
    if (updating || index < 0) return;
    set_default_resampler(index);
}

void Resampler_Config::load_settings(ConfigHandler* config) {
    Resampler_Manager* manager = Resampler_Manager::get_resampler_manager();
    if (!manager) return;
    int index = manager->get_default_resampler();
    if (config->read_int_property(SETTINGS_SECTION, "resampler_index", 0, manager->get_resampler_count() - 1, &index))
        set_default_resampler(index);
    refresh();
}

void Resampler_Config::save_settings(ConfigHandler* config) {
    Resampler_Manager* manager = Resampler_Manager::get_resampler_manager();
    if (!manager) return;
    config->add_property(SETTINGS_SECTION, "resampler_index", manager->get_default_resampler(), "0 Raw, 1 Linear");
}
