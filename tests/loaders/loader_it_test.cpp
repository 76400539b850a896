#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "loaders/it_builder.h"
#include "support/scratch_dir.h"
#include "tracker/tracker_instance.h"

namespace {

class LoaderIT : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }

    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = dir.file(name);
        Scratch_Dir::write(path, bytes);
        return path;
    }
    Loader::Error load(const IT_Module_Builder& layout) {
        return ti.file_format_manager.load_module(write("m.it", layout.build()).c_str());
    }

    Scratch_Dir dir;
    Tracker_Instance ti;
    Song& song = ti.song;
};

}  // namespace

TEST_F(LoaderIT, HeaderOrdersAndChannelsMapOntoTheSong) {
    IT_Module_Builder layout;
    layout.title = "A title of exactly thirty chars";
    layout.hilight_minor = 0;
    layout.hilight_major = 0;
    layout.flags = 1 | 16 | 32;  // stereo, old effects, compatible gxx; no linear slides
    layout.global_volume = 100;
    layout.mixing_volume = 80;
    layout.speed = 3;
    layout.tempo = 150;
    layout.separation = 64;
    layout.orders = {0, 254, 150, 200, 1, 255};
    layout.pan[0] = 100;   // surround
    layout.pan[1] = 0xA0;  // muted, centre
    layout.pan[2] = 0x90;  // muted; 16 is not taken as the pan
    layout.pan[3] = 10;
    layout.volume[3] = 70;
    layout.special = 1;
    layout.message = std::string("line one\rline two\0garbage", 26);
    ASSERT_EQ(load(layout), Loader::SUCCESS);

    const Song::Song_Variables& v = *song.get_variables();
    EXPECT_EQ(v.name, "A title of exactly thirty");  // the model holds 25 characters
    EXPECT_EQ(v.row_hilight_minor, 4);
    EXPECT_EQ(v.row_hilight_major, 16);
    EXPECT_TRUE(v.use_stereo);
    EXPECT_FALSE(v.rules.use_linear_slides);
    EXPECT_TRUE(v.rules.old_effects);
    EXPECT_TRUE(v.rules.compatible_gxx);
    EXPECT_TRUE(v.rules.unmapped_note_cuts);  // no instruments: a missing sample cuts
    EXPECT_EQ(v.mixing_volume, 80);
    layout.flags |= 4;  // instruments: an empty map slot leaves the sounding note alone
    ASSERT_EQ(load(layout), Loader::SUCCESS);
    EXPECT_FALSE(v.rules.unmapped_note_cuts);
    layout.flags &= ~4;
    ASSERT_EQ(load(layout), Loader::SUCCESS);
    EXPECT_EQ(v.stereo_separation, 64);
    EXPECT_EQ(v.message, "line one\nline two");
    EXPECT_EQ(v.filename, dir.file("m.it"));
    const Song::Initial_Variables& init = *song.get_initial_variables();
    EXPECT_EQ(init.global_volume, 100);
    EXPECT_EQ(init.speed, 3);
    EXPECT_EQ(init.tempo, 150);
    EXPECT_EQ(song.get_order(0), 0);
    EXPECT_EQ(song.get_order(1), 253);
    EXPECT_EQ(song.get_order(2), 150);  // patterns up to 199 exist in the song
    EXPECT_EQ(song.get_order(3), 255);
    EXPECT_EQ(song.get_order(4), 1);
    EXPECT_EQ(song.get_order(5), 255);
    EXPECT_TRUE(init.channel[0].surround);
    EXPECT_EQ(init.channel[0].pan, 32);
    EXPECT_TRUE(init.channel[1].mute);
    EXPECT_EQ(init.channel[1].pan, 32);
    EXPECT_TRUE(init.channel[2].mute);
    EXPECT_EQ(init.channel[2].pan, 32);
    EXPECT_FALSE(init.channel[3].mute);
    EXPECT_EQ(init.channel[3].pan, 10);
    EXPECT_EQ(init.channel[3].volume, 64);
}

