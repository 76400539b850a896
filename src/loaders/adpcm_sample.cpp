#include "loaders/adpcm_sample.h"

namespace adpcm_sample {

void decode(const unsigned char* stored, long frames, signed char* out) {
    const unsigned char* table = stored;
    const unsigned char* nibbles = stored + TABLE_SIZE;
    unsigned char sample = 0;  // wraps at 8 bits, as the deltas were taken
    for (long i = 0; i < frames; ++i) {
        unsigned char byte = nibbles[i >> 1];
        unsigned index = (i & 1) ? (byte >> 4) : (byte & 15);
        sample = (unsigned char)(sample + table[index]);
        out[i] = (signed char)sample;
    }
}

}  // namespace adpcm_sample
