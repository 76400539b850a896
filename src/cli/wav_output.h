#pragma once

#include <cstdint>
#include <vector>

// The WAV files the renderers write: 16-bit PCM, little-endian whatever the machine is.

// Canonical 44-byte PCM header (offsets: 0 "RIFF", 4 size-8, 8 "WAVE", 12 "fmt ", 16 16,
// 20 format 1, 22 channels, 24 rate, 28 byte rate, 32 block align, 34 bits, 36 "data", 40 size).
std::vector<unsigned char> wav_header(int channels, int rate, std::uint32_t data_bytes);

// n frames of a mixer's stereo mixdown as 16-bit WAV frames (mono: the two sides averaged), into
// out, which holds at least 4 * n bytes. Returns the number of bytes written.
int mixdown_to_wav_bytes(const int* mix, int n, bool mono, unsigned char* out);
