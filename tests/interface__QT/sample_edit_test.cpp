// The "Samples" page in a song window: the slot list, the slot operations from the "Sample"
// menu with their dialogs and boxes, the edit effects applied from the panel, dropped files.
#include <QDropEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QSpinBox>
#include <QUrl>

#include <cmath>
#include <filesystem>
#include <functional>

#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/sample_viewer.h"
#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/sample_edit.h"
#include "interface__QT/sample_edit_effects.h"
#include "interface__QT/sample_editor_format.h"
#include "interface__QT/sample_list.h"
#include "interface__QT/sample_list_model.h"
#include "interface__QT/sample_player_fdialog.h"
#include "support/sample_data_builder.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"

namespace {

class Sample_Page_Test : public Main_Window_Test {
protected:
    void SetUp() override {
        Main_Window_Test::SetUp();
        ASSERT_TRUE(dir.ok());
        song_window = new_song();
        tracker = tracker_of(song_window);
        build_test_song(tracker->song);  // slot 0: a looped tone of 1024 frames, slot 1: 6000 frames of noise
        tracker->song.sample[0].name = "Tone";
        tracker->song.sample[1].name = "Noise";
        tracker->song.sample[9].name = "only words";  // a name without a sample, as songs use them
        song_window->set_current_page(Interface::PAGE_SAMPLES);
        page = qobject_cast<Sample_Edit*>(song_window->get_page(Interface::PAGE_SAMPLES));
        ASSERT_NE(page, nullptr);
        song_window->samples_changed();
        QApplication::processEvents();
    }
    void TearDown() override {
        Sample_Edit::sample_clipboard.reset(true);
        Main_Window_Test::TearDown();
    }

    void select(int slot) {
        page->get_list()->set_current_slot(slot);
        ASSERT_EQ(song_window->get_selected_sample(), slot);
    }
    // A WAV of slot `slot`, written as the user would.
    std::string wav_of(int slot, const std::string& name) {
        std::string path = dir.file(name);
        EXPECT_EQ(tracker->file_format_manager.save_sample(path.c_str(), slot), 0);
        return path;
    }
    Sample& sample(int slot) { return tracker->song.sample[slot]; }

    Scratch_Dir dir;
    Interface* song_window = nullptr;
    Tracker_Instance* tracker = nullptr;
    Sample_Edit* page = nullptr;
};

std::vector<short> frames_of(const Sample& sample) {
    const short* block = static_cast<const short*>(sample.data.get_data_ptr());
    return block ? std::vector<short>(block, block + sample.data.get_size()) : std::vector<short>();
}

}  // namespace

TEST_F(Sample_Page_Test, ListShowsTheSlotsAndItsSelectionDrivesThePage) {
    Sample_List* list = page->get_list();
    Sample_List_Model* model = list->get_model();
    ASSERT_EQ(model->rowCount(), 99);
    EXPECT_EQ(model->index(0).data().toString(), "01 Tone");
    EXPECT_EQ(model->index(9).data().toString(), "10 only words");
    EXPECT_EQ(model->index(98).data().toString(), "99 ");
    // Used and empty slots are written in different colours.
    EXPECT_NE(model->index(0).data(Qt::ForegroundRole), model->index(9).data(Qt::ForegroundRole));
    EXPECT_EQ(model->index(1).data(Qt::ForegroundRole), model->index(0).data(Qt::ForegroundRole));

    // Arrows move the selection, and the whole page and the song window follow.
    list->setFocus();
    ASSERT_EQ(list->get_current_slot(), 0);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(song_window->get_selected_sample(), 1);
    EXPECT_EQ(buddy_of<QLabel>(page, "Length:")->text(), "6000");
    EXPECT_EQ(page->get_viewer()->get_sample_data(), &sample(1).data);
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(song_window->get_selected_sample(), 98);
    EXPECT_EQ(buddy_of<QLabel>(page, "Length:")->text(), "0");

    // Set from outside (another page, the menus), the list follows on the next tick.
    song_window->set_selected_sample(1);
    QTest::qWait(60);
    EXPECT_EQ(list->get_current_slot(), 1);

    // Return renames in place; the name goes through its property.
    QTest::keyClick(list, Qt::Key_Return);
    auto* field = list->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), "Noise");
    field->selectAll();
    QTest::keyClicks(field, "Snare 2");
    QTest::keyClick(field, Qt::Key_Return);
    QApplication::processEvents();  // the view commits the edit from its queue
    EXPECT_EQ(sample(1).name, "Snare 2");
    EXPECT_EQ(model->index(1).data().toString(), "02 Snare 2");
    EXPECT_EQ(tracker->keyboard.get_latest_key(), -1) << "typing a name played notes";
}

