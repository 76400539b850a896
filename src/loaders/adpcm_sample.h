#pragma once

// 4-bit ADPCM sample data as ModPlug Tracker wrote it into IT and S3M files: a table of 16 signed
// deltas, then one byte per two frames, low nibble first, each nibble indexing the table.
namespace adpcm_sample {

constexpr long TABLE_SIZE = 16;

// Packed bytes (table included) that `frames` frames take.
inline long stored_size(long frames) { return TABLE_SIZE + (frames + 1) / 2; }

// Frames that `stored` bytes hold; 0 when even the table is incomplete.
inline long frames_in(long stored) { return stored < TABLE_SIZE ? 0 : (stored - TABLE_SIZE) * 2; }

// Decodes `frames` frames from `stored` (table first) into signed 8-bit `out`.
// `stored` must hold stored_size(frames) bytes.
void decode(const unsigned char* stored, long frames, signed char* out);

}  // namespace adpcm_sample