// ModPlug Tracker's own IT files (created with 0x0217, compatible with 0x0200) loop as
// ModPlug played them; every other writer's by IT's rules.
TEST_F(LoaderIT, ModPlugFilesLoopByModPlugsRules) {
    struct Case {
        unsigned created_with, compatible_with;
        bool modplug;
    };
    for (Case c : {Case{0x0214, 0x0214, false}, Case{0x0217, 0x0214, false}, Case{0x0217, 0x0200, true}}) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.created_with << " " << c.compatible_with);
        IT_Module_Builder layout;
        layout.created_with = c.created_with;
        layout.compatible_with = c.compatible_with;
        ASSERT_EQ(load(layout), Loader::SUCCESS);
        const Playback_Rules& rules = song.get_variables()->rules;
        EXPECT_EQ(rules.loop_start_follows_loop, !c.modplug);
        EXPECT_EQ(rules.one_pattern_loop_at_a_time, c.modplug);
        EXPECT_EQ(rules.jump_cancels_loop, !c.modplug);
    }
}

TEST_F(LoaderIT, WrongMagicAndTruncatedFilesFailWithoutTouchingTheSong) {
    song.get_variables()->name = "kept";
    song.set_order(0, 9);
    IT_Module_Builder layout;
    std::string good = layout.build();
    std::string wrong = good;
    wrong[3] = 'X';
    EXPECT_EQ(ti.file_format_manager.load_module(write("a.it", wrong).c_str()), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(ti.file_format_manager.load_module(write("b.it", good.substr(0, 100)).c_str()), Loader::HEADER_CORRUPT);
    // Counts promising offset tables that the file does not hold.
    std::string big_counts = good;
    big_counts[36] = (char)0xFF;
    big_counts[37] = (char)0x7F;
    EXPECT_EQ(ti.file_format_manager.load_module(write("c.it", big_counts).c_str()), Loader::HEADER_CORRUPT);
    EXPECT_EQ(ti.file_format_manager.load_module(dir.file("missing.it").c_str()), Loader::FILE_CANNOT_OPEN);
    EXPECT_EQ(song.get_variables()->name, "kept");
    EXPECT_EQ(song.get_order(0), 9);
    EXPECT_FALSE(ti.loader_it.is_busy());
}

TEST_F(LoaderIT, TruncatedMessageIsAFileError) {
    IT_Module_Builder layout;
    layout.special = 1;
    layout.message = "hello";
    std::string bytes = layout.build();
    bytes.resize(bytes.size() - 2);
    EXPECT_EQ(ti.file_format_manager.load_module(write("m.it", bytes).c_str()), Loader::FILE_ERROR);
}

TEST_F(LoaderIT, PatternCellsDecodeWithMasksAndMemory) {
    IT_Module_Builder layout;
    Byte_Builder p;
    // Row 0: channel 0 full cell; channel 1 odd values (note 130 is a note fade); channel 2 note off, 3 note cut.
    p.byte(0x81).byte(0x0F).byte(48).byte(5).byte(64).byte(1).byte(0x06);
    p.byte(0x82).byte(0x0F).byte(130).byte(0).byte(213).byte(0).byte(0x33);
    p.byte(0x83).byte(0x01).byte(255);
    p.byte(0x84).byte(0x03).byte(254).byte(100);
    p.byte(0);
    // Row 1: channel 0 repeats everything from memory; channel 5 has a command out of range.
    p.byte(0x81).byte(0xF0);
    p.byte(0x86).byte(0x08).byte(213).byte(7);
    p.byte(0);
    // Row 2: channel byte 0x41 (65) is channel 0, reusing its last mask (0xF0).
    p.byte(0x41);
    p.byte(0);
    layout.patterns.push_back({4, p.str(), false});
    layout.patterns.push_back({32, "", true});  // offset 0
    layout.orders = {0, 1, 255};
    ASSERT_EQ(load(layout), Loader::SUCCESS);

    Pattern& pat = *song.get_pattern(0);
    EXPECT_EQ(pat.get_length(), 4);
    Note full = pat.get_note(0, 0);
    EXPECT_EQ(full.note, 48);
    EXPECT_EQ(full.instrument, 4);
    EXPECT_EQ(full.volume, 64);
    EXPECT_EQ(full.command, 0);
    EXPECT_EQ(full.parameter, 6);
    Note odd = pat.get_note(1, 0);
    EXPECT_EQ(odd.note, NOTE_FADE);
    EXPECT_EQ(odd.instrument, 255);
    EXPECT_EQ(odd.volume, 255);
    EXPECT_EQ(odd.command, 255);
    EXPECT_EQ(odd.parameter, 0x33);
    EXPECT_EQ(pat.get_note(2, 0).note, NOTE_OFF);
    EXPECT_EQ(pat.get_note(3, 0).note, NOTE_CUT);
    EXPECT_EQ(pat.get_note(3, 0).instrument, 255);
    EXPECT_EQ(pat.get_note(0, 1), full);
    EXPECT_EQ(pat.get_note(5, 1).command, 255);
    EXPECT_EQ(pat.get_note(5, 1).parameter, 7);
    EXPECT_EQ(pat.get_note(0, 2), full);
    EXPECT_EQ(pat.get_note(0, 3), Pattern::empty_note);
    EXPECT_EQ(pat.get_note_count(), 7);
    EXPECT_EQ(song.get_pattern(1)->get_length(), 64);
    EXPECT_TRUE(song.get_pattern(1)->check_for_empty_pattern());
}

TEST_F(LoaderIT, TruncatedPatternKeepsWhatWasReadAndLoadingGoesOn) {
    IT_Module_Builder layout;
    Byte_Builder p;
    p.byte(0x81).byte(0x01).byte(60).byte(0);  // row 0
    p.byte(0x81).byte(0x01).byte(61);          // row 1, never ended
    layout.patterns.push_back({64, p.str(), false});
    testing::internal::CaptureStdout();
    ASSERT_EQ(load(layout), Loader::SUCCESS);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Warning: Pattern 0is corrupted"), std::string::npos) << out;
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 0).note, 60);
    EXPECT_EQ(song.get_pattern(0)->get_note(0, 1).note, 61);
}

