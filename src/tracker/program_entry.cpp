#include "tracker/program_entry.h"

#include "trackercore/pattern.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "common/components/audio/sound_driver_manager.h"
#include "common/components/data/error_line.h"
#include "tracker/config_handler.h"
#include "tracker/path_data.h"
#include "tracker/tracker_instance.h"

std::atomic<int> quit_request{0};
std::atomic<int> thread_finished{0};

namespace {

constexpr int AUDIO_IDLE_SLEEP_US = 1000;

void print_line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

void* audio_thread_cbk(void*) {
    while (!quit_request) {
        // Non-zero: nothing was written, so give the device time. Zero: poll again at once.
        int idle = driver_manager.external_poll_active_driver();
        if (idle) usleep(AUDIO_IDLE_SLEEP_US);
    }
    thread_finished = 1;
    return nullptr;
}

void display_help() {
    std::puts("Usage: wendmoor_qt [flags] [songs]");
    std::puts("Flags:");
    std::puts("\t--schedfifo runs at schedfifo priority (suid root needed)");
    std::fflush(stdout);
}

Program_Entry::Program_Entry(Program_Hooks hooks) : hooks(std::move(hooks)) {}

Program_Entry::~Program_Entry() {
    stop_audio_thread();
}

std::string Program_Entry::get_settings_path() {
    return Path_Data::get_home_dir() + "/" + SETTINGS_FILE_NAME;
}

int Program_Entry::run(int argc, char** argv) {
    Tracker_Instance::init_keyboard();
    settings_path = get_settings_path();
    load_settings();
    if (hooks.show_main_window) hooks.show_main_window();

    use_scheduling_policy(SCHED_RR);
    if (process_arguments(argc, argv) == Arguments_Result::SHOW_HELP) return HELP_EXIT_STATUS;

    start_audio_thread();
    int status = hooks.run_event_loop ? hooks.run_event_loop() : 0;

    bool settings_saved = save_settings();
    stop_audio_thread();
    // Settings that could not be kept are a failure the caller must hear of.
    return status == 0 && !settings_saved ? 1 : status;
}

void Program_Entry::start_default_driver() {
    // A newcomer should hear the song at once: the sound card, not the silent driver.
    // When it cannot be opened the program still runs and says why.
    driver_manager.request_mix_frequency(FIRST_RUN_MIX_FREQUENCY);
    driver_manager.request_mix_16bits(true);
    driver_manager.request_mix_stereo(true);
    driver_manager.request_buffer_size(FIRST_RUN_BUFFER_SIZE);
    driver_manager.set_active_driver(FIRST_RUN_DRIVER);
    driver_manager.reset_active_driver();
}

void Program_Entry::load_settings() {
    // Only a file that is not there is missing: one that cannot be read (write-only, a
    // folder that may not be searched) is someone's settings, and reading it says why.
    struct stat st;
    if (stat(settings_path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        std::printf("Warning, config file not found at %s. One will be created on exit!\n",
                    settings_path.c_str());
        std::fflush(stdout);
        start_default_driver();
        return;
    }
    ConfigHandler config;
    config.set_header_check(SETTINGS_HEADER);
    if (!config.load_from_text(settings_path, &settings_unread)) {
        // Nothing of it is used, and nothing of it is lost: it is not written over at exit.
        print_line("Warning, settings file " + settings_path + " cannot be read (" + settings_unread +
                   "). Starting with default settings; the file will be left as it is.\n");
        start_default_driver();
        return;
    }
    keyboard_input.load_settings(&config);
    if (hooks.load_settings) hooks.load_settings(&config);
    settings_read = std::move(config);
}

bool Program_Entry::save_settings() {
    if (!settings_unread.empty()) {
        print_line("Settings not saved: " + settings_path + " could not be read at start (" + settings_unread + ")\n");
        return true;
    }
    ConfigHandler config;
    config.set_header_check(SETTINGS_HEADER);
    keyboard_input.save_settings(&config);
    if (hooks.save_settings) hooks.save_settings(&config);
    // Sections and keys that no owner wrote in this run (windows not built, another version's
    // settings) go back as they were read.
    config.add_missing_from(settings_read);
    std::string why;
    bool saved = config.save_to_text(settings_path, &why);
    std::printf("Saving settings to %s\n", settings_path.c_str());
    std::fflush(stdout);
    if (!saved)
        ERROR_LINE("tracker/program_entry", __LINE__, "could not write the settings file " + settings_path + ": " + why);
    return saved;
}

void Program_Entry::use_scheduling_policy(int policy) {
    audio_thread_policy = policy;
    audio_thread_priority = sched_get_priority_max(policy);
}

Program_Entry::Arguments_Result Program_Entry::process_arguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help") {
            display_help();
            return Arguments_Result::SHOW_HELP;
        }
        if (argument == "--schedfifo") {
            print_line("Warning, running in SCHEDFIFO mode!\n");
            use_scheduling_policy(SCHED_FIFO);
            continue;
        }
        song_files.emplace_back(argument);
        if (hooks.open_song) hooks.open_song(song_files.back());
    }
    return Arguments_Result::CONTINUE;
}

void Program_Entry::start_audio_thread() {
    if (!audio.start_audio_thread(audio_thread_policy, audio_thread_priority))
        ERROR_LINE("tracker/program_entry", __LINE__, "could not start the audio thread");
}

void Program_Entry::stop_audio_thread() {
    audio.stop_audio_thread();
}

int wendmoor_main(int argc, char** argv) {
    Program_Entry entry;
    return entry.run(argc, argv);
}
