#pragma once

#include <memory>
#include <string>
#include <vector>

#include "trackercore/loader.h"
#include "trackercore/instrument.h"
#include "trackercore/note.h"
#include "trackercore/pattern.h"
#include "trackercore/sample.h"

// FastTracker 2 modules (.xm) and instruments (.xi). Cells are translated into the IT volume-column
// and effect encodings while loading; relative note and finetune fold into the C5 frequency.
class Bounded_Reader;

class Loader_XM : public Loader {
public:
    // The keyboard names samples by byte, so no instrument can play more than 256; FT2 writes at
    // most 16, other trackers more.
    static constexpr int MAX_SAMPLES_PER_INSTRUMENT = 256;
    static constexpr int STAGED_PATTERNS = 256;

    Loader_XM();
    ~Loader_XM() override;

    Error load(const char* file, bool load_patterns) override;
    bool test(const char* file) override;
    int get_amount_of_samples() override;
    Sample_Data* get_sample_data(int i) override;
    std::string get_sample_name(int i) override;
    void add_sample_to_song(int i, int slot, bool make_instrument) override;
    using Loader::load_sample;
    Error load_sample(const char* file, int slot) override;
    Error load_samples_from_instrument(const char* file) override;
    Error load_instrument(const char* file, int slot) override;
    void transfer_data_to_song() override;
    void free_info(bool free_sample_data) override;

    // Cell translation, one field at a time (public for the tests).
    static unsigned char convert_note(unsigned char xm_note);
    static unsigned char convert_instrument(unsigned char xm_instrument);
    static unsigned char convert_volume(unsigned char xm_volume);
    // Sets command and parameter of `cell` from an XM effect; key off may turn the note into note off,
    // and a set-volume may move into a free volume column.
    static void convert_effect(unsigned char effect, unsigned char parameter, Note& cell);
    // One cell from packed bytes; returns the number of bytes consumed (0 when `size` is too short
    // for the cell; the cell is then left empty). Instrument numbers past the song's slots become
    // `empty_instrument`, a slot the file leaves empty (or none).
    static int decode_cell(const unsigned char* bytes, int size, Note& cell, unsigned char empty_instrument = EMPTY_FIELD);

    // Delta decoding in place: each value is the running sum, wrapping at 8 resp. 16 bits.
    static void decode_delta_8(signed char* frames, int count);
    static void decode_delta_16(short* frames, int count);
    // Linear-table C5 frequency of a sample with this relative note and finetune.
    static int c5_frequency(int relative_note, int finetune);

private:
    struct Header {
        std::string name;
        std::string tracker_name;
        // FT2's signature over a title padded with zero bytes, where FT2 pads with spaces: a
        // file ModPlug wrote.
        bool written_by_modplug = false;
        int song_length = 0;
        int channels = 0;
        int patterns = 0;
        int instruments = 0;
        int flags = 0;
        int speed = 6;
        int tempo = 125;
        unsigned char orders[256] = {};
        long dropped_cells = 0;  // notes in channels past the song's 64
    };

    struct Pending_Instrument;

    Error load_module(Bounded_Reader& in);
    // What the song cannot take of a module that loaded, as warnings.
    void warn_of_losses();
    // Decodes into `pattern`, or skips the pattern's data when it is null. Version 1.02 files
    // store the row count in one byte, minus one.
    Error load_pattern(Bounded_Reader& in, Pattern* pattern, bool byte_rows);
    // Stages the header's instruments; their sample data is read at once, or left in `pending`
    // when it comes later in the file.
    Error load_module_instruments(Bounded_Reader& in, std::vector<Pending_Instrument>& pending, bool defer_data);
    Error load_module_instrument(Bounded_Reader& in, Pending_Instrument& pending);
    // The part shared by modules and .xi files, from the keyboard table on: envelopes and sample
    // headers. `header_end` is where a module's sample headers start; -1 in .xi mode, where the
    // sample count follows the block instead.
    Error load_instrument_internal(Bounded_Reader& in, Instrument& instrument, int sample_count,
                                   long header_end, Pending_Instrument& pending);
    // Reads the sample data of one instrument, stages its samples and maps its keyboard.
    static void stage_samples(Bounded_Reader& in, Pending_Instrument& pending,
                              std::vector<std::unique_ptr<Sample>>& staging);
    static void map_keyboard(Instrument::Layer& layer, const unsigned char* keyboard,
                             const std::vector<int>& staged_index);

    Header header;
    std::vector<Pattern> patterns;
    std::vector<std::unique_ptr<Sample>> samples;
    std::vector<std::unique_ptr<Instrument>> instruments;
};
