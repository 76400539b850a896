#pragma once

#include <string>

#include "trackercore/safe_file.h"

// Little-endian byte writer. Nothing is written to the named file directly: the bytes go through
// a Safe_File, which close() puts in place of the target only when every write succeeded. A
// failed save therefore never destroys the file that was there.
class File_Writer {
public:
    File_Writer() = default;
    File_Writer(const File_Writer&) = delete;
    File_Writer& operator=(const File_Writer&) = delete;

    // 0, or -1 if already open or the file cannot be written (the reason is printed and kept).
    int open(const char* path);
    // Finishes the save: 0 when the target now holds everything written, -1 after any write
    // error (the target is then left as it was). Nothing happens when no file is open.
    int close();
    // Drops the temporary file; the target is left as it was.
    void discard();
    bool is_open() const { return open_flag != 0; }
    int error_saving() const { return error_flag; }
    int get_error_code() const { return error_code; }
    // Why the last save failed, in the system's words; empty when it did not.
    const std::string& get_error_text() const { return file.get_error_text(); }

    void store_byte(unsigned char value);
    void store_word(unsigned short value);
    void store_dword(unsigned value);
    void store_byte_array(const unsigned char* src, int n);
    void store_word_array(const unsigned short* src, int n);
    void store_pascal_string(const char* s);

    void set_file_pos(int pos);
    int get_file_pos() const;

    void check_for_errors();

private:
    void report_failure(const char* path);

    Safe_File file;
    int open_flag = 0;
    int error_flag = 0;
    int error_code = 0;
};
