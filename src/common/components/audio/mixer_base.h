#pragma once

#include <sigc++/sigc++.h>

#include "common/components/audio/audio_thread_signal.h"

class Voice;

// The mixer as everything outside it sees it: the player allocates voices and sets the
// tick length, drivers pull blocks. Blocks are 32-bit stereo-interleaved with the audible
// 16-bit sample in the upper 16 bits.
class Mixer_Base : public sigc::trackable {
public:
    virtual ~Mixer_Base() = default;

    virtual int* get_mixdown_buffer_ptr() = 0;
    virtual int* get_channel_buffer_ptr(int channel) = 0;
    virtual bool is_channel_in_use(int channel) = 0;
    virtual int get_active_voices_count() = 0;
    // Buses that carried signal in the last block.
    virtual int get_active_buffers_count() const { return 0; }
    virtual void set_mix_frequency(float hz) = 0;
    virtual float get_mix_frequency() = 0;
    virtual void set_preamp(float preamp) = 0;
    virtual int write_samples(int frames) = 0;  // returns frames rendered
    virtual void allocate_voice(Voice* voice) = 0;
    virtual void replace_voice(Voice* old_voice, Voice* new_voice) = 0;
    virtual void eliminate_voice(Voice* voice) = 0;
    virtual void set_process_callback_interval(int frames) = 0;  // 0: no callback

    // Emitted on the audio thread at the start of each tick, before its frames are rendered.
    // Connect with process_callback.connect(); the mixer emits it with emit_on_audio_thread().
    Audio_Thread_Signal process_callback;
};
