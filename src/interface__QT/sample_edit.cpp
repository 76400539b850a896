// The core headers come first: sigc++ (in the player) cannot be parsed after Qt's "emit" macro.
#include "common/components/audio/mutex_lock.h"
#include "tracker/tracker_instance.h"

#include "interface__QT/sample_edit.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/property_list_editor.h"
#include "common/interface__QT/scroll_page.h"
#include "common/interface__QT/sample_viewer.h"
#include "common/interface__QT/sample_viewer_zoom.h"
#include "interface__QT/file_dialog.h"
#include "interface__QT/interface.h"
#include "interface__QT/message_boxes.h"
#include "interface__QT/sample_edit_clipboard.h"
#include "interface__QT/sample_edit_effects.h"
#include "interface__QT/sample_editor_format.h"
#include "interface__QT/sample_list.h"
#include "interface__QT/sample_list_model.h"
#include "interface__QT/sample_player_fdialog.h"

Sample Sample_Edit::sample_clipboard;

const std::vector<Sample_Edit::List_Action>& Sample_Edit::list_actions() {
    static const std::vector<List_Action> actions = {
        {"Copy Sample", QKeySequence::Copy, &Sample_Edit::copy_sample},
        {"Cut Sample", QKeySequence::Cut, &Sample_Edit::cut_sample},
        {"Paste Sample", QKeySequence::Paste, &Sample_Edit::paste_sample},
        {"Delete Sample", QKeySequence(), &Sample_Edit::delete_sample},
        {"Load Sample...", QKeySequence(), &Sample_Edit::load_sample},
        {"Save Sample...", QKeySequence(), &Sample_Edit::save_sample},
    };
    return actions;
}

Sample_Edit::Sample_Edit(Interface* interface, QWidget* parent)
    : QWidget(parent),
      interface(interface),
      players(&interface->get_tracker()->player, &interface->get_tracker()->keyboard),
      operations(&interface->get_tracker()->song, &interface->get_tracker()->file_format_manager, &players),
      settings_recorder(&interface->get_tracker()->history),
      playing(Song::MAX_SAMPLES) {
    setObjectName("samples_page");
    editor.link_to_players(&players);
    editor.link_to_history(&interface->get_tracker()->history);
    operations.set_history(&interface->get_tracker()->history);
    build();
    connect(interface, &Interface::song_replaced, this, &Sample_Edit::song_replaced);
    connect(interface, &Interface::variables_lock_changed, this, [this] { apply_lock(); });
    connect(interface, &Interface::samples_changed, this, &Sample_Edit::update_samples);
    connect(interface, &Interface::timer_tick, this, &Sample_Edit::timer_callback);
    song_replaced();
}

// The interface's tracker instance may already be gone: the interface stops the previews.
Sample_Edit::~Sample_Edit() = default;

void Sample_Edit::build() {
    list = new Sample_List(this);
    auto* list_caption = new QLabel("Samples:", this);
    list_caption->setBuddy(list);
    load_button = new QPushButton("Load...", this);
    save_button = new QPushButton("Save...", this);
    load_button->setToolTip("Loads a sample file into the selected slot");
    save_button->setToolTip("Saves the selected sample to a file");
    auto* file_buttons = new QHBoxLayout;
    file_buttons->addWidget(load_button);
    file_buttons->addWidget(save_button);
    auto* left = new QVBoxLayout;
    left->addWidget(list_caption);
    left->addWidget(list, 1);
    left->addLayout(file_buttons);

    // The slot operations also from the list's context menu, with the usual keys.
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const List_Action& item : list_actions()) {
        auto* action = new QAction(item.text, list);
        action->setShortcut(item.key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, item.slot);
        list->addAction(action);
    }

    // The panels share tabs above the waveform, so that the page reads well in a small song
    // window; the splitter gives the waveform what the panels do not need.
    auto* panels = new QTabWidget(this);
    panels->setObjectName("sample_panels");
    panels->setDocumentMode(true);
    format = new Sample_Editor_Format;
    panels->addTab(scroll_page(format), "Format && Loop");
    defaults = new Property_List_Editor;
    panels->addTab(scroll_page(defaults), "Defaults");
    auto* editing = new QWidget(panels);
    effects = new Sample_Edit_Effects(editing);
    clipboard = new Sample_Edit_Clipboard(editing);
    auto* editing_layout = new QHBoxLayout(editing);
    editing_layout->setContentsMargins(0, 0, 0, 0);
    editing_layout->addWidget(effects, 1);
    editing_layout->addWidget(clipboard, 0);
    panels->addTab(scroll_page(editing), "Edit");

    auto* waveform = new QWidget(this);
    viewer = new Sample_Viewer(waveform);
    zoom_bar = new Sample_Viewer_Zoom(waveform);
    auto* waveform_layout = new QVBoxLayout(waveform);
    waveform_layout->setContentsMargins(0, 0, 0, 0);
    waveform_layout->addWidget(viewer, 1);
    waveform_layout->addWidget(zoom_bar);
    zoom_bar->set_sample_viewer(viewer);
    format->set_sample_viewer(viewer);
    effects->set_sample_editor(&editor);
    clipboard->set_sample_editor(&editor);

    right = new QSplitter(Qt::Vertical, this);
    right->setChildrenCollapsible(false);
    right->addWidget(panels);
    right->addWidget(waveform);
    right->setStretchFactor(0, 0);
    right->setStretchFactor(1, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 0);
    layout->addWidget(right, 1);
    setFocusProxy(list);

    connect(list, &Sample_List::current_slot_changed, this, &Sample_Edit::slot_chosen);
    connect(list, &Sample_List::files_dropped, this, &Sample_Edit::load_files);
    connect(list->get_model(), &Sample_List_Model::sample_renamed, this, [this] { defaults->refresh(); });
    connect(defaults, &Property_List_Editor::property_edited, this,
            [this] { list->get_model()->refresh_slot(get_selected_sample()); });
    connect(load_button, &QPushButton::clicked, this, &Sample_Edit::load_sample);
    connect(save_button, &QPushButton::clicked, this, &Sample_Edit::save_sample);
    connect(effects, &Sample_Edit_Effects::effect_applied, this, &Sample_Edit::frames_changed);
    connect(clipboard, &Sample_Edit_Clipboard::frames_changed, this, &Sample_Edit::frames_changed);
    connect(viewer, &Sample_Viewer::selection_changed, clipboard, &Sample_Edit_Clipboard::update_enabled);
    connect(format, &Sample_Editor_Format::sample_base_freq_changed, this,
            [this] { list->get_model()->refresh_slot(get_selected_sample()); });
}

