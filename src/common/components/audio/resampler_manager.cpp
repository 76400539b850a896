#include "common/components/audio/resampler_manager.h"

Resampler_Manager* Resampler_Manager::singleton = nullptr;

Resampler_Manager::Resampler_Manager() {
    if (singleton == nullptr) singleton = this;
}

Resampler_Manager::~Resampler_Manager() {
    if (singleton == this) singleton = nullptr;
}

Resampler_Manager* Resampler_Manager::get_resampler_manager() { return singleton; }

void Resampler_Manager::register_resampler(Resampler* resampler) {
    resamplers.push_back(resampler);
    default_resampler = (int)resamplers.size() - 1;
}

Resampler* Resampler_Manager::get_resampler(int index) {
    if (index < 0 || index >= (int)resamplers.size()) return nullptr;
    return resamplers[index];
}

int Resampler_Manager::get_resampler_count() const { return (int)resamplers.size(); }

void Resampler_Manager::set_default_resampler(int index) {
    if (index < 0 || index >= (int)resamplers.size()) return;
    default_resampler = index;
}

int Resampler_Manager::get_default_resampler() const { return default_resampler; }
