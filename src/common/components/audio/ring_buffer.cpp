#include "common/components/audio/ring_buffer.h"

#include <algorithm>

#include "common/components/audio/mixer.h"

void Ring_Buffer::request_buffer_size(int n) {
    if (n <= 0 || n >= (1 << 26)) return;
    int size = 1;
    while (size <= n) size <<= 1;
    data.assign(size, 0);
    size_mask = size - 1;
    pos = 0;
    data_remaining = 0;
}

void Ring_Buffer::mix_from_buffer(int n, const int* src) {
    if (data.empty()) return;
    for (int i = 0; i < n; i++) {
        int& entry = data[(pos + i) & size_mask];
        entry = mixer_add_saturating(entry, src[i]);
    }
    data_remaining = std::max(data_remaining, n);
}

void Ring_Buffer::paste_from_buffer(int n, const int* src) {
    if (data.empty()) return;
    for (int i = 0; i < n; i++) data[(pos + i) & size_mask] = src[i];
    data_remaining = std::max(data_remaining, n);
}

void Ring_Buffer::mix_to_buffer(int n, int* dst, bool advance_after) {
    if (data.empty()) return;
    for (int i = 0; i < n; i++) dst[i] = mixer_add_saturating(dst[i], data[(pos + i) & size_mask]);
    if (advance_after) advance(n);
}

void Ring_Buffer::paste_to_buffer(int n, int* dst, bool advance_after) {
    if (data.empty()) return;
    for (int i = 0; i < n; i++) dst[i] = data[(pos + i) & size_mask];
    if (advance_after) advance(n);
}

void Ring_Buffer::write_zero(int n) {
    if (data.empty()) return;
    for (int i = 0; i < n; i++) data[(pos + i) & size_mask] = 0;
}

void Ring_Buffer::advance(int n) {
    if (data.empty()) return;
    write_zero(n);
    pos = (pos + n) & size_mask;
    data_remaining = std::max(data_remaining - n, 0);
}
