#pragma once

#include <iterator>
#include <memory>

#include <sigc++/sigc++.h>

// A signal without arguments that can be emitted on the audio thread. sigc's own emit()
// inserts a placeholder node into the slot list on every call, a heap allocation the audio
// thread cannot afford; emit_on_audio_thread() calls the same slots without it. Slots
// connected by a handler wait for the next emission; disconnections during it are deferred
// by sigc as usual.
class Audio_Thread_Signal : public sigc::signal<void()> {
public:
    void emit_on_audio_thread() const {
        // impl_ rather than impl(): the latter creates the slot list of a never-connected signal.
        std::shared_ptr<sigc::internal::signal_impl> state = impl_;
        if (!state || state->slots_.empty()) return;
        sigc::internal::signal_impl_holder exec(state);
        using call_type = void (*)(sigc::internal::slot_rep*);
        auto last = std::prev(state->slots_.end());
        for (auto it = state->slots_.begin();; ++it) {
            if (!it->empty() && !it->blocked())
                (sigc::internal::function_pointer_cast<call_type>(it->rep_->call_))(it->rep_);
            if (it == last) break;
        }
    }
};
