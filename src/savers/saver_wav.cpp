#include "savers/saver_wav.h"

#include "trackercore/song.h"

int Saver_Wav::save_sample(const char* file, int slot) {
    if (!has_extension(file, ".wav", ".WAV")) return -2;
    Sample* sample = song ? song->get_sample(slot) : nullptr;
    if (!sample || !sample->in_use) return refuse_save("the sample slot is empty");
    if (open_for_save(file) != 0) return -1;
    const Sample_Data& data = sample->data;
    unsigned frames = data.get_data_ptr() ? (unsigned)data.get_size() : 0;
    unsigned unit = data.is_16bit() ? 2 : 1;
    unsigned c5 = (unsigned)data.get_c5_freq();

    writer.store_byte_array(reinterpret_cast<const unsigned char*>("RIFF"), 4);
    writer.store_dword(36 + frames * unit);
    writer.store_byte_array(reinterpret_cast<const unsigned char*>("WAVEfmt "), 8);
    writer.store_dword(16);
    writer.store_word(1);  // PCM
    writer.store_word(1);  // mono
    writer.store_dword(c5);
    writer.store_dword(c5 * unit);
    writer.store_word((unsigned short)unit);
    writer.store_word((unsigned short)(unit * 8));
    writer.store_byte_array(reinterpret_cast<const unsigned char*>("data"), 4);
    writer.store_dword(frames * unit);
    if (unit == 2) {
        const short* words = static_cast<const short*>(data.get_data_ptr());
        for (unsigned i = 0; i < frames; ++i) writer.store_word((unsigned short)words[i]);
    } else {
        // WAV 8-bit frames are unsigned.
        const signed char* bytes = static_cast<const signed char*>(data.get_data_ptr());
        for (unsigned i = 0; i < frames; ++i) writer.store_byte((unsigned char)(bytes[i] + 128));
    }
    return finish_save();
}

std::vector<std::string> Saver_Wav::get_sample_losses(const char* file, int slot) const {
    const Sample* sample = song && has_extension(file, ".wav", ".WAV") ? song->get_sample(slot) : nullptr;
    if (sample && sample->in_use && sample->data.is_loop_enabled())
        return {"Loop: WAV files keep no loop: the loop is dropped."};
    return {};
}
