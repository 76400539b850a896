#pragma once

#include <vector>

class Resampler;

// The registry of resamplers. Holds pointers, owns nothing. The first manager constructed
// (while none exists) is the process-wide one.
class Resampler_Manager {
public:
    Resampler_Manager();
    ~Resampler_Manager();
    Resampler_Manager(const Resampler_Manager&) = delete;
    Resampler_Manager& operator=(const Resampler_Manager&) = delete;

    static Resampler_Manager* get_resampler_manager();

    void register_resampler(Resampler* resampler);  // appends and becomes the default
    Resampler* get_resampler(int index);            // null when out of range
    int get_resampler_count() const;
    void set_default_resampler(int index);          // out of range: ignored
    int get_default_resampler() const;

private:
    static Resampler_Manager* singleton;

    std::vector<Resampler*> resamplers;
    int default_resampler = -1;
};
