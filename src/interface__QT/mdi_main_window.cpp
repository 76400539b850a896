#include "interface__QT/mdi_main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include <algorithm>
#include <vector>

#include "common/components/audio/sound_driver_manager.h"
#include "common/components/data/audio_thread_log.h"
#include "interface__QT/effect_list_window.h"
#include "interface__QT/file_dialog.h"
#include "interface__QT/interface.h"
#include "interface__QT/keys_window.h"
#include "interface__QT/mdi_sub_window.h"
#include "interface__QT/message_boxes.h"
#include "interface__QT/pattern_edit.h"
#include "interface__QT/sample_edit.h"
#include "interface__QT/settings_window.h"
#include "tracker/autosave_folder.h"
#include "tracker/autosave_worker.h"
#include "tracker/file_history.h"
#include "tracker/keyboard_input.h"

int MDI_Main_Window::widget_timer_interval = 50;
int MDI_Main_Window::autosave_minutes = MDI_Main_Window::DEFAULT_AUTOSAVE_MINUTES;

namespace {

// The driver's state is read once a second: a device does not come and go faster.
constexpr int DRIVER_CHECK_TICKS = 20;

// Steps beyond a beat's length are rare; Alt+digit gives 1..9.
constexpr int MAX_EDIT_STEP_BOX = 16;

QString without_mnemonic(QString text) { return text.remove('&'); }

// A toolbar button names its key in its tip: "Play Song (F5)".
void name_key_in_tip(QAction* action, const QKeySequence& key) {
    if (key.isEmpty()) return;
    const QString key_text = key.toString(QKeySequence::NativeText);
    action->setToolTip(QString("%1 (%2)").arg(without_mnemonic(action->text()), key_text));
}

// The song window's own key for a command, as it handles it.
QKeySequence window_key(const QString& caption) {
    for (const Interface::Window_Key& entry : Interface::window_keys())
        if (caption == entry.caption) return QKeySequence(QKeyCombination(entry.modifiers, Qt::Key(entry.key)));
    return {};
}

// The least a main window should have for a song window to show its pages whole.
constexpr QSize COMFORTABLE_SIZE(1000, 700);

// A file menu entry for a path: "&1 name  (folder)"; ampersands in names are shown as such.
QString recent_song_text(int index, const QString& path) {
    QFileInfo file(path);
    QString number = index < 9 ? QString("&%1").arg(index + 1) : QString("1&0");
    QString name = file.fileName().replace('&', "&&");
    QString folder = QDir::toNativeSeparators(file.path()).replace('&', "&&");
    return QString("%1 %2  (%3)").arg(number, name, folder);
}

}  // namespace

MDI_Main_Window::MDI_Main_Window(QWidget* parent)
    : QMainWindow(parent), workspace(new QMdiArea(this)), settings_window(new Settings_Window(this)) {
    setObjectName("main_window");
    setWindowTitle(get_product_caption());
    workspace->setObjectName("workspace");
    workspace->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    workspace->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(workspace);
    create_toolbars();
    create_menus();
    statusBar()->showMessage("Ready");
    // Why there is no sound stays in view; messages come and go beside it.
    driver_status = new QLabel(this);
    driver_status->setObjectName("driver_status");
    driver_status->setVisible(false);
    statusBar()->addPermanentWidget(driver_status);
    connect(workspace, &QMdiArea::subWindowActivated, this, [this] { update_menus_for_page(); });
    workspace->viewport()->installEventFilter(this);
    connect(&timer, &QTimer::timeout, this, &MDI_Main_Window::timer_callback);
    connect(&autosave_timer, &QTimer::timeout, this, [this] { autosave_now(); });
    timer.start(widget_timer_interval);
    update_menus_for_page();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // Three quarters of a large screen; all of a small one (or one scaled up), where a
        // quarter less would not leave a song window room for its pages. Maximized, the
        // window manager fits its frame in too; without one the size is what counts.
        QRect available = screen->availableGeometry();
        QSize size = available.size() * 3 / 4;
        bool small = size.width() < COMFORTABLE_SIZE.width() || size.height() < COMFORTABLE_SIZE.height();
        if (small) size = available.size();
        resize(size);
        move(available.topLeft() + QPoint((available.width() - size.width()) / 2,
                                          (available.height() - size.height()) / 2));
        if (small) setWindowState(Qt::WindowMaximized);
    }
}

MDI_Main_Window::~MDI_Main_Window() {
    timer.stop();
    // The song windows go first: each takes its mixer out of the driver manager.
    for (QMdiSubWindow* frame : workspace->subWindowList()) delete frame;
}

