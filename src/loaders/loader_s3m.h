#pragma once

#include <string>
#include <vector>

#include "common/components/audio/sample_data.h"
#include "trackercore/loader.h"
#include "trackercore/note.h"
#include "trackercore/pattern.h"

class Bounded_Reader;

// Scream Tracker 3 modules (.s3m): every sample becomes a song sample with an instrument made
// from it, patterns become 64-row patterns in the IT cell encodings.
class Loader_S3M : public Loader {
public:
    struct S3M_Sample {
        std::string filename;
        int memory_segment = 0;  // paragraphs: the data starts at memory_segment × 16
        int length = 0;
        int loop_begin = 0;
        int loop_end = 0;
        int volume = 64;
        int flags = 0;
        int c2_speed = 8363;
        std::string name;
        bool valid = false;  // type 1 and magic "SCRS"
        Sample_Data data;
    };

    Loader_S3M();
    ~Loader_S3M() override;

    Error load(const char* file, bool load_patterns) override;
    bool test(const char* file) override;
    int get_amount_of_samples() override { return 0; }
    Sample_Data* get_sample_data(int) override { return nullptr; }
    std::string get_sample_name(int) override { return std::string(); }
    void add_sample_to_song(int, int, bool) override {}
    using Loader::load_sample;
    Error load_sample(const char*, int) override { return FILE_ERROR; }
    Error load_samples_from_instrument(const char*) override { return FILE_FORMAT_NOT_RECOGNIZED; }
    Error load_instrument(const char*, int) override { return FILE_FORMAT_NOT_RECOGNIZED; }
    void transfer_data_to_song() override;
    void free_info(bool free_sample_data) override;

    // Cell field rules (public for the tests).
    static unsigned char convert_note(unsigned char s3m_note);
    static unsigned char convert_instrument(unsigned char s3m_instrument);
    static unsigned char convert_volume(unsigned char s3m_volume);
    static unsigned char convert_command(unsigned char s3m_command);
    // Unpacks one pattern's packed bytes (after the length word) into `pattern`.
    static void unpack_pattern(const unsigned char* bytes, int size, Pattern& pattern);

    int get_staged_pattern_count() const { return (int)patterns.size(); }
    int get_staged_sample_count() const { return (int)samples.size(); }

private:
    struct Header {
        std::string name;
        int order_count = 0;
        int sample_count = 0;
        int pattern_count = 0;
        int flags = 0;
        int version = 0;  // the tracker that wrote the file: 0x1300 is ST3.00
        int global_volume = 64;
        int speed = 6;
        int tempo = 125;
        int master_volume = 48;
        unsigned char channel_settings[32] = {};
        unsigned char channel_pans[32] = {};  // bit 5: the low nibble is the channel's pan
    };
    static int channel_pan(const Header& header, int channel);

    Error load_header(Bounded_Reader& in);
    void load_sample(Bounded_Reader& in, long offset, S3M_Sample& sample);
    void load_pattern(Bounded_Reader& in, long offset, Pattern& pattern);

    Header header;
    std::vector<unsigned char> orders;
    std::vector<long> sample_offsets;
    std::vector<long> pattern_offsets;
    std::vector<S3M_Sample> samples;
    std::vector<Pattern> patterns;
};
