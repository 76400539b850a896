#include "tracker/tracker_instance.h"

#include "interface__QT/instrument_edit.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/envelope_editor.h"
#include "common/interface__QT/envelope_point_editor.h"
#include "common/interface__QT/interface_preferences.h"
#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/property_list_editor.h"
#include "common/interface__QT/scroll_page.h"
#include "common/interface__QT/text_limit_delegate.h"
#include "interface__QT/file_dialog.h"
#include "interface__QT/instrument_list_model.h"
#include "interface__QT/interface.h"
#include "interface__QT/message_boxes.h"
#include "interface__QT/note_sample_table.h"
#include "interface__QT/note_sample_table_model.h"

namespace {

const char* const LOAD_FILTER = "Instrument Files (*.wi *.WI *.ii *.II *.xi *.XI)";
const char* const SAVE_FILTER = "Instrument Formats (*.wi *.WI *.ii *.II)";
const char* const ENVELOPE_TITLES[Instrument_Edit::ENVELOPE_KINDS] = {"Volume", "Panning", "Pitch && Filter"};
const char* const ENVELOPE_NAMES[Instrument_Edit::ENVELOPE_KINDS] = {"Volume Envelope", "Panning Envelope",
                                                                     "Pitch Envelope"};

// Another layer or instrument has the same kinds of properties: the editors are bound to the
// new bridges rather than built again. The few rows are shown whole, on the page's background.
void bind_properties(Property_List_Editor* list, const Property_Bridge_List& bridges) {
    bool same = list->get_editor_count() == (int)bridges.size();
    for (int i = 0; same && i < (int)bridges.size(); i++) same = list->get_editor(i)->set_bridge(bridges[i]);
    if (same) return;
    list->set_properties(bridges);
    list->viewport()->setAutoFillBackground(false);
    list->widget()->setAutoFillBackground(false);
    list->setFixedHeight(list->widget()->sizeHint().height());
}

Property_Bridge_List envelope_bridges(Instrument::Layer& layer, int kind) {
    switch (kind) {
        case Instrument_Edit::VOLUME_ENVELOPE:
            return {&layer.volume_amount_prop, &layer.volume_fadeout_prop, &layer.volume_random_prop};
        case Instrument_Edit::PANNING_ENVELOPE:
            return {&layer.pan_use_default_prop, &layer.pan_default_prop, &layer.pitch_center_prop,
                    &layer.pitch_separation_prop, &layer.pan_random_prop};
        default:
            return {&layer.pitch_use_as_filter_prop, &layer.pitch_use_default_cutoff_prop,
                    &layer.pitch_default_cutoff_prop, &layer.pitch_use_default_Q_prop, &layer.pitch_default_Q_prop};
    }
}

Envelope* envelope_of(Instrument::Layer& layer, int kind) {
    switch (kind) {
        case Instrument_Edit::VOLUME_ENVELOPE: return &layer.volume_envelope;
        case Instrument_Edit::PANNING_ENVELOPE: return &layer.panning_envelope;
        default: return &layer.pitch_envelope;
    }
}

bool layer_names_a_sample(const Instrument::Layer& layer) {
    for (unsigned char s : layer.sample_table)
        if (s < Song::MAX_SAMPLES) return true;
    return false;
}

}  // namespace

Instrument_Edit::Instrument_Edit(Interface* interface, QWidget* parent)
    : QWidget(parent),
      interface(interface),
      tracker(interface->get_tracker()),
      operations(*tracker),
      instrument_recorder(&tracker->history) {
    setObjectName("instruments_page");
    build();
    connect(interface, &Interface::variables_lock_changed, this, &Instrument_Edit::sync_lock);
    connect(interface, &Interface::timer_tick, this, &Instrument_Edit::timer_callback);
    connect(interface, &Interface::song_replaced, this, [this] {
        set_selected_instrument(this->interface->get_selected_instrument());
        refresh();
    });
    connect(interface, &Interface::instruments_changed, this, &Instrument_Edit::refresh);
    connect(interface, &Interface::samples_changed, this, [this] {
        list_model->refresh();
        table_model->refresh();
    });
    set_selected_instrument(interface->get_selected_instrument());
}

// Building

void Instrument_Edit::build() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(build_list_column());
    splitter->addWidget(build_layer_area());
    // The list keeps its natural width; the layer's editors take the rest.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({1, 1 << 20});
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(splitter);
}

