#include "tracker/path_data.h"

#include <cstdio>
#include <cstdlib>

std::string Path_Data::get_home_dir() {
    const char* home = std::getenv("HOME");
    // An empty HOME would put the settings at the root of the file system.
    return home && *home ? std::string(home) : std::string(".");
}

bool Path_Data::file_exists(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}
