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

void Loader::warn_of_excess(int count, int holds, const char* what) {
    if (count <= holds) return;
    warn("The file has " + std::to_string(count) + " " + what + "; Wendmoor holds " + std::to_string(holds) +
         ": the rest were left out.");
}
