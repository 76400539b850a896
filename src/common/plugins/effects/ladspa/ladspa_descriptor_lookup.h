#pragma once

#include <dlfcn.h>
#include <ladspa.h>

// The entry point of a plug-in library; some older toolchains export it with a leading underscore.
inline LADSPA_Descriptor_Function ladspa_descriptor_function(void* library) {
    void* f = dlsym(library, "ladspa_descriptor");
    if (!f) f = dlsym(library, "_ladspa_descriptor");
    return reinterpret_cast<LADSPA_Descriptor_Function>(f);
}

// At least two audio inputs and two audio outputs: one instance carries both channels.
inline bool ladspa_descriptor_is_stereo(const LADSPA_Descriptor* d) {
    int inputs = 0, outputs = 0;
    for (unsigned long p = 0; p < d->PortCount; p++) {
        const LADSPA_PortDescriptor pd = d->PortDescriptors[p];
        if (!LADSPA_IS_PORT_AUDIO(pd)) continue;
        if (LADSPA_IS_PORT_INPUT(pd)) inputs++;
        if (LADSPA_IS_PORT_OUTPUT(pd)) outputs++;
    }
    return inputs >= 2 && outputs >= 2;
}
