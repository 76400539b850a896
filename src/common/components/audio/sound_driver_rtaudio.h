#pragma once

#include <semaphore.h>

#include <atomic>
#include <memory>
#include <vector>

#include "common/components/audio/audio_output_stream.h"
#include "common/components/audio/sound_driver.h"

// Plays through the chosen output device, or the default one. RtAudio only offers callback streams, so the
// polled contract is kept with a small queue of device buffers, like the blocking stream
// of old: process() renders into device_buffer, flush() waits until the device has a free
// buffer and hands the block over. The device callback only copies and never waits.
// RtAudio itself is reached through its module (RtAudio_Module), loaded by the first init().
class Sound_Driver_RtAudio : public Sound_Driver {
public:
    Sound_Driver_RtAudio();
    ~Sound_Driver_RtAudio() override;

    int get_mix_frequency() override { return mix_frequency; }
    bool get_mix_stereo() override { return mix_stereo; }
    bool get_mix_16bits() override { return mix_16bits; }
    int get_mix_buffer_size() override { return buffer_size; }
    std::string get_name() override { return "RtAudio Sound Driver"; }
    int init() override;
    bool finish() override;
    bool is_active() override { return active; }
    int process() override;
    void flush() override;
    bool can_choose_output_device() override { return true; }
    // Loads the RtAudio module to look; empty when it cannot be loaded.
    std::vector<Audio_Output_Device_Info> list_output_devices() override;

    int get_device_buffer_frames() const { return device_buffer_frames; }
    // Blocks the device callback found empty since init (for diagnostics and tests).
    int get_underrun_count() const { return underruns.load(); }

private:
    static void device_callback(short* output, unsigned frames, void* user);
    int fail(const std::string& error);  // forgets the stream, returns init's failure
    int channels() const { return mix_stereo ? 2 : 1; }

    bool active = false;
    int stream_id = -1;
    std::unique_ptr<Audio_Output_Stream> device;
    int device_buffer_frames = 0;
    static constexpr int QUEUED_BUFFERS = 4;

    std::vector<short> device_buffer;  // rendered by process()
    std::vector<short> queue;          // QUEUED_BUFFERS blocks read by the device callback
    std::vector<int> accumulator;
    std::atomic<unsigned> queue_head{0};  // blocks handed over by flush()
    std::atomic<unsigned> queue_tail{0};  // blocks taken by the device
    std::atomic<int> underruns{0};
    sem_t buffers_free;
};
