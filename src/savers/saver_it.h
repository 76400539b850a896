#pragma once

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

    int save(const char* file) override;
    int save_sample(const char* file, int slot) override;
    int save_instrument(const char* file, int slot) override;

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
};
