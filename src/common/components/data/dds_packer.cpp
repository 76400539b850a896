#include "common/components/data/dds_packer.h"

#include <bit>
#include <cstring>
#include <utility>

#include "common/components/data/error_line.h"

namespace {

const char* const SOURCE = "common/components/data/dds_packer";

// True when need bytes starting at offset lie within size (offset itself at most size).
bool fits(unsigned offset, std::uint64_t need, unsigned size) {
    return offset <= size && need <= static_cast<std::uint64_t>(size - offset);
}

} // namespace

// ---- packing

void DDSPacker::store_dword(std::vector<unsigned char>& out, unsigned offset, std::uint32_t value) {
    out[offset] = static_cast<unsigned char>(value);
    out[offset + 1] = static_cast<unsigned char>(value >> 8);
    out[offset + 2] = static_cast<unsigned char>(value >> 16);
    out[offset + 3] = static_cast<unsigned char>(value >> 24);
}

void DDSPacker::store_data(std::vector<unsigned char>& out, unsigned& offset, const void* data,
                           std::size_t size) {
    if (out.size() < offset + size) out.resize(offset + size);
    if (size) std::memcpy(out.data() + offset, data, size);
    offset += static_cast<unsigned>(size);
}

namespace {

void append_dword(std::vector<unsigned char>& out, unsigned& offset, std::uint32_t value) {
    if (out.size() < offset + 4u) out.resize(offset + 4u);
    DDSPacker::store_dword(out, offset, value);
    offset += 4;
}

} // namespace

void DDSPacker::store_string(std::vector<unsigned char>& out, unsigned& offset, const std::string& s) {
    append_dword(out, offset, static_cast<std::uint32_t>(s.size()));
    store_data(out, offset, s.data(), s.size());
}

void DDSPacker::store_int_array(std::vector<unsigned char>& out, unsigned& offset,
                                const std::vector<int>& values) {
    append_dword(out, offset, static_cast<std::uint32_t>(values.size()));
    out.reserve(offset + values.size() * 4);
    for (int v : values) append_dword(out, offset, static_cast<std::uint32_t>(v));
}

void DDSPacker::store_float_array(std::vector<unsigned char>& out, unsigned& offset,
                                  const std::vector<float>& values) {
    append_dword(out, offset, static_cast<std::uint32_t>(values.size()));
    out.reserve(offset + values.size() * 4);
    for (float v : values) append_dword(out, offset, std::bit_cast<std::uint32_t>(v));
}

void DDSPacker::store_string_array(std::vector<unsigned char>& out, unsigned& offset,
                                   const std::vector<std::string>& values) {
    append_dword(out, offset, static_cast<std::uint32_t>(values.size()));
    for (const std::string& s : values) store_string(out, offset, s);
}

void DDSPacker::store_dds(std::vector<unsigned char>& out, unsigned& offset, const DDS* dds) {
    std::vector<unsigned char> nested;
    if (dds) pack(dds, nested, 0);
    append_dword(out, offset, static_cast<std::uint32_t>(nested.size()));
    store_data(out, offset, nested.data(), nested.size());
}

void DDSPacker::store_dds_array(std::vector<unsigned char>& out, unsigned& offset,
                                const VectorPointer<DDS>& trees) {
    append_dword(out, offset, static_cast<std::uint32_t>(trees.size()));
    for (const DDS* tree : trees) store_dds(out, offset, tree);
}

