#pragma once

#include <string>

// A file's size and modification time, taken when a song is loaded or saved: when they differ
// later, another program changed the file in between.
struct File_Stamp {
    long long size = -1;  // -1: no file was there
    long long modified_ns = 0;

    bool is_known() const { return size >= 0; }
    bool operator==(const File_Stamp&) const = default;

    // The file as it is now; unknown when it cannot be looked at.
    static File_Stamp of(const std::string& path);
};
