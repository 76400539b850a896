#include "common/components/audio/sound_driver_rtaudio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/components/audio/rtaudio_module.h"

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
void Sound_Driver_RtAudio::device_callback(short* out, unsigned frames, void* user) {
    auto* self = static_cast<Sound_Driver_RtAudio*>(user);
    const size_t block = self->device_buffer.size();
    const size_t samples = (size_t)frames * self->channels();
    unsigned tail = self->queue_tail.load(std::memory_order_relaxed);
    if (tail != self->queue_head.load(std::memory_order_acquire) && samples == block) {
        std::memcpy(out, &self->queue[(tail % QUEUED_BUFFERS) * block], samples * sizeof(short));
        self->queue_tail.store(tail + 1, std::memory_order_release);
        sem_post(&self->buffers_free);
    } else {
        std::memset(out, 0, samples * sizeof(short));
        self->underruns.fetch_add(1, std::memory_order_relaxed);
    }
}

int Sound_Driver_RtAudio::fail(const std::string& error) {
    last_error = error;
    device.reset();
    stream_id = -1;
    return -2;
}

int Sound_Driver_RtAudio::init() {
    if (active) return 0;
    device_buffer_frames = buffer_size;
    std::string error;
    device = RtAudio_Module::create_stream(error);
    if (!device) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return fail(error);
    }
    unsigned int frames = (unsigned int)device_buffer_frames;
    auto open = [&](const Audio_Output_Device& on) {
        frames = (unsigned int)device_buffer_frames;
        return device->open(on, mix_frequency, channels(), frames, QUEUED_BUFFERS,
                            &Sound_Driver_RtAudio::device_callback, this, error);
    };
    notice.clear();
    Audio_Output_Stream::Open_Result opened = open(output_device);
    if (opened == Audio_Output_Stream::NO_SUCH_DEVICE) {
        // The choice is kept: the device is used again once it is back.
        notice = "The output device " + describe_audio_output_device(output_device) +
                 " is not there; playing through the system default.";
        std::fprintf(stderr, "%s\n", notice.c_str());
        opened = open(Audio_Output_Device{});
    }
    if (opened != Audio_Output_Stream::OPENED) {
        notice.clear();
        return fail(error.empty() ? "no audio output device found" : error);
    }
    // The device may have chosen another length; sizes are fixed before the stream starts,
    // so the callback never sees a resize.
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
    if (!device->start(error)) return fail(error);
    last_error.clear();
    active = true;
    return 0;
}

std::vector<Audio_Output_Device_Info> Sound_Driver_RtAudio::list_output_devices() {
    std::string error;
    std::unique_ptr<Audio_Output_Stream> stream = RtAudio_Module::create_stream(error);
    if (!stream) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return {};
    }
    return stream->list_devices();
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
    device->close();
    device.reset();
    stream_id = -1;
    active = false;
    return true;
}