QWidget* Instrument_Edit::build_list_column() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    list_model = new Instrument_List_Model(tracker, this);
    list_view = new QTreeView(column);
    list_view->setModel(list_model);
    list_view->setRootIsDecorated(false);
    list_view->setUniformRowHeights(true);
    list_view->setAllColumnsShowFocus(true);
    list_view->setSelectionMode(QAbstractItemView::SingleSelection);
    // Not on a click of the selected row: the keys typed next would rename it instead of playing it.
    list_view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    list_view->installEventFilter(this);
    list_view->setItemDelegateForColumn(Instrument_List_Model::NAME_COLUMN,
                                        new Text_Limit_Delegate(list_model->get_name_limit(), list_view));
    list_view->header()->setStretchLastSection(true);
    list_view->header()->setSectionResizeMode(Instrument_List_Model::NUMBER_COLUMN, QHeaderView::ResizeToContents);
    list_view->setToolTip(tr("Double-click a name to rename the instrument; letter and digit keys play it."));
    auto apply_look = [this] {
        QFont font = Interface_Preferences::get_singleton_instance().get_orderlist_font();
        list_view->setFont(font);
        // Room for the number and most of a name.
        list_view->setMinimumWidth(QFontMetrics(font).horizontalAdvance(QString(22, 'x')));
        const Color_Theme& theme = Color_Theme::get_singleton_instance();
        QPalette palette = list_view->palette();
        palette.setColor(QPalette::Base, theme.get("lists", "background"));
        palette.setColor(QPalette::Text, theme.get("lists", "foreground"));
        palette.setColor(QPalette::Highlight, theme.get("lists", "cursor"));
        list_view->setPalette(palette);
    };
    apply_look();
    connect(&Interface_Preferences::get_singleton_instance(), &Interface_Preferences::changed, this, apply_look);
    connect(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed, this, apply_look);
    // The selection, not the current row: a screen reader selects without moving the cursor.
    connect(list_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        QModelIndexList rows = list_view->selectionModel()->selectedRows();
        if (!updating && !rows.isEmpty()) set_selected_instrument(rows.first().row());
    });

    auto* caption = new QLabel(tr("Instruments:"), column);
    caption->setBuddy(list_view);
    layout->addWidget(caption);
    layout->addWidget(list_view, 1);

    auto* buttons = new QGridLayout;
    auto add = [this, column, buttons](const QString& text, int row, int col, int span, auto action) {
        auto* button = new QPushButton(text, column);
        button->setFocusPolicy(Qt::TabFocus);  // a click leaves the keys with the list
        connect(button, &QPushButton::clicked, this, action);
        buttons->addWidget(button, row, col, 1, span);
    };
    add(tr("Load..."), 0, 0, 1, [this] { load_instrument(); });
    add(tr("Save..."), 0, 1, 1, [this] { save_instrument(); });
    add(tr("Copy"), 1, 0, 1, [this] { copy_instrument(); });
    add(tr("Cut"), 1, 1, 1, [this] { cut_instrument(); });
    add(tr("Paste"), 2, 0, 1, [this] { paste_instrument(); });
    add(tr("Delete"), 2, 1, 1, [this] { this->interface->instrument_delete(); });
    add(tr("Delete with Samples"), 3, 0, 2, [this] { this->interface->instrument_delete_with_samples(); });
    layout->addLayout(buttons);
    return column;
}

QWidget* Instrument_Edit::build_table_column() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    table_model = new Note_Sample_Table_Model(&tracker->song, &tracker->player, this);
    table = new Note_Sample_Table(table_model, &tracker->editor, column);
    table->setToolTip(tr("Note keys enter the note a row plays, two digits its sample; "
                         "Delete puts a row back. Double-click to choose with the mouse."));
    auto* caption = new QLabel(tr("Note/Sample Table:"), column);
    caption->setBuddy(table);
    layout->addWidget(caption);
    layout->addWidget(table, 1);

    auto* fill_row = new QHBoxLayout;
    fill_spin = new QSpinBox(column);
    fill_spin->setRange(0, Song::MAX_SAMPLES);
    fill_spin->setSpecialValueText(tr("None"));
    auto* fill_label = new QLabel(tr("Sample:"), column);
    fill_label->setBuddy(fill_spin);
    fill_row->addWidget(fill_label);
    fill_row->addWidget(fill_spin, 1);
    layout->addLayout(fill_row);
    auto* fill_button = new QPushButton(tr("Set All Notes"), column);
    fill_button->setToolTip(tr("Every note of this layer plays the chosen sample"));
    connect(fill_button, &QPushButton::clicked, this, &Instrument_Edit::fill_samples);
    layout->addWidget(fill_button);
    auto* reset_button = new QPushButton(tr("Reset Notes"), column);
    reset_button->setToolTip(tr("Every note of this layer plays itself again"));
    connect(reset_button, &QPushButton::clicked, this, [this] { table_model->reset_notes(); });
    layout->addWidget(reset_button);
    // The fill offers the sample of the row the cursor is on.
    connect(table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    fill_spin->setValue(
                        table_model->index(current.row(), Note_Sample_Table_Model::SAMPLE_COLUMN).data(Qt::EditRole).toInt());
            });
    return column;
}

