#include "interface__QT/interface.h"

#include <QAbstractSpinBox>
#include <QTabBar>
#include <QApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <vector>

#include "interface__QT/buffers_page.h"
#include "interface__QT/file_dialog.h"
#include "interface__QT/instrument_edit.h"
#include "interface__QT/message_boxes.h"
#include "interface__QT/order_and_defaults_editor.h"
#include "interface__QT/orderlist_edit.h"
#include "interface__QT/pattern_edit.h"
#include "interface__QT/pattern_edit_widget.h"
#include "interface__QT/sample_edit.h"
#include "interface__QT/variables_edit.h"
#include "tracker/file_history.h"
#include "tracker/path_data.h"

int Interface::widget_timer_interval = 20;
bool Interface::follow_song_default = true;

const char* const Interface::page_titles[PAGE_COUNT] = {
    "Patterns", "Samples", "Instruments", "Order && Defaults", "Variables", "Buffers",
};

namespace {

const char* const PAGE_NAMES[Interface::PAGE_COUNT] = {
    "patterns_page", "samples_page", "instruments_page", "orders_page", "variables_page", "buffers_page",
};

// Typing into a text field must not play notes or change the octave; nor into a view that
// takes typing keys itself (the note/sample table).
bool is_text_entry(QObject* object) {
    return qobject_cast<QLineEdit*>(object) || qobject_cast<QAbstractSpinBox*>(object) ||
           qobject_cast<QTextEdit*>(object) || qobject_cast<QPlainTextEdit*>(object) ||
           (object && object->property("takes_typing").toBool());
}

// The character of a live-note key: A-Z or 0-9 once upper-cased, else 0.
char live_note_character(const QKeyEvent* event) {
    QString text = event->text();
    if (text.size() != 1) return 0;
    QChar upper = text.at(0).toUpper();
    if ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9')) return text.at(0).toLatin1();
    return 0;
}

// One clock for all song windows, at Interface::widget_timer_interval: each tick refreshes
// every window, so open songs cost one wake-up per interval rather than one each.
class Song_Window_Clock {
public:
    static void add(Interface* window) {
        if (!timer) {
            timer = new QTimer;
            QObject::connect(timer, &QTimer::timeout, &tick);
        }
        windows().push_back(window);
        if (!timer->isActive()) timer->start(std::max(1, Interface::widget_timer_interval));
    }
    static void remove(Interface* window) {
        std::erase(windows(), window);
        if (windows().empty()) {
            delete timer;
            timer = nullptr;
        }
    }

private:
    static std::vector<Interface*>& windows() {
        static std::vector<Interface*> list;
        return list;
    }
    static void tick() {
        if (Interface::widget_timer_interval > 0 && timer->interval() != Interface::widget_timer_interval)
            timer->setInterval(Interface::widget_timer_interval);
        for (size_t i = 0; i < windows().size(); i++) windows()[i]->timer_callback();
    }
    static inline QTimer* timer = nullptr;
};

}  // namespace

Interface::Interface(QWidget* parent) : QTabWidget(parent) {
    setObjectName("interface");
    tracker.editor.set_follow_song(follow_song_default);
    for (int page = 0; page < PAGE_COUNT; page++) {
        auto* widget = new QWidget;
        widget->setObjectName(PAGE_NAMES[page]);
        widget->setFocusPolicy(Qt::StrongFocus);
        addTab(widget, page_titles[page]);
        watch_keys_of(widget);
    }
    variables_recorder.set_target("Variables", 1, [](Song_History::Step& step) { step.watch_variables(); });
    defaults_recorder.set_target("Channel defaults", 2, [](Song_History::Step& step) { step.watch_variables(); });
    place_pattern_page();
    place_order_page();
    place_variables_page();
    set_page_widget(PAGE_SAMPLES, sample_edit = new Sample_Edit(this));
    set_page_widget(PAGE_INSTRUMENTS, instrument_edit = new Instrument_Edit(this));
    set_page_widget(PAGE_BUFFERS, new Buffers_Page(this));
    watch_keys_of(this);
    watch_keys_of(tabBar());
    // Keys reach the focused widget first: watch whichever widget of this window gets focus.
    focus_watch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && isAncestorOf(now))
            watch_keys_of(now);
        else
            stop_live_notes();  // their keys will go up where we do not see them
    });
    Song_Window_Clock::add(this);
}

