#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Starts a private PulseAudio server whose default sink records what it is played
// (signed 16-bit little-endian stereo, 44100 Hz), for tests of the real device path. Each of
// `sinks` is one more sink, named and described by that name, recorded as well.
class Private_Pulse {
public:
    explicit Private_Pulse(const std::string& dir, const std::vector<std::string>& sinks = {}) : dir(dir) {
        std::string cmd = "bash " WENDMOOR_SOURCE_DIR "/tests/support/private_pulse.sh start '" + dir + "'";
        for (const std::string& sink : sinks) cmd += " '" + sink + "'";
        cmd += " 2>/dev/null";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return;
        char line[4096] = {0};
        if (std::fgets(line, sizeof line, p)) runtime_dir = line;
        while (!runtime_dir.empty() && (runtime_dir.back() == '\n' || runtime_dir.back() == '\r')) runtime_dir.pop_back();
        started = pclose(p) == 0 && !runtime_dir.empty();
        if (started) {
            const char* old = std::getenv("XDG_RUNTIME_DIR");
            had_old = old != nullptr;
            if (old) old_runtime_dir = old;
            setenv("XDG_RUNTIME_DIR", runtime_dir.c_str(), 1);
        }
    }
    ~Private_Pulse() { stop(); }

    void stop() {
        if (!started) return;
        std::string cmd = "bash " WENDMOOR_SOURCE_DIR "/tests/support/private_pulse.sh stop '" + dir + "' 2>/dev/null";
        (void)std::system(cmd.c_str());
        if (had_old) setenv("XDG_RUNTIME_DIR", old_runtime_dir.c_str(), 1);
        else unsetenv("XDG_RUNTIME_DIR");
        started = false;
    }

    // The recorder may connect a while after the server is up; anything played before that is
    // lost. Waits until it has recorded at least `frames` frames of the sink's own silence.
    bool wait_until_recording(long frames = 4410, int timeout_ms = 10000, const std::string& sink = "") const {
        for (int waited = 0; waited < timeout_ms; waited += 10) {
            FILE* f = std::fopen(recording(sink).c_str(), "rb");
            long size = 0;
            if (f) {
                std::fseek(f, 0, SEEK_END);
                size = std::ftell(f);
                std::fclose(f);
            }
            if (size >= frames * 4) return true;
            usleep(10000);
        }
        return false;
    }

    // What reached the default sink (or the one named), as interleaved 16-bit samples.
    std::vector<short> captured(const std::string& sink = "") const {
        std::vector<short> out;
        FILE* f = std::fopen(recording(sink).c_str(), "rb");
        if (!f) return out;
        unsigned char b[2];
        while (std::fread(b, 1, 2, f) == 2) out.push_back((short)(b[0] | (b[1] << 8)));
        std::fclose(f);
        return out;
    }

    bool started = false;

private:
    std::string recording(const std::string& sink) const {
        return dir + (sink.empty() ? "/captured.raw" : "/" + sink + ".raw");
    }

    std::string dir;
    std::string runtime_dir;
    std::string old_runtime_dir;
    bool had_old = false;
};