TEST_F(LoaderIT, SamplesUncompressedAndTruncated) {
    IT_Module_Builder layout;
    layout.flags = 1 | 8;  // sample mode: instruments are made from the samples
    IT_Sample_Layout s8;
    s8.name = "eight";
    s8.flags = 1 | 16 | 64;
    s8.length = 4;
    s8.loop_begin = 1;
    s8.loop_end = 3;
    s8.c5 = 22050;
    s8.default_pan = 0x80 | 20;
    s8.global_volume = 50;
    s8.default_volume = 40;
    s8.vibrato[0] = 1, s8.vibrato[1] = 2, s8.vibrato[2] = 3, s8.vibrato[3] = 2;
    s8.data = std::string("\x01\xFF\x7F\x80", 4);
    IT_Sample_Layout s16;
    s16.name = "abcdefghijklmnopqrstuvwxyz";  // fills the field, no NUL
    s16.flags = 1 | 2;
    s16.length = 2;
    s16.data = std::string("\x01\x00\xFE\xFF", 4);
    IT_Sample_Layout empty;
    empty.flags = 0;
    empty.length = 100;
    IT_Sample_Layout cut;  // claims 1000 frames, the file ends after 3
    cut.length = 1000;
    cut.data = "abc";
    // Convert flag bit 0 clear: the same frames stored unsigned.
    IT_Sample_Layout u8 = s8;
    u8.convert = 0;
    u8.data = std::string("\x81\x7F\xFF\x00", 4);
    IT_Sample_Layout u16 = s16;
    u16.convert = 0;
    u16.data = std::string("\x01\x80\xFE\x7F", 4);
    layout.samples = {s8, s16, empty, u8, u16, cut};
    ASSERT_EQ(load(layout), Loader::SUCCESS);
    for (int slot : {0, 1}) {
        const Sample_Data& sig = song.get_sample(slot)->data;
        const Sample_Data& uns = song.get_sample(slot + 3)->data;
        ASSERT_EQ(uns.get_size(), sig.get_size()) << slot;
        EXPECT_EQ(std::memcmp(uns.get_data_ptr(), sig.get_data_ptr(), sig.get_size() * (sig.is_16bit() ? 2 : 1)), 0)
            << slot;
    }

    Sample& a = *song.get_sample(0);
    EXPECT_TRUE(a.in_use);
    EXPECT_EQ(a.name, "eight");
    EXPECT_EQ(a.glb_volume, 50);
    EXPECT_EQ(a.def_volume, 40);
    EXPECT_TRUE(a.def_panning_active);
    EXPECT_EQ(a.def_panning, 20);
    EXPECT_EQ(a.vibrato_speed, 1);
    EXPECT_EQ(a.vibrato_depth, 2);
    EXPECT_EQ(a.vibrato_rate, 3);
    EXPECT_EQ(a.vibrato_type, 2);
    EXPECT_EQ(a.data.get_size(), 4);
    EXPECT_FALSE(a.data.is_16bit());
    EXPECT_TRUE(a.data.is_loop_enabled());
    EXPECT_TRUE(a.data.is_loop_ping_pong());
    EXPECT_EQ(a.data.get_loop_begin(), 1);
    EXPECT_EQ(a.data.get_loop_end(), 3);
    EXPECT_EQ(a.data.get_c5_freq(), 22050);
    const signed char* f8 = static_cast<const signed char*>(a.data.get_data_ptr());
    EXPECT_EQ(f8[0], 1);
    EXPECT_EQ(f8[1], -1);
    EXPECT_EQ(f8[3], -128);
    Sample& b = *song.get_sample(1);
    EXPECT_EQ(b.name, "abcdefghijklmnopqrstuvwxyz");
    ASSERT_TRUE(b.data.is_16bit());
    const short* f16 = static_cast<const short*>(b.data.get_data_ptr());
    EXPECT_EQ(f16[0], 1);
    EXPECT_EQ(f16[1], -2);
    EXPECT_FALSE(song.get_sample(2)->in_use);
    EXPECT_EQ(song.get_sample(2)->data.get_data_ptr(), nullptr);
    EXPECT_EQ(song.get_sample(5)->data.get_size(), 3);
    // Sample mode: instrument i plays sample i.
    EXPECT_EQ(song.get_instrument(1)->layers[0].sample_table[60], 1);
}

