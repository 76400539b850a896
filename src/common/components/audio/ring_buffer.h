#pragma once

#include <vector>

// A power-of-two ring of ints that collects fade-out tails ahead of the read position.
class Ring_Buffer {
public:
    void request_buffer_size(int n);  // smallest power of two above n; zeroes everything

    void mix_from_buffer(int n, const int* src);
    void paste_from_buffer(int n, const int* src);
    void mix_to_buffer(int n, int* dst, bool advance_after);
    void paste_to_buffer(int n, int* dst, bool advance_after);
    void write_zero(int n);
    void advance(int n);

    bool is_there_data_to_mix() const { return data_remaining > 0; }
    int get_data_remaining() const { return data_remaining > 0 ? data_remaining : 0; }
    int get_sample(int i) const { return data.empty() ? 0 : data[(pos + i) & size_mask]; }
    int get_size() const { return (int)data.size(); }

private:
    std::vector<int> data;
    int size_mask = 0;
    int pos = 0;
    int data_remaining = 0;
};
