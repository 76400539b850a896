#include "trackercore/file_reader.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A descriptor of a regular file opened for reading, or -1 with the reason in `why`. Opened
// without blocking and checked before any read: a pipe would wait for a writer forever, a
// device might never end, and a directory opens but cannot be read.
int open_regular_file(const char* path, std::string& why, struct stat& st) {
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    if (fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = File_Reader::NOT_A_REGULAR_FILE;
        ::close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

std::string File_Reader::why_unreadable(const char* path) {
    if (!path) return std::strerror(ENOENT);
    std::string why;
    struct stat st;
    int fd = open_regular_file(path, why, st);
    if (fd >= 0) ::close(fd);
    return why;
}

int File_Reader::open(const char* path) {
    if (open_flag || !path) return -1;
    struct stat st;
    int fd = open_regular_file(path, open_error, st);
    if (fd < 0) return -1;
    stream = fdopen(fd, "rb");
    if (!stream) {
        open_error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    open_error.clear();
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