TEST_F(Sample_Page_Test, CutAndPasteFromTheMenuMoveTheSampleAndASecondPasteDuplicatesIt) {
    const std::vector<short> tone = frames_of(sample(0));
    select(0);
    item("Sample", 1)->trigger();  // "Sample- Cut"
    EXPECT_FALSE(sample(0).in_use);
    EXPECT_EQ(page->get_list()->get_model()->index(0).data().toString(), "01 ");
    select(4);
    item("Sample", 2)->trigger();  // "Sample- Paste"
    select(5);
    item("Sample", 2)->trigger();
    for (int slot : {4, 5}) {
        EXPECT_TRUE(sample(slot).in_use);
        EXPECT_EQ(sample(slot).name, "Tone");
        EXPECT_EQ(frames_of(sample(slot)), tone);
    }
    EXPECT_NE(sample(4).data.get_data_ptr(), sample(5).data.get_data_ptr());
    EXPECT_EQ(buddy_of<QLabel>(page, "Length:")->text(), "1024");

    item("Sample", 0)->trigger();  // "Sample- Copy" of slot 5, then "Sample- Delete", which asks
    Seen_Box question;
    {
        Modal_Answers answers;
        answers.box("Yes", &question);
        item("Sample", 3)->trigger();
    }
    EXPECT_EQ(question.text, "Delete sample 06?");
    EXPECT_FALSE(sample(5).in_use);
    EXPECT_EQ(Sample_Edit::sample_clipboard.name, "Tone");
}

TEST_F(Sample_Page_Test, SavingAsksBeforeOverwritingAndSaysWhenItFailed) {
    // An unused slot: no dialog at all, nothing written.
    select(30);
    item("Sample", 5)->trigger();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    select(0);
    std::string kept = dir.file("kept.wav");
    Scratch_Dir::write(kept, "not a sample, but mine");
    QString title;
    QStringList filters;
    Seen_Box question;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(kept), &title, &filters).box("No", &question);
        item("Sample", 5)->trigger();
    }
    EXPECT_EQ(title, "Save Sample");
    EXPECT_EQ(filters, QStringList({"Sample Formats (*.ws *.WS *.is *.IS *.wav *.WAV)"}));
    EXPECT_EQ(question.title, "Question:");
    EXPECT_EQ(question.text, "File exists! Overwrite?");
    EXPECT_EQ(Scratch_Dir::read(kept), "not a sample, but mine");

    // The tone loops, which a WAV file cannot keep: said first, and only "Save" writes.
    for (const char* answer : {"Cancel", "Save"}) {
        Seen_Box loss;
        {
            Modal_Answers answers;
            answers.file(QString::fromStdString(kept)).box("Yes").box(answer, &loss);
            item("Sample", 5)->trigger();
        }
        EXPECT_EQ(loss.title, "Not Everything Fits");
        EXPECT_EQ(loss.text, QString::fromUtf8("\"kept.wav\" cannot hold everything the sample has:\n\n"
                                               "\u2022 Loop: WAV files keep no loop: the loop is dropped.\n\nSave anyway?"));
        EXPECT_EQ(Scratch_Dir::read(kept).substr(0, 4) == "RIFF", std::string(answer) == "Save");
    }

    // A name no format claims.
    Seen_Box failure;
    std::string odd = dir.file("tone.xyz");
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(odd)).box("Ok", &failure);
        item("Sample", 5)->trigger();
    }
    EXPECT_EQ(failure.title, "Oops!");
    EXPECT_EQ(failure.text, QString("Error saving sample!\n%1: no format is saved under this name")
                                .arg(QString::fromStdString(odd)));
    EXPECT_FALSE(std::filesystem::exists(odd));
}

