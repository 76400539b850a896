#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds little-endian binary files for loader tests.
struct Byte_Builder {
    std::string bytes;

    Byte_Builder& byte(unsigned v) {
        bytes.push_back((char)(v & 0xFF));
        return *this;
    }
    Byte_Builder& word(unsigned v) { return byte(v).byte(v >> 8); }
    Byte_Builder& dword(unsigned v) { return word(v & 0xFFFF).word(v >> 16); }
    Byte_Builder& u8(int v) { return byte((unsigned)v); }
    Byte_Builder& u16(int v) { return word((unsigned)v & 0xFFFF); }
    Byte_Builder& u32(unsigned v) { return dword(v); }
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
    Byte_Builder& raw(const std::string& s) { return text(s); }
    Byte_Builder& fill(size_t count, int v = 0) {
        bytes.append(count, (char)(unsigned char)v);
        return *this;
    }
    size_t size() const { return bytes.size(); }
    void put_dword(size_t at, unsigned v) {
        for (int i = 0; i < 4; i++) bytes[at + i] = (char)((v >> (8 * i)) & 0xFF);
    }
    void put_byte(size_t at, unsigned v) { bytes[at] = (char)(v & 0xFF); }
    const std::string& str() const { return bytes; }
};

// Writes bits least-significant first, as the IT sample compressor does.
class Bit_Writer {
public:
    void put(unsigned value, int bits) {
        for (int i = 0; i < bits; i++) {
            if (pos % 8 == 0) data.push_back(0);
            if (value & (1u << i)) data.back() = (char)(data.back() | (1 << (pos % 8)));
            pos++;
        }
    }
    // The block as stored in the file: a 16-bit byte count, then the bytes.
    std::string block() const {
        std::string out;
        out.push_back((char)(data.size() & 0xFF));
        out.push_back((char)(data.size() >> 8));
        return out + data;
    }

private:
    std::string data;
    size_t pos = 0;
};
