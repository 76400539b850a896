#pragma once

#include <pthread.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "tracker/audio_session.h"
#include "tracker/config_handler.h"
#include "tracker/keyboard_input.h"

// The shut-down hand-over with the audio thread: the entry writes quit_request once,
// the audio thread answers with thread_finished as its last act. Atomic so that the
// flag is re-read in the loop and everything the thread did is visible once it is set.
extern std::atomic<int> quit_request;
extern std::atomic<int> thread_finished;

// The audio thread's body; the argument is unused.
void* audio_thread_cbk(void*);

// The usage lines for "--help".
void display_help();

// What the windows plug into start-up and shut-down; any of them may be empty.
struct Program_Hooks {
    std::function<void(const std::string& path)> open_song;  // a song named on the command line
    std::function<void(ConfigHandler*)> load_settings;       // stored preferences, at start
    std::function<void()> show_main_window;                  // after the settings, before the songs
    std::function<void(ConfigHandler*)> save_settings;       // preferences to store, at exit
    std::function<int()> run_event_loop;                     // returns the program's status
};

// The process-wide objects and the program's start-up and shut-down.
class Program_Entry {
public:
    static constexpr const char* SETTINGS_FILE_NAME = ".wendmoor_QT";
    static constexpr const char* SETTINGS_HEADER = "WENDMOOR_CONFIG";
    static constexpr int HELP_EXIT_STATUS = 255;
    // First run: what plays through an ordinary sound card without dropouts.
    static constexpr int FIRST_RUN_DRIVER = 0;  // RtAudio
    static constexpr int FIRST_RUN_MIX_FREQUENCY = 44100;
    static constexpr int FIRST_RUN_BUFFER_SIZE = 1024;

    explicit Program_Entry(Program_Hooks hooks = {});
    ~Program_Entry();
    Program_Entry(const Program_Entry&) = delete;
    Program_Entry& operator=(const Program_Entry&) = delete;

    // Start-up, the event loop and shut-down; returns the exit status. argv[0] is the
    // program name; the windows remove their own options before calling this.
    int run(int argc, char** argv);

    // The home directory, "/" and the settings file name.
    static std::string get_settings_path();

    // The song files named on the command line, in order.
    const std::vector<std::string>& get_song_files() const { return song_files; }
    int get_audio_thread_policy() const { return audio_thread_policy; }
    int get_audio_thread_priority() const { return audio_thread_priority; }

    Mutex_Lock* get_variables_lock() { return &audio.variables_lock; }
    Mutex_Lock* get_pattern_data_lock() { return &audio.pattern_data_lock; }
    Mutex_Lock* get_mixer_list_lock() { return &audio.mixer_list_lock; }
    Mutex_Lock* get_info_lock() { return &audio.info_lock; }

private:
    enum class Arguments_Result { CONTINUE, SHOW_HELP };

    void load_settings();
    void start_default_driver();  // no settings to go by
    // False when the settings file could not be written.
    bool save_settings();
    void use_scheduling_policy(int policy);
    Arguments_Result process_arguments(int argc, char** argv);
    void start_audio_thread();
    void stop_audio_thread();

    Program_Hooks hooks;

    // The four locks (installed where they belong), the sound drivers in their fixed order,
    // the resamplers and effect sources, and the audio thread.
    Audio_Session audio;
    Keyboard_Input keyboard_input;  // the tracker key bindings

    std::string settings_path;
    ConfigHandler settings_read;  // as read at start, for what no owner writes back
    std::string settings_unread;  // why the settings file could not be read; empty when it was
    std::vector<std::string> song_files;
    int audio_thread_policy = 0;
    int audio_thread_priority = 0;
};

// The program: start-up, event loop and shut-down with no windows attached.
int wendmoor_main(int argc, char** argv);
