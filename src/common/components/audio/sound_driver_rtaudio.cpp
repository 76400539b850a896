#include "common/components/audio/sound_driver_rtaudio.h"

#include <rtaudio/RtAudio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

Sound_Driver_RtAudio::Sound_Driver_RtAudio() {
    buffer_size = 4096;
    sem_init(&block_taken, 0, 0);
}

Sound_Driver_RtAudio::~Sound_Driver_RtAudio() {
    finish();
    sem_destroy(&block_taken);
}

// Runs on the device's thread: copy the published block if there is one, else silence.
// Never blocks: an atomic flag and a semaphore post are all it touches.
int Sound_Driver_RtAudio::device_callback(void* output, void*, unsigned int frames, double, unsigned int,
                                          void* user) {
    auto* self = static_cast<Sound_Driver_RtAudio*>(user);
    const size_t samples = (size_t)frames * self->channels();
    short* out = static_cast<short*>(output);
    if (self->block_ready.load(std::memory_order_acquire) && samples <= self->handoff_buffer.size()) {
        std::memcpy(out, self->handoff_buffer.data(), samples * sizeof(short));
        self->block_ready.store(false, std::memory_order_release);
        sem_post(&self->block_taken);
    } else {
        std::memset(out, 0, samples * sizeof(short));
        self->underruns.fetch_add(1, std::memory_order_relaxed);
    }
    return 0;
}

int Sound_Driver_RtAudio::init() {
    if (active) return 0;
    device_buffer_frames = buffer_size;
    try {
        device = std::make_unique<RtAudio>();
        device->showWarnings(false);
        if (device->getDeviceCount() == 0)
            throw RtAudioError("no audio output device found", RtAudioError::NO_DEVICES_FOUND);
        RtAudio::StreamParameters params;
        params.deviceId = device->getDefaultOutputDevice();
        params.nChannels = channels();
        params.firstChannel = 0;
        RtAudio::StreamOptions options;
        options.numberOfBuffers = 4;
        unsigned int frames = (unsigned int)device_buffer_frames;
        // Sizes are fixed before the stream starts, so the callback never sees a resize.
        handoff_buffer.assign((size_t)frames * 2, 0);
        device->openStream(&params, nullptr, RTAUDIO_SINT16, (unsigned int)mix_frequency, &frames,
                           &Sound_Driver_RtAudio::device_callback, this, &options);
        device_buffer_frames = (int)frames;
        device_buffer.assign((size_t)device_buffer_frames * channels(), 0);
        handoff_buffer.assign((size_t)device_buffer_frames * channels(), 0);
        accumulator.assign((size_t)device_buffer_frames * channels(), 0);
        block_ready.store(false);
        underruns.store(0);
        while (sem_trywait(&block_taken) == 0) {}
        stream_id = 0;
        device->startStream();
    } catch (RtAudioError& e) {
        e.printMessage();
        device.reset();
        stream_id = -1;
        return -2;
    }
    active = true;
    return 0;
}

int Sound_Driver_RtAudio::process() {
    if (!active) return 1;
    render_mixers(device_buffer.data(), accumulator.data(), device_buffer_frames, mix_stereo);
    return 2;
}

void Sound_Driver_RtAudio::flush() {
    if (!active) return;
    std::memcpy(handoff_buffer.data(), device_buffer.data(), device_buffer.size() * sizeof(short));
    block_ready.store(true, std::memory_order_release);
    // Wait for the device to take the block; give up after two seconds so a stalled
    // device cannot hang the audio thread (and with it the program's shut-down).
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 2;
    while (sem_timedwait(&block_taken, &deadline) != 0) {
        if (errno != EINTR) {
            std::printf("RtAudio: the device did not take the block in time\n");
            block_ready.store(false, std::memory_order_release);
            return;
        }
    }
}

bool Sound_Driver_RtAudio::finish() {
    if (!active) return false;
    try {
        if (device->isStreamRunning()) device->stopStream();
    } catch (RtAudioError& e) {
        e.printMessage();
    }
    try {
        if (device->isStreamOpen()) device->closeStream();
    } catch (RtAudioError& e) {
        e.printMessage();
    }
    device.reset();
    stream_id = -1;
    active = false;
    block_ready.store(false);
    return true;
}
