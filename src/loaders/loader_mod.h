#pragma once

#include <string>
#include <vector>

#include "common/components/audio/sample_data.h"
#include "trackercore/loader.h"
#include "trackercore/note.h"
#include "trackercore/pattern.h"

class Bounded_Reader;

// ProTracker-family modules (.mod): 31-sample files named by a signature at offset 1080, and the
// older 15-sample Soundtracker files, which have none and are told by their header alone. Every
// sample becomes a song sample with an instrument made from it; patterns become 64-row patterns
// in the IT cell encodings.
class Loader_MOD : public Loader {
public:
    static constexpr int MAX_CHANNELS = 32;
    static constexpr int ROWS = 64;
    static constexpr long HEADER_31 = 1084;  // up to and with the signature
    static constexpr long HEADER_15 = 600;
    static constexpr long PROBE_SIZE = HEADER_15 + 1024;  // a Soundtracker header and its first pattern

    // What the header says about the file's layout.
    struct Layout {
        int samples = 0;   // 31 or 15; 0: not a module
        int channels = 0;
        long header_size = 0;       // where the patterns start
        bool flt8 = false;          // Startrekker 8-channel: each pattern is a pair of 4-channel ones
        bool soundtracker = false;  // 15 samples: Fxx is speed only, the tempo sits in the header
        bool ultimate = false;      // Ultimate Soundtracker: 1xy is arpeggio, 2xy pitch bend
    };

    // Whose meaning the effect numbers have.
    enum class Dialect { PROTRACKER, SOUNDTRACKER, ULTIMATE };

    Loader_MOD();
    ~Loader_MOD() override;

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

    // The tables, public for the tests.
    // Channels named by a 31-sample signature, 0 for none; sets `flt8` for Startrekker's pairing.
    static int channels_for_signature(const unsigned char signature[4], bool& flt8);
    // Sound checks of a file without a signature: its first `size` bytes (at least the 600 of the
    // header; the first pattern's cells are checked when they are there).
    static bool is_soundtracker_header(const unsigned char* head, long size);
    // The layout of a file whose first `size` bytes (up to PROBE_SIZE) are `head`.
    static Layout detect_layout(const unsigned char* head, long size);
    // Amiga period to note (428 is C-4); 0 and out-of-range periods give no note.
    static unsigned char period_to_note(int period);
    // C5 frequency of a sample with this finetune nibble (0..7 up, 8..15 down in eighths of a semitone).
    static int finetune_to_c5(int finetune);
    // The header tempo byte of a Soundtracker file as beats per minute.
    static int soundtracker_tempo(int tempo_byte);
    // Sets command, parameter and possibly the volume column of `cell` from a MOD effect.
    static void convert_effect(unsigned char effect, unsigned char parameter, Note& cell,
                               Dialect dialect = Dialect::PROTRACKER);
    // One four-byte cell: period and sample number split over the bytes, then effect and parameter.
    static Note decode_cell(const unsigned char* bytes, int sample_count, Dialect dialect = Dialect::PROTRACKER);
    // Ultimate Soundtracker files use no effect but 1 and 2, and 1 with two non-zero nibbles.
    static bool uses_ultimate_effects(const unsigned char* pattern_data, long size);

    const Layout& get_layout() const { return layout; }
    int get_staged_pattern_count() const { return (int)patterns.size(); }

private:
    struct MOD_Sample {
        std::string name;
        int length = 0;  // bytes, as the header claims
        int finetune = 0;
        int volume = 64;
        int loop_start = 0;   // bytes
        int loop_length = 0;  // bytes
        Sample_Data data;
    };

    Error load_header(Bounded_Reader& in);
    // 4-channel patterns for FLT8 files, whole patterns for the others.
    int count_stored_patterns(long file_size) const;
    long stored_pattern_size() const;
    void decode_patterns(const unsigned char* data, long size, int stored_patterns);
    long load_sample_data(Bounded_Reader& in, long position, MOD_Sample& sample);
    Dialect dialect() const;

    Layout layout;
    std::string title;
    int song_length = 0;
    int tempo_byte = 0;
    unsigned char orders[128] = {};
    unsigned char signature[4] = {};
    std::vector<MOD_Sample> samples;
    std::vector<Pattern> patterns;
};