Interface::~Interface() {
    // The pages and the tracker go before QObject would cut the connection.
    disconnect(focus_watch);
    Song_Window_Clock::remove(this);
    tracker.keyboard.instrument_stop_all();
    tracker.keyboard.sample_stop_all();
    // The pages point into the tracker, which dies before QWidget would delete them.
    sample_edit = nullptr;
    instrument_edit = nullptr;
    while (count() > 0) {
        QWidget* page = widget(0);
        removeTab(0);
        delete page;
    }
}

void Interface::set_locks(Mutex_Lock* variables_lock, Mutex_Lock* info_lock) {
    this->variables_lock = variables_lock;
    variables_recorder.set_lock(variables_lock);
    defaults_recorder.set_lock(variables_lock);
    tracker.player.set_variables_lock(variables_lock);
    tracker.player.set_info_lock(info_lock);
    tracker.file_format_manager.set_song_lock(variables_lock);
    emit variables_lock_changed(variables_lock);
}

// The pages. Each rebinds after a load and takes the lock once the program gives it.

void Interface::place_pattern_page() {
    auto* page = new Pattern_Edit_Widget(&tracker, variables_lock);
    set_page_widget(PAGE_PATTERNS, page);
    connect(this, &Interface::variables_lock_changed, page, &Pattern_Edit_Widget::set_variables_lock);
    connect(this, &Interface::timer_tick, page, &Pattern_Edit_Widget::timer_callback);
    connect(this, &Interface::song_replaced, page, [this, page] { page->set_tracker(&tracker); });
    connect(this, &Interface::patterns_changed, page, &Pattern_Edit_Widget::refresh);
    connect(this, &Interface::orders_changed, page, &Pattern_Edit_Widget::refresh);
    connect(page->get_pattern_edit(), &Pattern_Edit::note_played_signal, this, &Interface::hint_if_silent);
}

void Interface::place_order_page() {
    auto* page = new Order_And_Defaults_Editor;
    page->set_song(&tracker.song);
    page->set_editor(&tracker.editor);
    set_page_widget(PAGE_ORDERS, page);
    connect(this, &Interface::variables_lock_changed, page, [this, page](Mutex_Lock* lock) {
        page->set_variables_lock(lock);
        page->get_defaults()->set_lock(&defaults_recorder);
    });
    page->get_defaults()->set_lock(&defaults_recorder);
    connect(this, &Interface::timer_tick, page, [this, page] {
        page->timer_callback();
        bool song_playing = play_status.play_mode == Player_Data::PLAY_SONG;
        page->get_orderlist()->set_current_playing_order(song_playing ? play_status.order : -1);
    });
    connect(this, &Interface::song_replaced, page, [this, page] { page->set_song(&tracker.song); });
    connect(this, &Interface::variables_changed, page, [this, page] { page->set_song(&tracker.song); });
    connect(this, &Interface::orders_changed, page->get_orderlist(), qOverload<>(&QWidget::update));
}

void Interface::place_variables_page() {
    auto* page = new Variables_Edit;
    page->set_song(&tracker.song);
    set_page_widget(PAGE_VARIABLES, page);
    connect(this, &Interface::variables_lock_changed, page,
            [this, page] { page->set_variables_lock(&variables_recorder); });
    page->set_variables_lock(&variables_recorder);
    connect(this, &Interface::song_replaced, page, [this, page] { page->set_song(&tracker.song); });
    connect(this, &Interface::variables_changed, page, [this, page] { page->set_song(&tracker.song); });
    connect(page, &Variables_Edit::song_name_changed, this, &Interface::song_name_changed);
    connect(page, &Variables_Edit::row_hilights_changed, this, &Interface::patterns_changed);
    connect(page, &Variables_Edit::update_instrument_list_needed, this, &Interface::instruments_changed);
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
    if (!loaded_from.isEmpty()) return QFileInfo(loaded_from).fileName();
    return "New Song";
}

