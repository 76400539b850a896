#pragma once

#include "trackercore/saver.h"

// One song sample as a mono PCM RIFF WAVE file.
class Saver_Wav : public Saver {
public:
    int save(const char*) override { return -2; }
    int save_sample(const char* file, int slot) override;
    std::vector<std::string> get_sample_losses(const char* file, int slot) const override;
    int save_instrument(const char*, int) override { return -2; }
};
