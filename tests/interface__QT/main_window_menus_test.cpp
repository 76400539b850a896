// The main window's menus: items in order with their ids, shortcuts, what each menu is
// enabled for, the toolbars' switches and the help windows.
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolBar>

#include "interface__QT/effect_list_window.h"
#include "interface__QT/gui_test_support.h"
#include "interface__QT/settings_window.h"

namespace {

struct Item {
    QString text;
    int id;  // -1: no id
};

// The items of a menu in order, separators left out.
std::vector<Item> items_of(QMenu* menu) {
    std::vector<Item> out;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) out.push_back({action->text(), action->data().isValid() ? action->data().toInt() : -1});
    return out;
}

void expect_items(QMenu* menu, const std::vector<Item>& expected) {
    ASSERT_NE(menu, nullptr);
    std::vector<Item> got = items_of(menu);
    ASSERT_EQ(got.size(), expected.size()) << menu->title().toStdString();
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(got[i].text, expected[i].text) << menu->title().toStdString() << " item " << i;
        EXPECT_EQ(got[i].id, expected[i].id) << got[i].text.toStdString();
    }
}

}  // namespace

TEST_F(Main_Window_Test, MenusHoldEveryItemInOrderWithItsId) {
    QStringList titles;
    for (QAction* action : window->menuBar()->actions()) titles << action->text().remove('&');
    EXPECT_EQ(titles,
              QStringList({"File", "Edit", "Pattern", "Sample", "Instrument", "Song", "Windows", "Settings", "Help"}));
    // Undo and redo with the keys desktop editors use.
    QList<QAction*> edit = window->get_menu("Edit")->actions();
    ASSERT_EQ(edit.size(), 2);
    EXPECT_EQ(edit[0]->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+Z")}));
    EXPECT_EQ(edit[1]->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));

    expect_items(window->get_menu("File"), {{"&New Song", -1}, {"&Load...", -1}, {"Recent Songs", -1}, {"&Save", -1},
                                            {"Save &As..", -1}, {"&Close", -1}, {"&Quit", -1}});

    std::vector<Item> pattern = {{"Undo/Redo Last Action", 100}};
    const char* const captions[] = {"Mark- Block Begin",
                                    "Mark- Block End",
                                    "Mark- Toggle Column/All",
                                    "Block- Copy",
                                    "Block- Paste Insert",
                                    "Block- Paste Overwrite",
                                    "Block- UnMark",
                                    "Block- Cut",
                                    "Block- Raise Notes",
                                    "Block- Lower Notes",
                                    "Block- Set Current Instrument",
                                    "Block- Set Current Volume/Pan",
                                    "Block- Remove Stray Volumes",
                                    "Block- Ramp or Wipe(2xPress) Volumes/Pannings",
                                    "Block- Ramp or Wipe(2xPress) Effects",
                                    "Block- Double Block Length",
                                    "Block- Halve Block Length",
                                    "Cursor Field- Toggle Mask",
                                    "Cursor Field- Clear",
                                    "Cursor Field- Copy Current",
                                    "Cursor Field- Paste Current"};
    for (int id = 0; id < 21; id++) pattern.push_back({captions[id], id});
    pattern.insert(pattern.end(), {{"Block- Volume Amplifier", 101},
                                   {"Toggle Cursor Follows Song", 102},
                                   {"Clear ALL Patterns", 103},
                                   {"Clear Orderlist", 104}});
    expect_items(window->get_menu("Pattern"), pattern);

    expect_items(window->get_menu("Sample"),
                 {{"Sample- Copy", 0}, {"Sample- Cut", 1}, {"Sample- Paste", 2}, {"Sample- Delete", 3},
                  {"Sample- Load", 4}, {"Sample- Save", 5}, {"Sample- Make Instrument", 6},
                  {"Sample- Clear Unused Samples", 7}, {"Sample- Clear Default Pannings", 8}});
    expect_items(window->get_menu("Instrument"),
                 {{"Instrument- Copy", 0}, {"Instrument- Cut", 1}, {"Instrument- Paste", 2},
                  {"Instrument- Delete", 3}, {"Instrument- Delete (samples too)", 4}, {"Instrument- Load", 5},
                  {"Instrument- Save", 6}, {"Instrument- Recreate ALL from Samples", 7},
                  {"Instrument- Clear Default Pannings", 8}});
    expect_items(window->get_menu("Song"), {{"Skip To P&revious Order", -1}, {"&Play Song", -1}, {"&Stop", -1},
                                            {"Stop All Songs", -1}, {"Skip To &Next Order", -1},
                                            {"Play Pa&ttern", -1}, {"Play Song From &Cursor", -1}});
    expect_items(window->get_menu("Help"), {{"Keys", -1}, {"Pattern Edit Effect List", -1}, {"About Wendmoor!", -1}});

    // The desktop's shortcuts and the play keys are shown on the items.
    EXPECT_EQ(item("File", "&New Song")->shortcut(), QKeySequence(QKeySequence::New));
    EXPECT_EQ(item("File", "&Load...")->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(item("File", "&Save")->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(item("File", "Save &As..")->shortcut(), QKeySequence(QKeySequence::SaveAs));
    EXPECT_EQ(item("File", "&Close")->shortcut(), QKeySequence(QKeySequence::Close));
    EXPECT_EQ(item("File", "&Quit")->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(item("Song", "&Play Song")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(item("Song", "Play Pa&ttern")->shortcut(), QKeySequence(Qt::Key_F6));
    EXPECT_EQ(item("Song", "Play Song From &Cursor")->shortcut(), QKeySequence(Qt::Key_F7));
    EXPECT_EQ(item("Song", "&Stop")->shortcut(), QKeySequence(Qt::Key_F8));

    EXPECT_EQ(window->statusBar()->currentMessage(), "Ready");
    EXPECT_EQ(window->windowTitle(), QString("Wendmoor ") + WENDMOOR_VERSION);
}

TEST_F(Main_Window_Test, PageMenusAreEnabledOnlyOnTheirPage) {
    auto enabled = [&] {
        return QString("%1%2%3")
            .arg(window->get_menu("Pattern")->menuAction()->isEnabled())
            .arg(window->get_menu("Sample")->menuAction()->isEnabled())
            .arg(window->get_menu("Instrument")->menuAction()->isEnabled());
    };
    EXPECT_EQ(enabled(), "000") << "no song window";
    Interface* song = new_song();
    const std::pair<Interface::Page, const char*> pages[] = {
        {Interface::PAGE_PATTERNS, "100"}, {Interface::PAGE_SAMPLES, "010"},   {Interface::PAGE_INSTRUMENTS, "001"},
        {Interface::PAGE_ORDERS, "000"},   {Interface::PAGE_VARIABLES, "000"}, {Interface::PAGE_BUFFERS, "000"},
    };
    for (auto [page, expected] : pages) {
        song->set_current_page(page);
        window->timer_callback();
        EXPECT_EQ(enabled(), expected) << Interface::page_titles[page];
    }
    QStringList titles;
    for (int i = 0; i < song->count(); i++) titles << song->tabText(i);
    EXPECT_EQ(titles, QStringList({"Patterns", "Samples", "Instruments", "Order && Defaults", "Variables", "Buffers"}));
}

TEST_F(Main_Window_Test, SettingsMenuSwitchesToolbarsAndRaisesTheSettingsWindow) {
    QMenu* settings = window->get_menu("Settings");
    QToolBar* toolbars[] = {window->get_play_toolbar(), window->get_octave_toolbar(), window->get_file_toolbar()};
    auto check = [&](int hidden) {
        Q_EMIT settings->aboutToShow();
        std::vector<Item> expected = {{"Show Play Toolbar", 0},
                                      {"Show Editing Octave Toolbar", 1},
                                      {"Show File Operations Toolbar", 2},
                                      {"Configure Wendmoor", 3}};
        expect_items(settings, expected);
        for (int id = 0; id < 3; id++) {
            EXPECT_EQ(item("Settings", id)->isChecked(), id != hidden) << id;
            EXPECT_EQ(toolbars[id]->isVisible(), id != hidden) << id;
        }
    };
    check(-1);
    for (int id = 0; id < 3; id++) {
        item("Settings", id)->trigger();
        check(id);
        Q_EMIT settings->aboutToShow();
        item("Settings", id)->trigger();
        check(-1);
    }
    EXPECT_FALSE(window->get_settings_window()->isVisible());
    item("Settings", 3)->trigger();
    EXPECT_TRUE(window->get_settings_window()->isVisible());

    // The octave box: its label names it, and it follows the editing octave both ways.
    QSpinBox* octave = window->get_octave_spin_box();
    EXPECT_EQ(octave->minimum(), 0);
    EXPECT_EQ(octave->maximum(), 8);
    auto* label = window->get_octave_toolbar()->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Octave:");
    EXPECT_EQ(label->buddy(), octave);
    octave->setValue(6);
    EXPECT_EQ(Editor::get_default_octave(), 6);
    Editor::set_default_octave(2);
    window->timer_callback();
    EXPECT_EQ(octave->value(), 2);
}

TEST_F(Main_Window_Test, WindowsMenuListsSongWindowsAndActivatesThem) {
    Interface* first = new_song();
    Interface* second = new_song();
    first->get_tracker()->song.variables.name = "First";
    second->get_tracker()->song.variables.name = "Second";
    window->timer_callback();
    QMenu* windows = window->get_menu("Windows");
    Q_EMIT windows->aboutToShow();
    ASSERT_EQ(windows->actions().size(), 2);
    EXPECT_EQ(windows->actions()[0]->text(), "First");
    EXPECT_EQ(windows->actions()[1]->text(), "Second");
    EXPECT_FALSE(windows->actions()[0]->isChecked());
    EXPECT_TRUE(windows->actions()[1]->isChecked());
    windows->actions()[0]->trigger();
    EXPECT_EQ(window->get_active_song_window()->get_interface(), first);
    Q_EMIT windows->aboutToShow();
    EXPECT_TRUE(windows->actions()[0]->isChecked());
}

TEST_F(Main_Window_Test, HelpShowsTheEffectListAndTheAboutBox) {
    QSize size;
    bool modal = false;
    QString summary;
    {
        Modal_Answers answers;
        answers.then([&](QWidget* widget) {
            size = widget->size();
            modal = widget->isModal();
            if (auto* text = widget->findChild<QPlainTextEdit*>()) summary = text->toPlainText();
            widget->close();
        });
        item("Help", "Pattern Edit Effect List")->trigger();
    }
    EXPECT_EQ(size, QSize(500, 400));
    EXPECT_TRUE(modal);
    // Every effect letter and the volume column are explained.
    for (char letter = 'A'; letter <= 'Z'; letter++)
        EXPECT_TRUE(summary.contains(QString("\n%1xx").arg(letter)) || summary.contains(QString("\n%1xy").arg(letter)))
            << letter;
    EXPECT_TRUE(summary.contains("SDx")) << "the S sub-commands";
    EXPECT_TRUE(summary.contains("Volume column"));

    Seen_Box about;
    {
        Modal_Answers answers;
        answers.box("Ok", &about);
        item("Help", "About Wendmoor!")->trigger();
    }
    EXPECT_EQ(about.title, "About");
    EXPECT_TRUE(about.text.contains(QString("Wendmoor ") + WENDMOOR_VERSION)) << about.text.toStdString();
    EXPECT_EQ(about.buttons, QStringList({"Ok"}));
    EXPECT_EQ(about.icon, QMessageBox::Information);
}

namespace {

// A sound card that is not there: init fails and says why.
class Missing_Device_Driver : public Sound_Driver {
public:
    int get_mix_frequency() override { return mix_frequency; }
    bool get_mix_stereo() override { return mix_stereo; }
    bool get_mix_16bits() override { return mix_16bits; }
    int get_mix_buffer_size() override { return buffer_size; }
    std::string get_name() override { return "Missing Device"; }
    int init() override {
        last_error = working ? "" : "no audio output device found";
        return working ? 0 : -2;
    }
    bool finish() override { return false; }
    bool is_active() override { return working; }
    int process() override { return 1; }
    void flush() override {}
    bool working = false;
};

}  // namespace

TEST_F(Main_Window_Test, StatusBarSaysWhyThereIsNoSound) {
    static Missing_Device_Driver missing;  // outlives the session, which lets go of it
    missing.working = false;
    driver_manager.register_driver(&missing);
    driver_manager.set_active_driver(driver_manager.get_amount_of_drivers() - 1);
    driver_manager.reset_active_driver();
    window->set_sound_driver_manager(&driver_manager);
    window->timer_callback();
    EXPECT_TRUE(window->get_driver_problem().contains("no audio output device found"))
        << window->get_driver_problem().toStdString();
    // The program goes on: a song window opens and plays into nothing.
    Interface* song_window = new_song();
    song_window->play_song();
    EXPECT_EQ(window->statusBar()->currentMessage(), "Ready");

    missing.working = true;
    driver_manager.reset_active_driver();
    window->set_sound_driver_manager(&driver_manager);
    window->timer_callback();
    EXPECT_TRUE(window->get_driver_problem().isEmpty());
    driver_manager.set_active_driver(1);
}
