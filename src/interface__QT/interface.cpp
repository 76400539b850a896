#include "interface__QT/interface.h"

#include <QAbstractSpinBox>
#include <QTabBar>
#include <QApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextEdit>

#include "interface__QT/buffers_page.h"
#include "interface__QT/file_dialog.h"
#include "interface__QT/message_boxes.h"
#include "tracker/path_data.h"

int Interface::widget_timer_interval = 20;

const char* const Interface::page_titles[PAGE_COUNT] = {
    "Patterns", "Samples", "Instruments", "Order && Defaults", "Variables", "Buffers",
};

namespace {

const char* const PAGE_NAMES[Interface::PAGE_COUNT] = {
    "patterns_page", "samples_page", "instruments_page", "orders_page", "variables_page", "buffers_page",
};

// Typing into a text field must not play notes or change the octave.
bool is_text_entry(QObject* object) {
    return qobject_cast<QLineEdit*>(object) || qobject_cast<QAbstractSpinBox*>(object) ||
           qobject_cast<QTextEdit*>(object) || qobject_cast<QPlainTextEdit*>(object);
}

// The character of a live-note key: A-Z or 0-9 once upper-cased, else 0.
char live_note_character(const QKeyEvent* event) {
    QString text = event->text();
    if (text.size() != 1) return 0;
    QChar upper = text.at(0).toUpper();
    if ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9')) return text.at(0).toLatin1();
    return 0;
}

}  // namespace

Interface::Interface(QWidget* parent) : QTabWidget(parent) {
    setObjectName("interface");
    for (int page = 0; page < PAGE_COUNT; page++) {
        auto* widget = new QWidget;
        widget->setObjectName(PAGE_NAMES[page]);
        widget->setFocusPolicy(Qt::StrongFocus);
        addTab(widget, page_titles[page]);
        watch_keys_of(widget);
    }
    set_page_widget(PAGE_BUFFERS, new Buffers_Page(this));
    watch_keys_of(this);
    watch_keys_of(tabBar());
    // Keys reach the focused widget first: watch whichever widget of this window gets focus.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && isAncestorOf(now)) watch_keys_of(now);
    });
    connect(&timer, &QTimer::timeout, this, &Interface::timer_callback);
    timer_interval = widget_timer_interval;
    timer.start(timer_interval);
}

Interface::~Interface() {
    timer.stop();
    tracker.keyboard.instrument_stop_all();
    tracker.keyboard.sample_stop_all();
}

void Interface::set_locks(Mutex_Lock* variables_lock, Mutex_Lock* info_lock) {
    this->variables_lock = variables_lock;
    tracker.player.set_variables_lock(variables_lock);
    tracker.player.set_info_lock(info_lock);
    tracker.file_format_manager.set_song_lock(variables_lock);
    emit locks_changed();
}

void Interface::watch_keys_of(QWidget* widget) {
    widget->removeEventFilter(this);
    widget->installEventFilter(this);
}

void Interface::set_current_page(Page page) {
    if (page < 0 || page >= PAGE_COUNT) return;
    setCurrentIndex(page);
    if (QWidget* widget = currentWidget()) widget->setFocus();
}

QWidget* Interface::get_page(Page page) const {
    return page >= 0 && page < PAGE_COUNT ? widget(page) : nullptr;
}

void Interface::set_page_widget(Page page, QWidget* widget) {
    if (page < 0 || page >= PAGE_COUNT || !widget) return;
    bool current = currentIndex() == page;
    QWidget* old = this->widget(page);
    removeTab(page);
    insertTab(page, widget, page_titles[page]);
    watch_keys_of(widget);
    delete old;
    if (current) setCurrentIndex(page);
}

QString Interface::get_song_name() const {
    const std::string& name = tracker.song.variables.name;
    if (!name.empty()) return QString::fromStdString(name);
    if (!song_path.isEmpty()) return QFileInfo(song_path).fileName();
    return "New Song";
}

void Interface::set_selected_sample(int sample) {
    if (sample >= 0 && sample < Song::MAX_SAMPLES) selected_sample = sample;
}

void Interface::set_selected_instrument(int instrument) {
    if (instrument >= 0 && instrument < Song::MAX_INSTRUMENTS) selected_instrument = instrument;
}

template <class Change> void Interface::locked(Change change) {
    tracker.player.lock_player_variables();
    change();
    tracker.player.unlock_player_variables();
}

// Files

Loader::Error Interface::open_song(const QString& path) {
    song_path = path;
    stop_song();
    Loader::Error result = tracker.file_format_manager.load_module(path.toLocal8Bit().constData());
    // Whatever the loader left in the song, every page shows it from now on.
    selected_instrument = 0;
    selected_sample = 0;
    tracker.player.play_stop();
    emit song_replaced();
    if (result != Loader::SUCCESS) {
        int index = result >= 0 && result < 6 ? result : Loader::FILE_ERROR;
        Message_Boxes::tell(this, QMessageBox::Critical, "Error Loading Song", Loader::error_string[index], "Ok :(");
    }
    return result;
}

