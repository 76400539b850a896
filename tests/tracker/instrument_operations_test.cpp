// The instrument page's slot operations without a window: the process-wide clipboard between
// two songs, deleting an instrument with its samples while the song plays (run under
// AddressSanitizer this is where a voice reading freed data would show), and loading and
// saving through real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

#include "common/components/audio/sound_driver_manager.h"
#include "support/scratch_dir.h"
#include "support/song_compare.h"
#include "support/test_song.h"
#include "tracker/audio_session.h"
#include "tracker/instrument_operations.h"
#include "tracker/tracker_instance.h"

namespace {

// An instrument unlike a reset one in every field of every layer.
void shape_instrument(Instrument& instrument, const char* name, int seed) {
    instrument.name = name;
    instrument.channel_output = 3 + seed;
    for (int l = 0; l < Instrument::LAYERS; l++) {
        Instrument::Layer& layer = instrument.layers[l];
        for (int n = 0; n < NOTE_COUNT; n++) {
            layer.note_table[n] = (unsigned char)((n + seed + l) % NOTE_COUNT);
            layer.sample_table[n] = (unsigned char)((n / 40 + l + seed) % 5);
        }
        layer.nna_type = (l + 1) % 4;
        layer.dc_type = (l + 2) % 4;
        layer.dc_action = (l + 1) % 3;
        layer.override_instrument_output = true;
        layer.channel_output = 5 + l;
        layer.volume_amount = 100 - l;
        layer.volume_fadeout = 40 + seed;
        layer.volume_random = 7;
        layer.pan_use_default = true;
        layer.pan_default = 10 + l;
        layer.pitch_separation = -5;
        layer.pitch_center = 60;
        layer.pan_random = 9;
        layer.pitch_use_as_filter = true;
        layer.pitch_use_default_cutoff = true;
        layer.pitch_default_cutoff = 90;
        layer.pitch_use_default_Q = true;
        layer.pitch_default_Q = 30;
        for (Envelope* e : {&layer.volume_envelope, &layer.panning_envelope, &layer.pitch_envelope}) {
            e->set_enabled(true);
            e->add_node_at_offset(10 + l, 12);
            e->add_node_at_offset(40 + seed, 20);
            e->set_loop_enabled(true);
            e->set_loop_begin(1);
            e->set_loop_end(2);
            e->set_sustain_loop_enabled(true);
            e->set_sustain_loop_end(1);
        }
    }
}

// A looped tone in a sample slot.
void put_tone(Song& song, int slot, const char* name) {
    const int frames = 2048;
    auto* block = (short*)std::calloc(frames, sizeof(short));
    for (int i = 0; i < frames; i++) block[i] = (short)((i * 64) % 16000 - 8000);
    Sample& sample = song.sample[slot];
    sample.data.set_data_ptr(block, frames, true);
    sample.data.set_c5_freq(22050);
    sample.data.set_loop_enabled(true);
    sample.data.set_loop_end(frames);
    sample.name = name;
    sample.in_use = true;
}

bool has_voice_on(const std::vector<Player_Data::VoiceStatusInfo>& voices, const Sample* sample) {
    for (const Player_Data::VoiceStatusInfo& v : voices)
        if (v.sample == sample) return true;
    return false;
}

// Records what a slot's name was each time the lock was taken and let go.
class Probe_Lock : public Mutex_Lock {
public:
    explicit Probe_Lock(const std::string& watched) : watched(watched) {}
    void grab() override { at_grab.push_back(watched); }
    bool try_grab() override { return false; }
    void release() override { at_release.push_back(watched); }
    Mutex_Lock* create_mutex_type() override { return nullptr; }

    const std::string& watched;
    std::vector<std::string> at_grab, at_release;
};

}  // namespace

