#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/components/audio/channel_scopes.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "support/allocation_counter.h"
#include "tracker/tracker_instance.h"

namespace {

constexpr int RATE = 44100;

// A looped tone on instrument 1 and one note on each of the given pattern channels.
void build_song(Song& song, const std::vector<int>& playing, const std::vector<int>& muted) {
    const int frames = 441;
    auto* block = (std::int16_t*)std::calloc(frames, 2);
    for (int i = 0; i < frames; i++) block[i] = (std::int16_t)(16000 * std::sin(2 * M_PI * i / frames));
    Sample& sample = song.sample[0];
    sample.data.set_data_ptr(block, frames, true);
    sample.data.set_c5_freq(RATE);
    sample.data.set_loop_enabled(true);
    sample.data.set_loop_end(frames);
    sample.in_use = true;
    for (int n = 0; n < NOTE_COUNT; n++) song.instrument[0].layers[0].sample_table[n] = 0;
    song.set_order(0, 0);
    Pattern* pattern = song.get_pattern(0);
    for (int channel : playing) {
        Note& note = pattern->get_note_ref(channel, 0);
        note.note = 60;
        note.instrument = 0;
    }
    pattern->get_note(0, 0);
    for (int channel : muted) song.get_initial_variables()->channel[channel].mute = true;
}

struct Scoped_Song {
    Resampler_Manager resamplers;
    Resampler_Linear linear;
    Tracker_Instance ti;

    Scoped_Song(const std::vector<int>& playing, const std::vector<int>& muted = {}) {
        resamplers.register_resampler(&linear);
        build_song(ti.song, playing, muted);
        ti.mixer.set_mix_frequency((float)RATE);
        ti.mixer.set_channel_scopes(true);
        ti.player.play_start_song();
    }
    // Renders as a driver does; the mixdown of every frame is kept.
    void render(int frames, std::vector<int>* mixdown = nullptr, int block = 1000) {
        while (frames > 0) {
            int k = ti.mixer.write_samples(std::min(frames, block));
            ASSERT_GT(k, 0);
            if (mixdown) mixdown->insert(mixdown->end(), ti.mixer.get_mixdown_buffer_ptr(),
                                         ti.mixer.get_mixdown_buffer_ptr() + 2 * k);
            frames -= k;
        }
    }
    const Channel_Scopes& scopes() const { return *ti.mixer.get_channel_scopes_feed(); }
};

}  // namespace

