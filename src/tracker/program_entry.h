#pragma once

#include <pthread.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "common/components/audio/mutex_lock_pthreads.h"
#include "common/components/audio/sound_driver_dummy.h"
#include "common/components/audio/sound_driver_rtaudio.h"
#include "common/components/audio/sound_driver_wav_writer.h"
#include "tracker/audio_components.h"
#include "tracker/keyboard_input.h"

class ConfigHandler;

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
    std::function<void(ConfigHandler*)> save_settings;       // preferences to store, at exit
    std::function<int()> run_event_loop;                     // returns the program's status
};

// The process-wide objects and the program's start-up and shut-down.
class Program_Entry {
public:
    static constexpr const char* SETTINGS_FILE_NAME = ".wendmoor_QT";
    static constexpr const char* SETTINGS_HEADER = "WENDMOOR_CONFIG";
    static constexpr int HELP_EXIT_STATUS = 255;

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

    Mutex_Lock* get_variables_lock() { return &variables_lock; }
    Mutex_Lock* get_pattern_data_lock() { return &pattern_data_lock; }
    Mutex_Lock* get_mixer_list_lock() { return &mixer_list_lock; }
    Mutex_Lock* get_info_lock() { return &info_lock; }

private:
    enum class Arguments_Result { CONTINUE, SHOW_HELP };

    void install_locks();
    void register_drivers();
    void load_settings();
    void save_settings();
    void use_scheduling_policy(int policy);
    Arguments_Result process_arguments(int argc, char** argv);
    void start_audio_thread();
    void stop_audio_thread();

    Program_Hooks hooks;

    // Created in this order and destroyed in reverse.
    Mutex_Lock_Pthreads variables_lock;     // audio thread per block; interface while it changes playback state
    Mutex_Lock_Pthreads pattern_data_lock;  // every pattern read and write
    Mutex_Lock_Pthreads mixer_list_lock;    // mixer list and buffer size changes; after variables_lock
    Mutex_Lock_Pthreads info_lock;          // the players' published voice status

    // Registered in this order, so their indices are fixed: 0 RtAudio, 1 dummy, 2 disk writer.
    Sound_Driver_RtAudio rtaudio_driver;
    Sound_Driver_Dummy dummy_driver;
    Sound_Driver_WAV_Writer wav_writer_driver;

    Audio_Components audio_components;  // resamplers and effect sources
    Keyboard_Input keyboard_input;      // the tracker key bindings

    std::string settings_path;
    std::vector<std::string> song_files;
    int audio_thread_policy = 0;
    int audio_thread_priority = 0;
    pthread_t audio_thread{};
    bool audio_thread_started = false;
};

// The program: start-up, event loop and shut-down with no windows attached.
int wendmoor_main(int argc, char** argv);
