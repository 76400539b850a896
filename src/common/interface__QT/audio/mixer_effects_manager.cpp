#include "common/components/audio/mixer.h"
#include "common/components/audio/mutex_lock.h"
#include "common/components/data/error_line.h"

#include "common/interface__QT/audio/mixer_effects_manager.h"

#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPoint>
#include <QPointF>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

#include "common/interface__QT/audio/effect_chain_editor.h"
#include "common/interface__QT/audio/level_meter_delegate.h"
#include "common/interface__QT/scroll_page.h"

namespace {

const char* const SOURCE = "common/interface__QT/audio/mixer_effects_manager";

// How fast a meter falls back after a peak, in fractions of its range per second (24 dB/s).
constexpr double METER_FALL_PER_SECOND = 24.0 / Level_Meter_Delegate::RANGE_DB;

int selected_row(const QListWidget* list) {
    QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

QLabel* caption_for(const QString& text, QWidget* control, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(control);
    return label;
}

}  // namespace

// The output operations of one kind of bus, so channels and buffers share one code path.
struct Mixer_Effects_Manager::Bus_Operations {
    int (Mixer::*count)(int);
    void (Mixer::*add)(int);
    void (Mixer::*remove)(int, int);
    int (Mixer::*get_target)(int, int);
    void (Mixer::*set_target)(int, int, int);
    int (Mixer::*get_send_level)(int, int);
    void (Mixer::*set_send_level)(int, int, int);
    int (Mixer::*get_send_control)(int, int);
    void (Mixer::*set_send_control)(int, int, int);
};

const Mixer_Effects_Manager::Bus_Operations Mixer_Effects_Manager::CHANNEL_OUTPUTS = {
    &Mixer::get_channel_output_count,        &Mixer::add_channel_output,
    &Mixer::remove_channel_output,           &Mixer::get_channel_output_buffer_index,
    &Mixer::set_channel_output_buffer_index, &Mixer::get_channel_output_send_level,
    &Mixer::set_channel_output_send_level,   &Mixer::get_channel_output_send_control,
    &Mixer::set_channel_output_send_control,
};

const Mixer_Effects_Manager::Bus_Operations Mixer_Effects_Manager::BUFFER_OUTPUTS = {
    &Mixer::get_buffer_output_count,        &Mixer::add_buffer_output,
    &Mixer::remove_buffer_output,           &Mixer::get_buffer_output_buffer_index,
    &Mixer::set_buffer_output_buffer_index, &Mixer::get_buffer_output_send_level,
    &Mixer::set_buffer_output_send_level,   &Mixer::get_buffer_output_send_control,
    &Mixer::set_buffer_output_send_control,
};

Mixer_Effects_Manager::Mixer_Effects_Manager(QWidget* parent)
    : QWidget(parent),
      channel_list(new QListWidget(this)),
      buffer_list(new QListWidget(this)),
      create_buffer_button(new QPushButton(tr("New Buffer"), this)),
      erase_buffer_button(new QPushButton(tr("Erase Buffer"), this)),
      chain_group(new QGroupBox(tr("Effect Chain"), this)),
      chain_editor(new Effect_Chain_Editor(chain_group)),
      output_group(new QGroupBox(tr("Output to Buffer"), this)),
      output_combo(new QComboBox(output_group)),
      output_add_button(new QPushButton(tr("Add"), output_group)),
      output_remove_button(new QPushButton(tr("Remove"), output_group)),
      send_level_spin(new QSpinBox(output_group)),
      send_control_spin(new QSpinBox(output_group)),
      destination_menu(new QMenu(this)) {
    setObjectName("mixer_effects_manager");
    auto* meter_delegate = new Level_Meter_Delegate(this);
    for (QListWidget* list : {channel_list, buffer_list}) {
        list->setItemDelegate(meter_delegate);
        list->setUniformItemSizes(true);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        // A bus name and its meter side by side, in text units; the meter narrows, never scrolls.
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setMinimumWidth(fontMetrics().averageCharWidth() * 26);
    }
    buffer_list->setAccessibleName(tr("Global Buffers"));
    channel_list->setAccessibleName(tr("Mixer Channels"));

    auto* buffer_buttons = new QHBoxLayout;
    buffer_buttons->addWidget(create_buffer_button);
    buffer_buttons->addWidget(erase_buffer_button);
    auto* buses = new QVBoxLayout;
    buses->addWidget(caption_for(tr("Mixer Channels"), channel_list, this));
    buses->addWidget(channel_list, 2);
    buses->addWidget(caption_for(tr("Global Buffers"), buffer_list, this));
    buses->addWidget(buffer_list, 1);
    buses->addLayout(buffer_buttons);

    auto* chain_layout = new QVBoxLayout(chain_group);
    chain_layout->addWidget(chain_editor);

    send_level_spin->setRange(0, 127);
    send_level_spin->setToolTip(tr("Send level: 127 passes the signal unchanged, 0 sends nothing"));
    send_control_spin->setRange(-1, 127);
    send_control_spin->setSpecialValueText(tr("None"));
    send_control_spin->setToolTip(tr("Controller number attached to the send"));
    output_combo->setAccessibleName(tr("Outputs"));
    output_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    output_combo->setMinimumContentsLength(16);
    auto* outputs = new QGridLayout(output_group);
    outputs->addWidget(caption_for(tr("Outputs:"), output_combo, output_group), 0, 0);
    outputs->addWidget(output_combo, 0, 1);
    outputs->addWidget(output_add_button, 0, 2);
    outputs->addWidget(output_remove_button, 0, 3);
    outputs->addWidget(caption_for(tr("Initial Send:"), send_level_spin, output_group), 1, 0);
    outputs->addWidget(send_level_spin, 1, 1, Qt::AlignLeft);
    outputs->addWidget(caption_for(tr("Send Ctrl#:"), send_control_spin, output_group), 2, 0);
    outputs->addWidget(send_control_spin, 2, 1, Qt::AlignLeft);
    outputs->setColumnStretch(4, 1);

    auto* routing_page = new QWidget;
    auto* routing = new QVBoxLayout(routing_page);
    routing->setContentsMargins(0, 0, 0, 0);
    routing->addWidget(chain_group, 1);
    routing->addWidget(output_group, 0);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(buses, 1);
    layout->addWidget(scroll_page(routing_page, this), 3);

    destination_menu->setObjectName("destination_menu");
    destination_menu->setTitle(tr("Send To"));

    // Selection rather than the current row: assistive tools select rows without moving it.
    connect(channel_list, &QListWidget::itemSelectionChanged, this,
            [this] { channel_selected_slot(selected_row(channel_list)); });
    connect(buffer_list, &QListWidget::itemSelectionChanged, this,
            [this] { buffer_selected_slot(selected_row(buffer_list)); });
    connect(create_buffer_button, &QPushButton::clicked, this, &Mixer_Effects_Manager::create_buffer_slot);
    connect(erase_buffer_button, &QPushButton::clicked, this, &Mixer_Effects_Manager::erase_selected_buffer_slot);
    connect(output_combo, &QComboBox::currentIndexChanged, this, &Mixer_Effects_Manager::output_selected_slot);
    connect(output_add_button, &QPushButton::clicked, this, &Mixer_Effects_Manager::output_add_slot);
    connect(output_remove_button, &QPushButton::clicked, this, &Mixer_Effects_Manager::output_remove_slot);
    connect(send_level_spin, &QSpinBox::valueChanged, this, &Mixer_Effects_Manager::output_send_level_changed_slot);
    connect(send_control_spin, &QSpinBox::valueChanged, this,
            &Mixer_Effects_Manager::output_send_control_changed_slot);
    connect(destination_menu, &QMenu::aboutToShow, this, &Mixer_Effects_Manager::at_popup_show_slot);
    connect(destination_menu, &QMenu::triggered, this,
            [this](QAction* action) { popup_selected_buffer_slot(action->data().toInt()); });
    update();
}

Mixer_Effects_Manager::~Mixer_Effects_Manager() {
    // The song window lets its song go before its pages: the lists and boxes, emptied as they
    // are deleted, must not reach the mixer.
    for (QObject* control : std::initializer_list<QObject*>{channel_list, buffer_list, output_combo, send_level_spin,
                                                           send_control_spin, destination_menu})
        control->disconnect(this);
    mixer = nullptr;
}

void Mixer_Effects_Manager::set_mixer(Mixer* new_mixer) {
    if (new_mixer != mixer) {
        if (mixer && isVisible()) mixer->set_level_meters(false);
        mixer = new_mixer;
        if (mixer && isVisible()) mixer->set_level_meters(true);
        selected_bus = 0;
    }
    // The same mixer again means a song was loaded into it: the chains and effects shown
    // are gone; update() keeps the selection if the new song has that bus.
    selected_output = 0;
    chain_editor->clear();
    // Every row again, with its meter at rest.
    meters.clear();
    updating = true;
    channel_list->clear();
    updating = false;
    update();
}

void Mixer_Effects_Manager::set_lock(Mutex_Lock* new_lock) {
    lock = new_lock;
    chain_editor->set_lock(lock);
}

const Mixer_Effects_Manager::Bus_Operations* Mixer_Effects_Manager::selected_operations() const {
    if (!mixer || selected_bus < 0) return nullptr;
    if (selected_bus < mixer->get_channel_count()) return &CHANNEL_OUTPUTS;
    if (selected_bus < mixer->get_channel_count() + mixer->get_buffer_count()) return &BUFFER_OUTPUTS;
    return nullptr;
}

int Mixer_Effects_Manager::selected_index_in_list() const {
    if (!mixer || selected_bus < mixer->get_channel_count()) return selected_bus;
    return selected_bus - mixer->get_channel_count();
}

int Mixer_Effects_Manager::selected_output_count() const {
    const Bus_Operations* ops = selected_operations();
    return ops ? std::max(0, (mixer->*ops->count)(selected_index_in_list())) : 0;
}

QString Mixer_Effects_Manager::destination_name(int buffer_index) const {
    if (buffer_index == -1) return tr("Global Mixdown");
    return QString::fromStdString(mixer->get_buffer_name(buffer_index));
}

// Rebuilding

void Mixer_Effects_Manager::update() {
    const int channels = mixer ? mixer->get_channel_count() : 0;
    const int total = mixer ? channels + mixer->get_buffer_count() : 0;
    // After a song with fewer buffers was loaded.
    if (mixer && selected_bus >= total) selected_bus = channels - 1;
    updating = true;
    if (channel_list->count() != channels) {
        channel_list->clear();
        for (int c = 0; c < channels; c++) channel_list->addItem(tr("Channel %1").arg(c));
    }
    buffer_list->clear();
    for (int b = 0; mixer && b < mixer->get_buffer_count(); b++)
        buffer_list->addItem(QString::fromStdString(mixer->get_buffer_name(b)));
    mark_selected_row();
    updating = false;
    // The buffers' rows are new and show no level yet.
    meters.resize(channels);
    meters.resize(total);
    if (mixer) update_selected_buffer();
    update_send_parameters();
}

void Mixer_Effects_Manager::mark_selected_row() {
    const int channels = mixer ? mixer->get_channel_count() : 0;
    const bool on_channel = selected_bus >= 0 && selected_bus < channels;
    const bool on_buffer = mixer && selected_bus >= channels && selected_bus < channels + mixer->get_buffer_count();
    channel_list->setCurrentRow(on_channel ? selected_bus : -1);
    buffer_list->setCurrentRow(on_buffer ? selected_bus - channels : -1);
}

void Mixer_Effects_Manager::update_selected_buffer() {
    Effect_Chain* chain = nullptr;
    if (mixer && selected_operations() == &CHANNEL_OUTPUTS)
        chain = mixer->get_channel_effect_chain(selected_bus);
    else if (mixer && selected_operations() == &BUFFER_OUTPUTS)
        chain = mixer->get_buffer_effect_chain(selected_index_in_list());
    if (!chain) {
        ERROR_LINE(SOURCE, __LINE__, "Selected buffer invalid??");
        chain_editor->clear();
        return;
    }
    chain_editor->set_effect_chain(chain);
}

void Mixer_Effects_Manager::update_send_parameters() {
    const Bus_Operations* ops = selected_operations();
    const int bus = selected_index_in_list();
    const int count = selected_output_count();
    selected_output = std::clamp(selected_output, 0, std::max(0, count - 1));
    updating = true;
    output_combo->clear();
    for (int o = 0; o < count; o++) output_combo->addItem(destination_name((mixer->*ops->get_target)(bus, o)));
    if (count > 0) {
        output_combo->setCurrentIndex(selected_output);
        send_level_spin->setValue((mixer->*ops->get_send_level)(bus, selected_output));
        send_control_spin->setValue((mixer->*ops->get_send_control)(bus, selected_output));
    }
    updating = false;
    refresh_buttons();
}

void Mixer_Effects_Manager::refresh_buttons() {
    const bool has_outputs = selected_output_count() > 0;
    create_buffer_button->setEnabled(mixer != nullptr);
    erase_buffer_button->setEnabled(selected_operations() == &BUFFER_OUTPUTS);
    output_add_button->setEnabled(selected_operations() != nullptr);
    output_remove_button->setEnabled(has_outputs);
    output_combo->setEnabled(has_outputs);
    send_level_spin->setEnabled(has_outputs);
    send_control_spin->setEnabled(has_outputs);
}

// Buses

void Mixer_Effects_Manager::select_bus(int bus) {
    selected_bus = bus;
    selected_output = 0;
    updating = true;
    mark_selected_row();
    updating = false;
    update_selected_buffer();
    update_send_parameters();
}

void Mixer_Effects_Manager::channel_selected_slot(int channel) {
    if (updating || !mixer || channel < 0) return;  // -1: the list lost its current row
    select_bus(channel);
}

void Mixer_Effects_Manager::buffer_selected_slot(int buffer) {
    if (updating || !mixer || buffer < 0) return;
    select_bus(mixer->get_channel_count() + buffer);
}

void Mixer_Effects_Manager::create_buffer_slot() {
    if (!mixer) return;
    {
        Mutex_Lock_Guard guard(lock);
        mixer->add_buffer();
    }
    update();
}

void Mixer_Effects_Manager::erase_selected_buffer_slot() {
    if (selected_operations() != &BUFFER_OUTPUTS) return;
    // Its chain's effects are deleted with it: the editor must let go of them first.
    chain_editor->clear();
    {
        Mutex_Lock_Guard guard(lock);
        mixer->remove_buffer(selected_index_in_list());
    }
    selected_bus--;
    selected_output = 0;
    update();
}

// Outputs

void Mixer_Effects_Manager::output_selected_slot(int output) {
    if (updating || output < 0 || output >= selected_output_count()) return;
    selected_output = output;
    update_send_parameters();
}

void Mixer_Effects_Manager::output_add_slot() {
    if (!selected_operations()) return;
    // At the mouse when it pressed the button; under the button when a key did.
    QPoint at = QCursor::pos();
    if (!output_add_button->rect().contains(output_add_button->mapFromGlobal(at)))
        at = output_add_button->mapToGlobal(QPoint(0, output_add_button->height()));
    destination_menu->popup(at);
}

void Mixer_Effects_Manager::at_popup_show_slot() {
    destination_menu->clear();
    if (!selected_operations()) return;
    destination_menu->addAction(tr("Global Mixdown"))->setData(0);
    destination_menu->addSeparator();
    // A buffer sends only to earlier buffers, so signal can never come back to it.
    const int offered =
        selected_operations() == &CHANNEL_OUTPUTS ? mixer->get_buffer_count() : selected_index_in_list();
    for (int b = 0; b < offered; b++)
        destination_menu->addAction(QString::fromStdString(mixer->get_buffer_name(b)))->setData(b + 1);
}

void Mixer_Effects_Manager::popup_selected_buffer_slot(int id) {
    const Bus_Operations* ops = selected_operations();
    if (!ops) return;
    const int bus = selected_index_in_list();
    const int offered = ops == &CHANNEL_OUTPUTS ? mixer->get_buffer_count() : bus;
    if (id < 0 || id > offered) return;  // not an entry the menu offers
    const int target = id == 0 ? -1 : id - 1;
    int added;
    {
        Mutex_Lock_Guard guard(lock);
        added = (mixer->*ops->count)(bus);
        (mixer->*ops->add)(bus);
        (mixer->*ops->set_target)(bus, added, target);
    }
    selected_output = added;
    update_send_parameters();
}

void Mixer_Effects_Manager::output_remove_slot() {
    const Bus_Operations* ops = selected_operations();
    if (!ops || selected_output >= selected_output_count()) return;
    {
        Mutex_Lock_Guard guard(lock);
        (mixer->*ops->remove)(selected_index_in_list(), selected_output);
    }
    if (selected_output > 0) selected_output--;
    update_send_parameters();
}

void Mixer_Effects_Manager::output_send_level_changed_slot(int level) {
    const Bus_Operations* ops = selected_operations();
    if (updating || !ops || selected_output >= selected_output_count()) return;
    Mutex_Lock_Guard guard(lock);
    (mixer->*ops->set_send_level)(selected_index_in_list(), selected_output, level);
}

void Mixer_Effects_Manager::output_send_control_changed_slot(int control) {
    const Bus_Operations* ops = selected_operations();
    if (updating || !ops || selected_output >= selected_output_count()) return;
    Mutex_Lock_Guard guard(lock);
    (mixer->*ops->set_send_control)(selected_index_in_list(), selected_output, control);
}

// Level meters

void Mixer_Effects_Manager::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (mixer) mixer->set_level_meters(true);
    meter_clock.start();
}

