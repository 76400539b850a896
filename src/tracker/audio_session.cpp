#include "tracker/audio_session.h"

#include <sched.h>
#include <unistd.h>

#include "common/components/audio/sound_driver_manager.h"
#include "tracker/program_entry.h"
#include "tracker/tracker_instance.h"
#include "trackercore/pattern.h"

Audio_Session::Audio_Session() {
    driver_manager.set_variables_lock(&variables_lock);
    Pattern::data_lock = &pattern_data_lock;
    driver_manager.set_mixer_list_lock(&mixer_list_lock);
    // Registered in this order, so their indices are fixed.
    driver_manager.register_driver(&rtaudio_driver);
    driver_manager.register_driver(&dummy_driver);
    driver_manager.register_driver(&wav_writer_driver);
    if (!Effect_Source_Manager::get_singleton_instance() || !Resampler_Manager::get_resampler_manager())
        own_components = std::make_unique<Audio_Components>();
}

Effect_Source_Manager& Audio_Session::effect_source_manager() {
    return *Effect_Source_Manager::get_singleton_instance();
}

Audio_Session::~Audio_Session() {
    stop_audio_thread();
    stop_driver();
    // The manager outlives the session: nothing it holds may point at our drivers and locks.
    driver_manager.unregister_all();
    Pattern::data_lock = nullptr;
}

bool Audio_Session::start_driver(int index) {
    if (index < 0 || index >= driver_manager.get_amount_of_drivers()) return false;
    driver_manager.set_active_driver(index);
    driver_manager.reset_active_driver();
    return driver_manager.get_active_driver() == index && driver_manager.is_active_driver_active();
}

void Audio_Session::stop_driver() {
    driver_manager.stop_active_driver(true);
}

void Audio_Session::add_song(Tracker_Instance& song) {
    song.player.set_variables_lock(&variables_lock);
    song.player.set_info_lock(&info_lock);
    driver_manager.add_mixer(&song.mixer);
}

void Audio_Session::remove_song(Tracker_Instance& song) {
    driver_manager.remove_mixer(&song.mixer);
}

bool Audio_Session::start_audio_thread(int policy, int priority) {
    if (thread_running) return true;
    quit_request = 0;
    thread_finished = 0;
    // Real-time scheduling needs privileges the process may lack; without them the
    // thread runs at normal priority rather than not at all.
    int error = -1;
    if (policy >= 0 && priority >= 0) {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        sched_param parameter{};
        parameter.sched_priority = priority;
        if (pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED) == 0 &&
            pthread_attr_setschedpolicy(&attributes, policy) == 0 &&
            pthread_attr_setschedparam(&attributes, &parameter) == 0)
            error = pthread_create(&thread, &attributes, audio_thread_cbk, nullptr);
        pthread_attr_destroy(&attributes);
    }
    if (error != 0) error = pthread_create(&thread, nullptr, audio_thread_cbk, nullptr);
    thread_running = error == 0;
    // Named, so that it can be told apart in a profiler or top's thread view.
    if (thread_running) pthread_setname_np(thread, "audio");
    return thread_running;
}

void Audio_Session::stop_audio_thread() {
    if (!thread_running) return;
    quit_request = 1;
    while (!thread_finished) usleep(1000);
    pthread_join(thread, nullptr);
    thread_running = false;
}
