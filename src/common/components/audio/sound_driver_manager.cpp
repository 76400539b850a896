#include "common/components/audio/sound_driver_manager.h"

#include <algorithm>

#include "common/components/audio/mixer_base.h"
#include "common/components/audio/sound_driver.h"
#include "common/components/data/error_line.h"

static const char* const SOURCE = "common/components/audio/sound_driver_manager.cpp";
static Sound_Driver_Manager* singleton = nullptr;

Sound_Driver_Manager driver_manager;

Sound_Driver_Manager::Sound_Driver_Manager() {
    if (singleton) {
        ERROR_LINE(SOURCE, 414, " You cant instance the sound driver manager more than once!!!");
        return;
    }
    singleton = this;
    initialized = true;
}

Sound_Driver_Manager* Sound_Driver_Manager::get_singleton_instance() {
    return singleton;
}

void Sound_Driver_Manager::register_driver(Sound_Driver* driver) {
    drivers.push_back(driver);
    driver->callback_signal.connect(sigc::mem_fun(*this, &Sound_Driver_Manager::internal_poll_active_driver));
}

std::string Sound_Driver_Manager::get_driver_name(int index) {
    if (index < 0 || index >= (int)drivers.size()) return "Invalid driver request";
    return drivers[index]->get_name();
}

bool Sound_Driver_Manager::is_active_driver_active() {
    Sound_Driver* d = selected();
    return d && d->is_active();
}

std::string Sound_Driver_Manager::get_active_driver_error() {
    Sound_Driver* d = selected();
    return d ? d->get_last_error() : std::string();
}

std::string Sound_Driver_Manager::get_active_driver_notice() {
    Sound_Driver* d = selected();
    return d && d->is_active() ? d->get_notice() : std::string();
}

void Sound_Driver_Manager::set_active_driver(int index) {
    if (index < 0 || index >= (int)drivers.size() || index == active_driver) return;
    Mutex_Lock_Guard guard(variables_lock);
    std::lock_guard<std::mutex> flush_guard(flush_mutex);
    restarts++;
    bool was_active = false;
    if (Sound_Driver* old = selected(); old && old->is_active()) {
        old->finish();
        was_active = true;
    }
    active_driver = index;
    if (was_active) internal_driver_init();
}

void Sound_Driver_Manager::stop_active_driver(bool take_lock) {
    Sound_Driver* d = selected();
    if (!d) return;
    if (take_lock && variables_lock) variables_lock->grab();
    {
        std::lock_guard<std::mutex> flush_guard(flush_mutex);
        restarts++;
        if (d->is_active()) d->finish();
    }
    if (take_lock && variables_lock) variables_lock->release();
}

void Sound_Driver_Manager::reset_active_driver() {
    Sound_Driver* d = selected();
    if (!d) return;
    Mutex_Lock_Guard guard(variables_lock);
    std::lock_guard<std::mutex> flush_guard(flush_mutex);
    restarts++;
    if (d->is_active()) d->finish();
    internal_driver_init();
}

void Sound_Driver_Manager::internal_driver_init() {
    Sound_Driver* d = selected();
    if (!d) return;
    d->request_mix_frequency(mix_frequency);
    d->request_mix_stereo(mix_stereo);
    d->request_mix_16bits(mix_16bits);
    d->request_buffer_size(buffer_size);
    d->request_output_device(output_device);
    d->init();  // a driver that fails to open stays inactive
}

// Finishes the selected driver around a format change and starts it again if it ran.
template <class Apply>
void Sound_Driver_Manager::restart_around(Apply apply, bool with_mixer_list_lock) {
    Sound_Driver* d = selected();
    if (!d) return;
    Mutex_Lock_Guard guard(variables_lock);
    std::lock_guard<std::mutex> flush_guard(flush_mutex);
    restarts++;
    bool was_active = d->is_active();
    if (was_active) d->finish();
    if (with_mixer_list_lock) {
        Mutex_Lock_Guard list_guard(mixer_list_lock);
        apply(d);
    } else {
        apply(d);
    }
    if (was_active) d->init();
}

void Sound_Driver_Manager::request_mix_frequency(int hz) {
    mix_frequency = hz;
    restart_around([hz](Sound_Driver* d) { d->request_mix_frequency(hz); }, false);
}

void Sound_Driver_Manager::request_mix_stereo(bool stereo) {
    mix_stereo = stereo;
    restart_around([stereo](Sound_Driver* d) { d->request_mix_stereo(stereo); }, false);
}

void Sound_Driver_Manager::request_mix_16bits(bool sixteen) {
    mix_16bits = sixteen;
    restart_around([sixteen](Sound_Driver* d) { d->request_mix_16bits(sixteen); }, false);
}