namespace {

// The song savers only write their own formats: saving a module read from another one
// asks for a new name instead of failing.
bool is_song_format_we_write(const QString& path) {
    QByteArray name = path.toLocal8Bit();
    return Saver::has_extension(name.constData(), ".wm", ".WM") || Saver::has_extension(name.constData(), ".it", ".IT");
}

}  // namespace

int Interface::save_song() {
    if (song_path.isEmpty() || !Path_Data::file_exists(song_path.toStdString()) || !is_song_format_we_write(song_path))
        return save_song_as();
    if (tracker.file_format_manager.save_module(song_path.toLocal8Bit().constData()) != 0) {
        Message_Boxes::tell(this, QMessageBox::Warning, "Oops!", "Error saving song!", "Ok");
        return -1;
    }
    return 0;
}

int Interface::save_song_as() {
    QString file = File_Dialog::get_save_file_name(
        this, "Save Song", {"Wendmoor (*.wm)", "Impulse Tracker 2.14 (*.it)", "Songs (*.wm *.it)"});
    if (file.isEmpty()) return -1;
    if (QFileInfo::exists(file) &&
        !Message_Boxes::ask(this, QMessageBox::Question, "Question:", "File exists! Overwrite?"))
        return -1;
    if (tracker.file_format_manager.save_module(file.toLocal8Bit().constData()) != 0) {
        Message_Boxes::tell(this, QMessageBox::Warning, "Oops!", "Error saving song!", "Ok");
        return -1;
    }
    song_path = file;
    return 0;
}

// Play control

void Interface::play_song() { tracker.player.play_start_song(); }

void Interface::stop_song() {
    tracker.player.play_stop();
    tracker.keyboard.instrument_stop_all();
    tracker.keyboard.sample_stop_all();
}

void Interface::play_pattern() { tracker.player.play_start_pattern(tracker.editor.get_current_pattern()); }

void Interface::play_from_mark() {
    tracker.player.play_start(tracker.editor.get_mark_pattern(), -1, tracker.editor.get_mark_row());
}

void Interface::play_from_order() { tracker.player.play_start_song_from_order(tracker.editor.get_orderlist_row()); }

void Interface::play_from_cursor() {
    const Editor& editor = tracker.editor;
    int order = tracker.song.find_pattern_in_orderlist(editor.get_current_pattern());
    if (order >= 0)
        tracker.player.play_start_song_from_order_and_row(order, editor.get_cursor_row());
    else
        tracker.player.play_start(editor.get_current_pattern(), -1, editor.get_cursor_row());
}

void Interface::play_next_order() { tracker.player.goto_next_order(); }

void Interface::play_previous_order() { tracker.player.goto_previous_order(); }

// The "Pattern" menu

void Interface::perform_pattern_action(int action) {
    if (action < 0 || action >= Editor::PATTERN_ACTION_COUNT) return;
    tracker.editor.perform_action((Editor::Pattern_Actions)action);
    emit patterns_changed();
}

void Interface::undo_last_action() {
    tracker.editor.undo_index(0);
    emit patterns_changed();
}

void Interface::volume_amplifier() {
    QInputDialog dialog(this);
    dialog.setWindowTitle("Volume Amplifier");
    dialog.setLabelText("Amplify Volume by:");
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(0, 200);
    dialog.setIntValue(100);
    if (auto* spin = dialog.findChild<QSpinBox*>()) spin->setSuffix("%");
    if (dialog.exec() != QDialog::Accepted) return;
    tracker.editor.selection_volume_scale(dialog.intValue());
    emit patterns_changed();
}

void Interface::clear_all_patterns() {
    if (!Message_Boxes::confirm(this, "This will erase all the patterns!.\nAre you sure?")) return;
    stop_song();
    locked([this] { tracker.song.clear_all_patterns(); });
    emit patterns_changed();
}

void Interface::clear_orderlist() {
    if (!Message_Boxes::confirm(this, "This will erase the Order List!.\nAre you sure?")) return;
    stop_song();
    locked([this] { tracker.song.clear_all_orders(); });
    emit orders_changed();
}

// The "Sample" menu

void Interface::sample_make_instrument() {
    if (!Message_Boxes::confirm(this, "This will create a new instrument ouf ot this sample.\nAre you sure?")) return;
    stop_song();
    locked([this] { tracker.song.make_instrument_out_of_sample(selected_sample); });
    emit instruments_changed();
}

void Interface::sample_clear_unused() {
    if (!Message_Boxes::confirm(this, "This will erase all the samples unused within the song.\nAre you sure?"))
        return;
    stop_song();
    locked([this] { tracker.song.clear_unused_samples(); });
    emit samples_changed();
}

