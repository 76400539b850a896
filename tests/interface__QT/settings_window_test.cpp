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

#include <cctype>
#include <set>
#include <sstream>
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

std::set<std::string> lines_of(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
}

// Lines in `a` that are not in `b`.
std::set<std::string> only_in(const std::set<std::string>& a, const std::set<std::string>& b) {
    std::set<std::string> result;
    for (const std::string& line : a)
        if (!b.count(line)) result.insert(line);
    return result;
}

// The settings file as the program writes and reads it, with the real driver manager and
// drivers (the dummy one playing) and the real key bindings.
class StoredPreferences : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        Tracker_Instance::init_keyboard();
        ASSERT_TRUE(session.start_driver(DUMMY));
        window.set_sound_driver_manager(&driver_manager);
        defaults = saved();
    }
    void TearDown() override {
        // Process-wide objects: the next test starts from the built-in values.
        driver_manager.request_mix_stereo(true);
        driver_manager.request_mix_16bits(true);
        driver_manager.request_mix_frequency(44100);
        driver_manager.request_buffer_size(4096);
        Resampler_Manager::get_resampler_manager()->set_default_resampler(1);
        Interface::widget_timer_interval = 20;
        Interface_Preferences& ui = Interface_Preferences::get_singleton_instance();
        ui.set_use_backing_store(true);
        ui.set_pattern_edit_font(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        ui.set_orderlist_font(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        Color_Theme::get_singleton_instance().apply_preset(Color_Theme::DEFAULT_PRESET);
    }

    // What the owners hold now, written as at exit.
    std::string saved() {
        ConfigHandler config;
        config.set_header_check("WENDMOOR_CONFIG");
        keys.save_settings(&config);
        window.save_settings(&config);
        EXPECT_TRUE(config.save_to_text(scratch.file("saved")));
        return Scratch_Dir::read(scratch.file("saved"));
    }
    // The saved lines that differ from the defaults, for a short message when a test fails.
    std::string changed_from_defaults() {
        std::string changed;
        for (const std::string& line : only_in(lines_of(saved()), lines_of(defaults))) changed += line + "\n";
        return changed;
    }
    void load(const std::string& text) {
        Scratch_Dir::write(scratch.file("loaded"), text);
        ConfigHandler config;
        ASSERT_TRUE(config.load_from_text(scratch.file("loaded")));
        keys.load_settings(&config);
        window.load_settings(&config);
    }

    Scratch_Dir scratch;
    Keyboard_Input keys;
    Audio_Session session;
    Settings_Window window;
    std::string defaults;
};

}  // namespace

TEST_F(StoredPreferences, EveryKeyIsWrittenWithItsCommentAndReadBackByItsOwner) {
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
    std::string stored = saved();
    for (const char* line :
         {"[Sound Driver]\n", "; 1 stereo, 0 mono\nmix_stereo = 0\n", "; 1 16bits, 0 8bits\nmix_16bits = 0\n",
          "; Sampling Rate (in HZ)\nmix_freq = 22050\n", "; Mixing Buffer Size (bytes)\nmix_buffersize = 1024\n",
          "; 1- RtAudio Sound Driver 2- Dummy Sound Driver 3- WAV Disk Writer \naudio_driver_index = 2\n",
          "; if 1, start enabled, 0 start disabled\naudio_driver_enabled = 1\n",
          "; File this audio driver needs (if applies)\naudio_driver_file = \n", "[Resampler]\n",
          "; 0 Raw, 1 Linear\nresampler_index = 0\n", "[Misc Interface]\n", "\nrepaint_interval = 40\n",
          "\nuse_backing_store = 0\n", "\npattern_edit_font_family = Wendmoor Test Mono\n",
          "\npattern_edit_font_point_size = 13\n", "\norderlist_font_family = Wendmoor Test Sans\n",
          "\norderlist_font_point_size = 9\n", "[Color Theme]\n", "\nlists:-_-:cursor = 1,2,3\n",
          "[Tracker Keys]\n", "\nKEY_NOTE_CUT = 49\n"})
        EXPECT_NE(stored.find(line), std::string::npos) << line;

    // Everything else, then the stored file brings it all back to its owners.
    session.stop_driver();
    window.get_audio_config()->listbox_driver_changed(RTAUDIO);
    TearDown();
    keys.set_key_bind_key(0, 'x');
    ASSERT_FALSE(saved() == stored);
    QSignalSpy views(&ui, &Interface_Preferences::changed);
    QSignalSpy timers(&window, &Settings_Window::repaint_interval_changed);
    load(stored);
    EXPECT_TRUE(saved() == stored);
    EXPECT_TRUE(driver_manager.is_active_driver_active());
    EXPECT_GE(views.count(), 1);
    ASSERT_EQ(timers.count(), 1);
    EXPECT_EQ(timers.first().at(0).toInt(), 40);
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
        load(std::string("[Sound Driver]\naudio_driver_enabled = 0\naudio_driver_index = ") + c.stored + "\n");
        EXPECT_EQ(driver_manager.get_active_driver(), c.selected) << c.stored;
        EXPECT_FALSE(driver_manager.is_active_driver_active());
        EXPECT_NE(saved().find("audio_driver_index = " + std::to_string(c.selected + 1) + "\n"), std::string::npos);
    }
}