// The mixer plays one channel: a stereo sample's two sides (stored one after the other) are
// mixed, and a file that ends inside the second side keeps the first alone.
TEST_F(LoaderIT, StereoSamplesPlayTheirSidesMixed) {
    IT_Module_Builder layout;
    layout.flags = 1 | 8;
    IT_Sample_Layout s8;
    s8.flags = 1 | 4;
    s8.length = 3;
    s8.data = std::string("\x10\x80\x7F" "\x30\x80\x01", 6);
    IT_Sample_Layout s16;
    s16.flags = 1 | 2 | 4;
    s16.length = 2;
    s16.data = std::string("\x00\x80\xE8\x03" "\x00\x80\x18\xFC", 8);  // -32768, 1000 | -32768, -1000
    IT_Sample_Layout cut = s8;  // the file ends inside the second side
    cut.data = s8.data.substr(0, 4);
    layout.samples = {s8, s16, cut};
    ASSERT_EQ(load(layout), Loader::SUCCESS);

    const Sample_Data& a = song.get_sample(0)->data;
    ASSERT_EQ(a.get_size(), 3);
    const signed char* f8 = static_cast<const signed char*>(a.get_data_ptr());
    EXPECT_EQ(f8[0], 0x20);
    EXPECT_EQ(f8[1], -128);
    EXPECT_EQ(f8[2], 64);
    const Sample_Data& b = song.get_sample(1)->data;
    ASSERT_EQ(b.get_size(), 2);
    ASSERT_TRUE(b.is_16bit());
    const short* f16 = static_cast<const short*>(b.get_data_ptr());
    EXPECT_EQ(f16[0], -32768);
    EXPECT_EQ(f16[1], 0);
    const Sample_Data& c = song.get_sample(2)->data;
    ASSERT_EQ(c.get_size(), 3);
    EXPECT_EQ(static_cast<const signed char*>(c.get_data_ptr())[0], 0x10);

    std::string said;
    for (const std::string& line : ti.loader_it.get_warnings()) said += line + "\n";
    EXPECT_NE(said.find("is stereo: its two sides are mixed into one"), std::string::npos) << said;
    EXPECT_NE(said.find("cut short in its second side: its first side plays alone"), std::string::npos) << said;
}

