#include "loaders/loader_wav.h"

#include <cstdlib>
#include <cstring>

#include "common/components/audio/sample_data.h"
#include "common/components/data/error_line.h"
#include "loaders/bounded_reader.h"
#include "trackercore/song.h"

static constexpr const char* SOURCE = "loaders/loader_wav";

static void unexpected(const char* operation, int line) {
    ERROR_LINE(SOURCE, line, std::string(operation) + ": unexpected method invocation");
}

Loader_WAV::Loader_WAV() { format_name = "WAV"; }

static bool load_riff(Bounded_Reader& file, Loader_WAV::multi_chunk& mc) {
    if (mc.riff_seen) {
        ERROR_LINE(SOURCE, 62, "load chunk ERRORing: file has many riff headers, that's odd but I don't care I'm just ignoring the extras");
        return false;
    }
    file.get_dword();  // RIFF size: the file's own size rules
    char type[4] = {};
    file.get_bytes(reinterpret_cast<unsigned char*>(type), 4);
    if (std::memcmp(type, "WAVE", 4) != 0)
        ERROR_LINE(SOURCE, 70, "load chunk ERRORing: RIFF type is not \"WAVE\", trying anyway");
    mc.riff_seen = 1;
    return file.overran();
}

static bool fail(int line, const std::string& message) {
    ERROR_LINE(SOURCE, line, message);
    return true;
}

static bool load_format(Bounded_Reader& file, Loader_WAV::multi_chunk& mc) {
    if (mc.format_seen) {
        ERROR_LINE(SOURCE, 84, "load chunk ERRORing: file has already a format chunk, ignoring");
        return false;
    }
    if (file.get_dword() != 16) return fail(88, "load chunk fatal: format chunk length ain't right");
    if (file.get_word() != 1) return fail(91, "load chunk fatal: one isn't one, what is WRONG with microsoft!");
    mc.channels = file.get_word();
    if (mc.channels != 1 && mc.channels != 2)
        return fail(95, "load chunk fatal: this file has " + std::to_string(mc.channels) +
                            " channels, I can't deal with it sorry");
    mc.sample_rate = file.get_dword();
    if ((int)mc.sample_rate < 0) return fail(99, "load chunk fatal: this file has got some wack sample rate going on");
    file.get_dword();  // byte rate
    unsigned short align = file.get_word();
    if (mc.channels == 2) align /= 2;
    mc.bytes_per_sample = align;
    if (align != 1 && align != 2)
        return fail(106, "load chunk fatal: I can only load 8bit or 16bit samples, this mono sample says its " +
                             std::to_string(align * 8) + "bit");
    file.get_word();  // bits per sample
    if (file.overran()) return true;
    mc.format_seen = 1;
    return false;
}

