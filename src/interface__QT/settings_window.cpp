#include "interface__QT/settings_window.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "common/interface__QT/color_theme.h"
#include "interface__QT/audio_config.h"
#include "interface__QT/ccolor_list.h"
#include "interface__QT/interface_settings.h"
#include "interface__QT/keyboard_input_config.h"
#include "interface__QT/resampler_config.h"
#include "tracker/config_handler.h"
#include "tracker/file_history.h"

Settings_Window::Settings_Window(QWidget* parent)
    : QWidget(parent, Qt::Window), pages(new QTabWidget(this)), audio_config(new Audio_Config),
      resampler_config(new Resampler_Config), keyboard_config(new Keyboard_Input_Config),
      color_list(new CColor_List), interface_settings(new Interface_Settings) {
    setWindowTitle(tr("Settings"));

    auto* audio_page = new QWidget;
    auto* audio_layout = new QVBoxLayout(audio_page);
    audio_layout->addWidget(audio_config, 1);
    audio_layout->addWidget(resampler_config);
    pages->addTab(audio_page, tr("Audio"));
    pages->addTab(keyboard_config, tr("Keyboard"));
    pages->addTab(color_list, tr("Colors"));
    pages->addTab(interface_settings, tr("Interface"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons->button(QDialogButtonBox::Close), &QPushButton::clicked, this, &QWidget::close);
    connect(interface_settings, &Interface_Settings::repaint_interval_changed, this,
            &Settings_Window::repaint_interval_changed);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addWidget(buttons);
    // Room for the colour page's two columns without scrolling sideways, in text units so
    // that it follows the font and the screen's density.
    QFontMetrics metrics = fontMetrics();
    resize(std::max(sizeHint().width(), metrics.averageCharWidth() * 120), metrics.height() * 36);
    // A small screen, or a large scale factor: the pages scroll rather than the window leaving it.
    if (QScreen* screen = QGuiApplication::primaryScreen()) resize(size().boundedTo(screen->availableSize()));
}

void Settings_Window::set_sound_driver_manager(Sound_Driver_Manager* manager) {
    audio_config->set_sound_driver_manager(manager);
    resampler_config->set_sound_driver_manager(manager);
}

void Settings_Window::load_settings(ConfigHandler* config) {
    audio_config->load_settings(config);
    resampler_config->load_settings(config);
    interface_settings->load_settings(config);
    Color_Theme::get_singleton_instance().load_settings(config);
    File_History::get_singleton_instance().load_settings(config);
    keyboard_config->update();
}

void Settings_Window::save_settings(ConfigHandler* config) {
    audio_config->save_settings(config);
    resampler_config->save_settings(config);
    interface_settings->save_settings(config);
    Color_Theme::get_singleton_instance().save_settings(config);
    File_History::get_singleton_instance().save_settings(config);
}