TEST_F(LoaderIT, BadSampleHeaderIsReportedAndLeftEmpty) {
    IT_Module_Builder layout;
    IT_Sample_Layout s;
    s.length = 2;
    s.data = "xy";
    layout.samples = {s, s};
    std::string bytes = layout.build();
    size_t second = bytes.find("IMPS", bytes.find("IMPS") + 1);
    bytes.replace(second, 4, "JUNK");
    testing::internal::CaptureStdout();
    ASSERT_EQ(ti.file_format_manager.load_module(write("m.it", bytes).c_str()), Loader::SUCCESS);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error reading sample1"), std::string::npos) << out;
    EXPECT_TRUE(song.get_sample(0)->in_use);
    EXPECT_FALSE(song.get_sample(1)->in_use);
}

TEST_F(LoaderIT, InstrumentsWithKeyboardAndEnvelopes) {
    IT_Module_Builder layout;
    IT_Instrument_Layout ins;
    ins.name = "lead";
    ins.nna = 3, ins.dct = 1, ins.dca = 2, ins.fadeout = 200;
    ins.pps = -8, ins.ppc = 50, ins.global_volume = 100, ins.default_pan = 40;
    ins.random_volume = 10, ins.random_pan = 20;
    ins.cutoff = 0x80 | 90, ins.resonance = 30;
    ins.note[60] = 72;
    ins.sample[60] = 2;
    ins.env[0] = {1 | 2, 0, 1, 1, 2, {{0, 64}, {10, 32}, {20, 0}}};
    ins.env[1] = {4 | 8, 0, 0, 0, 0, {{0, (int)(unsigned char)-32}, {5, 32}}};
    ins.env[2] = {1 | 128, 0, 0, 0, 0, {{0, 0}, {7, (int)(unsigned char)-10}}};
    IT_Instrument_Layout many;
    many.env[0].count_override = 200;  // more nodes than the layout holds
    for (int i = 0; i < 25; i++) many.env[0].nodes.push_back({i * 2, 10});
    layout.instruments = {it_instrument(ins), it_instrument(ins, "JUNK"), it_instrument(many)};
    ASSERT_EQ(load(layout), Loader::SUCCESS);

    Instrument& a = *song.get_instrument(0);
    EXPECT_EQ(a.name, "lead");
    const Instrument::Layer& l = a.layers[0];
    EXPECT_EQ(l.nna_type, 3);
    EXPECT_EQ(l.dc_type, 1);
    EXPECT_EQ(l.dc_action, 2);
    EXPECT_EQ(l.volume_fadeout, 200);
    EXPECT_EQ(l.pitch_separation, -8);
    EXPECT_EQ(l.pitch_center, 50);
    EXPECT_EQ(l.volume_amount, 100);
    EXPECT_EQ(l.volume_random, 10);
    EXPECT_EQ(l.pan_random, 20);
    EXPECT_TRUE(l.pan_use_default);
    EXPECT_EQ(l.pan_default, 40);
    EXPECT_TRUE(l.pitch_use_default_cutoff);
    EXPECT_EQ(l.pitch_default_cutoff, 90);
    EXPECT_FALSE(l.pitch_use_default_Q);
    EXPECT_EQ(l.pitch_default_Q, 30);
    EXPECT_EQ(l.note_table[60], 72);
    EXPECT_EQ(l.sample_table[60], 1);
    EXPECT_EQ(l.sample_table[61], 255);
    EXPECT_TRUE(l.volume_envelope.is_enabled());
    EXPECT_TRUE(l.volume_envelope.is_loop_enabled());
    EXPECT_EQ(l.volume_envelope.get_node_count(), 3);
    EXPECT_EQ(l.volume_envelope.get_node_height(1), 32);
    EXPECT_EQ(l.volume_envelope.get_loop_begin(), 0);
    EXPECT_EQ(l.volume_envelope.get_loop_end(), 1);
    EXPECT_TRUE(l.panning_envelope.is_sustain_loop_enabled());
    EXPECT_TRUE(l.panning_envelope.is_carry_enabled());
    EXPECT_FALSE(l.volume_envelope.is_carry_enabled());
    EXPECT_EQ(l.panning_envelope.get_node_height(0), -32);
    EXPECT_TRUE(l.pitch_use_as_filter);
    EXPECT_EQ(l.pitch_envelope.get_node_height(1), -10);
    // The unreadable instrument is empty, not garbage.
    Instrument& junk = *song.get_instrument(1);
    EXPECT_EQ(junk.name, "");
    EXPECT_EQ(junk.layers[0].sample_table[60], 255);
    EXPECT_EQ(song.get_instrument(2)->layers[0].volume_envelope.get_node_count(), 25);
}

