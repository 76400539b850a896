#pragma once

#include <semaphore.h>

#include <atomic>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "common/components/audio/sound_driver.h"
#include "trackercore/safe_file.h"

// Records the mixed output into a 16-bit PCM WAV file, paced in real time like a device,
// so a live session can be captured. The file is written by its own thread: the audio
// thread only copies blocks into a ring and sleeps until each block's due time.
class Sound_Driver_WAV_Writer : public Sound_Driver {
public:
    Sound_Driver_WAV_Writer();
    ~Sound_Driver_WAV_Writer() override;

    int get_mix_frequency() override { return mix_frequency; }
    bool get_mix_stereo() override { return mix_stereo; }
    bool get_mix_16bits() override { return mix_16bits; }
    int get_mix_buffer_size() override { return buffer_size; }
    std::string get_name() override { return "WAV Disk Writer"; }
    int init() override;
    bool finish() override;
    bool is_active() override { return active; }
    int process() override;
    void flush() override;
    bool does_perform_disk_write() override { return true; }
    std::string get_disk_writer_extension() override { return "wav"; }
    std::string get_disk_writer_file() override { return file_path; }
    void set_disk_writer_file(const std::string& path) override { file_path = path; }

    // Real-time pacing can be switched off, e.g. to record faster than real time.
    void set_real_time(bool on) { real_time = on; }
    long long get_frames_written() const { return frames_written; }
    // Why the last recording did not reach its file ("No space left on device"); empty when it
    // did. The file that was there before is then left as it was.
    const std::string& get_write_error() const { return write_error; }

private:
    static constexpr int RING_BLOCKS = 8;

    void writer_loop();
    bool write_header(long long data_bytes);
    int channels() const { return mix_stereo ? 2 : 1; }

    std::string file_path;
    Safe_File file;  // written by the writer thread only, between init() and finish()
    std::string write_error;
    bool active = false;
    bool real_time = true;
    int block_frames = 0;
    std::vector<short> render_buffer;
    std::vector<int> accumulator;
    std::vector<short> ring;  // RING_BLOCKS blocks
    std::vector<unsigned char> block_bytes;  // one block as the file stores it
    std::atomic<unsigned> ring_head{0};  // next block the audio thread fills
    std::atomic<unsigned> ring_tail{0};  // next block the writer thread writes
    std::atomic<bool> stopping{false};
    sem_t blocks_queued;
    sem_t slots_free;
    std::thread writer;
    timespec start_time{};
    long long frames_queued = 0;
    long long frames_written = 0;
};
