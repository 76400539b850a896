#include "trackercore/loader.h"

const char* const Loader::error_string[6] = {
    "Success",
    "File Loader in use",
    "Cannot open file!",
    "File Error",
    "File Format Not Recognized",
    "Header Corrupt",
};

Sample_Data* Loader::load_sample(const char*) { return nullptr; }

void Loader::free_info(bool) {}
