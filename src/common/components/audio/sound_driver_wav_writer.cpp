#include "common/components/audio/sound_driver_wav_writer.h"

#include <cerrno>
#include <cstring>

#include "common/components/data/error_line.h"

static const char* const SOURCE = "common/components/audio/sound_driver_wav_writer";

Sound_Driver_WAV_Writer::Sound_Driver_WAV_Writer() {
    sem_init(&blocks_queued, 0, 0);
    sem_init(&slots_free, 0, RING_BLOCKS);
}

Sound_Driver_WAV_Writer::~Sound_Driver_WAV_Writer() {
    finish();
    sem_destroy(&blocks_queued);
    sem_destroy(&slots_free);
}

static void put_le(unsigned char* p, unsigned value, int bytes) {
    for (int i = 0; i < bytes; i++) p[i] = (unsigned char)(value >> (8 * i));
}

bool Sound_Driver_WAV_Writer::write_header(long long data_bytes) {
    // A WAV data chunk cannot describe more than 4 GiB; longer recordings keep the maximum.
    const unsigned data = data_bytes > 0xFFFFFFFFLL - 36 ? 0xFFFFFFFFu - 36 : (unsigned)data_bytes;
    unsigned char h[44];
    std::memcpy(h, "RIFF", 4);
    put_le(h + 4, 36 + data, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put_le(h + 16, 16, 4);
    put_le(h + 20, 1, 2);  // PCM
    put_le(h + 22, channels(), 2);
    put_le(h + 24, mix_frequency, 4);
    put_le(h + 28, mix_frequency * channels() * 2, 4);
    put_le(h + 32, channels() * 2, 2);
    put_le(h + 34, 16, 2);
    std::memcpy(h + 36, "data", 4);
    put_le(h + 40, data, 4);
    return file.seek(0) && file.write(h, 44);
}

int Sound_Driver_WAV_Writer::init() {
    if (active) return 0;
    if (file_path.empty()) {
        last_error = "No file set for the disk writer";
        ERROR_LINE(SOURCE, 52, last_error);
        return -2;
    }
    if (mix_frequency <= 0 || buffer_size <= 0) {
        last_error = "Invalid format for the disk writer";
        ERROR_LINE(SOURCE, 56, last_error);
        return -2;
    }
    // The recording replaces the old file only when it is complete.
    write_error.clear();
    if (!file.open(file_path)) {
        write_error = file.get_error_text();
        last_error = "Cannot open " + file_path + " for writing: " + write_error;
        ERROR_LINE(SOURCE, 61, last_error);
        return -2;
    }
    last_error.clear();
    write_header(0);
    block_frames = buffer_size;
    const size_t block_samples = (size_t)block_frames * channels();
    render_buffer.assign(block_samples, 0);
    block_bytes.assign(block_samples * 2, 0);
    accumulator.assign(block_samples, 0);
    ring.assign(block_samples * RING_BLOCKS, 0);
    ring_head = 0;
    ring_tail = 0;
    while (sem_trywait(&blocks_queued) == 0) {}
    while (sem_trywait(&slots_free) == 0) {}
    for (int i = 0; i < RING_BLOCKS; i++) sem_post(&slots_free);
    stopping = false;
    frames_queued = 0;
    frames_written = 0;
    clock_gettime(CLOCK_MONOTONIC, &start_time);
    writer = std::thread(&Sound_Driver_WAV_Writer::writer_loop, this);
    active = true;
    return 0;
}

int Sound_Driver_WAV_Writer::process() {
    if (!active) return 1;
    render_mixers(render_buffer.data(), accumulator.data(), block_frames, mix_stereo);
    return 2;
}

void Sound_Driver_WAV_Writer::flush() {
    if (!active) return;
    while (sem_wait(&slots_free) != 0 && errno == EINTR) {}
    const size_t block_samples = render_buffer.size();
    unsigned slot = ring_head.load() % RING_BLOCKS;
    std::memcpy(&ring[slot * block_samples], render_buffer.data(), block_samples * sizeof(short));
    ring_head.fetch_add(1, std::memory_order_release);
    sem_post(&blocks_queued);
    frames_queued += block_frames;
    if (!real_time) return;
    // Sleep until the moment a device would have finished playing what was queued.
    long long ns = frames_queued * 1000000000LL / mix_frequency;
    timespec due = start_time;
    due.tv_sec += ns / 1000000000LL;
    due.tv_nsec += ns % 1000000000LL;
    if (due.tv_nsec >= 1000000000L) {
        due.tv_sec++;
        due.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {}
}

void Sound_Driver_WAV_Writer::writer_loop() {
    const size_t block_samples = render_buffer.size();
    for (;;) {
        while (sem_wait(&blocks_queued) != 0 && errno == EINTR) {}
        if (ring_tail.load() == ring_head.load(std::memory_order_acquire)) {
            if (stopping) return;
            continue;
        }
        unsigned slot = ring_tail.load() % RING_BLOCKS;
        const short* block = &ring[slot * block_samples];
        // WAV is little-endian whatever the machine is.
        for (size_t i = 0; i < block_samples; i++) put_le(&block_bytes[2 * i], (unsigned short)block[i], 2);
        // After a failure the blocks are still taken, so the audio thread never waits on a dead file.
        if (file.write(block_bytes.data(), block_bytes.size())) frames_written += block_frames;
        ring_tail.fetch_add(1, std::memory_order_release);
        sem_post(&slots_free);
    }
}

bool Sound_Driver_WAV_Writer::finish() {
    if (!active) return false;
    stopping = true;
    sem_post(&blocks_queued);
    writer.join();
    long long data_bytes = frames_written * channels() * 2;
    write_header(data_bytes);
    if (!file.commit()) {
        write_error = file.get_error_text();
        ERROR_LINE(SOURCE, 150, "Error writing to " + file_path + ": " + write_error);
    }
    active = false;
    return true;
}
