#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "../common/plugins/effects/ladspa/ladspa_test_support.h"
#include "common/components/audio/dds_helpers.h"
#include "common/components/audio/resampler.h"
#include "common/components/audio/resampler_manager.h"
#include "common/components/data/dds_packer.h"
#include "loaders/loader_wm.h"
#include "savers/saver_wm.h"
#include "support/native_song.h"
#include "support/scratch_dir.h"
#include "support/song_compare.h"
#include "tracker/audio_components.h"
#include "tracker/tracker_instance.h"

namespace {

// The identifier of the installed LADSPA amplifier, or "" when it is not installed.
std::string ladspa_amp_name(Audio_Components& components) {
    LADSPA_Effect_Source& src = components.ladspa_effects;
    for (int i = 0; i < src.get_effect_count(); i++)
        if (src.get_effect_display_name(i).find("Amplifier") != std::string::npos) return src.get_effect_name(i);
    return "";
}

std::vector<std::int16_t> render(Tracker_Instance& ti, int frames) {
    ti.mixer.set_mix_frequency(44100.0f);
    ti.player.play_start_song();
    std::vector<std::int16_t> out;
    while ((int)out.size() < 2 * frames) {
        int n = ti.mixer.write_samples(std::min(4096, frames - (int)out.size() / 2));
        if (n <= 0) break;
        const int* mix = ti.mixer.get_mixdown_buffer_ptr();
        for (int i = 0; i < 2 * n; i++) out.push_back(mixer_sample_to_16bit(mix[i]));
    }
    return out;
}

// A container around an arbitrary packed tree, with the stated sizes given explicitly.
std::string container(const char* magic, int major, int minor, const std::vector<unsigned char>& packed,
                      long stated_u = -1, long stated_z = -1) {
    uLongf z = compressBound((uLong)packed.size());
    std::vector<unsigned char> stream(z);
    compress(stream.data(), &z, packed.data(), (uLong)packed.size());
    std::string out(magic, 4);
    out += (char)major;
    out += (char)minor;
    auto dword = [&](std::uint32_t v) {
        for (int i = 0; i < 4; i++) out += (char)((v >> (8 * i)) & 0xFF);
    };
    dword(stated_u < 0 ? (std::uint32_t)packed.size() : (std::uint32_t)stated_u);
    dword(stated_z < 0 ? (std::uint32_t)z : (std::uint32_t)stated_z);
    out.append((const char*)stream.data(), z);
    return out;
}

std::vector<unsigned char> pack(const DDS& tree) {
    std::vector<unsigned char> out;
    DDSPacker::pack(&tree, out, 0);
    return out;
}

}  // namespace