QString Interface::silent_instrument_text(int instrument) {
    return QString("Instrument %1 has no sample: load one on the Samples page, F3")
        .arg(instrument + 1, 2, 10, QChar('0'));
}

bool Interface::hint_if_silent(int instrument) {
    if (instrument < 0 || instrument >= Song::MAX_INSTRUMENTS || tracker.song.instrument_plays_a_sample(instrument))
        return false;
    emit status_hint(silent_instrument_text(instrument));
    return true;
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
    stop_song();
    QByteArray file = path.toLocal8Bit();
    File_Format_Manager& formats = tracker.file_format_manager;
    Loader::Error result = formats.load_module(file.constData());
    if (result != Loader::SUCCESS) {
        // The song is as it was: the failed file becomes nothing Save could write to.
        int index = result >= 0 && result < 6 ? result : Loader::FILE_ERROR;
        QString text = Loader::error_string[index];
        std::string why = File_Reader::why_unreadable(file.constData());
        if (result == Loader::FILE_CANNOT_OPEN && !why.empty())
            text += "\n" + path + ": " + QString::fromLocal8Bit(why.c_str());
        Message_Boxes::tell(this, QMessageBox::Critical, "Error Loading Song", text, "Ok :(");
        return result;
    }
    selected_instrument = 0;
    selected_sample = 0;
    tracker.player.play_stop();
    const std::vector<std::string>& missing = formats.get_load_warnings();
    song_path = missing.empty() ? path : QString();
    loaded_from = missing.empty() ? QString() : path;
    song_file_stamp = missing.empty() ? File_Stamp::of(file.constData()) : File_Stamp();
    if (!missing.empty()) tracker.song.variables.filename.clear();
    tracker.history.clear();
    // Nothing on disk holds a partly loaded song whole.
    if (!missing.empty()) tracker.history.mark_modified();
    emit song_replaced();
    check_history();
    if (!missing.empty())
        Message_Boxes::tell(this, QMessageBox::Warning, "Incomplete Song",
                            QString("\"%1\" did not load completely:\n\n%2\nSaving asks for a new name, so the "
                                    "original file stays as it is.")
                                .arg(QFileInfo(path).fileName(), Message_Boxes::bullet_list(missing)),
                            "Ok");
    return result;
}

bool Interface::restore_autosave(const std::string& file, const Autosave_Folder::Record& record) {
    stop_song();
    Loader::Error result = tracker.file_format_manager.load_module(file.c_str());
    selected_instrument = 0;
    selected_sample = 0;
    tracker.player.play_stop();
    emit song_replaced();
    if (result != Loader::SUCCESS) {
        int index = result >= 0 && result < 6 ? result : Loader::FILE_ERROR;
        Message_Boxes::tell(this, QMessageBox::Critical, "Error Loading Song", Loader::error_string[index], "Ok :(");
        return false;
    }
    song_path = QString::fromStdString(record.original_path);
    tracker.song.variables.filename = record.original_path;
    song_file_stamp = record.original_stamp;
    // Nothing of it is saved where the musician keeps it yet.
    tracker.history.clear();
    tracker.history.mark_modified();
    check_history();
    emit song_name_changed();
    return true;
}

void Interface::set_autosave_place(Autosave_Folder* folder, Autosave_Worker* worker) {
    autosave.set_place(folder, worker);
}

Autosave_Folder::Record Interface::get_autosave_record() const {
    Autosave_Folder::Record record;
    record.original_path = song_path.toStdString();
    record.song_name = get_song_name().toStdString();
    record.time = (long long)std::time(nullptr);
    record.original_stamp = song_file_stamp;
    return record;
}

