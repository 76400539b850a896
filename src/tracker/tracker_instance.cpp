#include "tracker/tracker_instance.h"

#include "tracker/keyboard_input.h"

Tracker_Instance::Tracker_Instance() {
    file_format_manager.set_song(&song);
    // The native files carry the mixer's buses and effect chains.
    loader_wm.set_mixer(&mixer);
    saver_wm.set_mixer(&mixer);
    // The IT saver reads it only to say what an Impulse Tracker file leaves out.
    saver_it.set_mixer(&mixer);
    // The order of registration is the order in which files are tried.
    file_format_manager.register_loader(&loader_wm);
    file_format_manager.register_loader(&loader_it);
    file_format_manager.register_loader(&loader_xm);
    file_format_manager.register_loader(&loader_s3m);
    file_format_manager.register_loader(&loader_mod);
    file_format_manager.register_loader(&loader_wav);
    file_format_manager.register_saver(&saver_wm);
    file_format_manager.register_saver(&saver_it);
    file_format_manager.register_saver(&saver_wav);
    file_format_manager.register_saver(&saver_raw);
    player.link_to_song(&song);
    player.link_to_mixer(&mixer);
    editor.link_to_song(&song);
    history.link(&song, &history_players);
    editor.link_to_history(&history);
    keyboard.link_to_player(&player);
    keyboard.link_to_mixer(&mixer);
}

Tracker_Instance::~Tracker_Instance() {
    // The song dies before the player: voices still sounding must be let go while the sample
    // data they read (their fade-out tail included) still exists. No locks: by now the mixer
    // is out of the driver manager's list and the locks may be gone.
    player.set_variables_lock(nullptr);
    player.set_info_lock(nullptr);
    player.link_to_mixer(nullptr);
}

void Tracker_Instance::init_keyboard() {
    Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    if (!keys || keys->get_key_bind_count() > 0) return;
    static const struct {
        const char* name;
        const char* caption;
        char key;
    } defaults[] = {
        {"KEY_NOTE_CUT", "Note Cut", '1'},
        {"KEY_NOTE_OFF", "Note Off", '`'},
        {"KEY_ERASE_FIELD", "Erase Field", '.'},
        {"KEY_NEXT_INSTRUMENT", "Next Instrument", ']'},
        {"KEY_PREV_INSTRUMENT", "Prev Instrument", '['},
        {"KEY_PLAY_NOTE_ON_CURSOR", "Play Note On Cursor", '4'},
        {"KEY_PLAY_ROW_ON_CURSOR", "Play Row On Cursor", '8'},
        {"KEY_TOGGLE_MASK", "Toggle Mask", ','},
        {"KEY_C_1", "C-1", 'z'},
        {"KEY_Cs1", "C#1", 's'},
        {"KEY_D_1", "D-1", 'x'},
        {"KEY_Ds1", "D#1", 'd'},
        {"KEY_E_1", "E-1", 'c'},
        {"KEY_F_1", "F-1", 'v'},
        {"KEY_Fs1", "F#1", 'g'},
        {"KEY_G_1", "G-1", 'b'},
        {"KEY_Gs1", "G#1", 'h'},
        {"KEY_A_1", "A-1", 'n'},
        {"KEY_As1", "A#1", 'j'},
        {"KEY_B_1", "B-1", 'm'},
        {"KEY_C_2", "C-2", 'q'},
        {"KEY_Cs2", "C#2", '2'},
        {"KEY_D_2", "D-2", 'w'},
        {"KEY_Ds2", "D#2", '3'},
        {"KEY_E_2", "E-2", 'e'},
        {"KEY_F_2", "F-2", 'r'},
        {"KEY_Fs2", "F#2", '5'},
        {"KEY_G_2", "G-2", 't'},
        {"KEY_Gs2", "G#2", '6'},
        {"KEY_A_2", "A-2", 'y'},
        {"KEY_As2", "A#2", '7'},
        {"KEY_B_2", "B-2", 'u'},
        {"KEY_C_3", "C-3", 'i'},
        {"KEY_Cs3", "C#3", '9'},
        {"KEY_D_3", "D-3", 'o'},
        {"KEY_Ds3", "D#3", '0'},
        {"KEY_E_3", "E-3", 'p'},
    };
    for (const auto& bind : defaults) keys->add_key_bind(bind.name, bind.caption, bind.key);
}
