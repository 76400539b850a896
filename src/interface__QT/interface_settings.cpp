#include "interface__QT/interface_settings.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/interface__QT/interface_preferences.h"
#include "interface__QT/interface.h"
#include "interface__QT/mdi_main_window.h"
#include "tracker/config_handler.h"

namespace {

QString font_text(const QFont& font) {
    return QObject::tr("%1, %2 pt").arg(font.family()).arg(font.pointSize());
}

// A font the user picks; the pattern view lines up columns, so it offers fixed-pitch fonts.
bool ask_font(QWidget* parent, const QString& title, QFont* font, bool fixed_pitch) {
    QFontDialog dialog(*font, parent);
    dialog.setWindowTitle(title);
    if (fixed_pitch) dialog.setOption(QFontDialog::MonospacedFonts);
    if (dialog.exec() != QDialog::Accepted) return false;
    *font = dialog.selectedFont();
    return true;
}

// A stored font: a family that is not blank and a point size within the limits.
void read_font(const ConfigHandler* config, const std::string& prefix, QFont* font) {
    const char* section = Interface_Settings::SETTINGS_SECTION;
    std::string family = config->get_str_property(section, prefix + "_family");
    ConfigHandler::remove_trailing_space(&family);
    if (!family.empty()) font->setFamily(QString::fromStdString(family));
    int size = font->pointSize();
    if (config->read_int_property(section, prefix + "_point_size", Interface_Settings::MIN_FONT_SIZE,
                                  Interface_Settings::MAX_FONT_SIZE, &size))
        font->setPointSize(size);
}

void write_font(ConfigHandler* config, const std::string& prefix, const QFont& font) {
    const char* section = Interface_Settings::SETTINGS_SECTION;
    config->add_property(section, prefix + "_family", font.family().toStdString(), "");
    config->add_property(section, prefix + "_point_size", font.pointSize(), "");
}

}  // namespace

Interface_Settings::Interface_Settings(QWidget* parent)
    : QWidget(parent), repaint_interval(new QSpinBox(this)),
      backing_store(new QCheckBox(tr("Draw the pattern view off-screen first (backing store)"), this)),
      follow_song(new QCheckBox(tr("New song windows follow the playing song"), this)),
      pattern_font(new QPushButton(this)), orderlist_font(new QPushButton(this)), autosave_minutes(new QSpinBox(this)) {
    repaint_interval->setRange(MIN_REPAINT_INTERVAL, MAX_REPAINT_INTERVAL);
    repaint_interval->setSuffix(tr(" ms"));
    repaint_interval->setToolTip(tr("How often the song windows show the playing position"));

    auto* drawing = new QGroupBox(tr("Drawing"), this);
    auto* drawing_form = new QFormLayout(drawing);
    drawing_form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    auto* interval_label = new QLabel(tr("Repaint interval:"), drawing);
    interval_label->setBuddy(repaint_interval);
    drawing_form->addRow(interval_label, repaint_interval);
    drawing_form->addRow(backing_store);

    auto* editing = new QGroupBox(tr("Song Windows"), this);
    auto* editing_layout = new QVBoxLayout(editing);
    follow_song->setToolTip(tr("The pattern view shows the playing row (Pattern, Toggle Cursor Follows Song)"));
    editing_layout->addWidget(follow_song);

    auto* fonts = new QGroupBox(tr("Fonts"), this);
    auto* fonts_form = new QFormLayout(fonts);
    auto* pattern_label = new QLabel(tr("Pattern editor:"), fonts);
    pattern_label->setBuddy(pattern_font);
    fonts_form->addRow(pattern_label, pattern_font);
    auto* orderlist_label = new QLabel(tr("Order list and tables:"), fonts);
    orderlist_label->setBuddy(orderlist_font);
    fonts_form->addRow(orderlist_label, orderlist_font);

    autosave_minutes->setRange(0, MAX_AUTOSAVE_MINUTES);
    autosave_minutes->setSuffix(tr(" min"));
    autosave_minutes->setSpecialValueText(tr("Off"));
    autosave_minutes->setToolTip(tr("How often songs with unsaved changes are kept in a copy that survives a crash"));
    auto* safety = new QGroupBox(tr("Autosave"), this);
    auto* safety_form = new QFormLayout(safety);
    safety_form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    auto* autosave_label = new QLabel(tr("Autosave every:"), safety);
    autosave_label->setBuddy(autosave_minutes);
    safety_form->addRow(autosave_label, autosave_minutes);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drawing);
    layout->addWidget(editing);
    layout->addWidget(fonts);
    layout->addWidget(safety);
    layout->addStretch(1);

    connect(repaint_interval, &QSpinBox::valueChanged, this, &Interface_Settings::repaint_interval_edited);
    connect(backing_store, &QCheckBox::toggled, this, &Interface_Settings::backing_store_toggled);
    connect(follow_song, &QCheckBox::toggled, this, &Interface_Settings::follow_song_toggled);
    connect(pattern_font, &QPushButton::clicked, this, &Interface_Settings::choose_pattern_font);
    connect(orderlist_font, &QPushButton::clicked, this, &Interface_Settings::choose_orderlist_font);
    connect(autosave_minutes, &QSpinBox::valueChanged, this, &Interface_Settings::autosave_minutes_edited);
    connect(&Interface_Preferences::get_singleton_instance(), &Interface_Preferences::changed, this,
            &Interface_Settings::refresh);
    refresh();
}