bool Interface::autosave_if_changed() {
    if (!autosave.is_on()) return false;
    return autosave.save_if_changed(tracker, variables_lock, get_autosave_record());
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
    // Another program's changes are not written over without asking (Enter keeps them).
    if (File_Stamp::of(song_path.toLocal8Bit().constData()) != song_file_stamp &&
        !Message_Boxes::ask(this, QMessageBox::Warning, "Changed on Disk",
                            QString("\"%1\" was changed on disk by another program since it was loaded or "
                                    "saved.\nOverwrite it?")
                                .arg(QFileInfo(song_path).fileName()),
                            "Save", "Cancel", false))
        return -1;
    return write_song(song_path);
}


int Interface::save_song_as() {
    QString file = File_Dialog::get_save_file_name(
        this, "Save Song", {"Wendmoor (*.wm)", "Impulse Tracker 2.14 (*.it)", "Songs (*.wm *.it)"});
    if (file.isEmpty()) return -1;
    if (QFileInfo::exists(file) &&
        !Message_Boxes::ask(this, QMessageBox::Question, "Question:", "File exists! Overwrite?"))
        return -1;
    return write_song(file);
}

int Interface::write_song(const QString& path) {
    QByteArray file = path.toLocal8Bit();
    File_Format_Manager& formats = tracker.file_format_manager;
    if (!Message_Boxes::confirm_losses(this, path, "the song", formats.get_save_losses(file.constData()))) return -1;
    if (formats.save_module(file.constData()) != 0) {
        Message_Boxes::save_failed(this, "Error saving song!", path, formats.get_save_error());
        return -1;
    }
    song_path = path;
    loaded_from.clear();
    song_file_stamp = File_Stamp::of(file.constData());
    tracker.history.mark_saved();
    // Saved where the musician chose: nothing is left to recover.
    autosave.discard();
    check_history();
    File_History::get_singleton_instance().add_recent_song(song_path.toLocal8Bit().toStdString());
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
    check_history();
}

void Interface::undo() {
    tracker.editor.undo();
    check_history();
}

void Interface::redo() {
    tracker.editor.redo();
    check_history();
}

void Interface::history_applied(int parts) {
    if (parts & Song_History::PART_PATTERNS) emit patterns_changed();
    if (parts & Song_History::PART_ORDERS) emit orders_changed();
    if (parts & Song_History::PART_VARIABLES) {
        emit variables_changed();
        emit song_name_changed();
        emit patterns_changed();  // row highlights
    }
    if (parts & Song_History::PART_SAMPLES) emit samples_changed();
    if (parts & Song_History::PART_INSTRUMENTS) emit instruments_changed();
}

void Interface::check_history() {
    if (int parts = tracker.history.take_applied_parts()) history_applied(parts);
    bool modified = tracker.history.is_modified();
    if (modified == shown_modified) return;
    shown_modified = modified;
    emit modified_changed(modified);
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
    Song_History::Step step(&tracker.history, "Clear ALL Patterns");
    step.watch_patterns(0, Song::MAX_PATTERNS - 1);
    locked([this] { tracker.song.clear_all_patterns(); });
    emit patterns_changed();
}

void Interface::clear_orderlist() {
    if (!Message_Boxes::confirm(this, "This will erase the Order List!.\nAre you sure?")) return;
    stop_song();
    Song_History::Step step(&tracker.history, "Clear Orderlist");
    step.watch_orders();
    locked([this] { tracker.song.clear_all_orders(); });
    emit orders_changed();
}

// The "Sample" menu

void Interface::sample_copy() { sample_edit->copy_sample(); }
void Interface::sample_cut() { sample_edit->cut_sample(); }
void Interface::sample_paste() { sample_edit->paste_sample(); }
void Interface::sample_delete() { sample_edit->delete_sample(); }
void Interface::sample_load() { sample_edit->load_sample(); }
void Interface::sample_save() { sample_edit->save_sample(); }

void Interface::sample_make_instrument() {
    if (!Message_Boxes::confirm(this, "This will create a new instrument out of this sample.\nAre you sure?")) return;
    stop_song();
    Song_History::Step step(&tracker.history, "Make instrument");
    step.watch_all_instruments();
    locked([this] { tracker.song.make_instrument_out_of_sample(selected_sample); });
    emit instruments_changed();
}

