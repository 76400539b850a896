// Before any Qt header: Qt's "emit" macro would rewrite libsigc++'s emit().
#include "common/components/audio/sound_driver_manager.h"
#include "tracker/audio_session.h"
#include "tracker/config_handler.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "interface__QT/audio_config.h"
#include "interface__QT/gui_test_util.h"
#include "support/scratch_dir.h"

namespace {

constexpr int RTAUDIO = 0, DUMMY = 1, WAV_WRITER = 2;

// The real driver manager with the program's drivers, the dummy one playing.
class AudioPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.start_driver(DUMMY));
        page.set_sound_driver_manager(&driver_manager);
    }
    void TearDown() override {
        // The manager is process-wide: the next test starts from its built-in format.
        driver_manager.request_mix_stereo(true);
        driver_manager.request_mix_16bits(true);
        driver_manager.request_mix_frequency(44100);
        driver_manager.request_buffer_size(4096);
    }

    QComboBox* choice(const char* caption) { return buddy_of<QComboBox>(&page, caption); }
    QCheckBox* enabled() { return named<QCheckBox>(&page, "Enabled"); }
    QLabel* status() {
        for (QLabel* label : page.findChildren<QLabel*>())
            if (label->buddy() == nullptr && label->wordWrap()) return label;
        return nullptr;
    }

    Audio_Session session;
    Audio_Config page;
};

}  // namespace

TEST_F(AudioPage, ShowsTheManagerAndItsTables) {
    auto* drivers = page.findChild<QListWidget*>();
    ASSERT_EQ(drivers->count(), 3);
    EXPECT_EQ(drivers->item(RTAUDIO)->text(), "RtAudio Sound Driver");
    EXPECT_EQ(drivers->item(DUMMY)->text(), "Dummy Sound Driver");
    EXPECT_EQ(drivers->currentRow(), DUMMY);
    EXPECT_EQ(choice("Sampling Depth:")->currentText(), "16 Bits");
    EXPECT_EQ(choice("Channels:")->currentText(), "Stereo");
    QStringList sizes, rates;
    for (int i = 0; i < choice("Buffer Size:")->count(); ++i) sizes << choice("Buffer Size:")->itemText(i);
    for (int i = 0; i < choice("Sampling Rate:")->count(); ++i) rates << choice("Sampling Rate:")->itemText(i);
    EXPECT_EQ(sizes.join(' '), "256 512 1024 2048 4096 8192 16384 32768 65536");
    EXPECT_EQ(rates.join(' '), "4096 8192 11025 22050 32768 44100 48000");
    EXPECT_EQ(choice("Buffer Size:")->currentText(), "4096");
    EXPECT_EQ(choice("Sampling Rate:")->currentText(), "44100");
    EXPECT_TRUE(enabled()->isChecked());
    // The dummy driver writes no file.
    EXPECT_FALSE(buddy_of<QLineEdit>(&page, "File Name:")->isEnabled());
    EXPECT_FALSE(named<QPushButton>(&page, "Browse")->isEnabled());

    // A value off the table is shown as it is, and choosing it again requests nothing.
    driver_manager.request_buffer_size(3000);
    page.update_driver_variables();
    EXPECT_EQ(choice("Buffer Size:")->currentText(), "3000");
    EXPECT_EQ(driver_manager.get_mix_buffer_size(), 3000);
}

TEST_F(AudioPage, EditsReachTheDriverManager) {
    choice("Channels:")->setCurrentIndex(0);
    EXPECT_FALSE(driver_manager.get_mix_stereo());
    choice("Sampling Depth:")->setCurrentIndex(0);
    EXPECT_FALSE(driver_manager.get_mix_16bits());
    choice("Buffer Size:")->setCurrentText("1024");
    EXPECT_EQ(driver_manager.get_mix_buffer_size(), 1024);
    choice("Sampling Rate:")->setCurrentText("22050");
    EXPECT_EQ(driver_manager.get_mix_frequency(), 22050);
    EXPECT_TRUE(driver_manager.is_active_driver_active());

    QTest::mouseClick(enabled(), Qt::LeftButton);
    EXPECT_FALSE(driver_manager.is_active_driver_active());
    EXPECT_EQ(status()->text(), "Stopped.");
    QTest::mouseClick(named<QPushButton>(&page, "Reset!"), Qt::LeftButton);
    EXPECT_TRUE(driver_manager.is_active_driver_active());
    EXPECT_TRUE(enabled()->isChecked());
    EXPECT_EQ(status()->text(), "Playing through Dummy Sound Driver.");

    // The disk writer, stopped: it takes over the format and its file is named on the page.
    QTest::mouseClick(enabled(), Qt::LeftButton);
    page.findChild<QListWidget*>()->setCurrentRow(WAV_WRITER);
    EXPECT_EQ(driver_manager.get_active_driver(), WAV_WRITER);
    EXPECT_EQ(driver_manager.get_mix_frequency(), 22050);
    EXPECT_EQ(choice("Sampling Rate:")->currentText(), "22050");
    EXPECT_FALSE(driver_manager.get_mix_stereo());
    auto* file = buddy_of<QLineEdit>(&page, "File Name:");
    ASSERT_TRUE(file->isEnabled());
    QTest::keyClicks(file, "/tmp/take.wav");
    EXPECT_EQ(driver_manager.get_active_driver_current_file(), "/tmp/take.wav");
}

TEST_F(AudioPage, SaysWhyTheDriverCouldNotStartAndKeepsTheWishToPlay) {
    Scratch_Dir scratch;
    page.findChild<QListWidget*>()->setCurrentRow(WAV_WRITER);
    // Switching keeps the driver running: the disk writer without a file cannot start.
    EXPECT_FALSE(driver_manager.is_active_driver_active());
    EXPECT_FALSE(enabled()->isChecked());
    EXPECT_EQ(status()->text(), "Could not start: No file set for the disk writer");

    std::string missing = scratch.file("no/such/dir/take.wav");
    buddy_of<QLineEdit>(&page, "File Name:")->setText(QString::fromStdString(missing));
    QTest::mouseClick(enabled(), Qt::LeftButton);
    EXPECT_FALSE(driver_manager.is_active_driver_active());
    EXPECT_TRUE(status()->text().startsWith(QString::fromStdString("Could not start: Cannot open " + missing)));
    ConfigHandler config;
    page.save_settings(&config);
    EXPECT_EQ(config.get_int_property("Sound Driver", "audio_driver_enabled"), 1);

    // "Browse" names a file that need not exist yet; the driver then starts.
    std::string take = scratch.file("take.wav");
    answer_modal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_TRUE(dialog->nameFilters().join(' ').contains("*.wav"));
        dialog->selectFile(QString::fromStdString(take));
        static_cast<QDialog*>(dialog)->accept();
    });
    QTest::mouseClick(named<QPushButton>(&page, "Browse"), Qt::LeftButton);
    EXPECT_EQ(driver_manager.get_active_driver_current_file(), take);
    QTest::mouseClick(named<QPushButton>(&page, "Reset!"), Qt::LeftButton);
    EXPECT_TRUE(driver_manager.is_active_driver_active());
    EXPECT_EQ(status()->text(), "Playing through WAV Disk Writer.");
    session.stop_driver();
}
