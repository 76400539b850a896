#include "common/components/audio/sound_driver_rtaudio.h"

#include <rtaudio/RtAudio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

Sound_Driver_RtAudio::Sound_Driver_RtAudio() {
    buffer_size = 4096;
    sem_init(&buffers_free, 0, 0);
}

Sound_Driver_RtAudio::~Sound_Driver_RtAudio() {
    finish();
    sem_destroy(&buffers_free);
}

// Runs on the device's thread: take the oldest queued block if there is one, else silence.
// Never blocks: two atomic counters and a semaphore post are all it touches.
int Sound_Driver_RtAudio::device_callback(void* output, void*, unsigned int frames, double, unsigned int,
                                          void* user) {
    auto* self = static_cast<Sound_Driver_RtAudio*>(user);
    const size_t block = self->device_buffer.size();
    const size_t samples = (size_t)frames * self->channels();
    short* out = static_cast<short*>(output);
    unsigned tail = self->queue_tail.load(std::memory_order_relaxed);
    if (tail != self->queue_head.load(std::memory_order_acquire) && samples == block) {
        std::memcpy(out, &self->queue[(tail % QUEUED_BUFFERS) * block], samples * sizeof(short));
        self->queue_tail.store(tail + 1, std::memory_order_release);
        sem_post(&self->buffers_free);
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
        device_buffer.assign((size_t)frames * channels(), 0);
        device->openStream(&params, nullptr, RTAUDIO_SINT16, (unsigned int)mix_frequency, &frames,
                           &Sound_Driver_RtAudio::device_callback, this, &options);
        device_buffer_frames = (int)frames;
        device_buffer.assign((size_t)device_buffer_frames * channels(), 0);
        queue.assign(device_buffer.size() * QUEUED_BUFFERS, 0);
        accumulator.assign(device_buffer.size(), 0);
        queue_head.store(0);
        queue_tail.store(0);
        underruns.store(0);
        while (sem_trywait(&buffers_free) == 0) {}
        for (int i = 0; i < QUEUED_BUFFERS; i++) sem_post(&buffers_free);
        stream_id = 0;
        device->startStream();
    } catch (RtAudioError& e) {
        e.printMessage();
        last_error = e.getMessage();
        device.reset();
        stream_id = -1;
        return -2;
    }
    last_error.clear();
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
    // Wait for a free device buffer; give up after two seconds so a stalled device cannot
    // hang the audio thread (and with it the program's shut-down).
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 2;
    while (sem_timedwait(&buffers_free, &deadline) != 0) {
        if (errno != EINTR) {
            std::printf("RtAudio: the device did not take the block in time\n");
            return;
        }
    }
    unsigned head = queue_head.load(std::memory_order_relaxed);
    std::memcpy(&queue[(head % QUEUED_BUFFERS) * device_buffer.size()], device_buffer.data(),
                device_buffer.size() * sizeof(short));
    queue_head.store(head + 1, std::memory_order_release);
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
    return true;
}
