#pragma once

#include <string>

#include <sys/stat.h>

// What a file looked like when a song was last read from it or written to it. Another program
// that changed it since leaves a different size, modification time or file (a save by renaming).
struct File_Stamp {
    bool exists = false;
    long long size = 0;
    long long modified_ns = 0;
    unsigned long long device = 0;
    unsigned long long inode = 0;

    // The file a path names now (through symbolic links); exists is false when there is none.
    static File_Stamp of(const std::string& path) {
        File_Stamp stamp;
        struct stat st;
        if (path.empty() || stat(path.c_str(), &st) != 0) return stamp;
        stamp.exists = true;
        stamp.size = (long long)st.st_size;
        stamp.modified_ns = (long long)st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec;
        stamp.device = (unsigned long long)st.st_dev;
        stamp.inode = (unsigned long long)st.st_ino;
        return stamp;
    }

    bool is_known() const { return exists; }
    bool operator==(const File_Stamp&) const = default;
};
