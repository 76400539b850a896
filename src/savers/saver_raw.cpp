#include "savers/saver_raw.h"

#include "trackercore/song.h"

int Saver_Raw::save_sample(const char* file, int slot) {
    if (!has_extension(file, ".raw", ".RAW")) return -2;
    Sample* sample = song ? song->get_sample(slot) : nullptr;
    if (!sample || !sample->in_use) return refuse_save("the sample slot is empty");
    if (open_for_save(file) != 0) return -1;
    const Sample_Data& data = sample->data;
    if (data.get_data_ptr())
        writer.store_byte_array(static_cast<const unsigned char*>(data.get_data_ptr()), (int)data.get_byte_size());
    return finish_save();
}

std::vector<std::string> Saver_Raw::get_sample_losses(const char* file, int slot) const {
    const Sample* sample = song && has_extension(file, ".raw", ".RAW") ? song->get_sample(slot) : nullptr;
    if (!sample || !sample->in_use) return {};
    return {"Settings: raw files hold the frames only: rate, loop and name are not kept."};
}