Sample* Sample_Edit::selected() const { return interface->get_tracker()->song.get_sample(get_selected_sample()); }

int Sample_Edit::get_selected_sample() const { return interface->get_selected_sample(); }

void Sample_Edit::apply_lock() {
    settings_recorder.set_lock(interface->get_variables_lock());
    format->set_lock(&settings_recorder);
    defaults->set_lock(&settings_recorder);
}

void Sample_Edit::showEvent(QShowEvent* event) {
    apply_lock();
    if (!shown_once) {
        // The panels as small as they can be; the waveform gets the rest.
        shown_once = true;
        QWidget* panels = right->widget(0);
        int total = right->height() - right->handleWidth();
        // What the panels' controls need; they scroll when the window leaves them less.
        int top = std::min(panels->sizeHint().height(), total / 2);
        right->setSizes({top, total - top});
    }
    if (list->get_current_slot() != get_selected_sample()) select_sample(get_selected_sample());
    QWidget::showEvent(event);
}

void Sample_Edit::song_replaced() {
    updating = true;
    list->get_model()->set_song(&interface->get_tracker()->song);
    list->get_model()->set_history(&interface->get_tracker()->history);
    updating = false;
    list->set_current_slot(get_selected_sample());
    update_selected_sample();
}

void Sample_Edit::select_sample(int slot) {
    if (slot < 0 || slot >= Song::MAX_SAMPLES) return;
    list->set_current_slot(slot);
    if (slot != get_selected_sample()) slot_chosen(slot);
}

void Sample_Edit::set_selected_sample(int slot) { select_sample(slot); }

void Sample_Edit::slot_chosen(int slot) {
    if (updating || slot < 0 || slot >= Song::MAX_SAMPLES) return;
    interface->set_selected_sample(slot);
    update_selected_sample();
    emit selected_sample_signal(slot);
}

void Sample_Edit::update_samples() {
    list->get_model()->refresh();
    update_selected_sample();
}

void Sample_Edit::update_selected_sample() {
    Sample* sample = selected();
    Sample_Data* data = sample ? &sample->data : nullptr;
    int slot = get_selected_sample();
    settings_recorder.set_target(QString("Sample %1 settings").arg(slot + 1, 2, 10, QChar('0')).toStdString(), slot,
                                 [slot](Song_History::Step& step) { step.watch_sample_settings(slot); });
    editor.set_sample(sample);
    viewer->set_sample_data(data);
    viewer->set_selection(editor.get_selection());
    zoom_bar->set_sample_data(data);
    apply_lock();
    format->set_sample_data(data);

    // Rebinding keeps the editors when the kinds match, which is every time but the first.
    Property_Bridge_List properties = sample ? sample->get_properties() : Property_Bridge_List();
    bool rebound = defaults->get_editor_count() == (int)properties.size();
    for (int i = 0; rebound && i < (int)properties.size(); i++)
        rebound = defaults->get_editor(i)->set_bridge(properties[i]);
    if (!rebound) defaults->set_properties(properties);

    effects->select_effect(effects->get_selected_effect());
    effects->update_enabled();
    clipboard->update_enabled();
    save_button->setEnabled(sample && sample->in_use);
}

void Sample_Edit::frames_changed() {
    viewer->sample_changed();
    format->update_format();
    format->update_loop();
    effects->update_enabled();
    clipboard->update_enabled();
    list->get_model()->refresh_slot(get_selected_sample());
}