TEST(Instrument_Operations, ClipboardCarriesInstrumentsBetweenSongs) {
    Tracker_Instance first, second;
    Instrument_Operations from(first), to(second);
    shape_instrument(first.song.instrument[4], "Strings", 1);
    Instrument original = first.song.instrument[4];

    ASSERT_TRUE(from.copy_instrument(4));
    ASSERT_TRUE(to.paste_instrument(7));
    expect_instruments_equal(second.song.instrument[7], original, "pasted copy");
    EXPECT_EQ(first.song.instrument[4].name, "Strings") << "copy keeps the source";

    // Cut empties the source; the clipboard keeps its copy, so it pastes twice.
    shape_instrument(first.song.instrument[2], "Pad", 2);
    Instrument pad = first.song.instrument[2];
    ASSERT_TRUE(from.cut_instrument(2));
    EXPECT_FALSE(from.is_used(2));
    ASSERT_TRUE(to.paste_instrument(0));
    ASSERT_TRUE(to.paste_instrument(1));
    expect_instruments_equal(second.song.instrument[0], pad, "first paste");
    expect_instruments_equal(second.song.instrument[1], pad, "second paste");

    // Slots that do not exist change nothing, the clipboard included.
    for (int bad : {-1, Song::MAX_INSTRUMENTS}) {
        EXPECT_FALSE(from.copy_instrument(bad));
        EXPECT_FALSE(from.cut_instrument(bad));
        EXPECT_FALSE(to.paste_instrument(bad));
        EXPECT_FALSE(to.delete_instrument(bad));
        EXPECT_FALSE(to.delete_instrument_with_samples(bad));
    }
    expect_instruments_equal(Instrument_Operations::clipboard, pad, "clipboard");
}

TEST(Instrument_Operations, DeleteWithSamplesWhilePlayingErasesTheirVoicesFirst) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Audio_Session session;
    Tracker_Instance ti;
    Song& song = ti.song;
    build_test_song(song);
    // Instrument 0 plays samples 0, 2 and 3 on three layers; instrument 1 shares sample 0 and
    // has its own sample 4, which must survive.
    put_tone(song, 2, "layer two");
    put_tone(song, 3, "layer three");
    put_tone(song, 4, "other");
    for (int n = 0; n < NOTE_COUNT; n++) {
        song.instrument[0].layers[2].sample_table[n] = 2;
        song.instrument[0].layers[3].sample_table[n] = 3;
        song.instrument[1].layers[1].sample_table[n] = 0;
        song.instrument[1].layers[2].sample_table[n] = 4;
    }
    song.instrument[0].name = "Lead";
    Instrument_Operations operations(ti);
    EXPECT_EQ(operations.samples_named_by(0), (std::vector<int>{0, 2, 3}));

    // The disk writer, unpaced, stands in for a sound card and really renders the song.
    driver_manager.request_buffer_size(256);
    session.wav_writer_driver.set_real_time(false);
    session.wav_writer_driver.set_disk_writer_file(dir.file("delete.wav"));
    ASSERT_TRUE(session.start_driver(2));
    session.add_song(ti);
    ti.player.play_start_song();
    ASSERT_TRUE(session.start_audio_thread());

    std::vector<Player_Data::VoiceStatusInfo> voices;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool all_sounding = false;
    while (!all_sounding && std::chrono::steady_clock::now() < deadline) {
        ti.player.get_voice_status_info(voices);
        all_sounding = has_voice_on(voices, &song.sample[0]) && has_voice_on(voices, &song.sample[2]) &&
                       has_voice_on(voices, &song.sample[3]) && has_voice_on(voices, &song.sample[4]);
        if (!all_sounding) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(all_sounding) << "the layers never sounded together";

    ASSERT_TRUE(operations.delete_instrument_with_samples(0));
    ti.player.lock_player_variables();
    std::set<const Sample*> playing;
    for (Voice_Control* voice : ti.player.get_voice_list()) playing.insert(voice->get_sample());
    ti.player.unlock_player_variables();
    for (int s : {0, 2, 3}) {
        EXPECT_FALSE(song.sample[s].in_use) << s;
        EXPECT_EQ(song.sample[s].data.get_data_ptr(), nullptr) << s;
        EXPECT_EQ(playing.count(&song.sample[s]), 0u) << "a voice still reads sample " << s;
    }
    EXPECT_TRUE(song.sample[1].in_use);
    EXPECT_TRUE(song.sample[4].in_use);
    EXPECT_FALSE(operations.is_used(0));

    // The song plays on over the hole: instrument 1's shared sample is gone, its own is not.
    ti.player.play_start_song();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ti.player.get_voice_status_info(voices);
    EXPECT_FALSE(has_voice_on(voices, &song.sample[0]));

    session.stop_audio_thread();
    session.stop_driver();
    session.remove_song(ti);
}

