#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// The one way Wendmoor writes a file: the bytes go to a temporary file in the target's folder,
// and commit() puts it in place of the target only when every write succeeded, so a full disk,
// a write error or a kill never leaves a damaged or empty file where a good one was.
//
// Where the system allows it (Linux O_TMPFILE) the temporary file has no name until commit()
// links it into place, so a killed process leaves nothing behind. Otherwise it is named
// "<target>.wendmoor-save-<pid>-<n>", and such files of processes that no longer run are
// removed by the next save into the same folder.
class Safe_File {
public:
    Safe_File() = default;
    ~Safe_File() { discard(); }
    Safe_File(const Safe_File&) = delete;
    Safe_File& operator=(const Safe_File&) = delete;

    // False, with the reason in get_error_text(), when the target is not a regular file, is
    // write-protected, or no temporary file can be made beside it. The target is not touched.
    bool open(const std::string& path);
    bool is_open() const { return stream != nullptr; }
    // Buffered stream of the temporary file. Whoever writes through it directly reports a
    // failure with note_error(errno).
    FILE* get_stream() const { return stream; }

    bool write(const void* data, size_t size);
    bool seek(long position);
    void note_error(int error_number);
    void note_error(const std::string& reason);
    bool failed() const { return !error_text.empty(); }
    // The first failure in the system's words ("No space left on device"); empty when none.
    const std::string& get_error_text() const { return error_text; }
    // Where the file goes: the given path, or the file a symbolic link there points to.
    const std::string& get_target() const { return target; }

    // Flushes, syncs and puts the file in place of the target. False, with the target left as it
    // was and no temporary file left, after any failure. Closes the file either way.
    bool commit();
    // Drops the temporary file; the target is left as it was.
    void discard();

    // Temporary files with a name from the start, as on systems without unnamed ones.
    static void set_unnamed_temporaries(bool allowed);
    // The name a temporary file of this process gets for the target; tests use the pattern.
    static std::string temporary_name(const std::string& target, long pid, unsigned serial);

private:
    bool open_unnamed(const std::string& folder, int& fd);
    bool open_named(int& fd);
    bool link_into_place();
    void close_stream();

    FILE* stream = nullptr;
    bool unnamed = false;
    std::string target;
    std::string temp_path;  // empty while an unnamed temporary file has no name
    std::string error_text;
};
