#pragma once

#include <string>

// Where the program keeps its files.
class Path_Data {
public:
    // The value of "HOME", or "." when it is not set (or empty).
    static std::string get_home_dir();
    // True when the file can be opened for reading; a pipe or a device is not opened (that could
    // wait forever) and counts as existing.
    static bool file_exists(const std::string& path);
};
