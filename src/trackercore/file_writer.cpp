#include "trackercore/file_writer.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/components/data/error_line.h"

// Saving through a symbolic link replaces the file it points to, not the link.
static std::string resolve_target(const char* path) {
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path, resolved)) return resolved;
    }
    return path;
}

int File_Writer::open(const char* path) {
    if (open_flag || !path || !*path) return -1;
    target_path = resolve_target(path);
    struct stat target_st;
    bool target_exists = stat(target_path.c_str(), &target_st) == 0;
    if (target_exists && !S_ISREG(target_st.st_mode)) return -1;

    static unsigned counter = 0;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
        temp_path = target_path + ".wendmoor-save-" + std::to_string((long)getpid()) + "-" +
                    std::to_string(counter++);
        fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        temp_path.clear();
        return -1;
    }
    // The replacement keeps the permissions of the file it replaces.
    if (target_exists) fchmod(fd, target_st.st_mode & 07777);
    stream = fdopen(fd, "wb");
    if (!stream) {
        ::close(fd);
        unlink(temp_path.c_str());
        temp_path.clear();
        return -1;
    }
    error_flag = 0;
    error_code = 0;
    open_flag = 1;
    return 0;
}

int File_Writer::close() {
    if (!open_flag) return 0;
    open_flag = 0;
    bool ok = !error_flag;
    if (std::fflush(stream) != 0 || std::ferror(stream)) ok = false;
    if (ok && fsync(fileno(stream)) != 0) ok = false;
    if (std::fclose(stream) != 0) ok = false;
    stream = nullptr;
    if (ok && std::rename(temp_path.c_str(), target_path.c_str()) != 0) ok = false;
    if (!ok) {
        if (!error_flag) check_for_errors();
        unlink(temp_path.c_str());
    }
    temp_path.clear();
    return ok ? 0 : -1;
}

void File_Writer::discard() {
    if (!open_flag) return;
    open_flag = 0;
    std::fclose(stream);
    stream = nullptr;
    unlink(temp_path.c_str());
    temp_path.clear();
}

void File_Writer::check_for_errors() {
    ERROR_LINE("trackercore/file_writer", 92, "Error writing to file!!!");
    error_flag = 1;
    error_code = stream ? std::ferror(stream) : 0;
}

void File_Writer::store_byte(unsigned char value) {
    if (!open_flag) return;
    if (std::putc(value, stream) == EOF) check_for_errors();
}

void File_Writer::store_word(unsigned short value) {
    store_byte((unsigned char)(value & 0xFF));
    store_byte((unsigned char)(value >> 8));
}

void File_Writer::store_dword(unsigned value) {
    store_word((unsigned short)(value & 0xFFFF));
    store_word((unsigned short)(value >> 16));
}

void File_Writer::store_byte_array(const unsigned char* src, int n) {
    if (!open_flag || n <= 0) return;
    if (std::fwrite(src, 1, (size_t)n, stream) != (size_t)n) check_for_errors();
}

void File_Writer::store_word_array(const unsigned short* src, int n) {
    for (int i = 0; i < n; i++) store_word(src[i]);
}

void File_Writer::store_pascal_string(const char* s) {
    size_t len = s ? std::strlen(s) : 0;
    if (len > 255) len = 255;
    store_byte((unsigned char)len);
    store_byte_array((const unsigned char*)s, (int)len);
}

void File_Writer::set_file_pos(int pos) {
    if (!open_flag) return;
    if (pos < 0 || std::fseek(stream, pos, SEEK_SET) != 0) check_for_errors();
}

int File_Writer::get_file_pos() const {
    if (!open_flag) return 0;
    return (int)std::ftell(stream);
}
