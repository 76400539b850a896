// The "Instruments" page in a real song window: the list, the layer's editors and the table
// driven as a user drives them and checked on the song after a .wm round trip, the clipboard
// between two song windows, and loading and saving through the dialogs.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>

#include <memory>

#include "common/interface__QT/envelope_editor.h"
#include "common/interface__QT/envelope_point_editor.h"
#include "common/interface__QT/property_editor_bool.h"
#include "common/interface__QT/property_editor_int.h"
#include "common/interface__QT/property_list_editor.h"
#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/instrument_edit.h"
#include "interface__QT/note_sample_table.h"
#include "interface__QT/note_sample_table_model.h"
#include "support/scratch_dir.h"
#include "support/song_compare.h"

namespace {

class Instrument_Page_Test : public Main_Window_Test {
protected:
    Instrument_Edit* open_page(Interface* song_window) {
        song_window->set_current_page(Interface::PAGE_INSTRUMENTS);
        window->timer_callback();
        auto* page = song_window->findChild<Instrument_Edit*>();
        EXPECT_NE(page, nullptr);
        return page;
    }

    void click_row(QAbstractItemView* view, int row, int column = 0) {
        QModelIndex index = view->model()->index(row, column);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }

    void type(QWidget* to, char c) { QTest::keyClick(to, c); }

    QRadioButton* option(Instrument_Edit* page, const QString& group, const QString& text) {
        for (QGroupBox* box : page->findChildren<QGroupBox*>())
            if (box->title() == group)
                for (QRadioButton* button : box->findChildren<QRadioButton*>())
                    if (button->text() == text) return button;
        return nullptr;
    }
};

// A used sample in a slot, so that the list shows its instrument as used.
void put_sample(Song& song, int slot) {
    auto* block = (short*)std::calloc(64, sizeof(short));
    song.sample[slot].data.set_data_ptr(block, 64, true);
    song.sample[slot].in_use = true;
}

}  // namespace

