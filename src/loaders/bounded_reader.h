#pragma once

#include <cstring>
#include <string>

#include "trackercore/file_reader.h"

// A File_Reader that knows the file's size and its own position: a read that would pass the end
// reads nothing, yields zeros and marks the reader overrun, so loaders never see leftovers and can
// tell a short file from a sound one.
class Bounded_Reader {
public:
    // Starts at the reader's current position of an open file.
    explicit Bounded_Reader(File_Reader& reader)
        : reader(reader), size((long)reader.get_file_size()), pos((long)reader.get_pos()) {}

    long tell() const { return pos; }
    long get_size() const { return size; }
    long remaining() const { return size - pos; }
    bool can_read(long count) const { return count >= 0 && count <= size - pos; }
    // True once a read or seek ran past the end, or the stream reported an error.
    bool failed() const { return overrun || reader.error_loading(); }
    bool overran() const { return overrun; }
    // Where data the file promised ends, when the file may not hold all of it.
    void note_wanted_end(long end) {
        if (end > 0) reader.note_wanted_end((unsigned long long)end);
    }

    bool seek(long position) {
        if (position < 0 || position > size) {
            overrun = true;
            return false;
        }
        reader.seek((unsigned)position);
        pos = position;
        return true;
    }
    bool skip(long count) { return count >= 0 && count <= size - pos ? seek(pos + count) : fail(); }

    unsigned char get_byte() {
        if (!can_read(1)) return fail();
        pos += 1;
        return reader.get_byte();
    }
    unsigned short get_word() {
        if (!can_read(2)) return fail();
        pos += 2;
        return reader.get_word();
    }
    unsigned get_dword() {
        if (!can_read(4)) return fail();
        pos += 4;
        return reader.get_dword();
    }
    // Fills `dst` with `count` bytes, or with zeros (and fails) when the file is shorter.
    bool get_bytes(unsigned char* dst, long count) {
        if (count <= 0) return count == 0;
        if (!can_read(count)) {
            std::memset(dst, 0, (size_t)count);
            return fail();
        }
        reader.get_byte_array(dst, (int)count);
        pos += count;
        return !reader.error_loading();
    }
    // A fixed-size text field: up to the first zero byte.
    std::string get_string(int count);

private:
    bool fail() {
        overrun = true;
        return false;
    }

    File_Reader& reader;
    long size;
    long pos;
    bool overrun = false;
};
