#pragma once

#include <cstdio>
#include <string>

// Little-endian byte reader over a buffered stdio stream. A read at end of file is no error:
// the missing bytes read as 0 and loaders check sizes themselves (see bytes_left).
class File_Reader {
public:
    File_Reader() = default;
    ~File_Reader() { close(); }
    File_Reader(const File_Reader&) = delete;
    File_Reader& operator=(const File_Reader&) = delete;

    static constexpr const char* NOT_A_REGULAR_FILE = "not a regular file";

    // 0, or -1 if already open or the file cannot be opened. Only regular files open; anything
    // else (a pipe, a device, a folder) is refused at once, never waited for.
    int open(const char* path);
    // Why the last open() failed, in the system's words (NOT_A_REGULAR_FILE for anything but one).
    const std::string& get_open_error() const { return open_error; }
    // Empty when the file would open for reading; else why it would not, as get_open_error says it.
    static std::string why_unreadable(const char* path);
    void close();
    bool is_open() const { return open_flag != 0; }

    void seek(unsigned pos);
    bool eof_reached() const;
    int error_loading() const { return error_flag; }
    int get_error_code() const { return error_code; }

    // Size of the open file in bytes, taken when it was opened.
    unsigned long get_file_size() const { return file_size; }
    unsigned long get_pos() const;
    // Bytes between the read position and the end of the file.
    unsigned long bytes_left() const;

    unsigned char get_byte();
    unsigned short get_word();
    unsigned get_dword();
    void get_byte_array(unsigned char* dst, int n);
    void get_word_array(unsigned short* dst, int n);

    void check_for_errors();

    // Loaders that keep what a file cut short still holds note where the data they wanted
    // ends; the registry then warns how much is missing (0 for a whole file).
    void note_wanted_end(unsigned long long end) {
        if (end > wanted_end) wanted_end = end;
    }
    unsigned long long get_missing_bytes() const { return wanted_end > file_size ? wanted_end - file_size : 0; }

private:
    void set_error();

    FILE* stream = nullptr;
    int open_flag = 0;
    int error_flag = 0;
    int error_code = 0;
    unsigned long file_size = 0;
    unsigned long long wanted_end = 0;
    std::string open_error;
};