TEST_F(LoaderIT, OlderInstrumentLayoutIsReadAsSuch) {
    IT_Module_Builder layout;
    layout.compatible_with = 0x0100;
    layout.samples.resize(2);
    IT_Instrument_Layout ins;
    ins.name = "old piano";
    ins.nna = 2, ins.dct = 1, ins.fadeout = 20;
    ins.note[60] = 72;
    ins.sample[60] = 2;
    // Loop over nodes 1-2, sustain on node 0; the node after the end marker is not part of it.
    ins.env[0] = {1 | 2 | 4, 1, 2, 0, 0, {{0, 64}, {10, 32}, {30, 0}, {255, 0}, {40, 50}}};
    IT_Instrument_Layout fast;
    fast.fadeout = 200;  // beyond the layout's range: the fastest fade the song model has
    layout.instruments = {it_old_instrument(ins), it_old_instrument(fast)};
    ASSERT_EQ(load(layout), Loader::SUCCESS);

    const Instrument& a = *song.get_instrument(0);
    EXPECT_EQ(a.name, "old piano");
    const Instrument::Layer& l = a.layers[0];
    EXPECT_EQ(l.nna_type, 2);
    EXPECT_EQ(l.dc_type, 1);
    EXPECT_EQ(l.dc_action, 0);
    EXPECT_EQ(l.volume_fadeout, 40);
    EXPECT_EQ(l.volume_amount, 128);  // the layout has no instrument volume
    EXPECT_FALSE(l.pan_use_default);
    EXPECT_EQ(l.note_table[60], 72);
    EXPECT_EQ(l.sample_table[60], 1);
    EXPECT_EQ(l.sample_table[61], 255);
    const Envelope& v = l.volume_envelope;
    EXPECT_TRUE(v.is_enabled());
    EXPECT_TRUE(v.is_loop_enabled());
    EXPECT_TRUE(v.is_sustain_loop_enabled());
    ASSERT_EQ(v.get_node_count(), 3);
    EXPECT_EQ(v.get_node_offset(1), 10);
    EXPECT_EQ(v.get_node_height(0), 64);
    EXPECT_EQ(v.get_node_height(1), 32);
    EXPECT_EQ(v.get_node_offset(2), 30);
    EXPECT_EQ(v.get_loop_begin(), 1);
    EXPECT_EQ(v.get_loop_end(), 2);
    EXPECT_EQ(v.get_sustain_loop_begin(), 0);
    EXPECT_EQ(v.get_sustain_loop_end(), 0);
    EXPECT_FALSE(l.panning_envelope.is_enabled());
    EXPECT_FALSE(l.pitch_envelope.is_enabled());
    EXPECT_FALSE(l.pitch_use_as_filter);
    EXPECT_EQ(song.get_instrument(1)->layers[0].volume_fadeout, 256);
}