QWidget* Instrument_Edit::build_layer_area() {
    auto* area = new QWidget;
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* layer_row = new QHBoxLayout;
    auto* layer_label = new QLabel(tr("Current Layer:"), area);
    layer_row->addWidget(layer_label);
    layer_group = new QButtonGroup(this);
    for (int l = 0; l < Instrument::LAYERS; l++) {
        auto* button = new QRadioButton(QString::number(l + 1), area);
        button->setAccessibleName(tr("Layer %1").arg(l + 1));
        layer_group->addButton(button, l);
        layer_row->addWidget(button);
        if (l == 0) layer_label->setBuddy(button);
    }
    layer_row->addStretch(1);
    layout->addLayout(layer_row);
    connect(layer_group, &QButtonGroup::idClicked, this, &Instrument_Edit::layer_selected);

    tabs = new QTabWidget(area);
    tabs->addTab(scroll_page(build_layer_tab()), tr("General"));
    for (int kind = 0; kind < ENVELOPE_KINDS; kind++)
        tabs->addTab(scroll_page(build_envelope_tab((Envelope_Kind)kind, envelope_properties[kind])),
                     tr(ENVELOPE_TITLES[kind]));
    layout->addWidget(tabs, 1);
    return area;
}

QWidget* Instrument_Edit::build_envelope_tab(Envelope_Kind kind, Property_List_Editor*& properties) {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    Envelope_Editor* editor = envelope_editors[kind] = new Envelope_Editor(tab);
    editor->get_point_editor()->setAccessibleName(tr(ENVELOPE_NAMES[kind]));
    layout->addWidget(editor, 1);
    properties = new Property_List_Editor(tab);
    layout->addWidget(properties);
    return tab;
}