void DDSPacker::add_to_pack(std::vector<unsigned char>& out, unsigned& offset, const std::string& name,
                            const DDS::Data_Node& node) {
    store_string(out, offset, name);
    const unsigned char type = static_cast<unsigned char>(node.type);
    store_data(out, offset, &type, 1);
    switch (node.type) {
    case DDS::TYPE_INT:
    case DDS::TYPE_FLOAT: append_dword(out, offset, node.word); break;
    case DDS::TYPE_STRING: store_string(out, offset, node.string); break;
    case DDS::TYPE_POINTER:
        // Only the low 32 bits: the value means nothing once it leaves this process.
        append_dword(out, offset, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(node.pointer)));
        break;
    case DDS::TYPE_DATA:
        append_dword(out, offset, static_cast<std::uint32_t>(node.data.size()));
        store_data(out, offset, node.data.data(), node.data.size());
        break;
    case DDS::TYPE_INT_ARRAY: store_int_array(out, offset, node.int_array); break;
    case DDS::TYPE_STRING_ARRAY: store_string_array(out, offset, node.string_array); break;
    case DDS::TYPE_FLOAT_ARRAY: store_float_array(out, offset, node.float_array); break;
    case DDS::TYPE_DDS: store_dds(out, offset, node.dds.get()); break;
    case DDS::TYPE_DDS_ARRAY: store_dds_array(out, offset, node.dds_array); break;
    case DDS::TYPE_UNDEFINED: break;
    }
}

void DDSPacker::pack(const DDS* dds, std::vector<unsigned char>& out, unsigned offset) {
    if (!dds) return;
    if (out.size() < offset) out.resize(offset);
    for (auto it = dds->get_iterator_begin(); it != dds->get_iterator_end(); ++it)
        add_to_pack(out, offset, it->first, it->second);
}

// ---- unpacking: every size read from the input is checked against the bytes left before use

std::uint32_t DDSPacker::get_dword(const unsigned char* data, unsigned offset) {
    return static_cast<std::uint32_t>(data[offset]) | static_cast<std::uint32_t>(data[offset + 1]) << 8 |
           static_cast<std::uint32_t>(data[offset + 2]) << 16 |
           static_cast<std::uint32_t>(data[offset + 3]) << 24;
}

bool DDSPacker::get_string(const unsigned char* data, unsigned& offset, unsigned size, std::string& out) {
    if (offset >= size || !fits(offset, 4, size)) return false;
    const std::uint32_t length = get_dword(data, offset);
    if (!fits(offset + 4, length, size)) return false;
    const char* begin = reinterpret_cast<const char*>(data + offset + 4);
    const void* nul = std::memchr(begin, 0, length);
    out.assign(begin, nul ? static_cast<const char*>(nul) : begin + length);
    offset += 4 + length;
    return true;
}

bool DDSPacker::get_dds(DDS* dds, const unsigned char* data, unsigned& offset, unsigned size, int depth) {
    if (!fits(offset, 4, size)) return false;
    const std::uint32_t length = get_dword(data, offset);
    if (!fits(offset + 4, length, size)) return false;
    offset += 4;
    const bool ok = unpack_tree(dds, data + offset, length, depth);
    offset += length;
    return ok;
}

