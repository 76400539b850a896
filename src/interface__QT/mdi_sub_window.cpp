#include "interface__QT/mdi_sub_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QStatusBar>

#include <cstdio>
#include <cstring>

#include "common/components/audio/sound_driver_manager.h"
#include "interface__QT/interface.h"
#include "interface__QT/message_boxes.h"

MDI_Sub_Window::MDI_Sub_Window(QWidget* parent) : QMainWindow(parent), interface(new Interface(this)) {
    setObjectName("song_window");
    setWindowTitle("New Song");
    setCentralWidget(interface);
    statusBar()->setObjectName("song_status");
    connect(interface, &Interface::song_name_changed, this, &MDI_Sub_Window::update_caption);
    connect(interface, &Interface::modified_changed, this, &MDI_Sub_Window::update_caption);
    // The status line changes with every row played; the hint stays beside it.
    hint = new QLabel(this);
    hint->setObjectName("song_hint");
    hint->setVisible(false);
    statusBar()->addPermanentWidget(hint);
    hint_timer.setSingleShot(true);
    connect(&hint_timer, &QTimer::timeout, this, [this] { show_hint(QString()); });
    connect(interface, &Interface::status_hint, this, &MDI_Sub_Window::show_hint);
    update_display_box();
}

void MDI_Sub_Window::show_hint(const QString& text) {
    hint->setText(text);
    hint->setVisible(!text.isEmpty());
    if (text.isEmpty())
        hint_timer.stop();
    else
        hint_timer.start(HINT_MS);
}

QString MDI_Sub_Window::get_hint_text() const { return hint->text(); }

MDI_Sub_Window::~MDI_Sub_Window() {
    // The audio thread must let go of the mixer before the tracker instance dies.
    if (sound_driver_manager) sound_driver_manager->remove_mixer(&interface->get_tracker()->mixer);
}

void MDI_Sub_Window::set_sound_driver_manager(Sound_Driver_Manager* manager) {
    if (sound_driver_manager == manager) return;
    Tracker_Instance* tracker = interface->get_tracker();
    if (sound_driver_manager) sound_driver_manager->remove_mixer(&tracker->mixer);
    sound_driver_manager = manager;
    interface->set_locks(manager ? manager->get_variables_lock() : nullptr, info_lock);
    if (manager) manager->add_mixer(&tracker->mixer);
}

void MDI_Sub_Window::set_info_lock(Mutex_Lock* lock) {
    info_lock = lock;
    interface->set_locks(sound_driver_manager ? sound_driver_manager->get_variables_lock() : nullptr, info_lock);
}

Loader::Error MDI_Sub_Window::open_song(const QString& path) {
    Loader::Error result = interface->open_song(path);
    update_caption();
    return result;
}

QString MDI_Sub_Window::get_caption() const {
    return interface->get_song_name() + (interface->is_modified() ? " *" : "");
}

void MDI_Sub_Window::update_caption() {
    QString caption = get_caption();
    if (windowTitle() != caption) setWindowTitle(caption);
}

void MDI_Sub_Window::format_status(char* buffer, int play_mode, int order, int used_orders, int pattern, int row,
                                   int pattern_length, int voices, int buffers) {
    if (play_mode == Player_Data::PLAY_SONG)
        std::snprintf(buffer, STATUS_TEXT_SIZE,
                      "Status: Playing, Order: %i/%i, Pattern %i, Row %i/%i, %i Voices, %i Buffers.", order,
                      used_orders, pattern, row, pattern_length, voices, buffers);
    else if (play_mode == Player_Data::PLAY_PATTERN)
        std::snprintf(buffer, STATUS_TEXT_SIZE, "Status: Playing, Pattern %i, Row %i/%i, %i Voices, %i Buffers.",
                      pattern, row, pattern_length, voices, buffers);
    else if (voices > 0)
        std::snprintf(buffer, STATUS_TEXT_SIZE, "Status: Active, %i Voices, %i Buffers.", voices, buffers);
    else if (buffers > 0)
        std::snprintf(buffer, STATUS_TEXT_SIZE, "Status: Idle, %i Buffers.", buffers);
    else
        std::snprintf(buffer, STATUS_TEXT_SIZE, "Status: Idle.");
}

void MDI_Sub_Window::update_display_box() {
    Tracker_Instance* tracker = interface->get_tracker();
    Player_Data::Play_Status status;
    tracker->player.get_play_status(status);
    const Pattern* pattern = tracker->song.get_pattern(status.pattern);
    static char text[STATUS_TEXT_SIZE];
    format_status(text, status.play_mode, status.order, tracker->song.get_used_orders_amount(), status.pattern,
                  status.row, pattern ? pattern->get_length() : 0, status.voices, status.buffers);
    if (std::strcmp(text, status_text) == 0) return;
    std::memcpy(status_text, text, sizeof status_text);
    statusBar()->showMessage(QString::fromLatin1(status_text));
}

// Only a song with changes asks; saving is the default answer, so one Enter loses nothing.
void MDI_Sub_Window::closeEvent(QCloseEvent* event) {
    if (!interface->is_modified()) {
        interface->get_autosave().discard();
        event->accept();
        return;
    }
    enum { SAVE, DISCARD, CANCEL };
    QString text = QString("Really close \"%1\"?\nIt has unsaved changes.").arg(interface->get_song_name());
    int answer = Message_Boxes::choose(this, QMessageBox::Warning, "Closing..", text, {"Save", "Discard", "Cancel"},
                                       SAVE, CANCEL);
    // A failed or cancelled save keeps the window, and the song, open.
    if (answer == DISCARD || (answer == SAVE && interface->save_song() == 0)) {
        // The musician chose: nothing is left to recover.
        interface->get_autosave().discard();
        event->accept();
    } else {
        event->ignore();
    }
}
