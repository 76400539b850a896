#pragma once

#include <string>

// Little-endian byte strings for building small test files.
struct Byte_Builder {
    std::string bytes;

    Byte_Builder& u8(int v) {
        bytes += (char)(unsigned char)v;
        return *this;
    }
    Byte_Builder& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Byte_Builder& u32(unsigned v) { return u16((int)(v & 0xFFFF)).u16((int)(v >> 16)); }
    // Exactly `size` bytes: the text, zero-padded or cut.
    Byte_Builder& text(const std::string& s, size_t size) {
        std::string field = s.substr(0, size);
        field.resize(size, '\0');
        bytes += field;
        return *this;
    }
    Byte_Builder& text(const std::string& s) {
        bytes += s;
        return *this;
    }
    Byte_Builder& fill(size_t count, int v = 0) {
        bytes.append(count, (char)(unsigned char)v);
        return *this;
    }
    size_t size() const { return bytes.size(); }
};
