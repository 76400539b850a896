// Before any Qt header: Qt's "emit" macro would rewrite libsigc++'s emit().
#include "common/components/audio/resampler_manager.h"
#include "common/components/audio/sound_driver_manager.h"
#include "tracker/audio_session.h"
#include "tracker/config_handler.h"
#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>

#include <string>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/interface_preferences.h"
#include "interface__QT/audio_config.h"
#include "interface__QT/interface.h"
#include "interface__QT/key_entry.h"
#include "interface__QT/keyboard_input_config.h"
#include "interface__QT/settings_window.h"
#include "support/scratch_dir.h"

namespace {

constexpr int RTAUDIO = 0, DUMMY = 1, WAV_WRITER = 2;

// Every preference a stored file can change, read back from its owner.
struct Preferences {
    int driver;
    bool active, stereo, sixteen_bits;
    int frequency, buffer_size;
    std::string file;
    int resampler, repaint_interval;
    bool backing_store;
    QString pattern_family, orderlist_family;
    int pattern_size, orderlist_size;
    QColor cursor;

    static Preferences now() {
        Interface_Preferences& ui = Interface_Preferences::get_singleton_instance();
        return {driver_manager.get_active_driver(),
                driver_manager.is_active_driver_active(),
                driver_manager.get_mix_stereo(),
                driver_manager.get_mix_16bits(),
                driver_manager.get_mix_frequency(),
                driver_manager.get_mix_buffer_size(),
                driver_manager.get_active_driver_current_file(),
                Resampler_Manager::get_resampler_manager()->get_default_resampler(),
                Interface::widget_timer_interval,
                ui.get_use_backing_store(),
                ui.get_pattern_edit_font().family(),
                ui.get_orderlist_font().family(),
                ui.get_pattern_edit_font().pointSize(),
                ui.get_orderlist_font().pointSize(),
                Color_Theme::get_singleton_instance().get("lists", "cursor")};
    }
    bool operator==(const Preferences&) const = default;
};

void PrintTo(const Preferences& p, std::ostream* out) {
    *out << "driver " << p.driver << (p.active ? " on" : " off") << (p.stereo ? " stereo" : " mono")
         << (p.sixteen_bits ? " 16" : " 8") << " " << p.frequency << " Hz " << p.buffer_size << " '" << p.file
         << "' resampler " << p.resampler << " repaint " << p.repaint_interval << " backing " << p.backing_store
         << " fonts " << p.pattern_family.toStdString() << " " << p.pattern_size << ", "
         << p.orderlist_family.toStdString() << " " << p.orderlist_size << " cursor "
         << p.cursor.name().toStdString();
}

class StoredPreferences : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        Tracker_Instance::init_keyboard();
        ASSERT_TRUE(session.start_driver(DUMMY));
        window.set_sound_driver_manager(&driver_manager);
        defaults = Preferences::now();
    }
    void TearDown() override {
        // The manager is process-wide: the next test starts from its built-in format.
        driver_manager.request_mix_stereo(true);
        driver_manager.request_mix_16bits(true);
        driver_manager.request_mix_frequency(44100);
        driver_manager.request_buffer_size(4096);
        Interface::widget_timer_interval = 20;
        Interface_Preferences& ui = Interface_Preferences::get_singleton_instance();
        ui.set_use_backing_store(true);
        ui.set_pattern_edit_font(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        ui.set_orderlist_font(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        Color_Theme::get_singleton_instance().apply_preset(Color_Theme::DEFAULT_PRESET);
    }

    // As the program does it: through a file written and read by ConfigHandler.
    void save(const std::string& path) {
        ConfigHandler config;
        keys.save_settings(&config);
        window.save_settings(&config);
        ASSERT_TRUE(config.save_to_text(path));
    }
    void load(const std::string& path) {
        ConfigHandler config;
        ASSERT_TRUE(config.load_from_text(path));
        keys.load_settings(&config);
        window.load_settings(&config);
    }
    void load_text(const std::string& text) {
        Scratch_Dir::write(scratch.file("loaded"), text);
        load(scratch.file("loaded"));
    }

    Scratch_Dir scratch;
    Keyboard_Input keys;
    Audio_Session session;
    Settings_Window window;
    Preferences defaults{};
};

}  // namespace

