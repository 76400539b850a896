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

// Calls f(ring_offset, buffer_offset, length) for the one or two contiguous stretches that
// n entries from the read position cover, so the loops run without index masking.
template <typename F>
static void for_each_stretch(int pos, int size, int n, F f) {
    if (n > size) n = size;
    int first = std::min(n, size - pos);
    f(pos, 0, first);
    if (first < n) f(0, first, n - first);
}

void Ring_Buffer::mix_from_buffer(int n, const int* src) {
    if (data.empty()) return;
    int* ring = data.data();
    for_each_stretch(pos, (int)data.size(), n, [&](int at, int from, int len) {
        mixer_add_block(ring + at, src + from, len);
    });
    data_remaining = std::max(data_remaining, n);
}

void Ring_Buffer::paste_from_buffer(int n, const int* src) {
    if (data.empty()) return;
    for (int i = 0; i < n; i++) data[(pos + i) & size_mask] = src[i];
    data_remaining = std::max(data_remaining, n);
}

void Ring_Buffer::mix_to_buffer(int n, int* dst, bool advance_after) {
    if (data.empty()) return;
    const int* ring = data.data();
    for_each_stretch(pos, (int)data.size(), n, [&](int at, int from, int len) {
        mixer_add_block(dst + from, ring + at, len);
    });
    if (advance_after) advance(n);
}

void Ring_Buffer::paste_to_buffer(int n, int* dst, bool advance_after) {
    if (data.empty()) return;
    for (int i = 0; i < n; i++) dst[i] = data[(pos + i) & size_mask];
    if (advance_after) advance(n);
}

void Ring_Buffer::write_zero(int n) {
    if (data.empty()) return;
    int* ring = data.data();
    for_each_stretch(pos, (int)data.size(), n,
                     [&](int at, int, int len) { std::fill(ring + at, ring + at + len, 0); });
}

void Ring_Buffer::advance(int n) {
    if (data.empty()) return;
    write_zero(n);
    pos = (pos + n) & size_mask;
    data_remaining = std::max(data_remaining - n, 0);
}