TEST_F(LoaderIT, InstrumentFilesPlaceTheirSamplesInFreeSlots) {
    song.get_sample(0)->in_use = true;  // slot 0 is taken
    IT_Instrument_Layout ins;
    ins.name = "kit";
    ins.number_of_samples = 2;
    for (int n = 0; n < 120; n++) ins.sample[n] = n < 40 ? 1 : n < 80 ? 2 : 9;  // 9: beyond the file's samples
    Byte_Builder file;
    file.raw(it_instrument(ins));
    IT_Sample_Layout a, b;
    a.name = "kick";
    a.length = 3;
    a.data = "abc";
    b.name = "snare";
    b.flags = 1 | 2;
    b.length = 1;
    b.data = std::string("\x10\x20", 2);
    unsigned data_at = 554 + 160;
    file.raw(it_sample_header(a, data_at)).raw(it_sample_header(b, data_at + 3)).raw(a.data).raw(b.data);
    std::string path = write("kit.iti", file.str());

    ASSERT_EQ(ti.loader_it.load_samples_from_instrument(path.c_str()), Loader::SUCCESS);
    ASSERT_EQ(ti.loader_it.get_amount_of_samples(), 2);
    EXPECT_EQ(ti.loader_it.get_sample_name(1), "snare");
    EXPECT_EQ(ti.loader_it.get_sample_name(2), "");
    EXPECT_EQ(ti.loader_it.get_sample_data(5), nullptr);
    EXPECT_EQ(ti.loader_it.get_sample_data(1)->get_size(), 1);
    ti.loader_it.add_sample_to_song(1, 10, true);
    EXPECT_EQ(song.get_sample(10)->name, "snare");
    EXPECT_EQ(song.get_sample(10)->data.get_size(), 1);
    ti.loader_it.free_info(true);

    ASSERT_EQ(ti.file_format_manager.load_instrument(path.c_str(), 4), Loader::SUCCESS);
    Instrument& kit = *song.get_instrument(4);
    EXPECT_EQ(kit.name, "kit");
    EXPECT_EQ(song.get_sample(1)->name, "kick");
    EXPECT_EQ(song.get_sample(2)->name, "snare");
    EXPECT_EQ(kit.layers[0].sample_table[0], 1);
    EXPECT_EQ(kit.layers[0].sample_table[50], 2);
    EXPECT_EQ(kit.layers[0].sample_table[100], 255);
    EXPECT_EQ(ti.file_format_manager.load_instrument(write("bad.iti", "IMPX").c_str(), 4),
              Loader::FILE_FORMAT_NOT_RECOGNIZED);
}

TEST_F(LoaderIT, SampleFilesLoadIntoASlotOrAsPreview) {
    IT_Sample_Layout s;
    s.name = "single";
    s.length = 4;
    s.c5 = 44100;
    s.data = "wxyz";
    std::string path = write("one.its", it_sample_header(s, 80) + s.data);
    ASSERT_EQ(ti.file_format_manager.load_sample(path.c_str(), 7), Loader::SUCCESS);
    EXPECT_EQ(song.get_sample(7)->name, "single");
    EXPECT_EQ(static_cast<const char*>(song.get_sample(7)->data.get_data_ptr())[2], 'y');
    Sample_Data* preview = ti.file_format_manager.load_sample(path.c_str());
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->get_size(), 4);
    EXPECT_EQ(preview->get_c5_freq(), 44100);
    delete preview;
    EXPECT_EQ(ti.loader_it.load_sample(path.c_str(), 99), Loader::FILE_ERROR);
    EXPECT_EQ(ti.file_format_manager.load_sample(write("x.its", "IMPS").c_str(), 1),
              Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(ti.file_format_manager.load_sample(write("y.its", "IMPS").c_str()), nullptr);
}

// A delta table, then nibble indices low first: 3 5 6 2 1 step through 16, -113, 15 (wrapped), 14, 15.
static const std::string ADPCM_TABLE("\x00\x01\xFF\x10\xF0\x7F\x80\x00\x00\x00\x00\x00\x00\x00\x00\x00", 16);
static const std::string ADPCM_NIBBLES("\x53\x26\x01", 3);

TEST_F(LoaderIT, AdpcmSamplesDecodeAndShortOnesKeepWhatIsThere) {
    IT_Module_Builder layout;
    layout.flags = 1 | 8;
    IT_Sample_Layout whole;
    whole.convert = 0xFF;
    whole.length = 5;
    whole.data = ADPCM_TABLE + ADPCM_NIBBLES;
    IT_Sample_Layout cut = whole;  // the file ends after two of its three bytes: four frames
    cut.length = 5;
    cut.data = ADPCM_TABLE + ADPCM_NIBBLES.substr(0, 2);
    layout.samples = {whole, cut};
    ASSERT_EQ(load(layout), Loader::SUCCESS);
    const signed char expected[] = {16, -113, 15, 14, 15};
    for (int slot = 0; slot < 2; slot++) {
        const Sample_Data& data = song.get_sample(slot)->data;
        ASSERT_EQ(data.get_size(), slot == 0 ? 5 : 4) << slot;
        EXPECT_FALSE(data.is_16bit());
        const signed char* frames = static_cast<const signed char*>(data.get_data_ptr());
        for (int i = 0; i < data.get_size(); i++) EXPECT_EQ(frames[i], expected[i]) << slot << ":" << i;
    }

    // A table cut short holds no frame: that sample stays without data, the module loads.
    cut.data = ADPCM_TABLE.substr(0, 10);
    layout.samples = {whole, cut};
    ASSERT_EQ(load(layout), Loader::SUCCESS);
    EXPECT_EQ(song.get_sample(0)->data.get_size(), 5);
    EXPECT_EQ(song.get_sample(1)->data.get_data_ptr(), nullptr);
}

