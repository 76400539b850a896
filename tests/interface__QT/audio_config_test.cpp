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
#include "support/private_pulse.h"
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
        driver_manager.request_output_device(Audio_Output_Device{});
        driver_manager.request_mix_stereo(true);
        driver_manager.request_mix_16bits(true);
        driver_manager.request_mix_frequency(44100);
        driver_manager.request_buffer_size(4096);
    }

    QComboBox* choice(const char* caption) { return buddy_of<QComboBox>(&page, caption); }
    QCheckBox* enabled() { return named<QCheckBox>(&page, "Enabled"); }
    void click(const char* button) { QTest::mouseClick(named<QPushButton>(&page, button), Qt::LeftButton); }
    QString status() {
        for (QLabel* label : page.findChildren<QLabel*>())
            if (label->wordWrap()) return label->text();
        return QString();
    }

    Audio_Session session;
    Audio_Config page;
};

}  // namespace

TEST_F(AudioPage, EditsReachTheDriverManager) {
    EXPECT_EQ(page.findChild<QListWidget*>()->currentItem()->text(), "Dummy Sound Driver");
    choice("Channels:")->setCurrentText("Mono");
    EXPECT_FALSE(driver_manager.get_mix_stereo());
    choice("Sampling Depth:")->setCurrentText("8 Bits");
    EXPECT_FALSE(driver_manager.get_mix_16bits());
    choice("Buffer Size:")->setCurrentText("1024");
    EXPECT_EQ(driver_manager.get_mix_buffer_size(), 1024);
    choice("Sampling Rate:")->setCurrentText("22050");
    EXPECT_EQ(driver_manager.get_mix_frequency(), 22050);
    EXPECT_TRUE(driver_manager.is_active_driver_active());
    // The dummy driver writes no file.
    EXPECT_FALSE(buddy_of<QLineEdit>(&page, "File Name:")->isEnabled());
    EXPECT_FALSE(named<QPushButton>(&page, "Browse")->isEnabled());

    QTest::mouseClick(enabled(), Qt::LeftButton);
    EXPECT_FALSE(driver_manager.is_active_driver_active());
    EXPECT_EQ(status(), "Stopped.");
    click("Reset!");
    EXPECT_TRUE(driver_manager.is_active_driver_active());
    EXPECT_TRUE(enabled()->isChecked());
    EXPECT_EQ(status(), "Playing through Dummy Sound Driver.");

    // A value off the table is shown as it is.
    driver_manager.request_buffer_size(3000);
    page.update_driver_variables();
    EXPECT_EQ(choice("Buffer Size:")->currentText(), "3000");

    // The disk writer, chosen while stopped, takes over the format and is given its file.
    QTest::mouseClick(enabled(), Qt::LeftButton);
    page.findChild<QListWidget*>()->setCurrentRow(WAV_WRITER);
    EXPECT_EQ(driver_manager.get_active_driver(), WAV_WRITER);
    EXPECT_EQ(driver_manager.get_mix_frequency(), 22050);
    EXPECT_FALSE(driver_manager.get_mix_stereo());
    EXPECT_EQ(choice("Sampling Rate:")->currentText(), "22050");
    QTest::keyClicks(buddy_of<QLineEdit>(&page, "File Name:"), "/tmp/take.wav");
    EXPECT_EQ(driver_manager.get_active_driver_current_file(), "/tmp/take.wav");
}

TEST_F(AudioPage, SaysWhyTheDriverCouldNotStartAndKeepsTheWishToPlay) {
    Scratch_Dir scratch;
    // Switching keeps the driver running: the disk writer without a file cannot start.
    page.findChild<QListWidget*>()->setCurrentRow(WAV_WRITER);
    EXPECT_FALSE(driver_manager.is_active_driver_active());
    EXPECT_FALSE(enabled()->isChecked());
    EXPECT_EQ(status(), "Could not start: No file set for the disk writer");

    std::string missing = scratch.file("no/such/dir/take.wav");
    buddy_of<QLineEdit>(&page, "File Name:")->setText(QString::fromStdString(missing));
    QTest::mouseClick(enabled(), Qt::LeftButton);
    EXPECT_FALSE(driver_manager.is_active_driver_active());
    EXPECT_TRUE(status().startsWith(QString::fromStdString("Could not start: Cannot open " + missing)));
    ConfigHandler config;
    page.save_settings(&config);
    EXPECT_EQ(config.get_int_property("Sound Driver", "audio_driver_enabled"), 1);

    // "Browse" may name a file that does not exist yet; the driver then starts.
    std::string take = scratch.file("take.wav");
    answer_modal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_TRUE(dialog->nameFilters().join(' ').contains("*.wav"));
        dialog->selectFile(QString::fromStdString(take));
        static_cast<QDialog*>(dialog)->accept();
    });
    click("Browse");
    EXPECT_EQ(driver_manager.get_active_driver_current_file(), take);
    click("Reset!");
    EXPECT_TRUE(driver_manager.is_active_driver_active());
    EXPECT_EQ(status(), "Playing through WAV Disk Writer.");
    session.stop_driver();
}

// The device list of every back end, the system default first; the choice goes to the driver
// and the settings by name, and a stored device that is not there gives way to the default,
// which the page says.
TEST_F(AudioPage, OutputDeviceIsChosenByNameAndFallsBackToTheDefault) {
    Scratch_Dir scratch;
    Private_Pulse pulse(scratch.file("pulse"), {"First", "Second"});
    if (!pulse.started) GTEST_SKIP() << "pulseaudio could not be started here";
    QComboBox* devices = choice("Output Device:");
    EXPECT_FALSE(devices->isEnabled()) << "the dummy driver plays through no device";

    page.findChild<QListWidget*>()->setCurrentRow(RTAUDIO);  // running, so it starts on the default
    page.refresh_device_list();
    ASSERT_TRUE(devices->isEnabled());
    EXPECT_EQ(devices->itemText(0), "System default");
    EXPECT_EQ(devices->currentIndex(), 0);
    ASSERT_GE(devices->findText("First (PulseAudio)"), 1);
    ASSERT_GE(devices->findText("Second (PulseAudio)"), 1);

    const struct {
        const char* stored_name;  // as the settings file holds it, or chosen in the list
        bool listed;
        const char* shown;
        bool notice;
    } table[] = {
        {"Second", true, "Second (PulseAudio)", false},
        {"First", true, "First (PulseAudio)", false},
        {"Unplugged", false, "Unplugged (PulseAudio, not found)", true},
        {"", true, "System default", false},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.stored_name);
        const Audio_Output_Device device = *row.stored_name ? Audio_Output_Device{"pulse", row.stored_name}
                                                            : Audio_Output_Device{};
        if (row.listed) {
            devices->setCurrentText(row.shown);
        } else {
            ConfigHandler stored;
            page.save_settings(&stored);
            stored.add_property("Sound Driver", "audio_device_name", std::string(row.stored_name), "");
            page.load_settings(&stored);
        }
        EXPECT_EQ(driver_manager.get_output_device(), device);
        EXPECT_TRUE(driver_manager.is_active_driver_active()) << status().toStdString();
        EXPECT_EQ(devices->currentText(), row.shown);
        EXPECT_EQ(status().contains("is not there; playing through the system default"), row.notice)
            << status().toStdString();
        ConfigHandler saved;
        page.save_settings(&saved);
        EXPECT_EQ(saved.get_str_property("Sound Driver", "audio_device_api"), device.api);
        EXPECT_EQ(saved.get_str_property("Sound Driver", "audio_device_name"), device.name) << "the wish is kept";
    }
    session.stop_driver();
}
