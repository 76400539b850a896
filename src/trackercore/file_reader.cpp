#include "trackercore/file_reader.h"

#include <cstring>

#include <sys/stat.h>

int File_Reader::open(const char* path) {
    if (open_flag || !path) return -1;
    stream = std::fopen(path, "rb");
    if (!stream) return -1;
    struct stat st;
    // A directory opens fine with fopen but reads fail; treat it as unopenable.
    if (fstat(fileno(stream), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(stream);
        stream = nullptr;
        return -1;
    }
    file_size = (unsigned long)st.st_size;
    wanted_end = 0;
    error_flag = 0;
    error_code = 0;
    open_flag = 1;
    return 0;
}

void File_Reader::close() {
    if (!open_flag) return;
    open_flag = 0;
    std::fclose(stream);
    stream = nullptr;
}

void File_Reader::seek(unsigned pos) {
    if (!open_flag) return;
    if (std::fseek(stream, (long)pos, SEEK_SET) != 0) set_error();
}

bool File_Reader::eof_reached() const { return open_flag && std::feof(stream); }

unsigned long File_Reader::get_pos() const {
    if (!open_flag) return 0;
    long pos = std::ftell(stream);
    return pos < 0 ? 0 : (unsigned long)pos;
}

unsigned long File_Reader::bytes_left() const {
    unsigned long pos = get_pos();
    return pos >= file_size ? 0 : file_size - pos;
}

void File_Reader::set_error() {
    error_flag = 1;
    error_code = stream ? std::ferror(stream) : 0;
}

unsigned char File_Reader::get_byte() {
    if (!open_flag) return 0;
    int c = std::getc(stream);
    if (c == EOF) {
        if (!std::feof(stream)) set_error();
        return 0;
    }
    return (unsigned char)c;
}

unsigned short File_Reader::get_word() {
    unsigned lo = get_byte();
    unsigned hi = get_byte();
    return (unsigned short)(lo | (hi << 8));
}

unsigned File_Reader::get_dword() {
    unsigned lo = get_word();
    unsigned hi = get_word();
    return lo | (hi << 16);
}

void File_Reader::get_byte_array(unsigned char* dst, int n) {
    if (n <= 0) return;
    if (!open_flag) {
        std::memset(dst, 0, (size_t)n);
        return;
    }
    size_t got = std::fread(dst, 1, (size_t)n, stream);
    if (got < (size_t)n) {
        std::memset(dst + got, 0, (size_t)n - got);
        if (!std::feof(stream)) set_error();
    }
}

void File_Reader::get_word_array(unsigned short* dst, int n) {
    for (int i = 0; i < n; i++) dst[i] = get_word();
}

void File_Reader::check_for_errors() {
    if (open_flag && !std::feof(stream)) set_error();
}
