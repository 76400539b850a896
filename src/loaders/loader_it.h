#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/components/audio/sample_data.h"
#include "trackercore/loader.h"
#include "trackercore/midi_config.h"
#include "trackercore/note.h"

class Instrument;
class Sample;

// Impulse Tracker modules (.it), samples (.its) and instruments (.iti).
class Loader_IT : public Loader {
public:
    static constexpr int HEADER_SIZE = 192;
    static constexpr int SAMPLE_HEADER_SIZE = 80;
    static constexpr int INSTRUMENT_HEADER_SIZE = 554;
    static constexpr int MAX_ENVELOPE_NODES = 25;
    static constexpr int MAX_ORDERS = 256;

    struct IT_Sample {
        char magic[4] = {};
        std::string dos_filename;
        unsigned char global_volume = 64;
        unsigned char flags = 0;
        unsigned char default_volume = 64;
        unsigned char default_pan = 32;
        unsigned char convert_flags = 0;
        std::string name;
        unsigned char vibrato_speed = 0, vibrato_depth = 0, vibrato_rate = 0, vibrato_type = 0;
        unsigned c5_speed = 0;
        unsigned length = 0;  // frames, as the header says
        unsigned data_offset = 0;
        Sample_Data data;
        int song_slot = -1;  // where load_instrument put it
    };

    struct IT_Envelope {
        unsigned char flags = 0;
        int node_count = 0;
        unsigned char loop_begin = 0, loop_end = 0, sustain_begin = 0, sustain_end = 0;
        unsigned char value[MAX_ENVELOPE_NODES] = {};
        unsigned short tick[MAX_ENVELOPE_NODES] = {};
    };

    struct IT_Instrument {
        bool valid = false;  // false: the header was unreadable; staged empty
        std::string dos_filename;
        unsigned char nna = 0, dct = 0, dca = 0;
        unsigned short fadeout = 0;
        signed char pitch_pan_separation = 0;
        unsigned char pitch_pan_center = 60;
        unsigned char global_volume = 128;
        unsigned char default_pan = 32 | 128;
        unsigned char random_volume = 0, random_pan = 0;
        unsigned char number_of_samples = 0;
        std::string name;
        unsigned char filter_cutoff = 0, filter_resonance = 0;
        unsigned char midi_channel = 0, midi_program = 0;
        unsigned short midi_bank = 0;
        unsigned char keyboard_note[NOTE_COUNT] = {};
        unsigned char keyboard_sample[NOTE_COUNT] = {};  // 1-based, 0 = none
        IT_Envelope envelope[3];                          // volume, panning, pitch
    };

    // Cells are staged sparsely, in decoding order; a pattern costs what its file data holds.
    struct IT_Pattern {
        struct Cell {
            unsigned char channel;
            unsigned char row;
            Note note;
        };
        int rows = 64;
        std::vector<Cell> cells;
    };

    Loader_IT();
    ~Loader_IT() override;

    Error load(const char* file, bool) override;
    bool test(const char* file) override;
    int get_amount_of_samples() override;
    Sample_Data* get_sample_data(int i) override;
    std::string get_sample_name(int i) override;
    void add_sample_to_song(int i, int slot, bool make_instrument) override;
    Error load_sample(const char* file, int slot) override;
    Sample_Data* load_sample(const char* file) override;
    Error load_samples_from_instrument(const char* file) override;
    Error load_instrument(const char* file, int slot) override;
    void transfer_data_to_song() override;
    void free_info(bool free_sample_data) override;

    // Decodes one IT 2.14/2.15 compressed sample from the open reader into dst (zeroed first).
    // False on a truncated stream or an illegal bit width.
    bool decompress_sample(void* dst, int frames, bool is_16bit, bool it215);
    // Mixes the second side of a stereo sample (the frames after `frames`) into the first;
    // returns the block, shrunk to the one side.
    void* mix_sides(void* block, unsigned long frames, bool is_16bit);

    // Staging, read-only, for inspection by tests and tools.
    int get_staged_sample_count() const { return (int)samples.size(); }
    const IT_Sample* get_staged_sample(int i) const;
    int get_staged_instrument_count() const { return (int)instruments.size(); }
    const IT_Instrument* get_staged_instrument(int i) const;

private:
    struct Header {
        char magic[4] = {};
        std::string song_name;
        unsigned char hilight_minor = 4, hilight_major = 16;
        unsigned short order_count = 0, instrument_count = 0, sample_count = 0, pattern_count = 0;
        unsigned short created_with = 0, compatible_with = 0;
        unsigned short flags = 0, special = 0;
        unsigned char global_volume = 128, mixing_volume = 48, speed = 6, tempo = 125, stereo_separation = 128;
        unsigned char pitch_wheel_depth = 0;
        unsigned short message_length = 0;
        unsigned message_offset = 0;
        unsigned char channel_pan[64] = {};
        unsigned char channel_volume[64] = {};
        unsigned char orders[MAX_ORDERS] = {};
    };

    Error load_header();
    Error load_body();
    Error load_samples();
    Error load_instruments();
    void load_sampledata();
    Error load_message();
    void load_midi_config();
    void warn_midi_config_lost();
    void load_patterns();
    Error load_pattern(unsigned offset, IT_Pattern& pattern);

    Error load_sample_info(IT_Sample& sample);
    Error load_instrument_info(IT_Instrument& instrument);
    // Impulse Tracker 1.x instruments: one volume envelope of byte (tick, value) nodes.
    Error load_old_instrument_info(IT_Instrument& instrument);
    // Leaves in data_problem why it kept less than the header promised.
    Error load_sample_data(IT_Sample& sample, bool it215);
    Error no_data(const std::string& why);
    // Where offset table 0 (instruments), 1 (samples) or 2 (patterns) starts; 3: where they end.
    unsigned table_offset(int table) const;
    // The first min(count, limit) entries of offset table 0 (instruments), 1 (samples) or 2 (patterns).
    std::vector<unsigned> read_offset_table(int table, int count, int limit);

    void transfer_info();
    void transfer_sample_to_song(IT_Sample& staged, Sample& target);
    void transfer_instrument_to_song(const IT_Instrument& staged, Instrument& target);
    void transfer_pattern_to_song(const IT_Pattern& staged, int index);

    void clear_structs(bool free_sample_data);
    Error give_up_and_clear_structs(Error e);
    Error open_for_load(const char* file);
    // The staged samples that hold something, as the sample browser numbers them.
    IT_Sample* library_sample(int i);

    // Compressed-block bit reader.
    unsigned read_bits(int n);

    Header header;
    std::vector<std::unique_ptr<IT_Sample>> samples;
    std::vector<std::unique_ptr<IT_Instrument>> instruments;
    std::vector<std::unique_ptr<IT_Pattern>> patterns;
    std::string message;
    Midi_Config midi_config = Midi_Config::default_config();
    std::string data_problem;  // "is cut short: ...", or empty when the last sample's data was whole

    std::vector<unsigned> block_buffer;
    size_t block_bit_pos = 0;
    size_t block_bits = 0;
};