TEST_F(Instrument_Page_Test, EditorsWriteTheLayerAndSurviveASongRoundTrip) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Interface* song_window = new_song();
    Tracker_Instance* tracker = tracker_of(song_window);
    Song& song = tracker->song;
    Instrument_Edit* page = open_page(song_window);
    ASSERT_NE(page, nullptr);

    // The list's selection drives the page and what the menus and the live keys act on.
    click_row(page->get_instrument_list(), 3);
    EXPECT_EQ(page->get_selected_instrument(), 3);
    EXPECT_EQ(song_window->get_selected_instrument(), 3);
    named<QRadioButton>(page, "Layer 2")->click();
    ASSERT_EQ(page->get_selected_layer(), 1);
    Instrument::Layer& layer = song.instrument[3].layers[1];

    // The table: a fill, then tracker keys and digits, then the mouse.
    Note_Sample_Table* table = page->get_table();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* fill = buddy_of<QSpinBox>(page, "Sample:");
    ASSERT_NE(fill, nullptr);
    fill->setValue(9);
    named<QPushButton>(page, "Set All Notes")->click();
    table->setFocus();
    table->setCurrentIndex(table->model()->index(48, Note_Sample_Table_Model::NOTE_COLUMN));
    type(table, 'q');  // C-2's key at octave 4
    type(table, 'w');
    EXPECT_EQ(tracker->keyboard.get_latest_key(), -1);
    EXPECT_FALSE(tracker->keyboard.is_key_down(60)) << "typing into the table plays nothing";
    table->setCurrentIndex(table->model()->index(48, Note_Sample_Table_Model::SAMPLE_COLUMN));
    type(table, '1');
    type(table, '2');
    type(table, '7');
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(table->currentIndex().row(), 51);
    QModelIndex cell = table->model()->index(20, Note_Sample_Table_Model::SAMPLE_COLUMN);
    table->scrollTo(cell);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
    auto* cell_editor = table->viewport()->findChild<QSpinBox*>();
    ASSERT_NE(cell_editor, nullptr);
    cell_editor->setValue(33);
    QTest::keyClick(cell_editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the view commits an edit from its event queue
    EXPECT_EQ(layer.note_table[48], 60);
    EXPECT_EQ(layer.note_table[49], 62);
    EXPECT_EQ(layer.sample_table[48], 11);
    EXPECT_EQ(layer.sample_table[49], 6);
    EXPECT_EQ(layer.sample_table[50], 255);
    EXPECT_EQ(layer.sample_table[20], 32);
    EXPECT_EQ(layer.sample_table[0], 8);
    EXPECT_EQ(layer.sample_table[119], 8);

    // Option groups.
    option(page, "New Note Action:", "Note Fade")->click();
    option(page, "Dup. Check Type", "Sample")->click();
    option(page, "Dup. Check Action:", "Note Off")->click();
    EXPECT_EQ(layer.nna_type, 3);
    EXPECT_EQ(layer.dc_type, 2);
    EXPECT_EQ(layer.dc_action, 1);

    // Every property editor on the page shows its bridge's range and writes the song.
    int int_editors = 0, bool_editors = 0;
    for (Property_List_Editor* list : page->findChildren<Property_List_Editor*>())
        for (int i = 0; i < list->get_editor_count(); i++) {
            Property_Editor* editor = list->get_editor(i);
            if (auto* e = dynamic_cast<Property_Editor_Int*>(editor)) {
                auto* bridge = static_cast<Int_Property_Bridge*>(e->get_bridge());
                EXPECT_EQ(e->get_spin_box()->minimum(), bridge->get_min()) << bridge->get_name();
                EXPECT_EQ(e->get_spin_box()->maximum(), bridge->get_max()) << bridge->get_name();
                e->get_spin_box()->setValue(bridge->get_min() + 1 + int_editors % 3);
                EXPECT_EQ(bridge->get(), bridge->get_min() + 1 + int_editors % 3) << bridge->get_name();
                int_editors++;
            } else if (auto* b = dynamic_cast<Property_Editor_Bool*>(editor)) {
                b->get_check_box()->click();
                bool_editors++;
            }
        }
    EXPECT_EQ(int_editors, 11) << "ten of the layer's and the instrument's channel";
    EXPECT_EQ(bool_editors, 5);
    EXPECT_TRUE(layer.override_instrument_output && layer.pan_use_default && layer.pitch_use_as_filter &&
                layer.pitch_use_default_cutoff && layer.pitch_use_default_Q);
    EXPECT_NE(song.instrument[3].channel_output, 0);
    EXPECT_NE(layer.channel_output, 0);
    EXPECT_NE(layer.volume_fadeout, 0);

    // The volume envelope: a click adds a node.
    page->get_tabs()->setCurrentIndex(1);
    Envelope_Point_Editor* graph = page->get_envelope_editor(Instrument_Edit::VOLUME_ENVELOPE)->get_point_editor();
    ASSERT_EQ(graph->get_envelope(), &layer.volume_envelope);
    QPoint at = graph->get_node_position(1) - QPoint(graph->get_node_position(1).x() / 2, 30);
    QTest::mousePress(graph, Qt::LeftButton, {}, at);
    QTest::mouseRelease(graph, Qt::LeftButton, {}, at);
    EXPECT_EQ(layer.volume_envelope.get_node_count(), 3);
    named<QCheckBox>(page->get_envelope_editor(Instrument_Edit::VOLUME_ENVELOPE), "Enable Envelope")->click();
    EXPECT_TRUE(layer.volume_envelope.is_enabled());
    // The carry switch is an edit like the others: undone with them (quick edits make one
    // step) and done again.
    named<QCheckBox>(page->get_envelope_editor(Instrument_Edit::VOLUME_ENVELOPE), "Carry")->click();
    EXPECT_TRUE(layer.volume_envelope.is_carry_enabled());
    song_window->undo();
    EXPECT_FALSE(layer.volume_envelope.is_carry_enabled());
    song_window->redo();
    EXPECT_TRUE(layer.volume_envelope.is_carry_enabled());
    EXPECT_TRUE(layer.volume_envelope.is_enabled());

    // Another layer keeps its own table; "Reset Notes" undoes a typed note.
    named<QRadioButton>(page, "Layer 3")->click();
    page->get_tabs()->setCurrentIndex(0);
    table->setFocus();
    table->setCurrentIndex(table->model()->index(10, Note_Sample_Table_Model::NOTE_COLUMN));
    type(table, 'q');
    EXPECT_EQ(song.instrument[3].layers[2].note_table[10], 60);
    named<QPushButton>(page, "Reset Notes")->click();
    EXPECT_EQ(song.instrument[3].layers[2].note_table[10], 10);
    EXPECT_EQ(layer.note_table[48], 60);

    std::string file = dir.file("edited.wm");
    ASSERT_EQ(tracker->file_format_manager.save_module(file.c_str()), 0);
    Tracker_Instance loaded;
    ASSERT_EQ(loaded.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
    expect_instruments_equal(loaded.song.instrument[3], song.instrument[3], "after the round trip");
}

TEST_F(Instrument_Page_Test, ListRenamesInPlaceTellsUsedSlotsAndPlaysTheSelection) {
    Interface* song_window = new_song();
    Tracker_Instance* tracker = tracker_of(song_window);
    put_sample(tracker->song, 0);
    tracker->song.instrument[1].layers[3].sample_table[60] = 0;
    Instrument_Edit* page = open_page(song_window);
    QTreeView* list = page->get_instrument_list();
    QAbstractItemModel* model = list->model();
    song_window->instruments_changed();
    auto colour = [model](int row) { return model->index(row, 1).data(Qt::ForegroundRole).value<QColor>(); };
    EXPECT_NE(colour(1), colour(2)) << "a used slot looks unlike an empty one";
    EXPECT_EQ(colour(2), colour(3));
    EXPECT_EQ(model->index(8, 0).data().toString(), "09");

    // Renaming stops at the name's 25 characters.
    click_row(list, 2, 1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(model->index(2, 1)).center());
    auto* field = list->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    field->selectAll();
    QTest::keyClicks(field, "A very long instrument name indeed");
    QTest::keyClick(field, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(tracker->song.instrument[2].name, "A very long instrument na");
    EXPECT_EQ(colour(2), colour(1)) << "a named slot is used";

    // Letter keys on the list play the selected instrument until released.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    list->setFocus();
    QTest::keyPress(list, Qt::Key_Q, Qt::NoModifier);
    EXPECT_EQ(tracker->keyboard.instrument_get(), 2);
    EXPECT_TRUE(tracker->keyboard.is_key_down(60));
    QTest::keyRelease(list, Qt::Key_Q, Qt::NoModifier);
    EXPECT_FALSE(tracker->keyboard.is_key_down(60));
    EXPECT_EQ(tracker->song.instrument[2].name, "A very long instrument na") << "the keys played, they did not rename";
}

TEST_F(Instrument_Page_Test, ClipboardCopiesBetweenSongWindows) {
    Interface* first = new_song();
    Song& from = tracker_of(first)->song;
    from.instrument[2].name = "Brass";
    from.instrument[2].layers[1].sample_table[30] = 4;
    from.instrument[2].layers[3].volume_envelope.add_node_at_offset(7, 30);
    Instrument_Edit* first_page = open_page(first);
    click_row(first_page->get_instrument_list(), 2);
    ASSERT_TRUE(window->get_menu("Instrument")->menuAction()->isEnabled());
    item("Instrument", 0)->trigger();  // Copy

    Interface* second = new_song();
    ASSERT_EQ(window->get_active_song_window()->get_interface(), second);
    Instrument_Edit* second_page = open_page(second);
    click_row(second_page->get_instrument_list(), 6);
    item("Instrument", 2)->trigger();  // Paste
    expect_instruments_equal(tracker_of(second)->song.instrument[6], from.instrument[2], "pasted");
    EXPECT_EQ(second_page->get_instrument_list()->model()->index(6, 1).data().toString(), "Brass");

    // Cut in the second window, paste back into the first: moved, and the clipboard keeps it.
    item("Instrument", 1)->trigger();
    EXPECT_TRUE(tracker_of(second)->song.instrument[6].name.empty());
    window->get_workspace()->setActiveSubWindow(window->get_workspace()->subWindowList().first());
    window->timer_callback();
    click_row(first_page->get_instrument_list(), 8);
    item("Instrument", 2)->trigger();
    EXPECT_EQ(from.instrument[8].name, "Brass");
    EXPECT_EQ(from.instrument[8].layers[1].sample_table[30], 4);
}

TEST_F(Instrument_Page_Test, LoadAndSaveGoThroughDialogsAndSayWhatFailed) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Interface* song_window = new_song();
    Tracker_Instance* tracker = tracker_of(song_window);
    Song& song = tracker->song;
    put_sample(song, 0);
    song.sample[0].name = "kick";
    song.instrument[0].name = "Kit";
    for (unsigned char& s : song.instrument[0].layers[0].sample_table) s = 0;
    Instrument_Edit* page = open_page(song_window);
    std::string kit = dir.file("kit.wi");

    // Save, then again over the file: "No" keeps it, "Yes" writes it.
    QStringList filters;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(kit), nullptr, &filters);
        item("Instrument", 6)->trigger();
    }
    EXPECT_EQ(filters, QStringList({"Instrument Formats (*.wi *.WI *.ii *.II)"}));
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(kit)));
    std::string saved = Scratch_Dir::read(kit);
    song.instrument[0].name = "Kit two";
    for (const char* answer : {"No", "Yes"}) {
        Seen_Box question;
        Modal_Answers answers;
        answers.file(QString::fromStdString(kit)).box(answer, &question);
        item("Instrument", 6)->trigger();
        EXPECT_EQ(question.title, "Question:");
        EXPECT_EQ(question.text, "File exists! Overwrite?");
        EXPECT_EQ(Scratch_Dir::read(kit) == saved, std::string(answer) == "No");
    }

    // A name no saver claims: the warning, and no file.
    Seen_Box warning;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(dir.file("kit.xi"))).box("Ok", &warning);
        item("Instrument", 6)->trigger();
    }
    EXPECT_EQ(warning.title, "Oops!");
    EXPECT_EQ(warning.text, QString("Error saving instrument!\n%1: no format is saved under this name")
                                .arg(QString::fromStdString(dir.file("kit.xi"))));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("kit.xi"))));

    // An empty slot is not saved: no dialog opens (one would be closed, and noted, after a second).
    click_row(page->get_instrument_list(), 5);
    auto opened = std::make_shared<bool>(false);
    QTimer::singleShot(1000, [opened] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            *opened = true;
            modal->close();
        }
    });
    item("Instrument", 6)->trigger();
    EXPECT_FALSE(*opened);

    // Load into slot 5: its sample goes to the first free slot.
    QSignalSpy samples_changed(song_window, &Interface::samples_changed);
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(kit), nullptr, &filters);
        item("Instrument", 5)->trigger();
    }
    EXPECT_EQ(filters.first(), "Instrument Files (*.wi *.WI *.ii *.II *.xi *.XI)");
    EXPECT_EQ(song.instrument[5].name, "Kit two");
    EXPECT_EQ(song.instrument[5].layers[0].sample_table[60], 1);
    EXPECT_EQ(song.sample[1].name, "kick");
    EXPECT_GE(samples_changed.count(), 1);

    // A file that is no instrument: the box says why, the slot is as it was.
    Scratch_Dir::write(dir.file("junk.xi"), "Extended Instrument: but nothing else");
    Instrument before = song.instrument[5];
    Seen_Box error;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(dir.file("junk.xi"))).box("Ok", &error);
        item("Instrument", 5)->trigger();
    }
    EXPECT_EQ(error.title, "Error Loading Instrument");
    EXPECT_TRUE(error.text.contains("File Format Not Recognized")) << error.text.toStdString();
    expect_instruments_equal(song.instrument[5], before, "after the failed load");
}
