#include <dlfcn.h>
#include <rtaudio/RtAudio.h>

#include <memory>
#include <new>
#include <vector>

#include "common/components/audio/audio_output_stream.h"

// The only code that talks to RtAudio. Built as the module wendmoor_rtaudio.so; RtAudio's
// errors are printed with its own printMessage and handed back as text. Devices are found by
// back end and name each time a stream opens, since their numbers change as they come and go.

namespace {

// ALSA prints a line for every card it looks for and does not find; looking is not an error.
// Its message handler is silenced while devices are listed.
class Quiet_Alsa {
public:
    Quiet_Alsa() {
        if (void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD)) {
            set_handler = (Set_Handler)dlsym(alsa, "snd_lib_error_set_handler");
            dlclose(alsa);  // still loaded: RtAudio links it
        }
        if (set_handler) set_handler(&quiet);
    }
    ~Quiet_Alsa() {
        if (set_handler) set_handler(nullptr);
    }
    Quiet_Alsa(const Quiet_Alsa&) = delete;
    Quiet_Alsa& operator=(const Quiet_Alsa&) = delete;

private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using Set_Handler = int (*)(Handler);
    static void quiet(const char*, int, const char*, int, const char*, ...) {}
    Set_Handler set_handler = nullptr;
};

// The devices of one back end that can play, in its order; none when it has no server.
void list_outputs(RtAudio::Api api, std::vector<Audio_Output_Device_Info>& out) {
    try {
        RtAudio audio(api);
        audio.showWarnings(false);
        const unsigned count = audio.getDeviceCount();
        for (unsigned i = 0; i < count; i++) {
            RtAudio::DeviceInfo info;
            try {
                info = audio.getDeviceInfo(i);
            } catch (RtAudioError&) {
                continue;
            }
            if (!info.probed || info.outputChannels == 0) continue;
            Audio_Output_Device_Info device;
            device.device.api = RtAudio::getApiName(api);
            device.device.name = info.name;
            device.api_display_name = audio_api_display_name(device.device.api);
            device.channels = (int)info.outputChannels;
            device.is_api_default = info.isDefaultOutput;
            out.push_back(device);
        }
    } catch (RtAudioError&) {
    }
}

class RtAudio_Output_Stream : public Audio_Output_Stream {
public:
    ~RtAudio_Output_Stream() override { close(); }

    std::vector<Audio_Output_Device_Info> list_devices() override {
        Quiet_Alsa quiet;
        std::vector<RtAudio::Api> apis;
        RtAudio::getCompiledApi(apis);
        std::vector<Audio_Output_Device_Info> devices;
        for (RtAudio::Api api : apis) list_outputs(api, devices);
        return devices;
    }

    Open_Result open(const Audio_Output_Device& wanted, int rate, int channels, unsigned& frames, int buffers,
                     Fill fill_fn, void* user_data, std::string& error) override {
        close();
        fill = fill_fn;
        user = user_data;
        try {
            RtAudio::StreamParameters params;
            if (wanted.is_system_default()) {
                device = std::make_unique<RtAudio>();
                device->showWarnings(false);
                if (device->getDeviceCount() == 0)
                    throw RtAudioError("no audio output device found", RtAudioError::NO_DEVICES_FOUND);
                params.deviceId = device->getDefaultOutputDevice();
            } else {
                if (!find(wanted, params.deviceId)) {
                    device.reset();
                    return NO_SUCH_DEVICE;
                }
            }
            params.nChannels = (unsigned)channels;
            params.firstChannel = 0;
            RtAudio::StreamOptions options;
            options.numberOfBuffers = (unsigned)buffers;
            device->openStream(&params, nullptr, RTAUDIO_SINT16, (unsigned)rate, &frames, &device_callback, this,
                               &options);
        } catch (RtAudioError& e) {
            return failed(e, error);
        }
        return OPENED;
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

    // Makes `device` the wanted one's back end and finds the device there by name.
    bool find(const Audio_Output_Device& wanted, unsigned& id) {
        RtAudio::Api api = RtAudio::getCompiledApiByName(wanted.api);
        if (api == RtAudio::UNSPECIFIED) return false;
        device = std::make_unique<RtAudio>(api);
        device->showWarnings(false);
        const unsigned count = device->getDeviceCount();
        for (unsigned i = 0; i < count; i++) {
            try {
                RtAudio::DeviceInfo info = device->getDeviceInfo(i);
                if (info.probed && info.outputChannels > 0 && info.name == wanted.name) {
                    id = i;
                    return true;
                }
            } catch (RtAudioError&) {
            }
        }
        return false;
    }

    Open_Result failed(RtAudioError& e, std::string& error) {
        e.printMessage();
        error = e.getMessage();
        device.reset();
        return FAILED;
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
