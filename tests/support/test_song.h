#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/components/audio/mixer.h"
#include "trackercore/song.h"

// A short song built in memory, so the live-path tests need no files: two generated samples
// (a looped tone and a decaying noise burst), three channels of notes with pitch and volume
// slides and volume changes over one 16-row pattern, then the end of the order list. At speed 3, tempo 125 and
// 44100 Hz it lasts 16 * 3 * 882 = 42336 frames: the first row sounds from frame 0.
inline void build_test_song(Song& song, int transpose = 0) {
    song.get_initial_variables()->speed = 3;
    song.get_initial_variables()->tempo = 125;
    song.get_initial_variables()->global_volume = 128;
    for (int s = 0; s < 2; s++) {
        const int frames = s == 0 ? 1024 : 6000;
        auto* block = (std::int16_t*)std::calloc(frames, 2);
        std::uint32_t noise = 12345;
        for (int i = 0; i < frames; i++) {
            if (s == 0) {
                block[i] = (std::int16_t)(12000 * std::sin(2 * M_PI * 4 * i / frames));
            } else {
                noise = noise * 1103515245u + 12345u;
                block[i] = (std::int16_t)((int)((noise >> 16) % 20000 - 10000) * (frames - i) / frames);
            }
        }
        Sample& sample = song.sample[s];
        sample.data.set_data_ptr(block, frames, true);
        sample.data.set_c5_freq(s == 0 ? 44100 : 22050);
        sample.data.set_loop_enabled(s == 0);
        sample.data.set_loop_begin(0);
        sample.data.set_loop_end(frames);
        sample.in_use = true;
        Instrument::Layer& layer = song.instrument[s].layers[0];
        for (int n = 0; n < NOTE_COUNT; n++) layer.sample_table[n] = (unsigned char)s;
    }
    song.set_order(0, 0);
    song.set_order(1, Song::ORDER_EMPTY);
    Pattern* pattern = song.get_pattern(0);
    pattern->set_length(16);
    auto put = [&](int channel, int row, int note, int instrument, int volume, char command, int parameter) {
        Note& cell = pattern->get_note_ref(channel, row);
        cell.note = (unsigned char)(note < 0 ? EMPTY_FIELD : note < NOTE_COUNT ? note + transpose : note);
        cell.instrument = (unsigned char)instrument;
        cell.volume = (unsigned char)volume;
        cell.command = command ? (unsigned char)(command - 'A') : EMPTY_FIELD;
        cell.parameter = (unsigned char)parameter;
    };
    put(0, 0, 48, 0, 64, 0, 0);
    put(0, 4, -1, EMPTY_FIELD, EMPTY_FIELD, 'E', 0x08);  // slide down
    put(0, 5, -1, EMPTY_FIELD, EMPTY_FIELD, 'D', 0x06);  // volume slide down
    put(0, 8, 55, 0, 40, 'G', 0x10);                     // portamento to the fifth
    put(0, 12, NOTE_OFF, EMPTY_FIELD, EMPTY_FIELD, 0, 0);
    for (int row = 0; row < 16; row += 4) put(1, row, 60, 1, 50, 0, 0);
    put(1, 1, -1, EMPTY_FIELD, EMPTY_FIELD, 'D', 0x30);  // volume slide up
    put(2, 2, 36, 0, 30, 'H', 0x44);  // vibrato
    put(2, 10, NOTE_CUT, EMPTY_FIELD, EMPTY_FIELD, 0, 0);
    pattern->get_note(0, 0);  // commit the last write
}

constexpr int TEST_SONG_FRAMES = 16 * 3 * 882;

// The song rendered offline the way a driver renders it: blocks of block_frames, each built
// from write_samples calls, converted to 16 bits. Renders `frames` frames from the start.
inline std::vector<std::int16_t> render_offline(Mixer& mixer, int frames, int block_frames, int rate = 44100) {
    std::vector<std::int16_t> out;
    out.reserve((size_t)frames * 2);
    mixer.set_mix_frequency((float)rate);
    int done = 0;
    while (done < frames) {
        int left = block_frames;
        while (left > 0) {
            int k = mixer.write_samples(left);
            if (k <= 0) return out;
            const int* src = mixer.get_mixdown_buffer_ptr();
            for (int i = 0; i < k * 2; i++) out.push_back(mixer_sample_to_16bit(src[i]));
            left -= k;
        }
        done += block_frames;
    }
    out.resize((size_t)frames * 2);
    return out;
}