void Mixer_Effects_Manager::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (mixer) mixer->set_level_meters(false);
    // Shown again later, the meters start from silence rather than from a stale peak.
    const int channels = channel_list->count();
    for (int i = 0; i < (int)meters.size(); i++) {
        if (i < channels)
            show_meter(channel_list, i, meters[i], 0, 0, 1.0);
        else
            show_meter(buffer_list, i - channels, meters[i], 0, 0, 1.0);
    }
}

void Mixer_Effects_Manager::update_meters() {
    if (!mixer || meters.size() != (size_t)(mixer->get_channel_count() + mixer->get_buffer_count())) return;
    const double seconds = meter_clock.isValid() ? meter_clock.restart() / 1000.0 : 0.0;
    const double fall = METER_FALL_PER_SECOND * seconds;
    const int channels = mixer->get_channel_count();
    for (int c = 0; c < channels; c++) {
        Peak_Meter::Levels peak = mixer->take_channel_peak(c);
        show_meter(channel_list, c, meters[c], Level_Meter_Delegate::fraction_of_peak(peak.left),
                   Level_Meter_Delegate::fraction_of_peak(peak.right), fall);
    }
    for (int b = 0; b < mixer->get_buffer_count(); b++) {
        Peak_Meter::Levels peak = mixer->take_buffer_peak(b);
        show_meter(buffer_list, b, meters[channels + b], Level_Meter_Delegate::fraction_of_peak(peak.left),
                   Level_Meter_Delegate::fraction_of_peak(peak.right), fall);
    }
}

void Mixer_Effects_Manager::show_meter(QListWidget* list, int row, Meter& meter, double left, double right,
                                       double fall) {
    // Peaks show at once; after them the bars fall back slowly so they can be read.
    const double new_left = std::max(left, meter.left - fall);
    const double new_right = std::max(right, meter.right - fall);
    const Meter shown{std::max(0.0, new_left), std::max(0.0, new_right)};
    if (shown.left == meter.left && shown.right == meter.right) return;
    meter = shown;
    if (QListWidgetItem* item = list->item(row))
        item->setData(Level_Meter_Delegate::LEVELS_ROLE, QPointF(meter.left, meter.right));
}