void Interface::sample_clear_unused() {
    if (!Message_Boxes::confirm(this, "This will erase all the samples unused within the song.\nAre you sure?"))
        return;
    stop_song();
    Song_History::Step step(&tracker.history, "Clear unused samples");
    step.watch_all_samples();
    locked([this] { tracker.song.clear_unused_samples(); });
    emit samples_changed();
}

void Interface::sample_clear_default_pannings() {
    if (!Message_Boxes::confirm(this, "This will erase ALL default pannings.\nAre you sure?")) return;
    Song_History::Step step(&tracker.history, "Clear default sample pannings");
    for (int slot = 0; slot < Song::MAX_SAMPLES; slot++) step.watch_sample_settings(slot);
    locked([this] { tracker.song.clear_default_sample_pannings(); });
    emit samples_changed();
}

// The "Instrument" menu

void Interface::instrument_copy() { instrument_edit->copy_instrument(); }

void Interface::instrument_cut() { instrument_edit->cut_instrument(); }

void Interface::instrument_paste() { instrument_edit->paste_instrument(); }

void Interface::instrument_delete() {
    if (!Message_Boxes::confirm(this, "This will erase the instrument.\nAre you sure?")) return;
    instrument_edit->delete_instrument();
}

void Interface::instrument_delete_with_samples() {
    if (!Message_Boxes::confirm(this, "This will erase the instrument.\nAre you sure?")) return;
    instrument_edit->delete_instrument_with_samples();
}

void Interface::instrument_load() { instrument_edit->load_instrument(); }

void Interface::instrument_save() { instrument_edit->save_instrument(); }

void Interface::instrument_recreate_all() {
    if (!Message_Boxes::confirm(
            this, "This will erase ALL the instruments and\ncreate them from their respective samples.\nAre you sure?"))
        return;
    stop_song();
    Song_History::Step step(&tracker.history, "Recreate all instruments");
    step.watch_all_instruments();
    locked([this] { tracker.song.recreate_all_instruments(); });
    emit instruments_changed();
}

void Interface::instrument_clear_default_pannings() {
    if (!Message_Boxes::confirm(
            this, "This will clear the default pannings on all instruments and layers\nAre you sure?"))
        return;
    Song_History::Step step(&tracker.history, "Clear default instrument pannings");
    step.watch_all_instruments();
    locked([this] { tracker.song.clear_default_instrument_pannings(); });
    emit instruments_changed();
}

// Timer and keys

void Interface::timer_callback() {
    tracker.player.get_voice_status_info(voice_status);
    tracker.player.get_play_status(play_status);
    check_history();
    emit timer_tick();
}

bool Interface::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        if (key_pressed(static_cast<QKeyEvent*>(event))) return true;
    } else if (event->type() == QEvent::KeyRelease) {
        if (key_released(static_cast<QKeyEvent*>(event)) && !is_text_entry(watched)) return true;
    }
    return QTabWidget::eventFilter(watched, event);
}