TEST_F(Sample_Page_Test, LoadingPreviewsTheHighlightedFileAndReportsBadOnes) {
    std::string noise = wav_of(1, "noise.wav");
    std::string bad = dir.file("bad.wav");
    Scratch_Dir::write(bad, std::string("RIFF\x10\0\0\0WAVEfmt \x10\0\0\0\x03\0", 22));  // a float format
    select(7);

    // Highlighted, the file is loaded on its own and plays on the note keys, not into the song.
    Sample_Data* previewed = nullptr;
    Sample_Data* heard = nullptr;
    Sample_Data* still_heard = nullptr;
    QStringList filters;
    {
        Modal_Answers answers;
        answers.then([&](QWidget* widget) {
            auto* dialog = qobject_cast<Sample_Player_FDialog*>(widget);
            ASSERT_NE(dialog, nullptr);
            filters = dialog->nameFilters();
            dialog->preview_file(QString::fromStdString(noise));
            previewed = dialog->get_previewed();
            // The note lasts while its key is held.
            QTest::keyPress(dialog->findChild<QListView*>("listView"), 'q');
            heard = tracker->keyboard.sample_get();
            QTest::keyRelease(dialog->findChild<QListView*>("listView"), 'q');
            still_heard = tracker->keyboard.sample_get();
            dialog->selectFile(QString::fromStdString(noise));
            static_cast<QDialog*>(dialog)->accept();
        });
        item("Sample", 4)->trigger();  // "Sample- Load"
    }
    EXPECT_EQ(filters, QStringList({Sample_Player_FDialog::FILTER}));
    ASSERT_NE(previewed, nullptr);
    EXPECT_EQ(heard, previewed);
    EXPECT_EQ(still_heard, nullptr) << "the preview outlived its key";
    EXPECT_TRUE(sample(7).in_use);
    EXPECT_EQ(frames_of(sample(7)), frames_of(sample(1)));
    EXPECT_EQ(tracker->keyboard.sample_get(), nullptr) << "the preview outlived its dialog";
    EXPECT_EQ(buddy_of<QLabel>(page, "Length:")->text(), "6000");

    // A file that cannot be loaded leaves the slot as it was and says why.
    const void* block = sample(7).data.get_data_ptr();
    Seen_Box failure;
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(bad)).box("Ok :(", &failure);
        item("Sample", 4)->trigger();
    }
    EXPECT_EQ(failure.title, "Error Loading Sample");
    EXPECT_EQ(failure.text, "bad.wav: Header Corrupt");
    EXPECT_EQ(sample(7).data.get_data_ptr(), block);
}

TEST_F(Sample_Page_Test, FilesDroppedOnASlotLoadThereAndAfterIt) {
    std::string tone = wav_of(0, "tone.wav");
    std::string noise = wav_of(1, "noise.wav");
    std::string text = dir.file("notes.txt");
    Scratch_Dir::write(text, "hello");
    Sample_List* list = page->get_list();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(tone)), QUrl::fromLocalFile(QString::fromStdString(text)),
                  QUrl::fromLocalFile(QString::fromStdString(noise))});
    QPoint onto = list->visualRect(list->get_model()->index(3)).center();
    QDragEnterEvent enter(onto, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    Seen_Box failure;
    {
        Modal_Answers answers;
        answers.box("Ok :(", &failure);
        QDropEvent drop(onto, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &drop);
    }
    EXPECT_EQ(frames_of(sample(3)), frames_of(sample(0)));
    EXPECT_EQ(frames_of(sample(4)), frames_of(sample(1)));
    EXPECT_FALSE(sample(5).in_use);
    EXPECT_EQ(failure.text, "notes.txt: File Format Not Recognized");
    EXPECT_EQ(song_window->get_selected_sample(), 3);
}

