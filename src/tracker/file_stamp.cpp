#include "tracker/file_stamp.h"

#include <sys/stat.h>

File_Stamp File_Stamp::of(const std::string& path) {
    File_Stamp stamp;
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return stamp;
    stamp.size = (long long)st.st_size;
    stamp.modified_ns = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}
