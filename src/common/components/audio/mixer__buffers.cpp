#include "common/components/audio/mixer.h"

#include "common/components/data/error_line.h"

namespace {
const char* const SOURCE = "common/components/audio/mixer__buffers.cpp";

bool valid_send_level(int level) {
    if (level >= 0 && level <= 127) return true;
    ERROR_LINE(SOURCE, __LINE__, "Wrong send level!!");
    return false;
}

bool valid_send_control(int control) {
    if (control >= -1 && control <= 127) return true;
    ERROR_LINE(SOURCE, __LINE__, "Wrong send control!!");
    return false;
}
}  // namespace

int Mixer::new_buffer_name_idx = 0;

Effect_Chain* Mixer::get_channel_effect_chain(int channel) {
    if (channel < 0 || channel >= channel_count) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid channel index");
        return nullptr;
    }
    return &channels[channel].effect_chain;
}

Effect_Chain* Mixer::get_buffer_effect_chain(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid buffer index");
        return nullptr;
    }
    return &buffers[buffer].effect_chain;
}

int* Mixer::get_buffer_buffer_ptr(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) return nullptr;
    return buffers[buffer].buffer.data();
}

bool Mixer::is_buffer_in_use(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) return false;
    return buffers[buffer].in_use;
}

void Mixer::add_buffer() {
    Buffer b;
    b.name = "Buffer " + std::to_string(++new_buffer_name_idx);
    buffers.push_back(std::move(b));
}

void Mixer::remove_buffer(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Attempting to remove unexisting buffer!!");
        return;
    }
    auto renumber = [buffer](std::vector<Buffer::Output>& outputs) {
        for (size_t i = 0; i < outputs.size();) {
            if (outputs[i].buffer_index == buffer) {
                outputs.erase(outputs.begin() + i);
                continue;
            }
            if (outputs[i].buffer_index > buffer) outputs[i].buffer_index--;
            i++;
        }
    };
    for (Channel& c : channels) renumber(c.outputs);
    for (Buffer& b : buffers) renumber(b.outputs);
    buffers.erase(buffers.begin() + buffer);
}

void Mixer::set_buffer_name(int buffer, const std::string& name) {
    if (buffer < 0 || buffer >= (int)buffers.size()) return;
    buffers[buffer].name = name;
}

std::string Mixer::get_buffer_name(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid buffer index");
        return "";
    }
    return buffers[buffer].name;
}

Mixer::Buffer::Output* Mixer::channel_output(int channel, int output) {
    if (channel < 0 || channel >= channel_count) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid channel index");
        return nullptr;
    }
    std::vector<Buffer::Output>& outputs = channels[channel].outputs;
    if (output < 0 || output >= (int)outputs.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid channel output index");
        return nullptr;
    }
    return &outputs[output];
}

Mixer::Buffer::Output* Mixer::buffer_output(int buffer, int output) {
    if (buffer < 0 || buffer >= (int)buffers.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid buffer index");
        return nullptr;
    }
    std::vector<Buffer::Output>& outputs = buffers[buffer].outputs;
    if (output < 0 || output >= (int)outputs.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid buffer output index");
        return nullptr;
    }
    return &outputs[output];
}

int Mixer::get_channel_output_count(int channel) {
    if (channel < 0 || channel >= channel_count) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid channel index");
        return -1;
    }
    return (int)channels[channel].outputs.size();
}

void Mixer::add_channel_output(int channel) {
    if (channel < 0 || channel >= channel_count) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid channel index");
        return;
    }
    channels[channel].outputs.push_back(Buffer::Output());
}

void Mixer::remove_channel_output(int channel, int output) {
    if (channel_output(channel, output) == nullptr) return;
    channels[channel].outputs.erase(channels[channel].outputs.begin() + output);
}

int Mixer::get_channel_output_buffer_index(int channel, int output) {
    Buffer::Output* o = channel_output(channel, output);
    return o ? o->buffer_index : -1;
}

void Mixer::set_channel_output_buffer_index(int channel, int output, int buffer) {
    Buffer::Output* o = channel_output(channel, output);
    if (o == nullptr) return;
    if (buffer != -1 && (buffer < 0 || buffer >= (int)buffers.size())) {
        ERROR_LINE(SOURCE, __LINE__, "Wrong buffer index!");
        return;
    }
    o->buffer_index = buffer;
}

int Mixer::get_channel_output_send_level(int channel, int output) {
    Buffer::Output* o = channel_output(channel, output);
    return o ? o->send_level : -1;
}

void Mixer::set_channel_output_send_level(int channel, int output, int level) {
    Buffer::Output* o = channel_output(channel, output);
    if (o != nullptr && valid_send_level(level)) o->send_level = level;
}

int Mixer::get_channel_output_send_control(int channel, int output) {
    Buffer::Output* o = channel_output(channel, output);
    return o ? o->send_control : -1;
}

void Mixer::set_channel_output_send_control(int channel, int output, int control) {
    Buffer::Output* o = channel_output(channel, output);
    if (o != nullptr && valid_send_control(control)) o->send_control = control;
}

int Mixer::get_buffer_output_count(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid buffer index");
        return -1;
    }
    return (int)buffers[buffer].outputs.size();
}

void Mixer::add_buffer_output(int buffer) {
    if (buffer < 0 || buffer >= (int)buffers.size()) {
        ERROR_LINE(SOURCE, __LINE__, "Invalid buffer index");
        return;
    }
    buffers[buffer].outputs.push_back(Buffer::Output());
}

void Mixer::remove_buffer_output(int buffer, int output) {
    if (buffer_output(buffer, output) == nullptr) return;
    buffers[buffer].outputs.erase(buffers[buffer].outputs.begin() + output);
}

int Mixer::get_buffer_output_buffer_index(int buffer, int output) {
    Buffer::Output* o = buffer_output(buffer, output);
    return o ? o->buffer_index : -1;
}

void Mixer::set_buffer_output_buffer_index(int buffer, int output, int target) {
    Buffer::Output* o = buffer_output(buffer, output);
    if (o == nullptr) return;
    if (target != -1 && target >= buffer) {
        ERROR_LINE(SOURCE, __LINE__,
                   "A buffer cant mix to a higher order one, otherwise cyclic relationships may happen!");
        return;
    }
    // Below -1 there is nothing to send to; refused here rather than skipped at mixing time.
    if (target < -1) {
        ERROR_LINE(SOURCE, __LINE__, "Wrong buffer index!");
        return;
    }
    o->buffer_index = target;
}

int Mixer::get_buffer_output_send_level(int buffer, int output) {
    Buffer::Output* o = buffer_output(buffer, output);
    return o ? o->send_level : -1;
}

void Mixer::set_buffer_output_send_level(int buffer, int output, int level) {
    Buffer::Output* o = buffer_output(buffer, output);
    if (o != nullptr && valid_send_level(level)) o->send_level = level;
}

int Mixer::get_buffer_output_send_control(int buffer, int output) {
    Buffer::Output* o = buffer_output(buffer, output);
    return o ? o->send_control : -1;
}

void Mixer::set_buffer_output_send_control(int buffer, int output, int control) {
    Buffer::Output* o = buffer_output(buffer, output);
    if (o != nullptr && valid_send_control(control)) o->send_control = control;
}