void Sample_Edit::timer_callback() {
    // The selection may have been set from outside (the menus, another page).
    if (list->get_current_slot() != get_selected_sample()) select_sample(get_selected_sample());
    if (!isVisible()) return;
    Tracker_Instance* tracker = interface->get_tracker();
    const Sample* shown = selected();
    const Sample* first = tracker->song.sample;
    positions.clear();
    playing.assign(Song::MAX_SAMPLES, false);
    std::less<const Sample*> before;
    for (const Player_Data::VoiceStatusInfo& voice : interface->get_voice_status()) {
        if (!voice.sample || before(voice.sample, first) || !before(voice.sample, first + Song::MAX_SAMPLES)) continue;
        playing[voice.sample - first] = true;
        if (voice.sample == shown) positions.push_back(voice.position);
    }
    if (shown && tracker->keyboard.sample_get() == &shown->data) {
        // The preview voice moves on the audio thread, under this lock.
        Mutex_Lock_Guard guard(interface->get_variables_lock());
        positions.push_back(tracker->keyboard.sample_pos_get());
        playing[get_selected_sample()] = true;
    }
    viewer->set_position_list(positions);
    list->get_model()->set_playing(playing);
}

// Slot operations

void Sample_Edit::copy_sample() { operations.copy(get_selected_sample(), sample_clipboard); }

void Sample_Edit::cut_sample() {
    if (operations.cut(get_selected_sample(), sample_clipboard)) update_samples();
}

void Sample_Edit::paste_sample() {
    if (operations.paste(get_selected_sample(), sample_clipboard)) update_samples();
}

void Sample_Edit::delete_sample() {
    Sample* sample = selected();
    if (!sample || (!sample->in_use && sample->name.empty())) return;
    enum { YES, NO };
    QString text = QString("Delete sample %1?").arg(get_selected_sample() + 1, 2, 10, QChar('0'));
    if (Message_Boxes::choose(this, QMessageBox::Question, "Really?", text, {"Yes", "No"}, NO, NO) != YES) return;
    if (operations.remove(get_selected_sample())) update_samples();
}

void Sample_Edit::load_sample() {
    if (!selected()) return;
    Tracker_Instance* tracker = interface->get_tracker();
    Sample_Player_FDialog dialog(this);
    dialog.set_binds(&tracker->file_format_manager, &tracker->keyboard, &tracker->editor);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    QString file = dialog.selectedFiles().first();
    if (file.size() <= 3) return;
    load_files(get_selected_sample(), {file});
}

void Sample_Edit::load_files(int slot, const QStringList& paths) {
    QStringList failures;
    QStringList made;  // the instruments made for the samples, as the user counts them
    int target = slot;
    for (const QString& path : paths) {
        if (target >= Song::MAX_SAMPLES) {
            failures << QString("%1: no free slot after sample %2").arg(QFileInfo(path).fileName()).arg(Song::MAX_SAMPLES);
            continue;
        }
        int instrument = -1;
        Loader::Error result = operations.load(path.toLocal8Bit().constData(), target, &instrument);
        if (result == Loader::SUCCESS) {
            if (instrument >= 0) made << QString("%1").arg(instrument + 1, 2, 10, QChar('0'));
            target++;
            continue;
        }
        int index = result >= 0 && result < 6 ? result : Loader::FILE_ERROR;
        failures << QString("%1: %2").arg(QFileInfo(path).fileName(), Loader::error_string[index]);
    }
    update_samples();
    select_sample(slot);
    if (!made.isEmpty()) {
        emit interface->instruments_changed();
        emit interface->status_hint(made.size() == 1
                                        ? QString("Instrument %1 made: every note plays sample %1").arg(made.first())
                                        : QString("Instruments %1 made: each plays its sample").arg(made.join(", ")));
    }
    if (!failures.isEmpty())
        Message_Boxes::tell(this, QMessageBox::Critical, "Error Loading Sample", failures.join("\n"), "Ok :(");
}

void Sample_Edit::save_sample() {
    Sample* sample = selected();
    if (!sample || !sample->in_use) return;
    QString file =
        File_Dialog::get_save_file_name(this, "Save Sample", {"Sample Formats (*.ws *.WS *.is *.IS *.wav *.WAV)"},
                                        File_History::SAMPLES);
    if (file.isEmpty()) return;
    if (QFileInfo::exists(file) &&
        !Message_Boxes::ask(this, QMessageBox::Question, "Question:", "File exists! Overwrite?"))
        return;
    QByteArray path = file.toLocal8Bit();
    if (!Message_Boxes::confirm_losses(this, file, "the sample",
                                       operations.get_save_losses(path.constData(), get_selected_sample())))
        return;
    if (operations.save(path.constData(), get_selected_sample()) != 0)
        Message_Boxes::save_failed(this, "Error saving sample!", file, operations.get_save_error());
}

void Sample_Edit::destructive_operation_begin_cbk() { operations.guard_begin(selected()); }

void Sample_Edit::destructive_operation_end_cbk() { operations.guard_end(); }