QString MDI_Main_Window::get_product_caption() {
    return QString("%1 %2").arg(PRODUCT_NAME, WENDMOOR_VERSION);
}

void MDI_Main_Window::set_sound_driver_manager(Sound_Driver_Manager* manager) {
    sound_driver_manager = manager;
    settings_window->set_sound_driver_manager(manager);
    driver_check_countdown = 0;
}

// Song windows

MDI_Sub_Window* MDI_Main_Window::new_doc() {
    MDI_Sub_Window* song_window = create_song_window();
    show_song_window(song_window);
    return song_window;
}

MDI_Sub_Window* MDI_Main_Window::create_song_window() {
    auto* song_window = new MDI_Sub_Window;
    song_window->set_info_lock(info_lock);
    song_window->set_sound_driver_manager(sound_driver_manager);
    song_window->get_interface()->set_autosave_place(autosave_folder.get(), autosave_worker.get());
    QMdiSubWindow* frame = workspace->addSubWindow(song_window);
    // A window just shown may not have laid out its workspace yet.
    if (layout()) layout()->activate();
    int step = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
    frame->setGeometry(song_window_geometry(workspace->viewport()->size(), workspace->subWindowList().size() - 1,
                                            std::max(step, 8), frame->minimumSizeHint()));
    return song_window;
}

void MDI_Main_Window::show_song_window(MDI_Sub_Window* song_window) {
    QMdiSubWindow* frame = qobject_cast<QMdiSubWindow*>(song_window->parentWidget());
    song_window->show();
    if (frame) workspace->setActiveSubWindow(frame);
    // The keys go to the pattern view at once: a new song is typed into.
    song_window->get_interface()->set_current_page(Interface::PAGE_PATTERNS);
    update_menus_for_page();
}

QRect MDI_Main_Window::song_window_geometry(const QSize& workspace, int open_windows, int step, const QSize& minimum) {
    // The first song fills the workspace; later ones cascade, each leaving room to see the
    // title bars of those behind, and start over at the top left after CASCADE_STEPS.
    QSize size = workspace;
    int offset = 0;
    if (open_windows > 0) {
        step = std::min(step, std::min(workspace.width(), workspace.height()) / (4 * CASCADE_STEPS));
        size -= QSize(CASCADE_STEPS * step, CASCADE_STEPS * step);
        offset = open_windows % (CASCADE_STEPS + 1) * step;
    }
    size = size.expandedTo(minimum);
    // A workspace too small for the window's least size: it starts at the top left, so
    // that at least its title bar and controls there can be reached.
    int x = std::clamp(offset, 0, std::max(0, workspace.width() - size.width()));
    int y = std::clamp(offset, 0, std::max(0, workspace.height() - size.height()));
    return QRect(QPoint(x, y), size);
}

bool MDI_Main_Window::eventFilter(QObject* watched, QEvent* event) {
    if (watched == workspace->viewport() && event->type() == QEvent::Resize) fit_song_windows();
    return QMainWindow::eventFilter(watched, event);
}

void MDI_Main_Window::fit_song_windows() {
    const QSize area = workspace->viewport()->size();
    for (QMdiSubWindow* frame : workspace->subWindowList()) {
        if (frame->isMaximized() || frame->isMinimized()) continue;
        QRect now = frame->geometry();
        if (QRect(QPoint(0, 0), area).contains(now)) continue;
        QSize size = now.size().boundedTo(area).expandedTo(frame->minimumSizeHint());
        int x = std::clamp(now.x(), 0, std::max(0, area.width() - size.width()));
        int y = std::clamp(now.y(), 0, std::max(0, area.height() - size.height()));
        frame->setGeometry(QRect(QPoint(x, y), size));
    }
}

MDI_Sub_Window* MDI_Main_Window::find_song_window(const QString& path) const {
    QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) return nullptr;
    for (MDI_Sub_Window* song_window : get_song_windows()) {
        const QString& song_path = song_window->get_interface()->get_song_path();
        if (!song_path.isEmpty() && QFileInfo(song_path).canonicalFilePath() == canonical) return song_window;
    }
    return nullptr;
}

MDI_Sub_Window* MDI_Main_Window::open_song(const QString& path) {
    if (MDI_Sub_Window* open = find_song_window(path)) {
        for (QMdiSubWindow* frame : workspace->subWindowList())
            if (frame->widget() == open) workspace->setActiveSubWindow(frame);
        statusBar()->showMessage(QString("%1 is open already").arg(QFileInfo(path).fileName()), 4000);
        return open;
    }
    // Shown only once the song is in it: a file that does not load leaves no window behind.
    MDI_Sub_Window* song_window = create_song_window();
    if (song_window->open_song(path) != Loader::SUCCESS) {
        delete song_window->parentWidget();
        update_menus_for_page();
        return nullptr;
    }
    File_History::get_singleton_instance().add_recent_song(path.toLocal8Bit().toStdString());
    song_window->get_interface()->stop_song();
    show_song_window(song_window);
    return song_window;
}

