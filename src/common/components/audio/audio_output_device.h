#pragma once

#include <string>

// An output device as the user chooses it and the settings keep it: by name, since device
// numbers change when devices come and go. `api` is RtAudio's short name of the back end
// ("alsa", "pulse", "jack"); both empty is the system's default output.
struct Audio_Output_Device {
    std::string api;
    std::string name;

    bool is_system_default() const { return api.empty() && name.empty(); }
    bool operator==(const Audio_Output_Device&) const = default;
};

// A device as a back end lists it.
struct Audio_Output_Device_Info {
    Audio_Output_Device device;
    std::string api_display_name;  // audio_api_display_name(device.api)
    int channels = 0;              // output channels
    bool is_api_default = false;   // the back end's own default output
};

// How a back end is named to the user.
inline std::string audio_api_display_name(const std::string& api) {
    if (api == "alsa") return "ALSA";
    if (api == "pulse") return "PulseAudio";
    if (api == "jack") return "JACK";
    if (api == "oss") return "OSS";
    return api;
}

// "First" (PulseAudio), or "the system default".
inline std::string describe_audio_output_device(const Audio_Output_Device& device) {
    if (device.is_system_default()) return "the system default";
    return "\"" + device.name + "\" (" + audio_api_display_name(device.api) + ")";
}