void Interface::sample_clear_default_pannings() {
    if (!Message_Boxes::confirm(this, "This will erase ALL default pannings.\nAre you sure?")) return;
    locked([this] { tracker.song.clear_default_sample_pannings(); });
    emit samples_changed();
}

// The "Instrument" menu

void Interface::instrument_delete() {
    if (!Message_Boxes::confirm(this, "This will erase the instrument.\nAre you sure?")) return;
    Instrument* instrument = tracker.song.get_instrument(selected_instrument);
    if (!instrument) return;
    locked([instrument] { instrument->reset(); });
    emit instruments_changed();
}

void Interface::instrument_delete_with_samples() {
    if (!Message_Boxes::confirm(this, "This will erase the instrument.\nAre you sure?")) return;
    Instrument* instrument = tracker.song.get_instrument(selected_instrument);
    if (!instrument) return;
    // Voices reading a sample's data are let go before the data is freed.
    tracker.keyboard.sample_stop_all();
    for (const Instrument::Layer& layer : instrument->layers)
        for (unsigned char slot : layer.sample_table) {
            Sample* sample = tracker.song.get_sample(slot);
            if (!sample || !sample->in_use) continue;
            locked([this, sample] {
                tracker.player.erase_voices_using_sample(sample);
                sample->reset(true);
            });
        }
    locked([instrument] { instrument->reset(); });
    emit samples_changed();
    emit instruments_changed();
}

void Interface::instrument_recreate_all() {
    if (!Message_Boxes::confirm(
            this, "This will erase ALL the instruments and\ncreate them from their respective samples.\nAre you sure?"))
        return;
    stop_song();
    locked([this] { tracker.song.recreate_all_instruments(); });
    emit instruments_changed();
}

void Interface::instrument_clear_default_pannings() {
    if (!Message_Boxes::confirm(
            this, "This will clear the default pannings on all instruments and layers\nAre you sure?"))
        return;
    locked([this] { tracker.song.clear_default_instrument_pannings(); });
    emit instruments_changed();
}

// Timer and keys

void Interface::timer_callback() {
    if (timer_interval != widget_timer_interval && widget_timer_interval > 0) {
        timer_interval = widget_timer_interval;
        timer.start(timer_interval);
    }
    tracker.player.get_voice_status_info(voice_status);
    tracker.player.get_play_status(play_status);
    emit timer_tick();
}

bool Interface::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        if (key_pressed(static_cast<QKeyEvent*>(event))) return true;
    } else if (event->type() == QEvent::KeyRelease) {
        if (!is_text_entry(watched) && key_released(static_cast<QKeyEvent*>(event))) return true;
    }
    return QTabWidget::eventFilter(watched, event);
}

bool Interface::key_pressed(QKeyEvent* event) {
    // Ctrl, Alt and Meta chords belong to the pages (Ctrl+F7 marks in the pattern view).
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (event->key()) {
        case Qt::Key_F2: set_current_page(PAGE_PATTERNS); return true;
        case Qt::Key_F3: set_current_page(PAGE_SAMPLES); return true;
        case Qt::Key_F4: set_current_page(PAGE_INSTRUMENTS); return true;
        case Qt::Key_F11: set_current_page(PAGE_ORDERS); return true;
        case Qt::Key_F12: set_current_page(PAGE_VARIABLES); return true;
        case Qt::Key_F5: play_song(); return true;
        case Qt::Key_F6: play_pattern(); return true;
        case Qt::Key_F7: play_from_cursor(); return true;
        case Qt::Key_F8: stop_song(); return true;
        default: break;
    }
    if (is_text_entry(QApplication::focusWidget())) return false;
    if (event->key() == Qt::Key_Slash) {
        Editor::default_octave_lower();
        return true;
    }
    if (event->key() == Qt::Key_Asterisk) {
        Editor::default_octave_raise();
        return true;
    }
    Page page = get_current_page();
    if (page != PAGE_SAMPLES && page != PAGE_INSTRUMENTS) return false;
    char character = live_note_character(event);
    if (!character || event->isAutoRepeat()) return false;
    int note = tracker.editor.get_note_from_key(character);
    if (note < 0 || note >= NOTE_COUNT) return false;
    Player_Realtime_Keyboard& keyboard = tracker.keyboard;
    if (page == PAGE_SAMPLES) {
        keyboard.sample_stop_key(note);
        keyboard.sample_set(&tracker.song.get_sample(selected_sample)->data);
        keyboard.sample_press_key(note);
    } else {
        keyboard.instrument_set(selected_instrument);
        keyboard.instrument_press_key(note, LIVE_NOTE_VOLUME);
    }
    return true;
}

bool Interface::key_released(QKeyEvent* event) {
    if (get_current_page() != PAGE_INSTRUMENTS || event->isAutoRepeat()) return false;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    char character = live_note_character(event);
    if (!character) return false;
    int note = tracker.editor.get_note_from_key(character);
    if (note < 0 || note >= NOTE_COUNT) return false;
    tracker.keyboard.instrument_stop_key(note);
    return true;
}
