#include <gtest/gtest.h>

#include "support/scratch_dir.h"
#include "tracker/config_handler.h"
#include "tracker/editor.h"
#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

TEST(Keyboard_Input, DefaultBindings) {
    Keyboard_Input keys;
    ASSERT_EQ(Keyboard_Input::get_singleton_instance(), &keys);
    Tracker_Instance::init_keyboard();
    Tracker_Instance::init_keyboard();  // once only
    ASSERT_EQ(keys.get_key_bind_count(), 37);
    EXPECT_EQ(keys.get_key_bind(0).name, "KEY_NOTE_CUT");
    EXPECT_EQ(keys.get_key_bind(1).key, '`');
    EXPECT_EQ(keys.get_key_bind(20).caption, "C-2");
    EXPECT_EQ(keys.get_key_bind_key(36), 'p');
    EXPECT_EQ(keys.get_key_bind_key(37), -1);
    EXPECT_EQ(keys.get_key_bind(-1).name, "");

    Editor editor;
    Editor::set_default_octave(4);
    EXPECT_EQ(editor.get_note_from_key('q'), 60);
    EXPECT_EQ(editor.get_note_increment('z'), 0);
    EXPECT_EQ(editor.get_note_increment('1'), 99);  // an editing key, not a note key
}

TEST(Keyboard_Input, RefusesBlankKeys) {
    Keyboard_Input keys;
    keys.add_key_bind("A", "a", ' ');
    EXPECT_EQ(keys.get_key_bind_count(), 0);
    keys.add_key_bind("B", "b", 'b');
    keys.set_key_bind_key(0, ' ');
    keys.set_key_bind_key(0, '\n');
    keys.set_key_bind_key(5, 'x');
    EXPECT_EQ(keys.get_key_bind_key(0), 'b');
    keys.set_key_bind_key(0, 'B');
    EXPECT_EQ(keys.get_key_bind_key(0), 'B');
    EXPECT_EQ(keys.get_key_bind_key_nocase(0), 'b');
}

TEST(Keyboard_Input, LastMatchingNoteBindingWins) {
    Keyboard_Input keys;
    Tracker_Instance::init_keyboard();
    keys.set_key_bind_key(30, 'z');
    Editor editor;
    EXPECT_EQ(editor.get_note_increment('z'), 22);
}

TEST(Keyboard_Input, SettingsRoundTrip) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    {
        Keyboard_Input keys;
        Tracker_Instance::init_keyboard();
        keys.set_key_bind_key(8, 'A');
        keys.set_key_bind_key(1, '~');
        ConfigHandler config;
        keys.save_settings(&config);
        EXPECT_EQ(config.get_int_property("Tracker Keys", "KEY_C_1"), 65);
        ASSERT_TRUE(config.save_to_text(dir.file("settings")));
    }
    Keyboard_Input keys;
    Tracker_Instance::init_keyboard();
    ConfigHandler config;
    ASSERT_TRUE(config.load_from_text(dir.file("settings")));
    keys.load_settings(&config);
    EXPECT_EQ(keys.get_key_bind_key(8), 'A');
    EXPECT_EQ(keys.get_key_bind_key(1), '~');
    EXPECT_EQ(keys.get_key_bind_key(9), 's');

    Editor editor;
    Editor::set_default_octave(4);
    EXPECT_EQ(editor.get_note_increment('a'), 0);  // compared without case
}

TEST(Keyboard_Input, BadSettingsKeepTheOldKeys) {
    Keyboard_Input keys;
    Tracker_Instance::init_keyboard();
    ConfigHandler config;
    config.add_property("Tracker Keys", "KEY_C_1", "32", "");
    config.add_property("Tracker Keys", "KEY_D_1", "1000", "");
    config.add_property("Tracker Keys", "KEY_E_1", "junk", "");
    config.add_property("Tracker Keys", "KEY_UNKNOWN", "65", "");
    keys.load_settings(&config);
    EXPECT_EQ(keys.get_key_bind_key(8), 'z');
    EXPECT_EQ(keys.get_key_bind_key(10), 'x');
    EXPECT_EQ(keys.get_key_bind_key(12), 'c');
    EXPECT_EQ(keys.get_key_bind_count(), 37);
}
