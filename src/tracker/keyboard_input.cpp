#include "tracker/keyboard_input.h"

#include <cctype>

#include "tracker/config_handler.h"

Keyboard_Input* Keyboard_Input::singleton = nullptr;

Keyboard_Input::Keyboard_Input() {
    if (!singleton) singleton = this;
}

Keyboard_Input::~Keyboard_Input() {
    if (singleton == this) singleton = nullptr;
}

Keyboard_Input* Keyboard_Input::get_singleton_instance() { return singleton; }

void Keyboard_Input::add_key_bind(const std::string& name, const std::string& caption, char key) {
    if (!is_bindable((unsigned char)key)) return;
    binds.push_back({name, caption, key});
}

const Keyboard_Input::Key_Bind& Keyboard_Input::get_key_bind(int index) const {
    static const Key_Bind none;
    if (index < 0 || index >= (int)binds.size()) return none;
    return binds[index];
}

void Keyboard_Input::set_key_bind_key(int index, char key) {
    if (index < 0 || index >= (int)binds.size() || !is_bindable((unsigned char)key)) return;
    binds[index].key = key;
}

int Keyboard_Input::get_key_bind_key(int index) const {
    if (index < 0 || index >= (int)binds.size()) return -1;
    return (unsigned char)binds[index].key;
}

int Keyboard_Input::get_key_bind_key_nocase(int index) const {
    int key = get_key_bind_key(index);
    return key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
}

int Keyboard_Input::find_key_bind(int key, int except) const {
    const int wanted = key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
    for (int index = 0; index < (int)binds.size(); index++)
        if (index != except && get_key_bind_key_nocase(index) == wanted) return index;
    return -1;
}

void Keyboard_Input::load_settings(const ConfigHandler* config) {
    for (Key_Bind& bind : binds) {
        if (!config->property_exists(SETTINGS_SECTION, bind.name)) continue;
        int key = config->get_int_property(SETTINGS_SECTION, bind.name);
        // A hand-edited file may hold anything; keep the old key rather than a control code.
        if (is_bindable(key)) bind.key = (char)key;
    }
}

void Keyboard_Input::save_settings(ConfigHandler* config) const {
    config->add_section(SETTINGS_SECTION);
    for (const Key_Bind& bind : binds)
        config->add_property(SETTINGS_SECTION, bind.name, (int)(unsigned char)bind.key, "");
}
