#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/components/data/dds.h"

// Turns a DDS tree into a flat little-endian byte string and back. A packed tree is the bare
// concatenation of its records (no header, count or end marker):
//   offset 0       4   name length L
//   offset 4       L   name bytes, no terminator
//   offset 4+L     1   type (DDS::Data_Types)
//   offset 5+L     ..  value: 4-byte scalar, or 4-byte size/count followed by its bytes/elements
class DDSPacker {
public:
    // Trees nested deeper than this are refused when unpacking, so hostile input cannot
    // exhaust the stack; the native files nest about seven levels.
    static constexpr int MAX_NESTING = 64;

    // Appends the packed tree to out, its first byte at offset.
    static void pack(const DDS* dds, std::vector<unsigned char>& out, unsigned offset);
    // Adds the variables found in data to dds; on failure the variables read before stay.
    static bool unpack(DDS* dds, const unsigned char* data, unsigned size);

    static void add_to_pack(std::vector<unsigned char>& out, unsigned& offset, const std::string& name,
                            const DDS::Data_Node& node);
    static void store_dword(std::vector<unsigned char>& out, unsigned offset, std::uint32_t value);
    static void store_data(std::vector<unsigned char>& out, unsigned& offset, const void* data,
                           std::size_t size);
    static void store_int_array(std::vector<unsigned char>& out, unsigned& offset,
                                const std::vector<int>& values);
    static void store_float_array(std::vector<unsigned char>& out, unsigned& offset,
                                  const std::vector<float>& values);
    static void store_string_array(std::vector<unsigned char>& out, unsigned& offset,
                                   const std::vector<std::string>& values);
    static void store_dds(std::vector<unsigned char>& out, unsigned& offset, const DDS* dds);
    static void store_dds_array(std::vector<unsigned char>& out, unsigned& offset,
                                const VectorPointer<DDS>& trees);

    // Reads one record at offset; returns the bytes it consumed, or nothing on failure.
    static std::optional<unsigned> load_var(DDS* dds, const unsigned char* data, unsigned offset,
                                            unsigned size, int depth = 0);
    // The caller checks that four bytes are there.
    static std::uint32_t get_dword(const unsigned char* data, unsigned offset);
    // Reads a length-prefixed string at offset and advances offset past it; false if it does
    // not fit before size. The value ends at the first NUL, the field keeps its full length.
    static bool get_string(const unsigned char* data, unsigned& offset, unsigned size, std::string& out);
    // Reads a size-prefixed packed tree at offset into dds and advances offset past it.
    static bool get_dds(DDS* dds, const unsigned char* data, unsigned& offset, unsigned size, int depth);

private:
    static bool unpack_tree(DDS* dds, const unsigned char* data, unsigned size, int depth);
    static void store_string(std::vector<unsigned char>& out, unsigned& offset, const std::string& s);
};
