#pragma once

#include "common/components/audio/effect_source_internal.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "common/components/audio/effect_source_manager.h"
#include "common/plugins/effects/ladspa/ladspa_effect_source.h"

// The process-wide audio registries every front end needs (the Qt program, the command-line
// tool): the resamplers (0 raw, 1 linear, the default), the effect sources with the built-in
// effects registered in their fixed order, and the LADSPA plug-ins found on the system.
// Create exactly one, before any song.
class Audio_Components {
public:
    Audio_Components();
    ~Audio_Components() = default;
    Audio_Components(const Audio_Components&) = delete;
    Audio_Components& operator=(const Audio_Components&) = delete;

    Resampler_Manager resampler_manager;
    Resampler_Raw resampler_raw;
    Resampler_Linear resampler_linear;
    Effect_Source_Manager effect_source_manager;
    Effect_Source_Internal internal_effects;
    LADSPA_Effect_Source ladspa_effects;  // scans for plug-ins when built
};