// Every operation chosen in the "Edit Effects" list and applied with its button, on the
// selection the viewer holds.
TEST_F(Sample_Page_Test, EditEffectsFromThePanelChangeTheData) {
    struct Case {
        const char* effect;
        std::vector<float> frames;  // 16-bit frames as -1..1
        int select_begin, select_end;  // -1: no selection
        std::function<void(Sample_Data&)> prepare;
        std::function<void(const Sample_Data&, Sample_Edit_Effects&)> check;
    };
    auto value = [](const Sample_Data& d, int i) { return d.get_sample(i); };
    auto ramp = [](int n, float scale) {
        std::vector<float> v(n);
        for (int i = 0; i < n; i++) v[i] = scale * (i + 1) / n;
        return v;
    };
    const Case cases[] = {
        {"Reverse", {0.125f, 0.25f, 0.375f, 0.5f, 0.625f}, 0, 3, nullptr,
         [&](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_EQ(value(d, 0), 0.5f);
             EXPECT_EQ(value(d, 3), 0.125f);
             EXPECT_EQ(value(d, 4), 0.625f);
         }},
        {"Pre-Loop Cut", ramp(1000, 0.5f), -1, -1, [](Sample_Data& d) { set_loop(d, 100, 199, false); },
         [](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_EQ(d.get_size(), 900);
             EXPECT_EQ(d.get_loop_begin(), 0);
             EXPECT_EQ(d.get_loop_end(), 99);
         }},
        {"Post-Loop Cut", ramp(1000, 0.5f), -1, -1, [](Sample_Data& d) { set_loop(d, 10, 99, false); },
         [](const Sample_Data& d, Sample_Edit_Effects&) { EXPECT_EQ(d.get_size(), 100); }},
        {"Selection -> Loop", ramp(100, 0.5f), 10, 20, nullptr,
         [](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_TRUE(d.is_loop_enabled());
             EXPECT_EQ(d.get_loop_begin(), 10);
             EXPECT_EQ(d.get_loop_end(), 20);
         }},
        {"Center", {-0.2f, 0.6f, 0.2f}, -1, -1, nullptr,
         [&](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_NEAR(value(d, 0), -0.4f, 1e-4);
             EXPECT_NEAR(value(d, 1), 0.4f, 1e-4);
         }},
        {"Amp/Normalize", {0.25f, -0.5f, 0.125f}, -1, -1, nullptr,
         [&](const Sample_Data& d, Sample_Edit_Effects& panel) {
             auto* amplify = buddy_of<QSpinBox>(&panel, "Amplify(%):");
             ASSERT_NE(amplify, nullptr);
             EXPECT_EQ(amplify->value(), 200);
             EXPECT_EQ(value(d, 1), -1.0f);
             EXPECT_EQ(value(d, 0), 0.5f);
         }},
        {"Toggle Signed/Unsigned", {0.0f, 0.5f}, -1, -1, nullptr,
         [&](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_EQ(value(d, 0), -1.0f);
             EXPECT_EQ(value(d, 1), -0.5f);
         }},
        {"Toggle 16/8bits", {0.5f, -0.25f}, -1, -1, nullptr,
         [&](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_FALSE(d.is_16bit());
             EXPECT_EQ(d.get_size(), 2);
             EXPECT_EQ(value(d, 0), 0.5f);
         }},
        {"C5 Tuner", ramp(500, 0.5f), 0, 441, nullptr,
         [](const Sample_Data& d, Sample_Edit_Effects&) { EXPECT_EQ(d.get_c5_freq(), 28844); }},
        {"Fade In", std::vector<float>(20, 0.5f), 0, 10, nullptr,
         [&](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_EQ(value(d, 0), 0.0f);
             EXPECT_NEAR(value(d, 5), 0.25f, 1e-4);
             EXPECT_EQ(value(d, 10), 0.5f);
             EXPECT_EQ(value(d, 15), 0.5f);
         }},
        {"Fade Out", std::vector<float>(20, 0.5f), 0, 10, nullptr,
         [&](const Sample_Data& d, Sample_Edit_Effects&) {
             EXPECT_EQ(value(d, 0), 0.5f);
             EXPECT_EQ(value(d, 10), 0.0f);
             EXPECT_EQ(value(d, 15), 0.5f);
         }},
    };
    Sample_Edit_Effects* panel = page->get_effects_panel();
    auto* effect_list = panel->findChild<QListWidget*>();
    ASSERT_EQ(effect_list->count(), 11);
    auto* apply = named<QPushButton>(panel, "Apply");
    select(20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        Sample_Data& d = sample(20).data;
        d.set_data_ptr(std::calloc(c.frames.size(), 2), (int)c.frames.size(), true);
        for (size_t i = 0; i < c.frames.size(); i++) d.set_sample((int)i, c.frames[i]);
        d.set_loop_enabled(false);
        sample(20).in_use = true;
        if (c.prepare) c.prepare(d);
        page->update_selected_sample();
        Selection* selection = page->get_viewer()->get_selection();
        if (c.select_begin >= 0) {
            selection->set_point_1(c.select_begin);
            selection->set_point_2(c.select_end);
            selection->set_active(true);
        }
        QList<QListWidgetItem*> items = effect_list->findItems(c.effect, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        effect_list->setCurrentItem(items[0]);
        QTest::mouseClick(apply, Qt::LeftButton);
        c.check(d, *panel);
        EXPECT_EQ(buddy_of<QLabel>(page, "Length:")->text(), QString::number(d.get_size()));
    }
}
