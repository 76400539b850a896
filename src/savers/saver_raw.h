#pragma once

#include "trackercore/saver.h"

// One song sample's frames exactly as held in memory, without a header.
class Saver_Raw : public Saver {
public:
    int save(const char*) override { return -2; }
    int save_sample(const char* file, int slot) override;
    std::vector<std::string> get_sample_losses(const char* file, int slot) const override;
    int save_instrument(const char*, int) override { return -2; }
};
