#pragma once

#include <string>
#include <vector>

#include "trackercore/saver.h"

class Instrument;
class Sample;
class Pattern;

// Writes songs (.it), samples (.is) and instruments (.ii) in the Impulse Tracker layout,
// always in instrument mode with uncompressed samples.
class Saver_IT : public Saver {
public:
    static constexpr int SAMPLE_HEADER_SIZE = 80;
    static constexpr int INSTRUMENT_HEADER_SIZE = 554;
    static constexpr size_t MAX_NAME = 25;            // song, sample and instrument names
    static constexpr size_t MAX_FILE_NAME = 12;       // the DOS file name of samples and instruments
    static constexpr size_t MAX_MESSAGE = 65534;      // the length field holds 16 bits, the NUL included
    static constexpr int MAX_ENVELOPE_NODES = 25;

    int save(const char* file) override;
    int save_sample(const char* file, int slot) override;
    int save_instrument(const char* file, int slot) override;
    // Effect chains, buffers and routing, layers 2 to 4, names past 25 characters, the song's
    // own playback rules: what the format has no place for.
    std::vector<std::string> get_losses(const char* file) const override;
    std::vector<std::string> get_sample_losses(const char* file, int slot) const override;
    std::vector<std::string> get_instrument_losses(const char* file, int slot) const override;

    // Names longer than three characters ending in ".it", in any case.
    static bool claims_song_name(const char* file);

    // Packs one pattern's rows (channel byte, optional mask, values, 0 per row).
    static std::vector<unsigned char> pack_pattern(Pattern& pattern);

private:
    struct Counts {
        int orders = 1, instruments = 1, samples = 1, patterns = 1, message_length = 1;
    };

    Counts calculate_values();
    void write_song();
    void write_instrument_internal(const Instrument& ins);
    // Returns the position of the header's data-offset field.
    int write_sample_internal(const Sample& sample, bool with_data);
    void write_sample_data(const Sample& sample);
    void write_pattern(Pattern& pattern);
    void write_name(const std::string& name);
    // The file name a sample or instrument came from, without its folder; a placeholder when none.
    void write_file_name(const std::string& file_name);
};