void Sound_Driver_Manager::request_buffer_size(int frames) {
    buffer_size = frames;
    restart_around([frames](Sound_Driver* d) { d->request_buffer_size(frames); }, true);
}

void Sound_Driver_Manager::request_output_device(const Audio_Output_Device& device) {
    output_device = device;
    restart_around([&device](Sound_Driver* d) { d->request_output_device(device); }, false);
}

bool Sound_Driver_Manager::can_active_driver_choose_output_device() {
    Sound_Driver* d = selected();
    return d && d->can_choose_output_device();
}

std::vector<Audio_Output_Device_Info> Sound_Driver_Manager::list_active_driver_output_devices() {
    Sound_Driver* d = selected();
    return d ? d->list_output_devices() : std::vector<Audio_Output_Device_Info>();
}

int Sound_Driver_Manager::get_mix_frequency() {
    Sound_Driver* d = selected();
    return d ? d->get_mix_frequency() : mix_frequency;
}

bool Sound_Driver_Manager::get_mix_stereo() {
    Sound_Driver* d = selected();
    return d ? d->get_mix_stereo() : mix_stereo;
}

bool Sound_Driver_Manager::get_mix_16bits() {
    Sound_Driver* d = selected();
    return d ? d->get_mix_16bits() : mix_16bits;
}

int Sound_Driver_Manager::get_mix_buffer_size() {
    Sound_Driver* d = selected();
    return d ? d->get_mix_buffer_size() : buffer_size;
}

bool Sound_Driver_Manager::does_active_driver_perform_disk_write() {
    Sound_Driver* d = selected();
    return d && d->does_perform_disk_write();
}

std::string Sound_Driver_Manager::get_active_driver_disk_write_extension() {
    Sound_Driver* d = selected();
    return d ? d->get_disk_writer_extension() : "";
}

std::string Sound_Driver_Manager::get_active_driver_current_file() {
    Sound_Driver* d = selected();
    return d ? d->get_disk_writer_file() : "";
}

void Sound_Driver_Manager::set_active_driver_disk_writer_file(const std::string& path) {
    if (Sound_Driver* d = selected()) d->set_disk_writer_file(path);
}

void Sound_Driver_Manager::add_mixer(Mixer_Base* mixer) {
    {
        Mutex_Lock_Guard guard(variables_lock);
        Mutex_Lock_Guard list_guard(mixer_list_lock);
        mixers.push_back(mixer);
    }
    mixer->set_mix_frequency((float)get_mix_frequency());
}

void Sound_Driver_Manager::remove_mixer(Mixer_Base* mixer) {
    Mutex_Lock_Guard guard(variables_lock);
    Mutex_Lock_Guard list_guard(mixer_list_lock);
    mixers.erase(std::remove(mixers.begin(), mixers.end(), mixer), mixers.end());
}

int Sound_Driver_Manager::external_poll_active_driver() {
    Sound_Driver* d = selected();
    if (d && d->is_callback_driven()) return 1;
    return poll_active_driver();
}

void Sound_Driver_Manager::internal_poll_active_driver() {
    Sound_Driver* d = selected();
    if (d && !d->is_callback_driven()) {
        ERROR_LINE(SOURCE, 77, "No callbacks allowed for a polling driver!!");
        return;
    }
    poll_active_driver();
}

int Sound_Driver_Manager::poll_active_driver() {
    Sound_Driver* d = selected();
    if (!d) return 1;
    if (variables_lock) {
        if (d->accepts_blocking())
            variables_lock->grab();
        else if (variables_lock->try_grab())
            return 0;
    }
    // The interface may have switched drivers while we waited for the lock.
    d = selected();
    int r = 1;
    unsigned rendered_at = restarts;
    if (d && d->is_active()) {
        process_signal.emit();
        d->set_mixer_list(&mixers);
        r = d->process();
    }
    if (variables_lock) variables_lock->release();
    if (r == 0) {
        stop_active_driver(true);
        return 1;
    }
    if (r == 2) {
        // Outside the variables lock, so the interface is never held up by the device; a
        // driver restarted since the block was rendered does not get it.
        std::lock_guard<std::mutex> flush_guard(flush_mutex);
        if (restarts == rendered_at) d->flush();
        return 0;
    }
    return 1;
}

void Sound_Driver_Manager::unregister_all() {
    Mutex_Lock_Guard guard(variables_lock);
    std::lock_guard<std::mutex> flush_guard(flush_mutex);
    restarts++;
    for (Sound_Driver* d : drivers)
        if (d->is_active()) d->finish();
    drivers.clear();
    mixers.clear();
    active_driver = -1;
    variables_lock = nullptr;
    mixer_list_lock = nullptr;
}
