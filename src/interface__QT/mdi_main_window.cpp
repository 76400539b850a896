#include "interface__QT/mdi_main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "common/components/audio/sound_driver_manager.h"
#include "common/components/data/audio_thread_log.h"
#include "interface__QT/effect_list_window.h"
#include "interface__QT/file_dialog.h"
#include "interface__QT/interface.h"
#include "interface__QT/mdi_sub_window.h"
#include "interface__QT/message_boxes.h"
#include "interface__QT/settings_window.h"

int MDI_Main_Window::widget_timer_interval = 50;

namespace {

// The driver's state is read once a second: a device does not come and go faster.
constexpr int DRIVER_CHECK_TICKS = 20;

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
    connect(&timer, &QTimer::timeout, this, &MDI_Main_Window::timer_callback);
    timer.start(widget_timer_interval);
    update_menus_for_page();
    if (QScreen* screen = QGuiApplication::primaryScreen()) resize(screen->availableSize() * 3 / 4);
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
    auto* song_window = new MDI_Sub_Window;
    song_window->set_info_lock(info_lock);
    song_window->set_sound_driver_manager(sound_driver_manager);
    QMdiSubWindow* frame = workspace->addSubWindow(song_window);
    // A window just shown may not have laid out its workspace yet.
    if (layout()) layout()->activate();
    QSize area = workspace->viewport()->size();
    // The first song fills the workspace; later ones leave room to see the others behind.
    if (workspace->subWindowList().size() > 1) area = area * 9 / 10;
    frame->resize(area.expandedTo(QSize(640, 420)));
    song_window->show();
    workspace->setActiveSubWindow(frame);
    update_menus_for_page();
    return song_window;
}

MDI_Sub_Window* MDI_Main_Window::open_song(const QString& path) {
    MDI_Sub_Window* song_window = new_doc();
    song_window->open_song(path);
    song_window->get_interface()->stop_song();
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
    QString path = File_Dialog::get_open_file_name(this, "Load Song", SONG_FILTER);
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

void MDI_Main_Window::closeEvent(QCloseEvent* event) {
    // Every song window asks first; one "No" keeps the program running.
    workspace->closeAllSubWindows();
    if (!workspace->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    settings_window->close();
    event->accept();
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
}

QAction* MDI_Main_Window::add_item(QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    return action;
}

// The menu titles have no Alt mnemonics: Alt with a letter belongs to the pattern editor.
void MDI_Main_Window::create_menus() {
    create_file_menu();
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
    }
    file->addSeparator();
    quit_action = file->addAction("&Quit", this, &QWidget::close);
    quit_action->setShortcut(QKeySequence::Quit);
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
    connect(add_item(pattern_menu, "Block- Volume Amplifier", PATTERN_VOLUME_AMPLIFIER), &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.volume_amplifier(); }); });
    pattern_menu->addSeparator();
    follow_song_action = add_item(pattern_menu, "Toggle Cursor Follows Song", PATTERN_TOGGLE_FOLLOW);
    follow_song_action->setCheckable(true);
    connect(follow_song_action, &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.toggle_cursor_follows_song(); }); });
    connect(pattern_menu, &QMenu::aboutToShow, this, [this] {
        MDI_Sub_Window* song_window = get_active_song_window();
        follow_song_action->setChecked(song_window && song_window->get_interface()->is_cursor_following_song());
    });
    pattern_menu->addSeparator();
    connect(add_item(pattern_menu, "Clear ALL Patterns", PATTERN_CLEAR_ALL), &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.clear_all_patterns(); }); });
    connect(add_item(pattern_menu, "Clear Orderlist", PATTERN_CLEAR_ORDERLIST), &QAction::triggered, this,
            [this] { on_active([](Interface& i) { i.clear_orderlist(); }); });
}

void MDI_Main_Window::create_sample_menu() {
    sample_menu = menuBar()->addMenu("Sample");
    const struct {
        const char* text;
        void (Interface::*command)();
    } items[] = {
        {"Sample- Copy", &Interface::sample_copy},
        {"Sample- Cut", &Interface::sample_cut},
        {"Sample- Paste", &Interface::sample_paste},
        {"Sample- Delete", &Interface::sample_delete},
        {"Sample- Load", &Interface::sample_load},
        {"Sample- Save", &Interface::sample_save},
        {"Sample- Make Instrument", &Interface::sample_make_instrument},
        {"Sample- Clear Unused Samples", &Interface::sample_clear_unused},
        {"Sample- Clear Default Pannings", &Interface::sample_clear_default_pannings},
    };
    int id = 0;
    for (const auto& item : items) {
        auto command = item.command;
        connect(add_item(sample_menu, item.text, id++), &QAction::triggered, this,
                [this, command] { on_active([command](Interface& i) { (i.*command)(); }); });
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
        QKeySequence key;
    } items[] = {
        {previous_order_action, "Skip To P&revious Order", QKeySequence()},
        {play_song_action, "&Play Song", QKeySequence(Qt::Key_F5)},
        {stop_action, "&Stop", QKeySequence(Qt::Key_F8)},
        {next_order_action, "Skip To &Next Order", QKeySequence()},
        {play_pattern_action, "Play Pa&ttern", QKeySequence(Qt::Key_F6)},
        {play_from_cursor_action, "Play Song From &Cursor", QKeySequence(Qt::Key_F7)},
    };
    for (const auto& item : items) {
        QAction* action = song->addAction(item.action->icon(), item.text);
        // The song window takes these keys itself; the menu only shows them.
        action->setShortcut(item.key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, item.action, &QAction::trigger);
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
        QString caption = song_window->get_interface()->get_song_name();
        if (song_window->windowTitle() != caption) song_window->setWindowTitle(caption);
    }
    if (octave_spin_box->value() != Editor::get_default_octave()) {
        updating = true;
        octave_spin_box->setValue(Editor::get_default_octave());
        updating = false;
    }
    static const QString product_caption = get_product_caption();
    if (windowTitle() != product_caption) setWindowTitle(product_caption);
    update_menus_for_page();
    if (--driver_check_countdown <= 0) {
        driver_check_countdown = DRIVER_CHECK_TICKS;
        update_driver_status();
    }
}
