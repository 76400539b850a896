#pragma once

#include <string>
#include <vector>

#include <sigc++/sigc++.h>

#include "common/components/audio/audio_output_device.h"

class Mixer_Base;

// One way for audio to leave the program. The manager polls the active driver from the
// audio thread; process() renders one block from every mixer, flush() hands it over.
class Sound_Driver : public sigc::trackable {
public:
    virtual ~Sound_Driver() = default;

    virtual bool accepts_blocking() { return true; }
    virtual void request_mix_frequency(int hz) { mix_frequency = hz; }
    virtual void request_mix_stereo(bool stereo) { mix_stereo = stereo; }
    virtual void request_mix_16bits(bool sixteen) { mix_16bits = sixteen; }
    virtual void request_buffer_size(int frames) { buffer_size = frames; }
    virtual int get_mix_frequency() = 0;
    virtual bool get_mix_stereo() = 0;
    virtual bool get_mix_16bits() = 0;
    virtual int get_mix_buffer_size() = 0;
    virtual std::string get_name() = 0;
    virtual int init() = 0;      // 0 on success
    virtual bool finish() = 0;   // true when it was open and is now closed
    virtual bool is_active() = 0;
    virtual int process() = 0;   // 1 nothing written, 0 gave up, 2 a block is ready
    virtual void flush() = 0;
    virtual void set_mixer_list(std::vector<Mixer_Base*>* list) { mixer_list = list; }
    virtual bool does_perform_disk_write() { return false; }
    virtual std::string get_disk_writer_extension() { return ""; }
    virtual std::string get_disk_writer_file() { return ""; }
    virtual void set_disk_writer_file(const std::string&) {}

    // Drivers that play through a device the user can choose list the devices there are now
    // and open the one requested (by name) at the next init().
    virtual bool can_choose_output_device() { return false; }
    virtual std::vector<Audio_Output_Device_Info> list_output_devices() { return {}; }
    virtual void request_output_device(const Audio_Output_Device& device) { output_device = device; }
    const Audio_Output_Device& get_output_device() const { return output_device; }

    // Why the last init() failed, for the user; empty after a successful start.
    const std::string& get_last_error() const { return last_error; }
    // What the user should know about a start that did succeed (a device that was not there
    // and was stood in for); empty when there is nothing to say.
    const std::string& get_notice() const { return notice; }

    std::vector<Mixer_Base*>* get_mixer_list() { return mixer_list; }
    bool is_callback_driven() const { return uses_callback != 0; }

    sigc::signal<void()> callback_signal;

protected:
    // Sums `frames` frames of every mixer in the list into `out` (16-bit, interleaved when
    // stereo), saturating instead of wrapping. `accumulator` holds frames * channels ints.
    void render_mixers(short* out, int* accumulator, int frames, bool stereo);

    std::vector<Mixer_Base*>* mixer_list = nullptr;
    int mix_frequency = -1;
    bool mix_16bits = true;
    bool mix_stereo = true;
    int buffer_size = 4096;
    int uses_callback = 0;
    Audio_Output_Device output_device;
    std::string last_error;
    std::string notice;
};
