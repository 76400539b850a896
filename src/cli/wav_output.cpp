#include "cli/wav_output.h"

#include <string>

#include "common/components/audio/mixer.h"

namespace {

void put_u16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void put_u32(std::vector<unsigned char>& out, std::uint32_t v) {
    put_u16(out, v & 0xFFFF);
    put_u16(out, v >> 16);
}

void put_sample(unsigned char* out, std::int16_t v) {
    out[0] = (unsigned char)(v & 0xFF);
    out[1] = (unsigned char)(((std::uint16_t)v) >> 8);
}

}  // namespace

std::vector<unsigned char> wav_header(int channels, int rate, std::uint32_t data_bytes) {
    std::vector<unsigned char> h;
    for (char c : std::string("RIFF")) h.push_back(c);
    put_u32(h, 36 + data_bytes);
    for (char c : std::string("WAVEfmt ")) h.push_back(c);
    put_u32(h, 16);
    put_u16(h, 1);
    put_u16(h, channels);
    put_u32(h, rate);
    put_u32(h, rate * channels * 2);
    put_u16(h, channels * 2);
    put_u16(h, 16);
    for (char c : std::string("data")) h.push_back(c);
    put_u32(h, data_bytes);
    return h;
}

int mixdown_to_wav_bytes(const int* mix, int n, bool mono, unsigned char* out) {
    if (mono) {
        for (int f = 0; f < n; f++)
            put_sample(out + 2 * f, mixer_sample_to_16bit((int)(((std::int64_t)mix[2 * f] + mix[2 * f + 1]) / 2)));
        return 2 * n;
    }
    for (int i = 0; i < 2 * n; i++) put_sample(out + 2 * i, mixer_sample_to_16bit(mix[i]));
    return 4 * n;
}