// 256 rows: all load, and the IT and native savers keep them all.
TEST_F(LoaderIT, PatternsOf256RowsKeepEveryRowThroughSaveAndLoad) {
    IT_Module_Builder layout;
    Byte_Builder p;
    p.byte(0x81).byte(0x01).byte(48);
    for (int row = 0; row < 255; row++) p.byte(0);
    p.byte(0x82).byte(0x01).byte(60).byte(0);
    layout.patterns.push_back({256, p.str(), false});
    ASSERT_EQ(load(layout), Loader::SUCCESS);
    for (const char* name : {"", "again.it", "again.wm"}) {
        if (*name) {
            std::string path = dir.file(name);
            ASSERT_EQ(ti.file_format_manager.save_module(path.c_str()), 0) << name;
            ASSERT_EQ(ti.file_format_manager.load_module(path.c_str()), Loader::SUCCESS) << name;
        }
        Pattern& pat = *song.get_pattern(0);
        EXPECT_EQ(pat.get_length(), 256) << name;
        EXPECT_EQ(pat.get_note(0, 0).note, 48) << name;
        EXPECT_EQ(pat.get_note(1, 255).note, 60) << name;
        EXPECT_EQ(pat.get_note_count(), 2) << name;
    }
}

// The macros behind SFx and Zxx come from the file when its special word says they are there,
// after the edit history if there is one. A block the file does not hold in full leaves the
// default macros and says so; the rest of the song loads.
TEST_F(LoaderIT, MidiMacrosAreReadOrLeftAtTheDefault) {
    Midi_Config custom = Midi_Config::default_config();
    custom.set_text(Midi_Config::FIRST_PARAMETERED + 1, "F0F001z");
    custom.set_text(Midi_Config::FIRST_FIXED, "F0F00040");
    custom.set_text(Midi_Config::FIRST_FIXED + 127, std::string(32, 'A'));  // fills its field
    std::string block;
    for (const Midi_Config::Macro& macro : custom.macros) block.append(macro.data(), Midi_Config::MACRO_SIZE);
    std::string garbled = block;
    garbled[Midi_Config::FIRST_FIXED * 32 + 9] = 'Q';  // past the terminator: not part of the macro
    const std::string history = std::string("\x02\x00", 2) + std::string(16, '\x11');
    const std::string huge_history("\xFF\xFF", 2);
    struct Case {
        const char* name;
        unsigned special;
        std::string after_tables;
        size_t cut;  // bytes taken off the end of the file
        bool custom_macros;
        bool warned;
    };
    const Case cases[] = {
        {"block", 8, block, 0, true, false},
        {"history then block", 8 | 2, history + block, 0, true, false},
        {"left-over text after a terminator", 8, garbled, 0, true, false},
        {"block not announced", 0, block, 0, false, false},
        {"block cut short", 8, block, 100, false, true},
        {"history larger than the file", 8 | 2, huge_history + block, 0, false, true},
        {"history count cut short", 8 | 2, std::string(1, '\x01'), 0, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IT_Module_Builder layout;
        layout.special = c.special;
        layout.after_tables = c.after_tables;
        layout.orders = {255};
        std::string bytes = layout.build();
        bytes.resize(bytes.size() - c.cut);
        song.get_variables()->midi_config = custom;  // a load sets it either way
        ASSERT_EQ(ti.file_format_manager.load_module(write("m.it", bytes).c_str()), Loader::SUCCESS);
        const Midi_Config& loaded = song.get_variables()->midi_config;
        EXPECT_TRUE(loaded == (c.custom_macros ? custom : Midi_Config::default_config()));
        bool warned = false;
        for (const std::string& line : ti.loader_it.get_warnings())
            warned |= line.find("MIDI configuration") != std::string::npos;
        EXPECT_EQ(warned, c.warned);
    }
}
