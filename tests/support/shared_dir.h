#pragma once

#include <cstdlib>
#include <string>

// The shared test data folder: the environment variable WENDMOOR_SHARED_DIR when set (for
// checkouts that do not sit beside it), else the folder next to the source tree.
inline std::string shared_dir() {
    const char* env = std::getenv("WENDMOOR_SHARED_DIR");
    if (env && *env) return env;
    return WENDMOOR_SHARED_DIR;
}
