#include "trackercore/file_writer.h"

#include <cerrno>
#include <cstring>

#include "common/components/data/error_line.h"

namespace {
const char* const SOURCE = "trackercore/file_writer";
}

void File_Writer::report_failure(const char* path) {
    ERROR_LINE(SOURCE, __LINE__, std::string("Cannot save ") + path + ": " + file.get_error_text());
}

int File_Writer::open(const char* path) {
    if (open_flag) return -1;
    error_flag = 0;
    error_code = 0;
    if (!file.open(path ? path : "")) {
        report_failure(path ? path : "");
        return -1;
    }
    open_flag = 1;
    return 0;
}

int File_Writer::close() {
    if (!open_flag) return 0;
    open_flag = 0;
    if (error_flag) {
        file.discard();
        report_failure(file.get_target().c_str());
        return -1;
    }
    if (!file.commit()) {
        check_for_errors();
        report_failure(file.get_target().c_str());
        return -1;
    }
    return 0;
}

void File_Writer::discard() {
    open_flag = 0;
    file.discard();
}

void File_Writer::check_for_errors() {
    // One line per save: after the first failure nothing more is written.
    if (error_flag) return;
    ERROR_LINE(SOURCE, 92, "Error writing to file!!!");
    error_flag = 1;
    error_code = file.get_stream() ? std::ferror(file.get_stream()) : 0;
    file.note_error(errno);
}

void File_Writer::store_byte(unsigned char value) {
    if (!open_flag || error_flag) return;
    errno = 0;
    if (std::putc(value, file.get_stream()) == EOF) check_for_errors();
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
    if (!open_flag || error_flag || n <= 0) return;
    if (!file.write(src, (size_t)n)) check_for_errors();
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
    if (!open_flag || error_flag) return;
    if (!file.seek(pos)) check_for_errors();
}

int File_Writer::get_file_pos() const {
    if (!open_flag) return 0;
    return (int)std::ftell(file.get_stream());
}
