#pragma once

#include <string>
#include <vector>

class ConfigHandler;

// The process-wide table of rebindable tracker keys: the note keys of two and a half
// octaves and the editing keys. Code refers to a binding by its position in the list.
class Keyboard_Input {
public:
    struct Key_Bind {
        std::string name;     // the settings key, e.g. "KEY_C_1"
        std::string caption;  // shown to the user
        char key = 0;
    };

    static constexpr const char* SETTINGS_SECTION = "Tracker Keys";
    // Bindings FIRST_NOTE_KEY.. are the note keys, k semitones above C of the editing octave.
    static constexpr int FIRST_NOTE_KEY = 8;
    static constexpr int LAST_NOTE_KEY = 36;

    // The first one constructed becomes the singleton.
    Keyboard_Input();
    ~Keyboard_Input();
    Keyboard_Input(const Keyboard_Input&) = delete;
    Keyboard_Input& operator=(const Keyboard_Input&) = delete;

    static Keyboard_Input* get_singleton_instance();

    // A key of 32 (space) or below is refused and nothing is appended.
    void add_key_bind(const std::string& name, const std::string& caption, char key);
    int get_key_bind_count() const { return (int)binds.size(); }
    // A shared empty record for a number outside the list.
    const Key_Bind& get_key_bind(int index) const;
    void set_key_bind_key(int index, char key);
    int get_key_bind_key(int index) const;         // -1 outside the list
    int get_key_bind_key_nocase(int index) const;  // upper-case letters as lower case
    // The binding other than `except` that holds the key (letters compared without case),
    // or -1: two bindings on one key would leave one of them unreachable.
    int find_key_bind(int key, int except = -1) const;

    void load_settings(const ConfigHandler* config);
    void save_settings(ConfigHandler* config) const;

private:
    static bool is_bindable(int key) { return key > 32 && key < 256; }

    std::vector<Key_Bind> binds;
    static Keyboard_Input* singleton;
};
