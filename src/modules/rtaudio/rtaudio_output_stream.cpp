#include <rtaudio/RtAudio.h>

#include <memory>
#include <new>

#include "common/components/audio/audio_output_stream.h"

// The only code that talks to RtAudio. Built as the module wendmoor_rtaudio.so; RtAudio's
// errors are printed with its own printMessage and handed back as text.

namespace {

class RtAudio_Output_Stream : public Audio_Output_Stream {
public:
    ~RtAudio_Output_Stream() override { close(); }

    bool open(int rate, int channels, unsigned& frames, int buffers, Fill fill_fn, void* user_data,
              std::string& error) override {
        close();
        fill = fill_fn;
        user = user_data;
        try {
            device = std::make_unique<RtAudio>();
            device->showWarnings(false);
            if (device->getDeviceCount() == 0)
                throw RtAudioError("no audio output device found", RtAudioError::NO_DEVICES_FOUND);
            RtAudio::StreamParameters params;
            params.deviceId = device->getDefaultOutputDevice();
            params.nChannels = (unsigned)channels;
            params.firstChannel = 0;
            RtAudio::StreamOptions options;
            options.numberOfBuffers = (unsigned)buffers;
            device->openStream(&params, nullptr, RTAUDIO_SINT16, (unsigned)rate, &frames, &device_callback, this,
                               &options);
        } catch (RtAudioError& e) {
            return failed(e, error);
        }
        return true;
    }

    bool start(std::string& error) override {
        if (!device) {
            error = "the stream is not open";
            return false;
        }
        try {
            device->startStream();
        } catch (RtAudioError& e) {
            return failed(e, error);
        }
        return true;
    }

    void close() override {
        if (!device) return;
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
    }

private:
    static int device_callback(void* output, void*, unsigned int frames, double, RtAudioStreamStatus, void* self) {
        auto* stream = static_cast<RtAudio_Output_Stream*>(self);
        stream->fill(static_cast<short*>(output), frames, stream->user);
        return 0;
    }

    bool failed(RtAudioError& e, std::string& error) {
        e.printMessage();
        error = e.getMessage();
        device.reset();
        return false;
    }

    std::unique_ptr<RtAudio> device;
    Fill fill = nullptr;
    void* user = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int wendmoor_audio_output_stream_version() {
    return AUDIO_OUTPUT_STREAM_VERSION;
}

extern "C" __attribute__((visibility("default"))) Audio_Output_Stream* wendmoor_audio_output_stream_create() {
    return new (std::nothrow) RtAudio_Output_Stream();
}