MDI_Sub_Window* MDI_Main_Window::get_active_song_window() const {
    // The current window, even while a dialog has the focus.
    QMdiSubWindow* frame = workspace->currentSubWindow();
    return frame ? qobject_cast<MDI_Sub_Window*>(frame->widget()) : nullptr;
}

QList<MDI_Sub_Window*> MDI_Main_Window::get_song_windows() const {
    QList<MDI_Sub_Window*> windows;
    for (QMdiSubWindow* frame : workspace->subWindowList())
        if (auto* song_window = qobject_cast<MDI_Sub_Window*>(frame->widget())) windows.append(song_window);
    return windows;
}

template <class Command> void MDI_Main_Window::on_active(Command command) {
    if (MDI_Sub_Window* song_window = get_active_song_window()) command(*song_window->get_interface());
}

void MDI_Main_Window::load() {
    QString path = File_Dialog::get_open_file_name(this, "Load Song", SONG_FILTER, File_History::SONGS);
    if (path.isEmpty()) {
        statusBar()->showMessage("Loading aborted", 2000);
        return;
    }
    open_song(path);
}

void MDI_Main_Window::save() {
    on_active([](Interface& interface) { interface.save_song(); });
}

void MDI_Main_Window::save_as() {
    on_active([](Interface& interface) { interface.save_song_as(); });
}

void MDI_Main_Window::close_window() {
    if (QMdiSubWindow* frame = workspace->currentSubWindow()) frame->close();
}

void MDI_Main_Window::stop_all_songs() {
    for (MDI_Sub_Window* song_window : get_song_windows()) song_window->get_interface()->stop_song();
}

void MDI_Main_Window::show_keys() {
    if (!keys_window) keys_window = new Keys_Window(menuBar(), this);
    keys_window->show();
    keys_window->raise();
    keys_window->activateWindow();
}