const std::vector<Interface::Window_Key>& Interface::window_keys() {
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier;
    static const std::vector<Window_Key> table = {
        {none, Qt::Key_F2, "Patterns page", [](Interface& i) { i.set_current_page(PAGE_PATTERNS); }, false},
        {none, Qt::Key_F3, "Samples page", [](Interface& i) { i.set_current_page(PAGE_SAMPLES); }, false},
        {none, Qt::Key_F4, "Instruments page", [](Interface& i) { i.set_current_page(PAGE_INSTRUMENTS); }, false},
        {none, Qt::Key_F11, "Order & Defaults page", [](Interface& i) { i.set_current_page(PAGE_ORDERS); }, false},
        {none, Qt::Key_F12, "Variables page", [](Interface& i) { i.set_current_page(PAGE_VARIABLES); }, false},
        // Ctrl+Page Down and Up step through the pages, as tabs do elsewhere on a desktop.
        {ctrl, Qt::Key_PageDown, "Next page",
         [](Interface& i) { i.set_current_page((Page)((i.currentIndex() + 1) % PAGE_COUNT)); }, false},
        {ctrl, Qt::Key_PageUp, "Previous page",
         [](Interface& i) { i.set_current_page((Page)((i.currentIndex() + PAGE_COUNT - 1) % PAGE_COUNT)); }, false},
        {none, Qt::Key_F5, "Play Song", [](Interface& i) { i.play_song(); }, false},
        {none, Qt::Key_F6, "Play Pattern", [](Interface& i) { i.play_pattern(); }, false},
        {none, Qt::Key_F7, "Play Song From Cursor", [](Interface& i) { i.play_from_cursor(); }, false},
        {none, Qt::Key_F8, "Stop", [](Interface& i) { i.stop_song(); }, false},
        {none, Qt::Key_Slash, "Editing octave down", [](Interface&) { Editor::default_octave_lower(); }, true},
        {none, Qt::Key_Asterisk, "Editing octave up", [](Interface&) { Editor::default_octave_raise(); }, true},
    };
    return table;
}

const Interface::Window_Key* Interface::find_window_key(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers chord =
        modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier);
    auto find = [key](Qt::KeyboardModifiers wanted) -> const Window_Key* {
        for (const Window_Key& entry : window_keys())
            if (entry.modifiers == wanted && entry.key == key) return &entry;
        return nullptr;
    };
    // "*" needs Shift on many keyboards. Shift with a function key is another key (Shift+F8
    // stops every song, from the main window's menu).
    if (const Window_Key* entry = find(chord)) return entry;
    const Window_Key* entry = find(chord & ~Qt::ShiftModifier);
    return entry && entry->typed ? entry : nullptr;
}

bool Interface::key_pressed(QKeyEvent* event) {
    if (const Window_Key* entry = find_window_key(event->key(), event->modifiers())) {
        if (!entry->typed || !is_text_entry(QApplication::focusWidget())) {
            entry->run(*this);
            return true;
        }
        return false;
    }
    // Other chords belong to the pages (Ctrl+F7 marks in the pattern view).
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (is_text_entry(QApplication::focusWidget())) return false;
    Page page = get_current_page();
    if (page != PAGE_SAMPLES && page != PAGE_INSTRUMENTS) return false;
    char character = live_note_character(event);
    if (!character || event->isAutoRepeat()) return false;
    int note = tracker.editor.get_note_from_key(character);
    if (note < 0 || note >= NOTE_COUNT) return false;
    // A key pressed again before its release (the release went elsewhere) restarts its note.
    for (const Held_Notes::Held& held : live_notes.release(event->key())) stop_live_note(held);
    Player_Realtime_Keyboard& keyboard = tracker.keyboard;
    if (page == PAGE_SAMPLES) {
        keyboard.sample_stop_key(note);
        keyboard.sample_set(&tracker.song.get_sample(selected_sample)->data);
        keyboard.sample_press_key(note);
        live_notes.hold(event->key(), LIVE_SAMPLE, note);
    } else {
        hint_if_silent(selected_instrument);
        keyboard.instrument_set(selected_instrument);
        keyboard.instrument_press_key(note, LIVE_NOTE_VOLUME);
        live_notes.hold(event->key(), LIVE_INSTRUMENT, note);
    }
    return true;
}

// The note a key started stops when it goes up, whichever page shows by then.
bool Interface::key_released(QKeyEvent* event) {
    if (event->isAutoRepeat()) return false;
    std::vector<Held_Notes::Held> released = live_notes.release(event->key());
    for (const Held_Notes::Held& held : released) stop_live_note(held);
    return !released.empty();
}

void Interface::stop_live_note(const Held_Notes::Held& held) {
    if (held.where == LIVE_SAMPLE)
        tracker.keyboard.sample_stop_key(held.note);
    else
        tracker.keyboard.instrument_stop_key(held.note);
}

void Interface::stop_live_notes() {
    for (const Held_Notes::Held& held : live_notes.release_all()) stop_live_note(held);
}
