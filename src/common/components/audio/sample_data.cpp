#include "common/components/audio/sample_data.h"

#include <cstdlib>
#include <cstring>

#include "common/components/data/error_line.h"

static int non_negative(int size) { return size < 0 ? 0 : size; }

Sample_Data::~Sample_Data() { free_data(); }

Sample_Data::Sample_Data(const Sample_Data& from) {
    *this = from;
}

Sample_Data& Sample_Data::operator=(const Sample_Data& from) {
    if (this == &from) return *this;
    copy_sample_data(&from);
    c5_freq = from.c5_freq;
    return *this;
}

void Sample_Data::free_data() {
    std::free(data);
    data = nullptr;
}

float Sample_Data::get_sample(int frame) const {
    if (!data || frame < 0 || frame >= size) return 0.0f;
    if (sixteen_bit) return static_cast<const short*>(data)[frame] / 32768.0f;
    return static_cast<const signed char*>(data)[frame] / 128.0f;
}

void Sample_Data::set_sample(int frame, float value) {
    if (!data || frame < 0 || frame >= size) return;
    // NaN fails both comparisons; treat it as silence rather than storing garbage.
    if (!(value == value)) value = 0.0f;
    if (value < -1.0f) value = -1.0f;
    if (value > 1.0f) value = 1.0f;
    if (sixteen_bit) {
        float scaled = value * 32768.0f;
        if (scaled > 32767.0f) scaled = 32767.0f;
        static_cast<short*>(data)[frame] = (short)scaled;
    } else {
        float scaled = value * 128.0f;
        if (scaled > 127.0f) scaled = 127.0f;
        static_cast<signed char*>(data)[frame] = (signed char)scaled;
    }
}

void Sample_Data::set_data_ptr(void* block) {
    if (block != data) free_data();
    data = block;
}

void Sample_Data::set_data_ptr(void* block, int new_size) {
    set_data_ptr(block);
    size = non_negative(new_size);
}

void Sample_Data::set_data_ptr(void* block, int new_size, bool is_16bit) {
    set_data_ptr(block, new_size);
    sixteen_bit = is_16bit;
}

void Sample_Data::release_data_ptr() { data = nullptr; }

void Sample_Data::copy_sample_data(const Sample_Data* from) {
    if (!from || from == this) return;
    void* block = nullptr;
    size_t bytes = (size_t)from->get_byte_size();
    if (from->data && bytes > 0) {
        block = std::malloc(bytes);
        if (!block) {
            ERROR_LINE("common/components/audio/sample_data", 301, "Cannot copy sample! not enough memory?");
            return;
        }
        std::memcpy(block, from->data, bytes);
    }
    free_data();
    data = block;
    size = from->size;
    sixteen_bit = from->sixteen_bit;
    loop_enabled = from->loop_enabled;
    loop_begin = from->loop_begin;
    loop_end = from->loop_end;
    loop_ping_pong = from->loop_ping_pong;
}

void Sample_Data::change_sign() {
    if (!data) return;
    if (sixteen_bit) {
        auto* frames = static_cast<unsigned short*>(data);
        for (int i = 0; i < size; i++) frames[i] ^= 0x8000;
    } else {
        auto* frames = static_cast<unsigned char*>(data);
        for (int i = 0; i < size; i++) frames[i] ^= 0x80;
    }
}

void Sample_Data::toggle_quality() {
    if (!data) return;
    if (sixteen_bit) {
        auto* narrow = static_cast<signed char*>(std::malloc(size > 0 ? (size_t)size : 1));
        if (!narrow) {
            ERROR_LINE("common/components/audio/sample_data", 331, "Cannot convert sample! not enough memory?");
            return;
        }
        const auto* wide = static_cast<const short*>(data);
        for (int i = 0; i < size; i++) narrow[i] = (signed char)(wide[i] >> 8);
        free_data();
        data = narrow;
        sixteen_bit = false;
    } else {
        auto* wide = static_cast<short*>(std::malloc(size > 0 ? (size_t)size * 2 : 2));
        if (!wide) {
            ERROR_LINE("common/components/audio/sample_data", 345, "Cannot convert sample! not enough memory?");
            return;
        }
        const auto* narrow = static_cast<const signed char*>(data);
        for (int i = 0; i < size; i++) wide[i] = (short)(narrow[i] * 256);
        free_data();
        data = wide;
        sixteen_bit = true;
    }
}