void MDI_Main_Window::closeEvent(QCloseEvent* event) {
    // Each song window with changes asks in turn; a "Cancel" stops there and keeps the program running.
    for (QMdiSubWindow* frame : workspace->subWindowList()) {
        if (!frame->close()) {
            event->ignore();
            return;
        }
    }
    if (!workspace->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    settings_window->close();
    event->accept();
}

// Autosave and recovery

void MDI_Main_Window::start_autosave(const std::string& folder) {
    autosave_worker.reset();
    autosave_folder = std::make_unique<Autosave_Folder>(folder);
    autosave_worker = std::make_unique<Autosave_Worker>();
    for (MDI_Sub_Window* song_window : get_song_windows())
        song_window->get_interface()->set_autosave_place(autosave_folder.get(), autosave_worker.get());
    update_autosave_timer();
}

void MDI_Main_Window::set_autosave_seconds(int seconds) {
    autosave_seconds = std::max(0, seconds);
    update_autosave_timer();
}

void MDI_Main_Window::update_autosave_timer() {
    int interval = autosave_seconds > 0 ? autosave_seconds * 1000 : std::max(0, autosave_minutes) * 60 * 1000;
    if (!autosave_folder) interval = 0;
    if (interval == autosave_interval_ms) return;
    autosave_interval_ms = interval;
    if (interval > 0)
        autosave_timer.start(interval);
    else
        autosave_timer.stop();
}

int MDI_Main_Window::autosave_now() {
    int queued = 0;
    QString failure;
    for (MDI_Sub_Window* song_window : get_song_windows()) {
        Interface* interface = song_window->get_interface();
        std::string error = interface->get_autosave().get_error();
        if (!error.empty()) failure = QString::fromStdString(error);
        if (interface->autosave_if_changed()) queued++;
    }
    if (!failure.isEmpty()) statusBar()->showMessage("Autosave failed: " + failure, 10000);
    return queued;
}

namespace {

QString describe_left_behind(const Autosave_Folder::Record& record) {
    QString path = QString::fromStdString(record.original_path);
    QString name = QString::fromStdString(record.song_name);
    if (name.isEmpty()) name = path.isEmpty() ? QString("New Song") : QFileInfo(path).fileName();
    QString time = QDateTime::fromSecsSinceEpoch(record.time).toString("yyyy-MM-dd hh:mm");
    QString where = path.isEmpty() ? QString("never saved") : path;
    return QString("\u2022 \"%1\", autosaved %2 (%3)").arg(name, time, where);
}

}  // namespace

void MDI_Main_Window::offer_recovery() {
    if (!autosave_folder) return;
    std::vector<Autosave_Folder::Left_Behind> left = autosave_folder->find_left_behind();
    if (left.empty()) {
        autosave_folder->release_left_behind();
        return;
    }
    QStringList lines;
    for (const Autosave_Folder::Left_Behind& entry : left) lines << describe_left_behind(entry.record);
    QString text = QString("Wendmoor did not end normally last time. These songs had changes that were not saved, "
                           "and copies were kept:\n\n%1\n\n"
                           "Restore opens them again; Discard deletes the copies; "
                           "Keep for later asks again at the next start.")
                       .arg(lines.join("\n"));
    QMessageBox box(QMessageBox::Question, RECOVERY_TITLE, text, QMessageBox::NoButton, this);
    QPushButton* restore = box.addButton("Restore", QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton("Keep for later", QMessageBox::RejectRole);
    box.setDefaultButton(restore);
    box.setEscapeButton(keep);
    box.exec();
    if (box.clickedButton() == restore) {
        for (const Autosave_Folder::Left_Behind& entry : left) {
            MDI_Sub_Window* song_window = new_doc();
            Interface* interface = song_window->get_interface();
            if (!interface->restore_autosave(entry.song_file, entry.record)) {
                // What could not be read stays where it is, for another try or a Discard.
                for (QMdiSubWindow* frame : workspace->subWindowList())
                    if (frame->widget() == song_window) delete frame;
                continue;
            }
            song_window->update_caption();
            interface->get_autosave().adopt(autosave_folder->adopt(entry),
                                            interface->get_tracker()->history.get_generation());
        }
    } else if (box.clickedButton() == discard) {
        for (const Autosave_Folder::Left_Behind& entry : left) autosave_folder->discard(entry);
    }
    autosave_folder->release_left_behind();
    update_menus_for_page();
}

// Toolbars and menus

void MDI_Main_Window::create_toolbars() {
    QStyle* look = style();
    file_toolbar = addToolBar("File Operations");
    file_toolbar->setObjectName("file_toolbar");
    new_action = file_toolbar->addAction(look->standardIcon(QStyle::SP_FileIcon), "New Song", this,
                                         [this] { new_doc(); });
    load_action = file_toolbar->addAction(look->standardIcon(QStyle::SP_DialogOpenButton), "Load Song", this,
                                          &MDI_Main_Window::load);
    save_action = file_toolbar->addAction(look->standardIcon(QStyle::SP_DialogSaveButton), "Save Song", this,
                                          &MDI_Main_Window::save);
    save_as_action = file_toolbar->addAction(look->standardIcon(QStyle::SP_DriveFDIcon), "Save Song As", this,
                                             &MDI_Main_Window::save_as);
    close_action = file_toolbar->addAction(look->standardIcon(QStyle::SP_DialogCloseButton), "Close Song", this,
                                           &MDI_Main_Window::close_window);

    play_toolbar = addToolBar("Play");
    play_toolbar->setObjectName("play_toolbar");
    auto play = [this](auto command) { return [this, command] { on_active(command); }; };
    previous_order_action = play_toolbar->addAction(look->standardIcon(QStyle::SP_MediaSkipBackward),
                                                    "Skip To Previous Order", this,
                                                    play([](Interface& i) { i.play_previous_order(); }));
    play_song_action = play_toolbar->addAction(look->standardIcon(QStyle::SP_MediaPlay), "Play Song", this,
                                               play([](Interface& i) { i.play_song(); }));
    stop_action = play_toolbar->addAction(look->standardIcon(QStyle::SP_MediaStop), "Stop", this,
                                          play([](Interface& i) { i.stop_song(); }));
    next_order_action = play_toolbar->addAction(look->standardIcon(QStyle::SP_MediaSkipForward),
                                                "Skip To Next Order", this,
                                                play([](Interface& i) { i.play_next_order(); }));
    play_pattern_action = play_toolbar->addAction(look->standardIcon(QStyle::SP_BrowserReload), "Play Pattern", this,
                                                  play([](Interface& i) { i.play_pattern(); }));
    play_from_cursor_action = play_toolbar->addAction(look->standardIcon(QStyle::SP_MediaSeekForward),
                                                      "Play Song From Cursor", this,
                                                      play([](Interface& i) { i.play_from_cursor(); }));

    octave_toolbar = addToolBar("Editing Octave");
    octave_toolbar->setObjectName("octave_toolbar");
    auto* label = new QLabel("Octave:", octave_toolbar);
    octave_spin_box = new QSpinBox(octave_toolbar);
    octave_spin_box->setObjectName("octave");
    octave_spin_box->setRange(0, 8);
    octave_spin_box->setValue(Editor::get_default_octave());
    label->setBuddy(octave_spin_box);
    octave_toolbar->addWidget(label);
    octave_toolbar->addWidget(octave_spin_box);
    connect(octave_spin_box, &QSpinBox::valueChanged, this, &MDI_Main_Window::default_octave_changed_cbk);
    auto* step_label = new QLabel("Step:", octave_toolbar);
    step_label->setToolTip("Rows the cursor moves after an entry (Alt+1 to Alt+9 in the pattern view)");
    edit_step_spin_box = new QSpinBox(octave_toolbar);
    edit_step_spin_box->setObjectName("edit_step");
    edit_step_spin_box->setRange(0, MAX_EDIT_STEP_BOX);
    edit_step_spin_box->setValue(1);
    edit_step_spin_box->setToolTip(step_label->toolTip());
    edit_step_spin_box->setEnabled(false);
    step_label->setBuddy(edit_step_spin_box);
    octave_toolbar->addSeparator();
    octave_toolbar->addWidget(step_label);
    octave_toolbar->addWidget(edit_step_spin_box);
    connect(edit_step_spin_box, &QSpinBox::valueChanged, this, &MDI_Main_Window::edit_step_changed_cbk);
}

QAction* MDI_Main_Window::add_item(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    return action;
}

// The menu titles have no Alt mnemonics: Alt with a letter belongs to the pattern editor.
void MDI_Main_Window::create_menus() {
    create_file_menu();
    create_edit_menu();
    create_pattern_menu();
    create_sample_menu();
    create_instrument_menu();
    create_song_menu();

    windows_menu = menuBar()->addMenu("Windows");
    connect(windows_menu, &QMenu::aboutToShow, this, &MDI_Main_Window::rebuild_windows_menu);
    settings_menu = menuBar()->addMenu("Settings");
    connect(settings_menu, &QMenu::aboutToShow, this, &MDI_Main_Window::rebuild_settings_menu);
    rebuild_windows_menu();
    rebuild_settings_menu();

    QMenu* help = menuBar()->addMenu("Help");
    keys_action = help->addAction("Keys", this, &MDI_Main_Window::show_keys);
    keys_action->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help->addAction("Pattern Edit Effect List"), &QAction::triggered, this,
            &MDI_Main_Window::show_effect_list);
    connect(help->addAction("About Wendmoor!"), &QAction::triggered, this, &MDI_Main_Window::show_about);
}

void MDI_Main_Window::create_file_menu() {
    QMenu* file = menuBar()->addMenu("File");
    struct Item {
        QAction* action;
        const char* text;
        QKeySequence::StandardKey key;
    } items[] = {
        {new_action, "&New Song", QKeySequence::New},   {load_action, "&Load...", QKeySequence::Open},
        {save_action, "&Save", QKeySequence::Save},     {save_as_action, "Save &As..", QKeySequence::SaveAs},
        {close_action, "&Close", QKeySequence::Close},
    };
    // The menu items are the toolbar's actions, so a shortcut works from either.
    for (const Item& item : items) {
        QAction* action = file->addAction(item.action->icon(), item.text);
        action->setShortcut(item.key);
        connect(action, &QAction::triggered, item.action, &QAction::trigger);
        name_key_in_tip(item.action, action->shortcut());
        if (item.action == load_action) {
            recent_songs_menu = file->addMenu("Recent Songs");
            connect(recent_songs_menu, &QMenu::aboutToShow, this, &MDI_Main_Window::rebuild_recent_songs_menu);
        }
    }
    rebuild_recent_songs_menu();
    file->addSeparator();
    quit_action = file->addAction("&Quit", this, &QWidget::close);
    quit_action->setShortcut(QKeySequence::Quit);
}

// Undo and redo act on the active song from every page. The pattern view does not take
// Ctrl+Z or Ctrl+Y, and text fields keep their own.
void MDI_Main_Window::create_edit_menu() {
    QMenu* edit = menuBar()->addMenu("Edit");
    undo_action = edit->addAction("Undo", this, [this] { on_active([](Interface& i) { i.undo(); }); });
    undo_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo_action = edit->addAction("Redo", this, [this] { on_active([](Interface& i) { i.redo(); }); });
    redo_action->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(edit, &QMenu::aboutToShow, this, &MDI_Main_Window::update_edit_menu);
}

void MDI_Main_Window::update_edit_menu() {
    MDI_Sub_Window* song_window = get_active_song_window();
    Song_History* history = song_window ? &song_window->get_interface()->get_tracker()->history : nullptr;
    bool undo = history && history->can_undo();
    bool redo = history && history->can_redo();
    auto caption = [](const char* verb, bool can, const std::string& description) {
        return can ? QString("%1 %2").arg(verb, QString::fromStdString(description)) : QString(verb);
    };
    undo_action->setText(caption("Undo", undo, undo ? history->get_undo_description(0) : std::string()));
    redo_action->setText(caption("Redo", redo, redo ? history->get_redo_description(0) : std::string()));
    // Disabled items would not take their shortcuts: the keys keep working, doing nothing.
}

void MDI_Main_Window::create_pattern_menu() {
    pattern_menu = menuBar()->addMenu("Pattern");
    connect(add_item(pattern_menu, "Undo/Redo Last Action", PATTERN_UNDO), &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.undo_last_action(); }); });
    pattern_menu->addSeparator();
    for (int action = 0; action < Editor::PATTERN_ACTION_COUNT; action++) {
        connect(add_item(pattern_menu, Editor::pattern_action_captions[action], action), &QAction::triggered, this,
                [this, action] { on_active([action](Interface& i) { i.perform_pattern_action(action); }); });
        // Groups: marking, the block, the cursor field.
        if (action == Editor::MARK_COLUMN_ALL || action == Editor::SELECTION_SHRINK) pattern_menu->addSeparator();
    }
    connect(add_item(pattern_menu, Pattern_Edit::VOLUME_AMPLIFIER_ITEM, PATTERN_VOLUME_AMPLIFIER),
            &QAction::triggered, this, [this] { on_active([](Interface& i) { i.volume_amplifier(); }); });
    pattern_menu->addSeparator();
    follow_song_action = add_item(pattern_menu, "Toggle Cursor Follows Song", PATTERN_TOGGLE_FOLLOW);
    follow_song_action->setCheckable(true);
    connect(follow_song_action, &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.toggle_cursor_follows_song(); }); });
    connect(pattern_menu, &QMenu::aboutToShow, this, [this] {
        show_pattern_keys_in_menu();  // the tracker keys may have been rebound
        MDI_Sub_Window* song_window = get_active_song_window();
        follow_song_action->setChecked(song_window && song_window->get_interface()->is_cursor_following_song());
    });
    pattern_menu->addSeparator();
    connect(add_item(pattern_menu, "Clear ALL Patterns", PATTERN_CLEAR_ALL), &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.clear_all_patterns(); }); });
    connect(add_item(pattern_menu, "Clear Orderlist", PATTERN_CLEAR_ORDERLIST), &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.clear_orderlist(); }); });
    show_pattern_keys_in_menu();
}

