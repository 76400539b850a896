#pragma once

#include <vector>

#include "common/components/data/dds.h"
#include "trackercore/saver.h"

class Sample;
class Pattern;
class Instrument;

// Writes the native song (.wm), sample (.ws) and instrument (.wi) files: a small header and a
// zlib-compressed packed tree.
//   offset 0   4  magic "WDMM" / "WDMS" / "WDMI"
//   offset 4   1  major version (1)
//   offset 5   1  minor version (1)
//   offset 6   4  U: size of the packed tree
//   offset 10  4  Z: size of the compressed stream
//   offset 14  Z  zlib stream of the packed tree
class Saver_WM : public Saver {
public:
    static constexpr unsigned char VERSION_MAJOR = 1;
    static constexpr unsigned char VERSION_MINOR = 1;

    int save(const char* file) override;
    int save_sample(const char* file, int slot) override;
    int save_instrument(const char* file, int slot) override;

    void get_dds_from_sample(Sample* sample, DDS* dds);
    void get_dds_from_pattern(Pattern* pattern, DDS* dds);
    void get_dds_from_instrument(Instrument* instrument, DDS* dds, bool include_samples);
    void get_dds_from_song(DDS* dds);
    // Writes a song tree built elsewhere (a snapshot's, with the mixer taken apart from it).
    int save_song_tree(const char* file, const DDS& tree) { return write_file(file, "WDMM", tree); }

    // The packed cells of one pattern, one byte value per entry; empty when it holds no cell.
    static std::vector<int> compress_pattern(Pattern* pattern, bool* has_cells = nullptr);

private:
    int write_file(const char* file, const char* magic, const DDS& tree);
};
