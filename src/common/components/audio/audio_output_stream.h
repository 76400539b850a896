#pragma once

#include <string>
#include <vector>

#include "common/components/audio/audio_output_device.h"

// The device end of the RtAudio driver: a signed 16-bit output stream on a chosen device or the
// default one, and the list of devices to choose from. It lives in a module of its own
// (wendmoor_rtaudio.so) that is loaded only when a device is wanted, so that processes that
// never play do not load the sound libraries at all.
class Audio_Output_Stream {
public:
    // Fills `frames` interleaved frames at `out`. Runs on the device's thread: must not block.
    using Fill = void (*)(short* out, unsigned frames, void* user);

    enum Open_Result { OPENED, NO_SUCH_DEVICE, FAILED };

    virtual ~Audio_Output_Stream() = default;
    // The output devices of every back end RtAudio was built with, each back end's in its own
    // order. Back ends that have no server or no device list nothing.
    virtual std::vector<Audio_Output_Device_Info> list_devices() = 0;
    // Opens the stream on `device` (the system default when it names none); `frames` is the
    // wanted buffer length in and the device's one out. Nothing is filled before start().
    // NO_SUCH_DEVICE when the device is not there now; FAILED with the reason in `error`,
    // already printed.
    virtual Open_Result open(const Audio_Output_Device& device, int rate, int channels, unsigned& frames,
                             int buffers, Fill fill, void* user, std::string& error) = 0;
    virtual bool start(std::string& error) = 0;
    // Stops and closes whatever is open; an error is printed and the rest still happens.
    virtual void close() = 0;
};

// The module's two entry points, looked up by these names. The version changes whenever the
// class above does, so that a stale module is refused instead of called wrongly.
constexpr int AUDIO_OUTPUT_STREAM_VERSION = 2;
extern "C" {
using Audio_Output_Stream_Version = int (*)();
using Audio_Output_Stream_Create = Audio_Output_Stream* (*)();
}
constexpr const char* AUDIO_OUTPUT_STREAM_VERSION_SYMBOL = "wendmoor_audio_output_stream_version";
constexpr const char* AUDIO_OUTPUT_STREAM_CREATE_SYMBOL = "wendmoor_audio_output_stream_create";