void MDI_Main_Window::create_sample_menu() {
    sample_menu = menuBar()->addMenu("Sample");
    const struct {
        const char* text;
        void (Interface::*command)();
        void (Sample_Edit::*page_command)();  // what the sample list does with its own key
    } items[] = {
        {"Sample- Copy", &Interface::sample_copy, &Sample_Edit::copy_sample},
        {"Sample- Cut", &Interface::sample_cut, &Sample_Edit::cut_sample},
        {"Sample- Paste", &Interface::sample_paste, &Sample_Edit::paste_sample},
        {"Sample- Delete", &Interface::sample_delete, &Sample_Edit::delete_sample},
        {"Sample- Load", &Interface::sample_load, &Sample_Edit::load_sample},
        {"Sample- Save", &Interface::sample_save, &Sample_Edit::save_sample},
        {"Sample- Make Instrument", &Interface::sample_make_instrument, nullptr},
        {"Sample- Clear Unused Samples", &Interface::sample_clear_unused, nullptr},
        {"Sample- Clear Default Pannings", &Interface::sample_clear_default_pannings, nullptr},
    };
    int id = 0;
    for (const auto& item : items) {
        auto command = item.command;
        QAction* action = add_item(sample_menu, item.text, id++);
        connect(action, &QAction::triggered, this,
                [this, command] { on_active([command](Interface& i) { (i.*command)(); }); });
        // The list takes the key while it has the focus; the menu only shows it.
        for (const Sample_Edit::List_Action& list_action : Sample_Edit::list_actions())
            if (item.page_command && list_action.slot == item.page_command && !list_action.key.isEmpty()) {
                action->setShortcut(list_action.key);
                action->setShortcutContext(Qt::WidgetShortcut);
            }
    }
}

