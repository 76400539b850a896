#pragma once

#include <pthread.h>

#include <memory>

#include "common/components/audio/mutex_lock_pthreads.h"
#include "common/components/audio/sound_driver_dummy.h"
#include "common/components/audio/sound_driver_rtaudio.h"
#include "common/components/audio/sound_driver_wav_writer.h"
#include "tracker/audio_components.h"

class Tracker_Instance;

// The process-wide audio objects of a front end without windows (the command-line player,
// tests of the live path): the four locks installed where the program entry installs them,
// the drivers registered in their fixed order (0 RtAudio, 1 dummy, 2 disk writer), the
// resamplers and effect sources, and the audio thread running audio_thread_cbk.
// Create at most one at a time, before any song; destroy the songs' sessions first.
class Audio_Session {
public:
    Audio_Session();
    ~Audio_Session();
    Audio_Session(const Audio_Session&) = delete;
    Audio_Session& operator=(const Audio_Session&) = delete;

    // Selects and starts a driver; false when the index is bad or the driver did not start.
    bool start_driver(int index);
    void stop_driver();

    // Hands the song's player the locks and its mixer to the driver manager, as a song
    // window does; remove it again before the instance dies.
    void add_song(Tracker_Instance& song);
    void remove_song(Tracker_Instance& song);

    // With a policy (SCHED_RR, SCHED_FIFO) the thread asks for real-time scheduling at the
    // given priority and falls back to normal scheduling when the process may not have it.
    bool start_audio_thread(int policy = -1, int priority = 0);
    void stop_audio_thread();  // waits until the thread has finished its last block
    bool is_audio_thread_running() const { return thread_running; }

    // Created in this order and destroyed in reverse, as in the program entry.
    Mutex_Lock_Pthreads variables_lock;
    Mutex_Lock_Pthreads pattern_data_lock;
    Mutex_Lock_Pthreads mixer_list_lock;
    Mutex_Lock_Pthreads info_lock;

    Sound_Driver_RtAudio rtaudio_driver;
    Sound_Driver_Dummy dummy_driver;
    Sound_Driver_WAV_Writer wav_writer_driver;

    // The effect sources in use: the process's own when a front end made them, else ours.
    Effect_Source_Manager& effect_source_manager();

private:
    std::unique_ptr<Audio_Components> own_components;  // only when none existed
    pthread_t thread{};
    bool thread_running = false;
};