TEST(LoaderWM, SongRoundTripKeepsEveryFieldAndTheMixer) {
    Ladspa_Path_Override path("/usr/lib/ladspa");
    Audio_Components components;
    std::string ladspa = ladspa_amp_name(components);
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    std::string file = dir.file("song.wm");

    auto original = std::make_unique<Tracker_Instance>();
    build_rich_song(original->song);
    build_rich_mixer(original->mixer, ladspa);
    ASSERT_EQ(original->file_format_manager.save_module(file.c_str()), 0);

    auto loaded = std::make_unique<Tracker_Instance>();
    ASSERT_EQ(loaded->file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
    expect_songs_equal(original->song, loaded->song);
    for (int p = 0; p < Song::MAX_PATTERNS; p++)
        EXPECT_EQ(original->song.get_pattern(p)->get_note_count() > 0, loaded->song.get_pattern(p)->get_note_count() > 0);
    EXPECT_EQ(loaded->song.get_pattern(150)->get_length(), 99);
    expect_mixers_equal(original->mixer, loaded->mixer);
    if (ladspa.empty()) {
        std::printf("LADSPA amplifier not installed; the plug-in part was not checked\n");
    } else {
        EXPECT_EQ(loaded->mixer.get_channel_effect_chain(1)->get_effect(0)->get_name(), ladspa);
    }

    // The loaded song sounds the same as the one that was saved.
    Resampler_Linear linear;
    Resampler_Manager resamplers;
    resamplers.register_resampler(&linear);
    std::vector<std::int16_t> a = render(*original, 3 * 44100), b = render(*loaded, 3 * 44100);
    ASSERT_EQ(a.size(), b.size());
    bool audible = false;
    for (std::int16_t s : a) audible |= s != 0;
    EXPECT_TRUE(audible);
    EXPECT_TRUE(a == b);
}

// A file saved before a playback rule was stored plays as it did: each missing rule takes the
// old native value (old fade-out scale, empty orders skipped, ...). One that stores them gets
// them back, whatever the loading song had. The three switches were stored from the start.
TEST(LoaderWM, PlaybackRulesMissingFromAFileAreTheOldOnes) {
    Scratch_Dir dir;
    Tracker_Instance source;
    build_rich_song(source.song);
    DDS tree;
    source.saver_wm.get_dds_from_song(&tree);
    DDS* vars = tree.get_dynamic_data_struct_var("variables");
    ASSERT_NE(vars, nullptr);
    const std::vector<std::string> always_stored = {"use_linear_slides", "old_effects", "compatible_gxx"};
    for (const Playback_Rules::Entry& rule : Playback_Rules::list())
        if (std::find(always_stored.begin(), always_stored.end(), rule.key) == always_stored.end())
            vars->delete_var(rule.key);
    std::string old_file = dir.file("old.wm"), new_file = dir.file("new.wm");
    Scratch_Dir::write(old_file, container("WDMM", 1, 0, pack(tree)));
    ASSERT_EQ(source.file_format_manager.save_module(new_file.c_str()), 0);

    Tracker_Instance ti;
    ASSERT_EQ(ti.file_format_manager.load_module(old_file.c_str()), Loader::SUCCESS);
    Playback_Rules expected = Playback_Rules::of_format(Playback_Rules::Format::OLD_NATIVE);
    expected.use_linear_slides = source.song.variables.rules.use_linear_slides;
    expected.old_effects = source.song.variables.rules.old_effects;
    expected.compatible_gxx = source.song.variables.rules.compatible_gxx;
    EXPECT_TRUE(ti.song.variables.rules == expected);
    EXPECT_EQ(ti.song.variables.rules.fadeout_scale, Playback_Rules::FADEOUT_SCALE_OLD);
    EXPECT_FALSE(ti.song.variables.rules.empty_order_ends_song);
    ASSERT_EQ(ti.file_format_manager.load_module(new_file.c_str()), Loader::SUCCESS);
    EXPECT_TRUE(ti.song.variables.rules == source.song.variables.rules);
}

// Every rule reaches the file under its key and comes back, whichever value it holds.
TEST(LoaderWM, EveryPlaybackRuleRoundTrips) {
    Scratch_Dir dir;
    for (const Playback_Rules::Entry& rule : Playback_Rules::list()) {
        SCOPED_TRACE(rule.key);
        Tracker_Instance source;
        build_rich_song(source.song);
        Playback_Rules& rules = source.song.variables.rules;
        if (rule.flag)
            rules.*rule.flag = !(rules.*rule.flag);
        else
            rules.*rule.number = rules.*rule.number == rule.max ? rule.min : rule.max;
        std::string file = dir.file(std::string(rule.key) + ".wm");
        ASSERT_EQ(source.file_format_manager.save_module(file.c_str()), 0);
        Tracker_Instance ti;
        ASSERT_EQ(ti.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
        EXPECT_TRUE(ti.song.variables.rules == rules);
    }
}

// The MIDI macros come back under their own key; a file from before they were kept, or one
// whose list is not whole, plays with the default macros.
TEST(LoaderWM, MidiMacrosRoundTripOrAreTheDefault) {
    Scratch_Dir dir;
    Tracker_Instance source;
    build_rich_song(source.song);
    DDS tree;
    source.saver_wm.get_dds_from_song(&tree);
    DDS* vars = tree.get_dynamic_data_struct_var("variables");
    ASSERT_NE(vars, nullptr);
    ASSERT_TRUE(vars->is_var("midi_macros", DDS::TYPE_STRING_ARRAY));
    const std::vector<std::string> stored = vars->get_str_array_var("midi_macros");
    struct Case {
        const char* name;
        bool keep_key;
        size_t entries;
        bool custom;
    };
    const Case cases[] = {
        {"stored", true, stored.size(), true},
        {"older file", false, 0, false},
        {"list cut short", true, stored.size() - 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vars->delete_var("midi_macros");
        if (c.keep_key) vars->set_str_array_var("midi_macros", {stored.begin(), stored.begin() + (long)c.entries});
        std::string file = dir.file(std::string(c.name) + ".wm");
        Scratch_Dir::write(file, container("WDMM", 1, 0, pack(tree)));
        Tracker_Instance ti;
        ti.song.variables.midi_config.set_text(0, "stale");
        ASSERT_EQ(ti.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
        EXPECT_TRUE(ti.song.variables.midi_config ==
                    (c.custom ? source.song.variables.midi_config : Midi_Config::default_config()));
    }
    EXPECT_FALSE(source.song.variables.midi_config == Midi_Config::default_config());
}

TEST(LoaderWM, LoadingResetsTheMixerBeforeApplyingTheStoredOne) {
    Audio_Components components;
    Scratch_Dir dir;
    std::string file = dir.file("plain.wm");
    Tracker_Instance saver;
    saver.mixer.add_buffer();
    saver.mixer.get_buffer_effect_chain(0)->add_effect(make_effect("echo"));
    ASSERT_EQ(saver.file_format_manager.save_module(file.c_str()), 0);

    Tracker_Instance ti;
    build_rich_mixer(ti.mixer);
    // Twice: the second load must not add to what the first one made.
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(ti.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
        EXPECT_EQ(ti.mixer.get_buffer_count(), 1);
        EXPECT_EQ(ti.mixer.get_buffer_effect_chain(0)->get_effect_count(), 1);
        for (int c = 0; c < ti.mixer.get_channel_count(); c++) {
            EXPECT_EQ(ti.mixer.get_channel_effect_chain(c)->get_effect_count(), 0);
            ASSERT_EQ(ti.mixer.get_channel_output_count(c), 1);
            EXPECT_EQ(ti.mixer.get_channel_output_buffer_index(c, 0), -1);
            EXPECT_EQ(ti.mixer.get_channel_output_send_level(c, 0), 127);
        }
    }
}

TEST(LoaderWM, RecognitionAndVersions) {
    Scratch_Dir dir;
    Tracker_Instance ti;
    DDS tree;
    tree.set_int_var("x", 1);
    std::string v2 = dir.file("v2.wm"), v13 = dir.file("v13.wm"), sample = dir.file("s.wm");
    Scratch_Dir::write(v2, container("WDMM", 2, 0, pack(tree)));
    Scratch_Dir::write(v13, container("WDMM", 1, 3, pack(tree)));
    Scratch_Dir::write(sample, container("WDMS", 1, 1, pack(tree)));
    EXPECT_FALSE(ti.loader_wm.test(v2.c_str()));
    EXPECT_EQ(ti.loader_wm.load(v2.c_str(), true), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_FALSE(ti.loader_wm.test(sample.c_str()));
    EXPECT_EQ(ti.loader_wm.load(sample.c_str(), true), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ti.loader_wm.test(v13.c_str()));
    EXPECT_EQ(ti.loader_wm.load(v13.c_str(), true), Loader::SUCCESS);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("sightly newer version of this program, consider upgrading"), std::string::npos);
    EXPECT_EQ(ti.loader_wm.get_staged_tree().get_int_var("x"), 1);
    EXPECT_EQ(ti.loader_wm.load(dir.file("missing.wm").c_str(), true), Loader::FILE_CANNOT_OPEN);
    EXPECT_FALSE(ti.loader_wm.is_busy());
}

TEST(LoaderWM, SizeClaimsAreCheckedBeforeAnythingIsRead) {
    Scratch_Dir dir;
    Tracker_Instance ti;
    DDS tree;
    tree.set_str_var("text", std::string(3000, 'a'));
    std::vector<unsigned char> packed = pack(tree);
    struct Case {
        const char* name;
        std::string bytes;
        const char* line;
    } cases[] = {
        // The largest claim the header can make is believed only as far as the bytes behind it go.
        {"huge", container("WDMM", 1, 1, packed, 0xFFFFFFFF, 5000000),
         Loader_WM::physical_memory() > 9000000000ull ? "shorter than its compressed data" : "just too big"},
        {"z_over_u", container("WDMM", 1, 1, packed, 10, 5000), "File compressed cant be greater than uncompressed"},
        {"ratio", container("WDMM", 1, 1, packed, 40000000, 20), "uncompressed size cant come from"},
        {"truncated", container("WDMM", 1, 1, packed).substr(0, 30), "shorter than its compressed data"},
        {"u_too_small", container("WDMM", 1, 1, packed, (long)packed.size() - 1), "Couldnt decompress buffer!"},
        {"header_only", std::string("WDMM\x01\x01", 6), nullptr},
    };
    for (const Case& c : cases) {
        std::string path = dir.file(std::string(c.name) + ".wm");
        Scratch_Dir::write(path, c.bytes);
        testing::internal::CaptureStdout();
        EXPECT_EQ(ti.file_format_manager.load_module(path.c_str()), Loader::FILE_FORMAT_NOT_RECOGNIZED) << c.name;
        std::string out = testing::internal::GetCapturedStdout();
        if (c.line) {
            EXPECT_NE(out.find(c.line), std::string::npos) << c.name << ": " << out;
        }
    }
    // The stream garbled in the middle fails zlib's check.
    std::string bad = container("WDMM", 1, 1, packed);
    bad[bad.size() / 2] ^= 0x55;
    std::string path = dir.file("garbled.wm");
    Scratch_Dir::write(path, bad);
    EXPECT_EQ(ti.file_format_manager.load_module(path.c_str()), Loader::FILE_FORMAT_NOT_RECOGNIZED);
}

// The header's packed size is a claim: the tree gets room for what the stream really holds, so
// a small file claiming gigabytes costs what it holds, and a stream holding more than its claim
// is refused before anything is allocated for it.
TEST(LoaderWM, PackedSizeClaimsAreBoundedByTheData) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    DDS tree;
    std::vector<unsigned char> noise(2 << 20);
    std::uint32_t seed = 7;
    for (unsigned char& b : noise) b = (unsigned char)((seed = seed * 1103515245u + 12345u) >> 24);
    tree.set_data_var("noise", noise.data(), (int)noise.size());
    const std::vector<unsigned char> packed = pack(tree);
    const long claim = 1500l << 20;  // what 2 MiB of stream may claim, and the machine could give
    ASSERT_EQ(Loader_WM::refuse_sizes(claim, packed.size() + 1000, 64ull << 30), nullptr);
    const std::string bomb = dir.file("claims_1500_mib.wm");
    Scratch_Dir::write(bomb, container("WDMM", 1, 1, packed, claim));
    const std::vector<unsigned char> zeros((64 << 20) + 1);
    const std::string over = dir.file("holds_more.wm");
    Scratch_Dir::write(over, container("WDMM", 1, 1, zeros, 64 << 20));

    Tracker_Instance ti;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ti.file_format_manager.load_module(over.c_str()), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Couldnt decompress buffer!"), std::string::npos);

#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#else
    // In a child whose address space ends 512 MiB past what it uses now, the claimed 1.5 GiB
    // could not even be reserved.
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(3);
        std::string status = Scratch_Dir::read("/proc/self/status");
        size_t at = status.find("VmSize:");
        long kib = at == std::string::npos ? 0 : std::atol(status.c_str() + at + 7);
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = (rlim_t)kib * 1024 + (512ul << 20);
        setrlimit(RLIMIT_AS, &limit);
        Tracker_Instance child_ti;
        _exit(child_ti.file_format_manager.load_module(bomb.c_str()) == Loader::SUCCESS ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

TEST(LoaderWM, SizeLimitsFollowTheHeaderZlibAndMemory) {
    const unsigned long long MiB = 1ull << 20, GiB = 1ull << 30, plenty = 64 * GiB;
    struct Case {
        unsigned long long packed, compressed, memory;
        const char* refusal;  // part of the error line, nullptr when the sizes are fine
    } cases[] = {
        {60000000, 10000000, plenty, nullptr},  // past the old 50 MiB limit
        {0xFFFFFFFFull, 0xFFFFFFFFull / 1000, plenty, nullptr},
        {0x100000000ull, 10 * MiB, plenty, "just too big"},  // more than the header can state
        {1000, 0x100000000ull, plenty, "just too big"},
        {100, compressBound(100) + 1, plenty, "cant be greater than uncompressed"},
        {1000 * 1032 + 65, 1000, plenty, "cant come from this compressed size"},
        {1000 * 1032 + 64, 1000, plenty, nullptr},
        {GiB, 2 * MiB, 2 * GiB, "just too big"},  // more than the machine holds
        {GiB, 2 * MiB, 3 * GiB, nullptr},
    };
    for (const Case& c : cases) {
        const char* refusal = Loader_WM::refuse_sizes(c.packed, c.compressed, c.memory);
        if (!c.refusal) {
            EXPECT_EQ(refusal, nullptr) << c.packed << " from " << c.compressed << ": " << refusal;
        } else {
            ASSERT_NE(refusal, nullptr) << c.packed << " from " << c.compressed;
            EXPECT_NE(std::string(refusal).find(c.refusal), std::string::npos) << refusal;
        }
    }
}

TEST(LoaderWM, SongLargerThanFiftyMiBLoadsBack) {
    // Long 16-bit samples: 28 of a million frames make a packed tree of 56 MB.
    Scratch_Dir dir;
    Tracker_Instance ti;
    for (int s = 0; s < 28; s++) {
        auto* block = static_cast<std::int16_t*>(std::malloc(2000000));
        for (int i = 0; i < 1000000; i++) block[i] = (std::int16_t)((i % (300 + s)) * 97 - 15000 + s);
        ti.song.get_sample(s)->data.set_data_ptr(block, 1000000, true);
        ti.song.get_sample(s)->in_use = true;
    }
    std::string path = dir.file("long samples.wm");
    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.file_format_manager.save_module(path.c_str()), 0);
    Tracker_Instance back;
    Loader::Error loaded = back.file_format_manager.load_module(path.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(loaded, Loader::SUCCESS) << out;
    std::string header = Scratch_Dir::read(path).substr(0, 14);
    std::uint32_t packed_size = 0;
    std::memcpy(&packed_size, header.data() + 6, 4);
    EXPECT_GT(packed_size, 52428800u);
    for (int s = 0; s < 28; s++) {
        const Sample_Data& a = ti.song.get_sample(s)->data;
        const Sample_Data& b = back.song.get_sample(s)->data;
        ASSERT_EQ(b.get_size(), a.get_size()) << "sample " << s;
        EXPECT_EQ(std::memcmp(a.get_data_ptr(), b.get_data_ptr(), 2000000), 0) << "sample " << s;
    }
}

TEST(LoaderWM, AMissingSectionEndsTheTransferKeepingWhatCameBefore) {
    Scratch_Dir dir;
    std::string file = dir.file("song.wm");
    Tracker_Instance source;
    build_rich_song(source.song);
    DDS tree;
    source.saver_wm.get_dds_from_song(&tree);
    tree.delete_var("samples");
    Scratch_Dir::write(file, container("WDMM", 1, 1, pack(tree)));

    Tracker_Instance ti;
    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Broken file on purpose, samples?!!!"), std::string::npos);
    EXPECT_EQ(ti.song.get_variables()->name, "Native round trip");
    EXPECT_EQ(ti.song.get_order(4), Song::ORDER_SEPARATOR);
    EXPECT_FALSE(ti.song.get_sample(1)->in_use);
    EXPECT_EQ(ti.song.get_instrument(0)->name, "");
    EXPECT_TRUE(ti.song.get_pattern(0)->check_for_empty_pattern());
}

TEST(LoaderWM, HostileValuesAreKeptInRange) {
    Tracker_Instance ti;
    DDS tree;
    DDS vars;
    vars.set_str_var("title", std::string(100, 'x'));
    vars.set_int_var("mixing_volume", 100000);
    vars.set_str_var("stereo_separation", "not a number");
    tree.set_dynamic_data_struct_var("variables", vars);
    DDS initial;
    initial.set_int_var("speed", -4);
    VectorPointer<DDS> channels;
    for (int i = 0; i < 70; i++) {
        DDS* c = new DDS;
        c->set_int_var("pan", 1000);
        channels.push_back(c);
    }
    initial.set_dynamic_data_struct_array_var("channel", channels);
    tree.set_dynamic_data_struct_var("initial_variables", initial);
    tree.set_int_array_var("order_list", std::vector<int>(400, 9999));
    VectorPointer<DDS> samples;
    DDS* s = new DDS;
    s->set_int_var("index", 99);
    samples.push_back(s);
    s = new DDS;
    s->set_int_var("index", 3);
    s->set_int_var("in_use", 1);
    s->set_int_var("vibrato_type", 77);
    DDS data;
    data.set_int_var("is_16bits", 1);
    data.set_data_var("data", "\x01\x02\x03", 3);  // an odd byte count: one whole frame
    s->set_dynamic_data_struct_var("data", data);
    samples.push_back(s);
    tree.set_dynamic_data_struct_array_var("samples", samples);

    Scratch_Dir dir;
    std::string file = dir.file("hostile.wm");
    Scratch_Dir::write(file, container("WDMM", 1, 1, pack(tree)));
    ASSERT_EQ(ti.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
    EXPECT_EQ(ti.song.get_variables()->name.size(), 25u);
    EXPECT_EQ(ti.song.get_variables()->mixing_volume, 128);
    EXPECT_EQ(ti.song.get_variables()->stereo_separation, 128);
    EXPECT_EQ(ti.song.get_initial_variables()->speed, 1);
    EXPECT_EQ(ti.song.get_initial_variables()->channel[63].pan, 64);
    EXPECT_EQ(ti.song.get_order(0), Song::ORDER_EMPTY);
    const Sample& smp = *ti.song.get_sample(3);
    EXPECT_TRUE(smp.in_use);
    EXPECT_EQ(smp.vibrato_type, 77);
    ASSERT_EQ(smp.data.get_size(), 1);
    EXPECT_EQ(static_cast<const std::int16_t*>(smp.data.get_data_ptr())[0], 0x0102);
}

TEST(LoaderWM, SampleFilesRoundTripAndPreview) {
    Tracker_Instance ti;
    Scratch_Dir dir;
    std::string file = dir.file("one.ws");
    fill_sample(*ti.song.get_sample(7), 5000, true, 99);
    Sample& src = *ti.song.get_sample(7);
    src.name = "noise";
    src.vibrato_depth = 9;
    src.data.set_loop_enabled(true);
    src.data.set_loop_ping_pong(true);
    src.data.set_loop_begin(3);
    src.data.set_loop_end(4000);
    // Noise does not compress: the stream is larger than the packed tree and must still save.
    ASSERT_EQ(ti.file_format_manager.save_sample(file.c_str(), 7), 0);
    EXPECT_EQ(ti.file_format_manager.save_sample(dir.file("empty.ws").c_str(), 8), -1);
    EXPECT_EQ(ti.file_format_manager.save_sample(dir.file("x.Ws").c_str(), 7), -2);

    ASSERT_EQ(ti.file_format_manager.load_sample(file.c_str(), 20), Loader::SUCCESS);
    Sample& dst = *ti.song.get_sample(20);
    EXPECT_EQ(dst.name, "noise");
    EXPECT_EQ(dst.vibrato_depth, 9);
    EXPECT_TRUE(dst.data.is_loop_ping_pong());
    EXPECT_EQ(dst.data.get_loop_end(), 4000);
    ASSERT_EQ(dst.data.get_size(), 5000);
    EXPECT_EQ(std::memcmp(dst.data.get_data_ptr(), src.data.get_data_ptr(), 10000), 0);

    std::unique_ptr<Sample_Data> preview(ti.file_format_manager.load_sample(file.c_str()));
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->get_size(), 5000);
    EXPECT_EQ(std::memcmp(preview->get_data_ptr(), src.data.get_data_ptr(), 10000), 0);
    // A song file is no sample file, and the sample browser does not read native files.
    EXPECT_EQ(ti.loader_wm.load_sample(dir.file("missing.ws").c_str(), 1), Loader::FILE_CANNOT_OPEN);
    EXPECT_EQ(ti.loader_wm.load_samples_from_instrument(file.c_str()), Loader::FILE_ERROR);
    EXPECT_EQ(ti.loader_wm.load_instrument(file.c_str(), 0), Loader::FILE_FORMAT_NOT_RECOGNIZED);
}

TEST(LoaderWM, InstrumentFileTakesOnlyTheFreeSampleSlots) {
    Tracker_Instance source;
    Instrument& ins = *source.song.get_instrument(4);
    ins.name = "three samples";
    for (int s : {10, 20, 30}) fill_sample(*source.song.get_sample(s), 100 + s, s == 20, (unsigned)s);
    for (int n = 0; n < NOTE_COUNT; n++) {
        ins.layers[0].sample_table[n] = n < 40 ? 20 : (n < 80 ? 10 : 30);
        ins.layers[3].sample_table[n] = n % 2 ? 30 : 255;
    }
    Scratch_Dir dir;
    std::string file = dir.file("ins.wi");
    ASSERT_EQ(source.file_format_manager.save_instrument(file.c_str(), 4), 0);

    // The file names its samples by position in order of first use: 20, 10, 30.
    DDS tree;
    {
        Tracker_Instance probe;
        ASSERT_EQ(probe.loader_wm.load_instrument(file.c_str(), 0), Loader::SUCCESS);
        EXPECT_EQ(probe.song.get_instrument(0)->layers[0].sample_table[0], 0);   // first free slot took 20
        EXPECT_EQ(probe.song.get_instrument(0)->layers[0].sample_table[50], 1);  // then 10
        EXPECT_EQ(probe.song.get_instrument(0)->layers[3].sample_table[1], 2);   // then 30
        EXPECT_EQ(probe.song.get_sample(0)->data.get_size(), 120);
        EXPECT_TRUE(probe.song.get_sample(0)->data.is_16bit());
        EXPECT_EQ(probe.song.get_sample(1)->data.get_size(), 110);
    }

    Tracker_Instance ti;
    for (int s = 0; s < Song::MAX_SAMPLES; s++)
        if (s != 42) fill_sample(*ti.song.get_sample(s), 10, false, (unsigned)s);
    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.file_format_manager.load_instrument(file.c_str(), 9), Loader::SUCCESS);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "") << "loading says nothing when all is well";
    const Instrument& got = *ti.song.get_instrument(9);
    EXPECT_EQ(got.name, "three samples");
    EXPECT_EQ(ti.song.get_sample(42)->data.get_size(), 120);
    for (int n = 0; n < NOTE_COUNT; n++) {
        EXPECT_EQ(got.layers[0].sample_table[n], n < 40 ? 42 : 255) << n;
        EXPECT_EQ(got.layers[3].sample_table[n], 255) << n;
    }
    EXPECT_EQ(ti.song.get_sample(0)->data.get_size(), 10);  // the song's own samples are untouched
}

TEST(LoaderWM, PatternDecodingStopsAtTheEndOfTheBlockOrTheRows) {
    Loader_WM loader;
    Pattern p;
    DDS t;
    t.set_int_var("rows", 256 + 3);  // only the low byte counts
    // Channel 1 with a full mask, then a repeat with the remembered mask, then a cut-short cell.
    t.set_int_array_var("compressed_block", {129, 15, 255, 5, 64, 1, 0x22, 0, 129, 240, 0, 0x1FF});
    loader.set_dds_to_pattern(&t, &p);
    EXPECT_EQ(p.get_length(), 3);
    Note a = p.get_note(0, 0);
    EXPECT_EQ(a.note, NOTE_OFF);
    EXPECT_EQ(a.instrument, 4);
    EXPECT_EQ(a.volume, 64);
    EXPECT_EQ(a.command, 0);
    EXPECT_EQ(a.parameter, 0x22);
    EXPECT_TRUE(p.get_note(0, 1) == a);
    EXPECT_TRUE(p.get_note(0, 2) == Pattern::empty_note);
}