void MDI_Main_Window::create_instrument_menu() {
    instrument_menu = menuBar()->addMenu("Instrument");
    const struct {
        const char* text;
        void (Interface::*command)();
    } items[] = {
        {"Instrument- Copy", &Interface::instrument_copy},
        {"Instrument- Cut", &Interface::instrument_cut},
        {"Instrument- Paste", &Interface::instrument_paste},
        {"Instrument- Delete", &Interface::instrument_delete},
        {"Instrument- Delete (samples too)", &Interface::instrument_delete_with_samples},
        {"Instrument- Load", &Interface::instrument_load},
        {"Instrument- Save", &Interface::instrument_save},
        {"Instrument- Recreate ALL from Samples", &Interface::instrument_recreate_all},
        {"Instrument- Clear Default Pannings", &Interface::instrument_clear_default_pannings},
    };
    int id = 0;
    for (const auto& item : items) {
        auto command = item.command;
        connect(add_item(instrument_menu, item.text, id++), &QAction::triggered, this,
                [this, command] { on_active([command](Interface& i) { (i.*command)(); }); });
    }
}

void MDI_Main_Window::create_song_menu() {
    QMenu* song = menuBar()->addMenu("Song");
    const struct {
        QAction* action;
        const char* text;
    } items[] = {
        {previous_order_action, "Skip To P&revious Order"},
        {play_song_action, "&Play Song"},
        {stop_action, "&Stop"},
        {next_order_action, "Skip To &Next Order"},
        {play_pattern_action, "Play Pa&ttern"},
        {play_from_cursor_action, "Play Song From &Cursor"},
    };
    for (const auto& item : items) {
        QAction* action = song->addAction(item.action->icon(), item.text);
        // The song window takes these keys itself; the menu only shows them.
        const QKeySequence key = window_key(without_mnemonic(item.text));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, item.action, &QAction::trigger);
        name_key_in_tip(item.action, key);
        if (item.action == stop_action) {
            stop_all_action = song->addAction("Stop All Songs", this, &MDI_Main_Window::stop_all_songs);
            stop_all_action->setShortcut(QKeySequence(Qt::ShiftModifier | Qt::Key_F8));
        }
    }
}