TEST_F(StoredPreferences, MissingOrMalformedValuesKeepTheDefaults) {
    const char* keys_of_sections[][2] = {
        {"Sound Driver", "mix_stereo"},        {"Sound Driver", "mix_16bits"},
        {"Sound Driver", "mix_freq"},          {"Sound Driver", "mix_buffersize"},
        {"Sound Driver", "audio_driver_index"}, {"Resampler", "resampler_index"},
        {"Misc Interface", "repaint_interval"}, {"Misc Interface", "use_backing_store"},
        {"Misc Interface", "pattern_edit_font_point_size"}, {"Misc Interface", "orderlist_font_point_size"},
        {"Color Theme", "lists:-_-:cursor"},
        {"Sound Driver", "audio_driver_enabled"},  // any number plays: only these words spoil it
    };
    load("[Misc Interface]\npattern_edit_font_family =   \n");
    EXPECT_EQ(changed_from_defaults(), "") << "a blank font family and nothing else";
    for (const auto& [section, key] : keys_of_sections) {
        for (const char* value : {"", "abc", "12abc", "0x10", "1,2", "99999999999999999999", "-1", "1000000"}) {
            std::string text = value;
            if (std::string(key) == "audio_driver_enabled" && !text.empty() && std::isdigit(text.back())) continue;
            load(std::string("[") + section + "]\n" + key + " = " + value + "\n");
            EXPECT_EQ(changed_from_defaults(), "") << key << " = '" << value << "'";
        }
    }
}

TEST_F(StoredPreferences, AHostileFileChangesOnlyWhatIsValidAndTheValidKeysSurviveTheRewrite) {
    std::string hostile = "\x01\x02garbage\xff\xfe\n[\n[]\n]]]\n=\n = = =\n[Sound Driver\n";
    hostile += "[Sound Driver]\nmix_freq = 22050\nmix_stereo = 99999999999999999999999999\nmix_16bits =\n";
    hostile += "audio_driver_index = " + std::string(600, '9') + "\naudio_driver_file = ;\n";
    hostile += std::string(100000, 'x') + " = " + std::string(100000, 'y') + "\n";
    hostile += "[Resampler]\nresampler_index = 0\n";
    hostile += "[Misc Interface]\nrepaint_interval = 50\nuse_backing_store = -2147483648\n";
    hostile += "pattern_edit_font_family = Wendmoor Test Mono\npattern_edit_font_point_size = 1e9\n";
    hostile += "[Color Theme]\nlists:-_-:cursor = 10,20,30\nlists:-_-:background = 300,-1,0\n";
    hostile += "pattern_edit:-_-:cursor = ,,\nsample_edit:-_-:center = 1,2,3,\x80\n";
    hostile += "[Tracker Keys]\nKEY_NOTE_CUT = 0\nKEY_NOTE_OFF = 38\n";
    hostile += "[Misc Interface]\nrepaint_interval";  // no line end: never read
    load(hostile);
    std::set<std::string> now = lines_of(saved()), before = lines_of(defaults);
    EXPECT_EQ(only_in(now, before),
              (std::set<std::string>{"mix_freq = 22050", "resampler_index = 0", "repaint_interval = 50",
                                     "pattern_edit_font_family = Wendmoor Test Mono", "lists:-_-:cursor = 10,20,30",
                                     "KEY_NOTE_OFF = 38"}));
    EXPECT_EQ(only_in(before, now).size(), 6u);
}
