#pragma once

#include <string>

// Where the program keeps its files.
class Path_Data {
public:
    // The value of "HOME", or "." when it is not set (or empty).
    static std::string get_home_dir();
    // True when the file can be opened for reading.
    static bool file_exists(const std::string& path);
};
