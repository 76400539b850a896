#pragma once

#include "common/components/data/dds.h"
#include "trackercore/loader.h"

class Sample;
class Pattern;
class Instrument;

// Reads the native song (.wm), sample (.ws) and instrument (.wi) files written by Saver_WM.
// A song is staged as its unpacked tree and applied section by section.
class Loader_WM : public Loader {
public:
    // Deflate cannot expand data by more than about 1032:1, so a larger claim is a lie.
    static constexpr unsigned MAX_COMPRESSION_RATIO = 1032;

    // Why a file whose packed tree of `packed` bytes is compressed into `compressed` bytes
    // cannot be read on a machine with `memory` bytes; nullptr when it can. Sizes are what the
    // header's 32-bit fields hold. The saver asks the same before it writes anything.
    static const char* refuse_sizes(unsigned long long packed, unsigned long long compressed,
                                    unsigned long long memory);
    // The machine's physical memory: reading takes the compressed bytes, the packed tree and
    // the tree built from it.
    static unsigned long long physical_memory();

    Loader_WM();

    Error load(const char* file, bool) override;
    bool test(const char* file) override;
    int get_amount_of_samples() override { return 0; }
    Sample_Data* get_sample_data(int) override { return nullptr; }
    std::string get_sample_name(int) override { return ""; }
    void add_sample_to_song(int, int, bool) override {}
    Error load_sample(const char* file, int slot) override;
    Sample_Data* load_sample(const char* file) override;
    Error load_samples_from_instrument(const char*) override { return FILE_ERROR; }
    Error load_instrument(const char* file, int slot) override;
    void transfer_data_to_song() override;
    void free_info(bool) override;

    void set_dds_to_sample(DDS* dds, Sample* sample);
    void set_dds_to_pattern(DDS* dds, Pattern* pattern);
    void set_dds_to_instrument(DDS* dds, Instrument* instrument);

    const DDS& get_staged_tree() const { return staged; }

private:
    // Reads a whole container whose magic must be the given one into tree.
    Error read_container(const char* file, const char* magic, DDS& tree);
    // 0 when the versions can be read, with the warning for a newer minor version.
    bool check_version(unsigned char major, unsigned char minor);

    DDS staged;
};
