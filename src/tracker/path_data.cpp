#include "tracker/path_data.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "trackercore/file_reader.h"

std::string Path_Data::get_home_dir() {
    const char* home = std::getenv("HOME");
    // An empty HOME would put the settings at the root of the file system.
    return home && *home ? std::string(home) : std::string(".");
}

bool Path_Data::file_exists(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    // Opening a pipe would wait for a writer, and a device may never end: they exist, and
    // whoever reads them finds out they are no files.
    if (!S_ISREG(st.st_mode)) return true;
    // Swapped for a pipe since the stat, it is still not waited for.
    std::string why = File_Reader::why_unreadable(path.c_str());
    return why.empty() || why == File_Reader::NOT_A_REGULAR_FILE;
}
