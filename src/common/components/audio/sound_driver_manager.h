#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <sigc++/sigc++.h>

#include "common/components/audio/audio_output_device.h"
#include "common/components/audio/mutex_lock.h"

class Sound_Driver;
class Mixer_Base;

// The registry of sound drivers, the requested output format and the mixers to play.
// There is exactly one: `driver_manager`.
class Sound_Driver_Manager : public sigc::trackable {
public:
    Sound_Driver_Manager();
    Sound_Driver_Manager(const Sound_Driver_Manager&) = delete;
    Sound_Driver_Manager& operator=(const Sound_Driver_Manager&) = delete;

    static Sound_Driver_Manager* get_singleton_instance();

    void register_driver(Sound_Driver* driver);
    int get_amount_of_drivers() const { return (int)drivers.size(); }
    std::string get_driver_name(int index);
    int get_active_driver() const { return active_driver; }
    bool is_active_driver_active();
    // Why the active driver could not start; empty when it started or was never tried.
    std::string get_active_driver_error();
    // What the active driver says about a start that succeeded (a missing device stood in for).
    std::string get_active_driver_notice();

    void set_active_driver(int index);
    void stop_active_driver(bool take_lock);
    void reset_active_driver();

    void request_mix_frequency(int hz);
    void request_mix_stereo(bool stereo);
    void request_mix_16bits(bool sixteen);
    void request_buffer_size(int frames);
    int get_mix_frequency();
    bool get_mix_stereo();
    bool get_mix_16bits();
    int get_mix_buffer_size();

    // The output device the user chose, handed to every driver started; a driver that plays
    // through one opens it, or the default with a notice when it is not there.
    void request_output_device(const Audio_Output_Device& device);
    const Audio_Output_Device& get_output_device() const { return output_device; }
    bool can_active_driver_choose_output_device();
    std::vector<Audio_Output_Device_Info> list_active_driver_output_devices();

    bool does_active_driver_perform_disk_write();
    std::string get_active_driver_disk_write_extension();
    std::string get_active_driver_current_file();
    void set_active_driver_disk_writer_file(const std::string& path);

    void add_mixer(Mixer_Base* mixer);
    void remove_mixer(Mixer_Base* mixer);

    int external_poll_active_driver();  // audio thread
    void internal_poll_active_driver();  // a callback-driven driver's signal

    void set_variables_lock(Mutex_Lock* lock) { variables_lock = lock; }
    Mutex_Lock* get_variables_lock() { return variables_lock; }
    void set_mixer_list_lock(Mutex_Lock* lock) { mixer_list_lock = lock; }
    Mutex_Lock* get_mixer_list_lock() { return mixer_list_lock; }

    // Drops every driver and mixer and forgets the locks; the process-wide object outlives
    // the program entry's drivers, so the entry calls this before destroying them.
    void unregister_all();

    sigc::signal<void()> process_signal;

private:
    int poll_active_driver();
    void internal_driver_init();
    Sound_Driver* selected() {
        int index = active_driver.load(std::memory_order_acquire);
        return index >= 0 ? drivers[index] : nullptr;
    }
    template <class Apply> void restart_around(Apply apply, bool with_mixer_list_lock);

    std::vector<Sound_Driver*> drivers;
    std::vector<Mixer_Base*> mixers;
    std::atomic<int> active_driver{-1};  // read by the audio thread before it takes the lock
    // flush() runs outside the variables lock; a driver being finished or started must not be
    // flushed at the same time. Taken after the variables lock; `restarts` tells a flush that
    // the block it was given belongs to a driver that has since been restarted.
    std::mutex flush_mutex;
    unsigned restarts = 0;
    Mutex_Lock* variables_lock = nullptr;
    Mutex_Lock* mixer_list_lock = nullptr;
    int mix_frequency = 44100;
    bool mix_16bits = true;
    bool mix_stereo = true;
    int buffer_size = 4096;
    Audio_Output_Device output_device;
    bool initialized = false;
};

extern Sound_Driver_Manager driver_manager;
