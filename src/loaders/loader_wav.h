#pragma once

#include <string>

#include "trackercore/loader.h"

class Bounded_Reader;

// RIFF WAVE files (PCM, 8 or 16 bits, mono or stereo) as single samples. Never chosen for a song.
class Loader_WAV : public Loader {
public:
    // The state of one WAVE parse; the buffer belongs to the parse until a Sample_Data takes it.
    struct multi_chunk {
        int riff_seen = 0;
        int format_seen = 0;
        int data_seen = 0;
        unsigned short channels = 0;
        unsigned sample_rate = 0;
        unsigned short bytes_per_sample = 0;  // of one channel
        unsigned data_size = 0;               // bytes
        void* data = nullptr;
    };

    Loader_WAV();

    Error load(const char* file, bool) override;
    bool test(const char*) override { return false; }
    int get_amount_of_samples() override;
    Sample_Data* get_sample_data(int i) override;
    std::string get_sample_name(int i) override;
    void add_sample_to_song(int i, int slot, bool make_instrument) override;
    Error load_sample(const char* file, int slot) override;
    Sample_Data* load_sample(const char* file) override;
    Error load_samples_from_instrument(const char* file) override;
    Error load_instrument(const char* file, int slot) override;
    void transfer_data_to_song() override;
    void free_info(bool) override;

    // Handles one chunk whose four-byte id has just been read; true on failure.
    static bool load_chunk(const char* id, Bounded_Reader& file, multi_chunk& mc);

private:
    // Opens the file and walks its chunks; on success `sample` holds the data (left channel of a
    // stereo file, signed frames).
    Error read_wav(const char* file, Sample_Data& sample);
};