static bool load_data(Bounded_Reader& file, Loader_WAV::multi_chunk& mc) {
    if (mc.data_seen) {
        ERROR_LINE(SOURCE, 117, "load chunk ERRORing: file has more than one data chunks, ignoring secondary ones.");
        return false;
    }
    if (!mc.format_seen)
        return fail(121, "load chunk fatal: format chunk not defined before data chunk, I don't know how to load this sorry!");
    unsigned size = file.get_dword();
    if (file.overran()) return true;
    if ((int)size < 0) return fail(125, "load chunk fatal: size < 0 loading sample data, that ain't right");
    // A size past the end of the file (a writer that never came back to fix it) keeps the frames
    // that are there.
    if ((long)size > file.remaining()) {
        file.note_wanted_end(file.tell() + (long)size);
        size = (unsigned)file.remaining();
    }
    unsigned frames_bytes = mc.bytes_per_sample == 2 ? size & ~1u : size;
    void* buffer = std::malloc(frames_bytes > 0 ? frames_bytes : 1);
    if (!buffer) return fail(131, "load chunk fatal: not enough memory for the sample data");
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    file.get_bytes(bytes, frames_bytes);
    if (mc.bytes_per_sample == 2) {
        short* words = static_cast<short*>(buffer);
        for (unsigned i = 0; i < frames_bytes / 2; ++i) words[i] = (short)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    file.skip((long)(size - frames_bytes));
    mc.data = buffer;
    mc.data_size = frames_bytes;
    mc.data_seen = 1;
    return false;
}

bool Loader_WAV::load_chunk(const char* id, Bounded_Reader& file, multi_chunk& mc) {
    if (std::memcmp(id, "RIFF", 4) == 0) return load_riff(file, mc);
    if (std::memcmp(id, "fmt ", 4) == 0) return load_format(file, mc);
    if (std::memcmp(id, "data", 4) == 0) return load_data(file, mc);
    // Any other chunk is skipped by its size, and by the pad byte RIFF puts after an odd size.
    unsigned size = file.get_dword();
    if (file.overran()) return true;
    long skip = (long)size + (size & 1);
    if (skip > file.remaining()) skip = size;  // a last chunk without its pad byte
    return !file.skip(skip);
}

Loader::Error Loader_WAV::read_wav(const char* file, Sample_Data& sample) {
    if (reader.is_open()) return FILE_IN_USE;
    if (reader.open(file) != 0) return FILE_ERROR;
    Bounded_Reader in(reader);
    char id[4] = {};
    in.get_bytes(reinterpret_cast<unsigned char*>(id), 4);
    if (in.overran() || std::memcmp(id, "RIFF", 4) != 0) return abort_load(FILE_FORMAT_NOT_RECOGNIZED);

    multi_chunk mc;
    bool failed = false;
    while (true) {
        if (load_chunk(id, in, mc)) {
            failed = true;
            break;
        }
        if (mc.riff_seen && mc.format_seen && mc.data_seen) break;
        if (!in.get_bytes(reinterpret_cast<unsigned char*>(id), 4)) {
            failed = true;  // the file ended first
            break;
        }
    }
    if (failed) {
        ERROR_LINE(SOURCE, 181, "load sample fatal: I thought I could load this sample, now I realize that I can't. I'm sorry.");
        std::free(mc.data);
        return abort_load(HEADER_CORRUPT);
    }
    reader.close();

    bool sixteen_bit = mc.bytes_per_sample == 2;
    int values = (int)(mc.data_size / mc.bytes_per_sample);
    void* block = mc.data;
    int frames = values;
    if (mc.channels == 2) {
        // Only the left channel is kept.
        frames = values / 2;
        block = std::malloc((size_t)(frames > 0 ? frames : 1) * mc.bytes_per_sample);
        if (!block) {
            std::free(mc.data);
            return FILE_ERROR;
        }
        for (int i = 0; i < frames; ++i) {
            if (sixteen_bit)
                static_cast<short*>(block)[i] = static_cast<const short*>(mc.data)[2 * i];
            else
                static_cast<unsigned char*>(block)[i] = static_cast<const unsigned char*>(mc.data)[2 * i];
        }
        std::free(mc.data);
    }
    sample.set_data_ptr(block, frames, sixteen_bit);
    sample.set_c5_freq((int)mc.sample_rate);
    sample.set_loop_enabled(false);
    sample.set_loop_ping_pong(false);
    sample.set_loop_begin(0);
    sample.set_loop_end(frames);
    if (!sixteen_bit) sample.change_sign();  // WAV 8-bit frames are unsigned
    return SUCCESS;
}

Loader::Error Loader_WAV::load_sample(const char* file, int slot) {
    Sample* target = song ? song->get_sample(slot) : nullptr;
    if (!target) return FILE_ERROR;
    Sample_Data data;
    Error e = read_wav(file, data);
    if (e != SUCCESS) return e;
    target->reset(true);
    // The folder says where the file was, not what the sound is, and must not travel with the song.
    target->name = Sample::name_from_path(file);
    target->filename = Sample::file_part(file);
    target->in_use = true;
    void* block = data.get_data_ptr();
    data.release_data_ptr();
    target->data = data;
    target->data.set_data_ptr(block, data.get_size(), data.is_16bit());
    return SUCCESS;
}

Sample_Data* Loader_WAV::load_sample(const char* file) {
    Sample_Data* data = new Sample_Data;
    if (read_wav(file, *data) == SUCCESS) return data;
    delete data;
    return nullptr;
}

Loader::Error Loader_WAV::load(const char*, bool) {
    unexpected("load", 236);
    return FILE_FORMAT_NOT_RECOGNIZED;
}

int Loader_WAV::get_amount_of_samples() {
    unexpected("get_amount_of_samples", 241);
    return 0;
}

Sample_Data* Loader_WAV::get_sample_data(int) {
    unexpected("get_sample_data", 246);
    return nullptr;
}

std::string Loader_WAV::get_sample_name(int) {
    unexpected("get_sample_name", 251);
    return std::string();
}

void Loader_WAV::add_sample_to_song(int, int, bool) { unexpected("add_sample_to_song", 255); }

Loader::Error Loader_WAV::load_samples_from_instrument(const char*) {
    unexpected("load_samples_from_instrument", 258);
    return FILE_ERROR;
}

Loader::Error Loader_WAV::load_instrument(const char*, int) {
    unexpected("load_instrument", 263);
    return FILE_ERROR;
}

void Loader_WAV::transfer_data_to_song() { unexpected("transfer_data_to_song", 267); }

void Loader_WAV::free_info(bool) { unexpected("free_info", 269); }