void MDI_Main_Window::show_pattern_keys_in_menu() {
    const Keyboard_Input* bindings = Keyboard_Input::get_singleton_instance();
    for (QAction* action : pattern_menu->actions()) {
        if (action->isSeparator()) continue;
        const QString text = action->text();
        QList<QKeySequence> keys;
        for (const Pattern_Edit::Key_Command& command : Pattern_Edit::key_commands())
            if (command.menu_item && text == command.menu_item)
                keys << QKeySequence(QKeyCombination(command.modifiers, Qt::Key(command.key)));
        for (const auto& [item, bind] : Pattern_Edit::bound_menu_items()) {
            const int key = bindings ? bindings->get_key_bind_key_nocase(bind) : -1;
            if (text == item && key > 32) keys << QKeySequence(QString(QChar(key)));
        }
        if (keys.isEmpty()) continue;
        // The pattern view takes these keys itself: a window-wide shortcut would steal them.
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
    }
}

void MDI_Main_Window::rebuild_windows_menu() {
    windows_menu->clear();
    MDI_Sub_Window* active = get_active_song_window();
    for (QMdiSubWindow* frame : workspace->subWindowList()) {
        QAction* action = windows_menu->addAction(frame->widget()->windowTitle());
        action->setCheckable(true);
        action->setChecked(frame->widget() == active);
        connect(action, &QAction::triggered, this, [this, frame] { workspace->setActiveSubWindow(frame); });
    }
}

void MDI_Main_Window::rebuild_recent_songs_menu() {
    recent_songs_menu->clear();
    File_History& history = File_History::get_singleton_instance();
    const std::vector<std::string>& songs = history.get_recent_songs();
    for (int i = 0; i < (int)songs.size(); i++) {
        QString path = QString::fromLocal8Bit(songs[i].c_str());
        QAction* action = recent_songs_menu->addAction(recent_song_text(i, path));
        action->setData(path);
        action->setStatusTip(path);
        connect(action, &QAction::triggered, this, [this, path] { open_song(path); });
    }
    if (songs.empty()) {
        recent_songs_menu->addAction("No Recent Songs")->setEnabled(false);
        return;
    }
    recent_songs_menu->addSeparator();
    connect(recent_songs_menu->addAction("Clear Recent Songs"), &QAction::triggered, this,
            [] { File_History::get_singleton_instance().clear_recent_songs(); });
}

