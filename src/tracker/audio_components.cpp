#include "tracker/audio_components.h"

#include "common/components/audio/chorus_effect.h"
#include "common/components/audio/effect_amp.h"
#include "common/components/audio/effect_distort.h"
#include "common/components/audio/effect_echo.h"
#include "common/components/audio/effect_stereo_enhancer.h"
#include "common/components/audio/freeverb_effect.h"

Audio_Components::Audio_Components() {
    resampler_manager.register_resampler(&resampler_raw);
    resampler_manager.register_resampler(&resampler_linear);
    effect_source_manager.register_effect_source(&internal_effects);
    // Stored songs name effects by these identifiers, so the order and names are fixed.
    internal_effects.register_effect_constructor("Amplifier", "amplifier", &Effect_Amp::create_this);
    internal_effects.register_effect_constructor("Distort", "distort", &Effect_Distort::create_this);
    internal_effects.register_effect_constructor("Echo", "echo", &Effect_Echo::create_this);
    internal_effects.register_effect_constructor("Stereo Enhancer", "stereo_enhancer",
                                                 &Effect_Stereo_Enhancer::create_this);
    internal_effects.register_effect_constructor("Chorus", "chorus", &Chorus_Effect::create_this);
    internal_effects.register_effect_constructor("Reverb", "freeverb", &Freeverb_Effect::create_this);
    effect_source_manager.register_effect_source(&ladspa_effects);
}
