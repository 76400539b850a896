#include <gtest/gtest.h>

#include <cstdlib>

#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "support/allocation_counter.h"
#include "support/test_song.h"
#include "tracker/tracker_instance.h"

namespace {

// A busy song: notes with new-note actions, retriggers, slides and envelopes on 16 channels.
void build_busy_song(Song& song) {
    for (int s = 0; s < 2; s++) {
        Sample& sample = song.sample[s];
        const int frames = 2000;
        short* block = (short*)std::calloc(frames, 2);
        for (int i = 0; i < frames; i++) block[i] = (short)((i * 97) % 20000 - 10000);
        sample.data.set_data_ptr(block, frames, true);
        sample.data.set_c5_freq(22050);
        sample.data.set_loop_enabled(s == 0);
        sample.data.set_loop_end(frames);
        sample.in_use = true;
        sample.vibrato_depth = 4;
        sample.vibrato_speed = 8;
        sample.vibrato_rate = 12;
        Instrument::Layer& layer = song.instrument[s].layers[0];
        for (int n = 0; n < NOTE_COUNT; n++) layer.sample_table[n] = (unsigned char)s;
        layer.nna_type = s == 0 ? 3 : 1;  // fade or continue
        layer.volume_fadeout = 40;
        layer.volume_envelope.set_enabled(true);
        layer.pitch_use_default_cutoff = true;
        layer.pitch_default_cutoff = 60;
    }
    song.set_order(0, 0);
    Pattern* pattern = song.get_pattern(0);
    pattern->set_length(16);
    const char commands[] = "QHGJRDEYKXNP";
    for (int c = 0; c < 16; c++)
        for (int row = 0; row < 16; row += 2) {
            Note& note = pattern->get_note_ref(c, row);
            note.note = (unsigned char)(36 + (c * 5 + row) % 48);
            note.instrument = (unsigned char)(c % 2);
            note.command = (unsigned char)(commands[(c + row) % 12] - 'A');
            note.parameter = 0x32;
        }
    pattern->get_note(0, 0);
}

TEST(Tracker_Instance_Playback, PlayerIsLinkedToSongAndMixer) {
    Tracker_Instance instance;
    instance.mixer.set_mix_frequency(44100.0f);
    build_busy_song(instance.song);
    instance.player.play_start_song();
    EXPECT_EQ(instance.player.get_play_mode(), Player_Data::PLAY_SONG);
    int rendered = 0;
    while (rendered < 20 * 1024) {
        int frames = instance.mixer.write_samples(1024);
        ASSERT_GT(frames, 0);
        rendered += frames;
    }
    EXPECT_GT(instance.mixer.get_active_voices_count(), 0);
    EXPECT_GT(instance.player.get_current_row(), 0);
}

// The player's ticks and the mixer's rendering, driven here without the process-callback
// signal: emitting a signal with a connected slot allocates inside libsigc++ itself.
TEST(Tracker_Instance_Playback, TicksAndRenderingOfAPlayingSongDoNotAllocate) {
    Tracker_Instance instance;
    instance.mixer.set_mix_frequency(44100.0f);
    build_busy_song(instance.song);
    instance.player.play_start_song();
    instance.mixer.process_callback.clear();
    auto render = [&](int ticks) {
        for (int t = 0; t < ticks; t++) {
            instance.player.handle_tick();
            int frames = 0;
            while (frames < 882) frames += instance.mixer.write_samples(882 - frames);
        }
    };
    render(6 * 16 * 3);  // warm-up: the song loops three times
    allocation_counter::Scope scope;
    render(6 * 16 * 4);
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_GT(instance.player.get_voice_list().size(), 0u);
}

// A song's first tick runs before its first frame: a note on row r sounds from frame
// r x speed x tick length exactly, the first row's from frame 0, however the frames are asked for.
TEST(Tracker_Instance_Playback, NotesSoundFromTheFirstFrameOfTheirRow) {
    Resampler_Manager resamplers;
    Resampler_Linear linear;
    resamplers.register_resampler(&linear);
    for (int row : {0, 1, 3}) {
        for (int block : {64, 700, 4096}) {
            Tracker_Instance instance;
            Song& song = instance.song;
            song.get_initial_variables()->speed = 3;
            song.get_initial_variables()->tempo = 125;  // 882 frames a tick at 44100 Hz
            song.get_initial_variables()->global_volume = 128;
            auto* data = (short*)std::calloc(64, 2);
            for (int i = 0; i < 64; i++) data[i] = 8000;  // a constant: its very first frame is heard
            song.sample[0].data.set_data_ptr(data, 64, true);
            song.sample[0].data.set_c5_freq(44100);
            song.sample[0].data.set_loop_enabled(true);
            song.sample[0].data.set_loop_end(64);
            song.sample[0].in_use = true;
            for (int n = 0; n < NOTE_COUNT; n++) song.instrument[0].layers[0].sample_table[n] = 0;
            song.set_order(0, 0);
            Note& note = song.get_pattern(0)->get_note_ref(0, row);
            note.note = 60;
            note.instrument = 0;
            song.get_pattern(0)->get_note(0, 0);
            instance.mixer.set_mix_frequency(44100.0f);
            instance.player.play_start_song();

            const int onset = row * 3 * 882;
            std::vector<std::int16_t> out = render_offline(instance.mixer, onset + 100, block);
            size_t first = 0;
            while (first < out.size() && out[first] == 0) first++;
            EXPECT_EQ((int)first / 2, onset) << "row " << row << ", " << block << "-frame blocks";
        }
    }
}

}  // namespace