void MDI_Main_Window::rebuild_settings_menu() {
    settings_menu->clear();
    const struct {
        const char* text;
        QToolBar* toolbar;
    } toggles[] = {
        {"Show Play Toolbar", play_toolbar},
        {"Show Editing Octave Toolbar", octave_toolbar},
        {"Show File Operations Toolbar", file_toolbar},
    };
    int id = 0;
    for (const auto& toggle : toggles) {
        QAction* action = add_item(settings_menu, toggle.text, id);
        action->setCheckable(true);
        action->setChecked(toggle.toolbar->isVisibleTo(this));
        connect(action, &QAction::triggered, this, [this, id] { settings_menu_activated(id); });
        id++;
    }
    settings_menu->addSeparator();
    connect(add_item(settings_menu, "Configure Wendmoor", CONFIGURE), &QAction::triggered, this,
            [this] { settings_menu_activated(CONFIGURE); });
}

void MDI_Main_Window::settings_menu_activated(int id) {
    QToolBar* toolbars[] = {play_toolbar, octave_toolbar, file_toolbar};
    if (id >= SHOW_PLAY_TOOLBAR && id <= SHOW_FILE_TOOLBAR) {
        QToolBar* toolbar = toolbars[id];
        toolbar->setVisible(!toolbar->isVisibleTo(this));
    } else if (id == CONFIGURE) {
        settings_window->show();
        settings_window->raise();
        settings_window->activateWindow();
    }
}

QMenu* MDI_Main_Window::get_menu(const QString& title) const {
    for (QAction* action : menuBar()->actions()) {
        QString text = action->text();
        text.remove('&');
        if (text == title) return action->menu();
    }
    return nullptr;
}

void MDI_Main_Window::show_effect_list() {
    Effect_List_Window window(this);
    window.exec();
}

void MDI_Main_Window::show_about() {
    Message_Boxes::tell(this, QMessageBox::Information, "About",
                        get_product_caption() + "\nA music tracker for sample-based modules.", "Ok");
}

// Timer

void MDI_Main_Window::default_octave_changed_cbk(int octave) {
    if (updating) return;
    Editor::set_default_octave((char)octave);
}

void MDI_Main_Window::edit_step_changed_cbk(int step) {
    if (updating) return;
    on_active([step](Interface& i) { i.get_tracker()->editor.set_edit_step(step); });
}

void MDI_Main_Window::update_menus_for_page() {
    MDI_Sub_Window* song_window = get_active_song_window();
    int page = song_window ? song_window->get_interface()->get_current_page() : -1;
    pattern_menu->menuAction()->setEnabled(page == Interface::PAGE_PATTERNS);
    sample_menu->menuAction()->setEnabled(page == Interface::PAGE_SAMPLES);
    instrument_menu->menuAction()->setEnabled(page == Interface::PAGE_INSTRUMENTS);
}

void MDI_Main_Window::update_driver_status() {
    if (!sound_driver_manager || sound_driver_manager->get_active_driver() < 0) return;
    QString problem;
    if (!sound_driver_manager->is_active_driver_active()) {
        std::string error = sound_driver_manager->get_active_driver_error();
        if (!error.empty())
            problem = QString("No sound: %1 (Settings, Configure Wendmoor, Audio)").arg(QString::fromStdString(error));
    } else {
        problem = QString::fromStdString(sound_driver_manager->get_active_driver_notice());
    }
    if (problem == driver_problem) return;
    driver_problem = problem;
    driver_status->setText(problem);
    driver_status->setVisible(!problem.isEmpty());
}

void MDI_Main_Window::timer_callback() {
    Audio_Thread_Log::flush();
    for (MDI_Sub_Window* song_window : get_song_windows()) {
        song_window->update_display_box();
        song_window->update_caption();
    }
    if (octave_spin_box->value() != Editor::get_default_octave()) {
        updating = true;
        octave_spin_box->setValue(Editor::get_default_octave());
        updating = false;
    }
    MDI_Sub_Window* active = get_active_song_window();
    edit_step_spin_box->setEnabled(active != nullptr);
    if (active && edit_step_spin_box->value() != active->get_interface()->get_tracker()->editor.get_edit_step()) {
        updating = true;
        edit_step_spin_box->setValue(active->get_interface()->get_tracker()->editor.get_edit_step());
        updating = false;
    }
    static const QString product_caption = get_product_caption();
    if (windowTitle() != product_caption) setWindowTitle(product_caption);
    update_menus_for_page();
    update_autosave_timer();
    if (--driver_check_countdown <= 0) {
        driver_check_countdown = DRIVER_CHECK_TICKS;
        update_driver_status();
    }
}