TEST(Instrument_Operations, LoadAndSaveThroughFiles) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Tracker_Instance source, target;
    put_tone(source.song, 0, "tone a");
    put_tone(source.song, 1, "tone b");
    shape_instrument(source.song.instrument[3], "Kit", 0);
    for (Instrument::Layer& layer : source.song.instrument[3].layers)
        for (unsigned char& s : layer.sample_table) s = s % 2;
    Instrument_Operations saver(source), loader(target);
    put_tone(target.song, 0, "taken");  // the loaded samples go to the free slots after it

    ASSERT_EQ(saver.save_instrument(dir.file("kit.wi"), 3), 0);
    ASSERT_EQ(saver.save_instrument(dir.file("kit.ii"), 3), 0);
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"kit.ii", "kit.wi"})) << "temporary files left behind";

    // Loading writes into the song only while holding the lock, and only once the file is read.
    Probe_Lock probe(target.song.instrument[6].name);
    target.file_format_manager.set_song_lock(&probe);
    target.song.instrument[6].name = "before";
    ASSERT_EQ(loader.load_instrument(dir.file("kit.wi"), 6), Loader::SUCCESS);
    EXPECT_EQ(probe.at_grab, (std::vector<std::string>{"before"}));
    EXPECT_EQ(probe.at_release, (std::vector<std::string>{"Kit"}));
    target.file_format_manager.set_song_lock(nullptr);
    Instrument expected = source.song.instrument[3];
    for (Instrument::Layer& layer : expected.layers)
        for (unsigned char& s : layer.sample_table) s = (unsigned char)(s + 1);
    expect_instruments_equal(target.song.instrument[6], expected, "loaded .wi");
    EXPECT_EQ(target.song.sample[1].name, "tone a");
    EXPECT_EQ(target.song.sample[2].name, "tone b");

    ASSERT_EQ(loader.load_instrument(dir.file("kit.ii"), 8), Loader::SUCCESS);
    EXPECT_EQ(target.song.instrument[8].name, "Kit");
    EXPECT_EQ(target.song.instrument[8].layers[0].volume_fadeout, 40);

    // Failures: the slot stays as it was, and no file is left where a save failed.
    Instrument before = target.song.instrument[6];
    Scratch_Dir::write(dir.file("junk.wi"), "WDMI but nothing after");
    EXPECT_EQ(loader.load_instrument(dir.file("junk.wi"), 6), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(loader.load_instrument(dir.file("missing.xi"), 6), Loader::FILE_CANNOT_OPEN);
    EXPECT_EQ(loader.load_instrument(dir.file("kit.wi"), 99), Loader::FILE_ERROR);
    expect_instruments_equal(target.song.instrument[6], before, "after failed loads");

    std::string old_bytes = Scratch_Dir::read(dir.file("kit.wi"));
    EXPECT_EQ(saver.save_instrument(dir.file("no/such/dir/kit.wi"), 3), -1);
    EXPECT_EQ(saver.save_instrument(dir.file("kit.txt"), 3), -2);
    EXPECT_EQ(saver.save_instrument(dir.file("kit.wi"), -1), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("kit.txt")));
    EXPECT_EQ(Scratch_Dir::read(dir.file("kit.wi")), old_bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}
