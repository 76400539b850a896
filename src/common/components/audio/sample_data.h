#pragma once

// PCM frames of one sample with their format, loop and base frequency.
// Frames are mono, signed, native byte order: one byte (8-bit) or one short (16-bit) each.
//
// The block is a plain heap block allocated with std::malloc and released with std::free.
// Whoever hands a block over with set_data_ptr must have allocated it with std::malloc;
// release_data_ptr forgets the block without freeing it.
class Sample_Data {
public:
    Sample_Data() = default;
    ~Sample_Data();
    Sample_Data(const Sample_Data& from);  // deep copy, c5_freq included
    Sample_Data& operator=(const Sample_Data& from);

    float get_sample(int frame) const;             // -1..1; 0 outside the frames
    void set_sample(int frame, float value);       // clamped; ignored outside the frames

    void set_data_ptr(void* block);
    void set_data_ptr(void* block, int size);
    void set_data_ptr(void* block, int size, bool is_16bit);
    void release_data_ptr();
    void* get_data_ptr() const { return data; }

    // Clipboard copy: frames, loop and format, but not the base frequency.
    void copy_sample_data(const Sample_Data* from);

    void set_c5_freq(int freq) { c5_freq = freq; }
    int get_c5_freq() const { return c5_freq; }
    void set_loop_enabled(bool enabled) { loop_enabled = enabled; }
    bool is_loop_enabled() const { return loop_enabled; }
    void set_loop_ping_pong(bool enabled) { loop_ping_pong = enabled; }
    bool is_loop_ping_pong() const { return loop_ping_pong; }
    void set_loop_begin(int frame) { loop_begin = frame; }
    int get_loop_begin() const { return loop_begin; }
    void set_loop_end(int frame) { loop_end = frame; }
    int get_loop_end() const { return loop_end; }
    int get_size() const { return size; }
    bool is_16bit() const { return sixteen_bit; }
    // Bytes the frames take: size or 2 x size.
    long get_byte_size() const { return (long)size * (sixteen_bit ? 2 : 1); }

    void change_sign();     // signed <-> unsigned, in place
    void toggle_quality();  // 8-bit <-> 16-bit, in place

private:
    void free_data();

    bool loop_enabled = false;
    int loop_begin = 0;
    int loop_end = 0;
    bool loop_ping_pong = false;
    bool sixteen_bit = false;
    int c5_freq = 44100;
    int size = 0;
    void* data = nullptr;
};