QGroupBox* Instrument_Edit::build_option_group(const QString& title, const char* const* names, int count,
                                               QButtonGroup*& group, void (Instrument_Edit::*selected)(int)) {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    group = new QButtonGroup(this);
    for (int i = 0; i < count; i++) {
        auto* button = new QRadioButton(tr(names[i]), box);
        group->addButton(button, i);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    connect(group, &QButtonGroup::idClicked, this, selected);
    return box;
}

// What a layer plays and what a new note does to the last one: the note/sample table beside
// the option groups and the outputs.
QWidget* Instrument_Edit::build_layer_tab() {
    auto* tab = new QWidget;
    auto* columns = new QHBoxLayout(tab);
    columns->addWidget(build_table_column());
    // Two columns of groups, so that the tab fits beside the table in a small window.
    auto* grid = new QGridLayout;
    columns->addLayout(grid, 1);
    grid->addWidget(build_option_group(tr("New Note Action:"), Instrument::Layer::nna_type_names, 4, nna_group,
                                       &Instrument_Edit::nna_selected),
                    0, 0);
    grid->addWidget(build_option_group(tr("Dup. Check Type"), Instrument::Layer::dc_type_names, 4, dc_type_group,
                                       &Instrument_Edit::dct_selected),
                    0, 1);
    grid->addWidget(build_option_group(tr("Dup. Check Action:"), Instrument::Layer::dc_action_names, 3,
                                       dc_action_group, &Instrument_Edit::dct_action_selected),
                    1, 0);
    auto* instrument_box = new QGroupBox(tr("Instrument Output"), tab);
    auto* instrument_layout = new QVBoxLayout(instrument_box);
    instrument_properties = new Property_List_Editor(instrument_box);
    instrument_layout->addWidget(instrument_properties);
    instrument_layout->addStretch(1);
    grid->addWidget(instrument_box, 1, 1);
    auto* layer_box = new QGroupBox(tr("Layer Output"), tab);
    auto* layer_layout = new QVBoxLayout(layer_box);
    output_properties = new Property_List_Editor(layer_box);
    layer_layout->addWidget(output_properties);
    grid->addWidget(layer_box, 2, 0, 1, 2);
    grid->setRowStretch(3, 1);
    return tab;
}

// Binding

Instrument* Instrument_Edit::instrument() const {
    return tracker->song.get_instrument(selected_instrument);
}

Instrument::Layer* Instrument_Edit::layer() const {
    Instrument* current = instrument();
    return current ? &current->layers[selected_layer] : nullptr;
}

void Instrument_Edit::set_selected_instrument(int index) {
    if (!tracker->song.get_instrument(index)) return;
    selected_instrument = index;
    interface->set_selected_instrument(index);
    updating = true;
    QModelIndex row = list_model->index(index, Instrument_List_Model::NUMBER_COLUMN);
    if (list_view->currentIndex().row() != index)
        list_view->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_view->scrollTo(row);
    updating = false;
    update_selected_instrument();
}

void Instrument_Edit::update_selected_instrument() {
    Instrument* current = instrument();
    Instrument::Layer* shown = layer();
    int slot = selected_instrument;
    instrument_recorder.set_target(QString("Instrument %1").arg(slot + 1, 2, 10, QChar('0')).toStdString(), slot,
                                   [slot](Song_History::Step& step) { step.watch_instrument(slot); });
    updating = true;
    table_model->set_layer(shown);
    for (int kind = 0; kind < ENVELOPE_KINDS; kind++) {
        envelope_editors[kind]->set_envelope(envelope_of(*shown, kind));
        bind_properties(envelope_properties[kind], envelope_bridges(*shown, kind));
        positions[kind].clear();
    }
    bind_properties(output_properties, {&shown->override_instrument_output_prop, &shown->channel_output_prop});
    bind_properties(instrument_properties, {&current->channel_output_prop});
    nna_group->button(std::clamp(shown->nna_type, 0, 3))->setChecked(true);
    dc_type_group->button(std::clamp(shown->dc_type, 0, 3))->setChecked(true);
    dc_action_group->button(std::clamp(shown->dc_action, 0, 2))->setChecked(true);
    show_layer_buttons();
    QModelIndex cursor = table->currentIndex();
    if (cursor.isValid())
        fill_spin->setValue(
            table_model->index(cursor.row(), Note_Sample_Table_Model::SAMPLE_COLUMN).data(Qt::EditRole).toInt());
    updating = false;
    sync_lock();
}

void Instrument_Edit::show_layer_buttons() {
    Instrument* current = instrument();
    for (int l = 0; l < Instrument::LAYERS; l++) {
        QAbstractButton* button = layer_group->button(l);
        // Layers that play something stand out from the empty ones.
        QFont font = button->font();
        font.setBold(layer_names_a_sample(current->layers[l]));
        button->setFont(font);
        button->setChecked(l == selected_layer);
    }
}

void Instrument_Edit::refresh() {
    list_model->refresh();
    update_selected_instrument();
}

// Return renames the selected instrument (F2, the usual key, is the song window's).
bool Instrument_Edit::eventFilter(QObject* watched, QEvent* event) {
    // Only while the list itself has the keys: the Return that ends a rename comes back up
    // from the name's field.
    if (watched == list_view && event->type() == QEvent::KeyPress && QApplication::focusWidget() == list_view) {
        int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            list_view->edit(list_model->index(selected_instrument, Instrument_List_Model::NAME_COLUMN));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Instrument_Edit::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (interface->get_selected_instrument() != selected_instrument)
        set_selected_instrument(interface->get_selected_instrument());
    else
        refresh();
}

// The editors keep the lock they were given; the song window gets its lock after the pages
// are built.
void Instrument_Edit::sync_lock() {
    instrument_recorder.set_lock(interface->get_variables_lock());
    if (editors_bound) return;
    editors_bound = true;
    for (int kind = 0; kind < ENVELOPE_KINDS; kind++) {
        envelope_editors[kind]->set_lock(&instrument_recorder);
        envelope_properties[kind]->set_lock(&instrument_recorder);
    }
    output_properties->set_lock(&instrument_recorder);
    instrument_properties->set_lock(&instrument_recorder);
    table_model->set_lock(&instrument_recorder);
}

template <class Change> void Instrument_Edit::locked(Change change) {
    Mutex_Lock_Guard guard(&instrument_recorder);
    change();
}

void Instrument_Edit::layer_selected(int index) {
    if (index < 0 || index >= Instrument::LAYERS) return;
    selected_layer = index;
    update_selected_instrument();
}

void Instrument_Edit::nna_selected(int action) {
    if (updating || action < 0 || action > 3) return;
    locked([this, action] { layer()->nna_type = action; });
}

void Instrument_Edit::dct_selected(int type) {
    if (updating || type < 0 || type > 3) return;
    locked([this, type] { layer()->dc_type = type; });
}

void Instrument_Edit::dct_action_selected(int action) {
    if (updating || action < 0 || action > 2) return;
    locked([this, action] { layer()->dc_action = action; });
}

void Instrument_Edit::fill_samples() {
    int number = fill_spin->value();
    table_model->fill_samples(number == 0 ? Note_Sample_Table_Model::NO_SAMPLE : number - 1);
    show_layer_buttons();
    list_model->refresh();
}

// Timer: the playing positions of the voices that play the shown layer.

void Instrument_Edit::timer_callback() {
    sync_lock();
    if (!isVisible()) return;
    if (interface->get_selected_instrument() != selected_instrument)
        set_selected_instrument(interface->get_selected_instrument());
    const Instrument::Layer* shown = layer();
    for (std::vector<int>& list : positions) list.clear();
    for (const Player_Data::VoiceStatusInfo& voice : interface->get_voice_status()) {
        if (voice.layer != shown) continue;
        positions[VOLUME_ENVELOPE].push_back(voice.volume_envelope_pos);
        positions[PANNING_ENVELOPE].push_back(voice.pan_envelope_pos);
        positions[PITCH_ENVELOPE].push_back(voice.pitch_envelope_pos);
    }
    for (int kind = 0; kind < ENVELOPE_KINDS; kind++)
        envelope_editors[kind]->get_point_editor()->update_position_list(positions[kind]);
    for (Property_List_Editor* list : envelope_properties) list->refresh();
}

// Slot operations

void Instrument_Edit::instruments_changed() {
    emit interface->instruments_changed();
}

void Instrument_Edit::samples_changed() {
    emit interface->samples_changed();
}

void Instrument_Edit::copy_instrument() {
    operations.copy_instrument(selected_instrument);
}

void Instrument_Edit::cut_instrument() {
    if (operations.cut_instrument(selected_instrument)) instruments_changed();
}

void Instrument_Edit::paste_instrument() {
    if (operations.paste_instrument(selected_instrument)) instruments_changed();
}

void Instrument_Edit::delete_instrument() {
    if (operations.delete_instrument(selected_instrument)) instruments_changed();
}

void Instrument_Edit::delete_instrument_with_samples() {
    if (!operations.delete_instrument_with_samples(selected_instrument)) return;
    samples_changed();
    instruments_changed();
}

void Instrument_Edit::load_instrument() {
    QString file = File_Dialog::get_open_file_name(this, tr("Load Instrument"),
                                                   QString(LOAD_FILTER) + ";;" + tr("All Files (*)"),
                                                   File_History::INSTRUMENTS);
    if (file.size() <= 3) return;
    Loader::Error result = operations.load_instrument(file.toLocal8Bit().toStdString(), selected_instrument);
    if (result != Loader::SUCCESS) {
        int index = result >= 0 && result < 6 ? result : Loader::FILE_ERROR;
        Message_Boxes::tell(this, QMessageBox::Critical, tr("Error Loading Instrument"),
                            tr("%1\n%2").arg(QFileInfo(file).fileName(), Loader::error_string[index]), tr("Ok"));
        return;
    }
    // The instrument's samples went into free sample slots.
    samples_changed();
    instruments_changed();
}

void Instrument_Edit::save_instrument() {
    if (!operations.is_used(selected_instrument)) return;
    QString file = File_Dialog::get_save_file_name(this, tr("Save Instrument"), {SAVE_FILTER}, File_History::INSTRUMENTS);
    if (file.isEmpty()) return;
    if (QFileInfo::exists(file) &&
        !Message_Boxes::ask(this, QMessageBox::Question, "Question:", "File exists! Overwrite?"))
        return;
    std::string path = file.toLocal8Bit().toStdString();
    File_Format_Manager& formats = tracker->file_format_manager;
    if (!Message_Boxes::confirm_losses(this, file, "the instrument",
                                       formats.get_instrument_save_losses(path.c_str(), selected_instrument)))
        return;
    if (operations.save_instrument(path, selected_instrument) != 0)
        Message_Boxes::save_failed(this, "Error saving instrument!", file, formats.get_save_error());
}
