#pragma once

#include <sigc++/sigc++.h>

#include "common/components/audio/audio_thread_signal.h"

class Filter_Batch;

// Anything that produces sound into the mixer. The mixer owns the list of allocated
// voices and asks each one per block to add its output into its channel's buffer.
class Voice : public sigc::trackable {
public:
    virtual ~Voice() = default;

    virtual int get_priority() = 0;
    virtual int get_channel() = 0;
    virtual void set_mix_frequency(float hz) = 0;
    virtual void set_preamp(float preamp) = 0;
    virtual void mix(int frames, int* buffer) = 0;  // adds into stereo-interleaved 32-bit frames
    virtual bool can_mix() { return true; }
    // Like mix, but the voice may leave its frames for `batch` to add when it flushes.
    // Returns false when it has mixed nothing and mix must be called instead.
    virtual bool mix_batched(int /*frames*/, int* /*buffer*/, Filter_Batch& /*batch*/) { return false; }

    void clear_status() { removed = 0; }
    void remove_from_mixer() {
        removed = 1;
        removed_signal.emit_on_audio_thread();  // the mixer removes voices on the audio thread
    }
    bool was_removed_from_mixer() const { return removed != 0; }
    // Whether the mixer fades this voice's tail out over its short span when it lets it go.
    void set_short_declick(bool on) { short_declick = on; }
    bool has_short_declick() const { return short_declick; }
    // Whether this voice follows one cut on its channel: it then rises from silence while the
    // cut voice's tail fades, so the two crossfade rather than add up.
    void set_crossfade(bool on) { crossfade = on; }
    bool has_crossfade() const { return crossfade; }

    // The pattern channel whose note the voice plays, for the channel scopes; -1 for a voice
    // of no channel (a sample preview).
    void set_pattern_channel(int channel) { pattern_channel = channel; }
    int get_pattern_channel() const { return pattern_channel; }

    Audio_Thread_Signal removed_signal;

protected:
    int removed = 0;
    bool short_declick = false;
    bool crossfade = false;
    int pattern_channel = -1;
};