TEST_F(StoredPreferences, EveryKeyIsWrittenWithItsCommentAndReadBack) {
    driver_manager.request_mix_stereo(false);
    driver_manager.request_mix_16bits(false);
    driver_manager.request_mix_frequency(22050);
    driver_manager.request_buffer_size(1024);
    Resampler_Manager::get_resampler_manager()->set_default_resampler(0);
    Interface::widget_timer_interval = 40;
    Interface_Preferences& ui = Interface_Preferences::get_singleton_instance();
    ui.set_use_backing_store(false);
    ui.set_pattern_edit_font(QFont("Wendmoor Test Mono", 13));
    ui.set_orderlist_font(QFont("Wendmoor Test Sans", 9));
    Color_Theme::get_singleton_instance().set("lists", "cursor", QColor(1, 2, 3));
    Preferences stored = Preferences::now();
    save(scratch.file("settings"));

    std::string text = Scratch_Dir::read(scratch.file("settings"));
    for (const char* line : {
             "[Sound Driver]", "; 1 stereo, 0 mono\nmix_stereo = 0\n", "; 1 16bits, 0 8bits\nmix_16bits = 0\n",
             "; Sampling Rate (in HZ)\nmix_freq = 22050\n", "; Mixing Buffer Size (bytes)\nmix_buffersize = 1024\n",
             "; 1- RtAudio Sound Driver 2- Dummy Sound Driver 3- WAV Disk Writer \naudio_driver_index = 2\n",
             "; if 1, start enabled, 0 start disabled\naudio_driver_enabled = 1\n",
             "; File this audio driver needs (if applies)\naudio_driver_file = \n", "[Resampler]",
             "; 0 Raw, 1 Linear\nresampler_index = 0\n", "[Misc Interface]", "\nrepaint_interval = 40\n",
             "\nuse_backing_store = 0\n", "\npattern_edit_font_family = Wendmoor Test Mono\n",
             "\npattern_edit_font_point_size = 13\n", "\norderlist_font_family = Wendmoor Test Sans\n",
             "\norderlist_font_point_size = 9\n", "[Color Theme]", "\nlists:-_-:cursor = 1,2,3\n",
             "[Tracker Keys]", "\nKEY_NOTE_CUT = 49\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    // Everything back to other values, then the file restores what was stored.
    session.stop_driver();
    window.get_audio_config()->listbox_driver_changed(RTAUDIO);
    Resampler_Manager::get_resampler_manager()->set_default_resampler(1);
    TearDown();
    keys.set_key_bind_key(0, 'x');
    ASSERT_NE(Preferences::now(), stored);

    QSignalSpy colors(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed);
    QSignalSpy fonts(&ui, &Interface_Preferences::changed);
    QSignalSpy repaint(&window, &Settings_Window::repaint_interval_changed);
    load(scratch.file("settings"));
    EXPECT_EQ(Preferences::now(), stored);
    EXPECT_GE(colors.count(), 1);
    EXPECT_GE(fonts.count(), 1);
    ASSERT_EQ(repaint.count(), 1);
    EXPECT_EQ(repaint.first().at(0).toInt(), 40);
    // The key bindings were loaded by their owner; their page shows them.
    EXPECT_EQ(window.get_keyboard_config()->get_entry(0)->get_key_field()->text(), "1");
}

TEST_F(StoredPreferences, TheDriverIndexIsOneBased) {
    const struct {
        const char* stored;
        int selected;
    } cases[] = {{"1", RTAUDIO}, {"2", DUMMY}, {"3", WAV_WRITER}, {"0", DUMMY}, {"4", DUMMY}, {"-1", DUMMY}};
    for (const auto& c : cases) {
        session.start_driver(DUMMY);
        // Disabled, so that no device is opened.
        load_text(std::string("[Sound Driver]\naudio_driver_enabled = 0\naudio_driver_index = ") + c.stored + "\n");
        EXPECT_EQ(driver_manager.get_active_driver(), c.selected) << c.stored;
        EXPECT_FALSE(driver_manager.is_active_driver_active());
        ConfigHandler config;
        window.save_settings(&config);
        EXPECT_EQ(config.get_int_property("Sound Driver", "audio_driver_index"), c.selected + 1);
    }
}

TEST_F(StoredPreferences, MissingOrMalformedValuesKeepTheDefaults) {
    const char* keys_and_sections[][2] = {
        {"Sound Driver", "mix_stereo"},          {"Sound Driver", "mix_16bits"},
        {"Sound Driver", "mix_freq"},            {"Sound Driver", "mix_buffersize"},
        {"Sound Driver", "audio_driver_index"},  {"Sound Driver", "audio_driver_enabled"},
        {"Resampler", "resampler_index"},        {"Misc Interface", "repaint_interval"},
        {"Misc Interface", "use_backing_store"}, {"Misc Interface", "pattern_edit_font_point_size"},
        {"Misc Interface", "orderlist_font_point_size"}, {"Color Theme", "lists:-_-:cursor"},
    };
    // audio_driver_enabled takes any number (non-zero plays), so only text spoils it.
    const char* spoilt[] = {"", "abc", "12abc", "99999999999999999999", "2", "-1", "0x10", "1,2"};
    load_text("");
    EXPECT_EQ(Preferences::now(), defaults) << "an empty file";
    for (const auto& [section, key] : keys_and_sections) {
        for (const char* value : spoilt) {
            if (std::string(key) == "audio_driver_enabled" && (std::string(value) == "2" || std::string(value) == "-1"))
                continue;
            load_text(std::string("[") + section + "]\n" + key + " = " + value + "\n");
            EXPECT_EQ(Preferences::now(), defaults) << key << " = '" << value << "'";
        }
    }
    load_text("[Misc Interface]\npattern_edit_font_family =   \norderlist_font_point_size = 0\n"
              "[Sound Driver]\nmix_freq = 100\nmix_buffersize = 1000000\n");
    EXPECT_EQ(Preferences::now(), defaults);
}

TEST_F(StoredPreferences, AHostileFileChangesOnlyWhatIsValidAndTheValidKeysSurviveTheRewrite) {
    std::string hostile = "\x01\x02garbage\xff\xfe\n[\n[]\n]]]\n=\n = = =\n[Sound Driver\n";
    hostile += "[Sound Driver]\nmix_freq = 22050\nmix_stereo = 99999999999999999999999999\nmix_16bits =\n";
    hostile += "audio_driver_index = " + std::string(600, '9') + "\naudio_driver_file = ;\n";
    hostile += std::string(100000, 'x') + " = " + std::string(100000, 'y') + "\n";
    hostile += "[Resampler]\nresampler_index = 0\n";
    hostile += "[Misc Interface]\nrepaint_interval = 50\nuse_backing_store = -2147483648\n";
    hostile += "pattern_edit_font_family = " + std::string(5000, 'F') + "\npattern_edit_font_point_size = 1e9\n";
    hostile += "[Color Theme]\nlists:-_-:cursor = 10,20,30\nlists:-_-:background = 300,-1,0\n";
    hostile += "pattern_edit:-_-:cursor = ,,\nsample_edit:-_-:center = 1,2,3,\x80\n";
    hostile += "[Tracker Keys]\nKEY_NOTE_CUT = 0\nKEY_NOTE_OFF = 38\n";
    hostile += "[Misc Interface]\nrepaint_interval";  // no line end: never read
    load_text(hostile);

    Preferences expected = defaults;
    expected.frequency = 22050;
    expected.resampler = 0;
    expected.repaint_interval = 50;
    expected.pattern_family = QString(5000, 'F');
    expected.cursor = QColor(10, 20, 30);
    EXPECT_EQ(Preferences::now(), expected);
    EXPECT_EQ(keys.get_key_bind_key(0), '1');
    EXPECT_EQ(keys.get_key_bind_key(1), '&');

    save(scratch.file("rewritten"));
    ConfigHandler rewritten;
    ASSERT_TRUE(rewritten.load_from_text(scratch.file("rewritten")));
    EXPECT_EQ(rewritten.get_int_property("Sound Driver", "mix_freq"), 22050);
    EXPECT_EQ(rewritten.get_int_property("Sound Driver", "mix_stereo"), defaults.stereo ? 1 : 0);
    EXPECT_EQ(rewritten.get_int_property("Resampler", "resampler_index"), 0);
    EXPECT_EQ(rewritten.get_int_property("Misc Interface", "repaint_interval"), 50);
    EXPECT_EQ(rewritten.get_str_property("Color Theme", "lists:-_-:cursor"), "10,20,30");
    EXPECT_EQ(rewritten.get_str_property("Color Theme", "lists:-_-:background"), "26,30,38");
    EXPECT_EQ(rewritten.get_int_property("Tracker Keys", "KEY_NOTE_OFF"), 38);
}

TEST_F(StoredPreferences, TheWindowHasItsFourPages) {
    QStringList titles;
    for (int i = 0; i < window.get_pages()->count(); ++i) titles << window.get_pages()->tabText(i);
    EXPECT_EQ(titles.join(','), "Audio,Keyboard,Colors,Interface");
}