void Interface_Settings::refresh() {
    Interface_Preferences& preferences = Interface_Preferences::get_singleton_instance();
    updating = true;
    repaint_interval->setValue(Interface::widget_timer_interval);
    backing_store->setChecked(preferences.get_use_backing_store());
    follow_song->setChecked(Interface::follow_song_default);
    pattern_font->setText(font_text(preferences.get_pattern_edit_font()));
    pattern_font->setFont(preferences.get_pattern_edit_font());
    orderlist_font->setText(font_text(preferences.get_orderlist_font()));
    orderlist_font->setFont(preferences.get_orderlist_font());
    autosave_minutes->setValue(MDI_Main_Window::autosave_minutes);
    updating = false;
}

void Interface_Settings::set_repaint_interval(int milliseconds) {
    if (milliseconds == Interface::widget_timer_interval) return;
    Interface::widget_timer_interval = milliseconds;
    emit repaint_interval_changed(milliseconds);
}

void Interface_Settings::repaint_interval_edited(int milliseconds) {
    if (updating) return;
    set_repaint_interval(milliseconds);
}

void Interface_Settings::autosave_minutes_edited(int minutes) {
    if (updating) return;
    // The main window's clock picks the new interval up.
    MDI_Main_Window::autosave_minutes = minutes;
}

void Interface_Settings::backing_store_toggled(bool checked) {
    if (updating) return;
    Interface_Preferences::get_singleton_instance().set_use_backing_store(checked);
}

void Interface_Settings::follow_song_toggled(bool checked) {
    if (updating) return;
    Interface::follow_song_default = checked;
}

void Interface_Settings::choose_pattern_font() {
    Interface_Preferences& preferences = Interface_Preferences::get_singleton_instance();
    QFont font = preferences.get_pattern_edit_font();
    if (ask_font(this, tr("Pattern Editor Font"), &font, true)) preferences.set_pattern_edit_font(font);
}

void Interface_Settings::choose_orderlist_font() {
    Interface_Preferences& preferences = Interface_Preferences::get_singleton_instance();
    QFont font = preferences.get_orderlist_font();
    if (ask_font(this, tr("Order List and Tables Font"), &font, false)) preferences.set_orderlist_font(font);
}

void Interface_Settings::load_settings(ConfigHandler* config) {
    Interface_Preferences& preferences = Interface_Preferences::get_singleton_instance();
    int interval = Interface::widget_timer_interval;
    if (config->read_int_property(SETTINGS_SECTION, "repaint_interval", MIN_REPAINT_INTERVAL, MAX_REPAINT_INTERVAL,
                                  &interval))
        set_repaint_interval(interval);
    int use_backing_store = preferences.get_use_backing_store() ? 1 : 0;
    if (config->read_int_property(SETTINGS_SECTION, "use_backing_store", 0, 1, &use_backing_store))
        preferences.set_use_backing_store(use_backing_store != 0);
    int follow = Interface::follow_song_default ? 1 : 0;
    if (config->read_int_property(SETTINGS_SECTION, "follow_song", 0, 1, &follow))
        Interface::follow_song_default = follow != 0;
    int minutes = MDI_Main_Window::autosave_minutes;
    if (config->read_int_property(SETTINGS_SECTION, "autosave_minutes", 0, MAX_AUTOSAVE_MINUTES, &minutes))
        MDI_Main_Window::autosave_minutes = minutes;
    QFont font = preferences.get_pattern_edit_font();
    read_font(config, "pattern_edit_font", &font);
    preferences.set_pattern_edit_font(font);
    font = preferences.get_orderlist_font();
    read_font(config, "orderlist_font", &font);
    preferences.set_orderlist_font(font);
    refresh();
}

void Interface_Settings::save_settings(ConfigHandler* config) {
    Interface_Preferences& preferences = Interface_Preferences::get_singleton_instance();
    config->add_section(SETTINGS_SECTION);
    config->add_property(SETTINGS_SECTION, "repaint_interval", Interface::widget_timer_interval, "");
    config->add_property(SETTINGS_SECTION, "use_backing_store", preferences.get_use_backing_store() ? 1 : 0, "");
    config->add_property(SETTINGS_SECTION, "follow_song", Interface::follow_song_default ? 1 : 0,
                         "1: new song windows follow the playing song");
    config->add_property(SETTINGS_SECTION, "autosave_minutes", MDI_Main_Window::autosave_minutes,
                         "minutes between autosaves of songs with unsaved changes, 0 off");
    write_font(config, "pattern_edit_font", preferences.get_pattern_edit_font());
    write_font(config, "orderlist_font", preferences.get_orderlist_font());
}