TEST(ChannelScopes, OnlyTheChannelsThatSoundShowALevel) {
    const struct {
        const char* name;
        std::vector<int> playing, muted, sounding;
    } table[] = {
        {"channel 2 alone", {1}, {}, {1}},
        {"two channels", {0, 5}, {}, {0, 5}},
        {"the last channel", {63}, {}, {63}},
        {"a muted channel is silent", {1, 2}, {2}, {1}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        Scoped_Song song(row.playing, row.muted);
        song.render(RATE / 2);
        for (int channel = 0; channel < Channel_Scopes::CHANNELS; channel++) {
            bool sounds = std::find(row.sounding.begin(), row.sounding.end(), channel) != row.sounding.end();
            int level = song.scopes().level(channel, 256);
            if (sounds)
                EXPECT_GT(level, 1000) << "channel " << channel;
            else
                EXPECT_EQ(level, 0) << "channel " << channel;
        }
    }
}

// With one voice and nothing else on the bus, every point is the mix at its frame.
TEST(ChannelScopes, PointsAreWhatTheVoiceAddedAtEveryStepFrames) {
    for (int rate : {RATE, 48000, 96000}) {
        SCOPED_TRACE(rate);
        Scoped_Song song({7});
        song.ti.mixer.set_mix_frequency((float)rate);
        // Whole ticks (tempo 125), so that the mixer renders no more than it hands out.
        const int tick = rate / 50, frames = 5 * tick;
        std::vector<int> mix;
        song.render(frames, &mix, tick);  // from the scopes' first block: points at 0, step, 2 step...
        const int step = song.scopes().get_step();
        EXPECT_EQ(step, (int)std::lround(rate / (double)Channel_Scopes::POINTS_PER_SECOND));
        const int count = (frames + step - 1) / step;
        ASSERT_LE(count, Channel_Scopes::MAX_READ_POINTS);
        std::vector<std::int16_t> points(count);
        ASSERT_TRUE(song.scopes().read(7, points.data(), count));
        for (int j = 0; j < count; j++) {
            const int frame = j * step;
            const int expected = ((mix[2 * frame] >> 16) + (mix[2 * frame + 1] >> 16)) / 2;
            ASSERT_EQ(points[j], expected) << "point " << j;
        }
    }
}

// Scoped voices are mixed one by one rather than in the filter batches; the sound is the same.
TEST(ChannelScopes, TheMixIsTheSameWithAndWithoutThem) {
    std::vector<int> mixes[2];
    for (int scoped = 0; scoped < 2; scoped++) {
        Scoped_Song song({0, 1, 2, 3, 9});
        Instrument::Layer& layer = song.ti.song.instrument[0].layers[0];
        layer.pitch_use_default_cutoff = true;  // filtered voices, which batch
        layer.pitch_default_cutoff = 70;
        song.ti.mixer.set_channel_scopes(scoped == 1);
        song.render(RATE / 2, &mixes[scoped]);
    }
    ASSERT_EQ(mixes[0].size(), mixes[1].size());
    EXPECT_TRUE(mixes[0] == mixes[1]);
    EXPECT_NE(std::count(mixes[0].begin(), mixes[0].end(), 0), (long)mixes[0].size()) << "something played";
}

TEST(ChannelScopes, FeedingThemDoesNotAllocate) {
    Scoped_Song song({0, 1, 2, 3, 40});
    song.render(RATE);  // warm-up
    allocation_counter::Scope scope;
    song.render(RATE * 2);
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_GT(song.scopes().level(40, 256), 0);
}

// A writer thread fills a channel with the running point count in blocks of every size; each
// copy the reader keeps must be a run of consecutive counts, however the two threads meet.
TEST(ChannelScopes, AKeptCopyIsNeverTorn) {
    Channel_Scopes scopes;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::vector<int> bus(2 * Mixer::MAX_BLOCK_FRAMES, 0);
        unsigned point = 0;
        for (int block = 0; !stop.load(); block++) {
            const int count = 1 + block % Channel_Scopes::MAX_BLOCK_POINTS;
            for (int j = 0; j < count; j++) bus[2 * j * 16] = bus[2 * j * 16 + 1] = 0;
            scopes.begin_block(count * 16, (float)RATE);
            scopes.before_voice(bus.data());
            for (int j = 0; j < count; j++)
                bus[2 * j * 16] = bus[2 * j * 16 + 1] = (int)((point + j) % 30000) << 16;
            scopes.after_voice(3, bus.data());
            scopes.end_block();
            point += count;
        }
    });
    int kept = 0;
    std::vector<std::int16_t> out(Channel_Scopes::MAX_READ_POINTS);
    // Long enough for the reader to be preempted inside some copies while the writer laps it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < deadline) {
        if (scopes.get_written() < out.size() || !scopes.read(3, out.data(), (int)out.size())) continue;
        kept++;
        for (size_t j = 1; j < out.size(); j++) ASSERT_EQ((out[j - 1] + 1) % 30000, out[j]) << "torn at " << j;
    }
    stop = true;
    writer.join();
    EXPECT_GT(kept, 0);
    EXPECT_FALSE(scopes.read(3, out.data(), Channel_Scopes::MAX_READ_POINTS + 1));
    EXPECT_FALSE(scopes.read(Channel_Scopes::CHANNELS, out.data(), 1));
}
