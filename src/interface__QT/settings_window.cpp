#include "interface__QT/settings_window.h"

#include "common/interface__QT/color_theme.h"
#include "tracker/config_handler.h"

Settings_Window::Settings_Window(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(tr("Settings"));
}

void Settings_Window::set_sound_driver_manager(Sound_Driver_Manager* manager) {
    sound_driver_manager = manager;
}

void Settings_Window::load_settings(ConfigHandler* config) {
    Color_Theme::get_singleton_instance().load_settings(config);
}

void Settings_Window::save_settings(ConfigHandler* config) {
    Color_Theme::get_singleton_instance().save_settings(config);
}