std::optional<unsigned> DDSPacker::load_var(DDS* dds, const unsigned char* data, unsigned offset,
                                            unsigned size, int depth) {
    unsigned pos = offset;
    std::string name;
    if (!get_string(data, pos, size, name)) return std::nullopt;
    // The type byte, and at least one byte after it.
    if (!fits(pos, 2, size)) return std::nullopt;
    const unsigned type = data[pos++];

    switch (type) {
    case DDS::TYPE_INT:
    case DDS::TYPE_FLOAT:
    case DDS::TYPE_POINTER: {
        if (!fits(pos, 4, size)) return std::nullopt;
        const std::uint32_t value = get_dword(data, pos);
        pos += 4;
        if (type == DDS::TYPE_INT)
            dds->set_int_var(name, static_cast<int>(value));
        else if (type == DDS::TYPE_FLOAT)
            dds->set_float_var(name, std::bit_cast<float>(value));
        else
            dds->set_pointer_var(name, reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)));
        break;
    }
    case DDS::TYPE_STRING: {
        std::string value;
        if (!get_string(data, pos, size, value)) return std::nullopt;
        dds->set_str_var(name, std::move(value));
        break;
    }
    case DDS::TYPE_DATA: {
        if (!fits(pos, 4, size)) return std::nullopt;
        const std::uint32_t length = get_dword(data, pos);
        // set_data_var takes an int size, so a block must also stay below 2 GiB.
        if (!fits(pos + 4, length, size) || length > 0x7FFFFFFFu) return std::nullopt;
        dds->set_data_var(name, data + pos + 4, static_cast<int>(length));
        pos += 4 + length;
        break;
    }
    case DDS::TYPE_INT_ARRAY:
    case DDS::TYPE_FLOAT_ARRAY: {
        if (!fits(pos, 4, size)) return std::nullopt;
        const std::uint32_t count = get_dword(data, pos);
        if (!fits(pos + 4, std::uint64_t(count) * 4, size)) return std::nullopt;
        pos += 4;
        if (type == DDS::TYPE_INT_ARRAY) {
            std::vector<int> values(count);
            for (std::uint32_t i = 0; i < count; ++i, pos += 4)
                values[i] = static_cast<int>(get_dword(data, pos));
            dds->set_int_array_var(name, std::move(values));
        } else {
            std::vector<float> values(count);
            for (std::uint32_t i = 0; i < count; ++i, pos += 4)
                values[i] = std::bit_cast<float>(get_dword(data, pos));
            dds->set_float_array_var(name, std::move(values));
        }
        break;
    }
    case DDS::TYPE_STRING_ARRAY: {
        if (!fits(pos, 4, size)) return std::nullopt;
        const std::uint32_t count = get_dword(data, pos);
        pos += 4;
        // Every string takes at least its four length bytes.
        if (count > (size - pos) / 4) return std::nullopt;
        std::vector<std::string> values(count);
        for (std::string& s : values)
            if (!get_string(data, pos, size, s)) return std::nullopt;
        dds->set_str_array_var(name, std::move(values));
        break;
    }
    case DDS::TYPE_DDS: {
        if (depth >= MAX_NESTING) {
            ERROR_LINE(SOURCE, __LINE__, "dds unpack: trees nested too deeply");
            return std::nullopt;
        }
        DDS tree;
        const unsigned start = pos;
        const bool ok = get_dds(&tree, data, pos, size, depth + 1);
        // A nested tree that failed part way is kept as far as it was read, like the top level.
        if (pos != start) dds->set_dynamic_data_struct_var(name, std::move(tree));
        if (!ok) return std::nullopt;
        break;
    }
    case DDS::TYPE_DDS_ARRAY: {
        if (depth >= MAX_NESTING) {
            ERROR_LINE(SOURCE, __LINE__, "dds unpack: trees nested too deeply");
            return std::nullopt;
        }
        if (!fits(pos, 4, size)) return std::nullopt;
        const std::uint32_t count = get_dword(data, pos);
        pos += 4;
        // Every tree takes at least its four size bytes.
        if (count > (size - pos) / 4) return std::nullopt;
        VectorPointer<DDS> trees;
        trees.reserve(count);
        bool ok = true;
        for (std::uint32_t i = 0; i < count && ok; ++i) {
            auto tree = std::make_unique<DDS>();
            const unsigned start = pos;
            ok = get_dds(tree.get(), data, pos, size, depth + 1);
            if (pos != start) trees.push_back(tree.release());
        }
        if (!trees.empty() || ok) dds->set_dynamic_data_struct_array_var(name, std::move(trees));
        if (!ok) return std::nullopt;
        break;
    }
    default:
        // The record is taken to end right after its type byte.
        ERROR_LINE(SOURCE, __LINE__, "FIXME: Unhandled DDS TYPE!!");
        break;
    }
    return pos - offset;
}

bool DDSPacker::unpack_tree(DDS* dds, const unsigned char* data, unsigned size, int depth) {
    if (size == 0 || !data) return true;
    if (!dds) return false;
    unsigned offset = 0;
    while (offset < size) {
        const std::optional<unsigned> used = load_var(dds, data, offset, size, depth);
        if (!used) {
            ERROR_LINE(SOURCE, __LINE__, "dds unpack: error loading var at " + std::to_string(offset));
            return false;
        }
        offset += *used;
    }
    return true;
}

bool DDSPacker::unpack(DDS* dds, const unsigned char* data, unsigned size) {
    return unpack_tree(dds, data, size, 0);
}
