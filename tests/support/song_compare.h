#pragma once

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "trackercore/song.h"

// Everything the IT format carries, compared field by field (file names excepted).
inline void expect_envelopes_equal(const Envelope& a, const Envelope& b, const std::string& where) {
    EXPECT_EQ(a.is_enabled(), b.is_enabled()) << where;
    EXPECT_EQ(a.is_loop_enabled(), b.is_loop_enabled()) << where;
    EXPECT_EQ(a.is_sustain_loop_enabled(), b.is_sustain_loop_enabled()) << where;
    EXPECT_EQ(a.is_carry_enabled(), b.is_carry_enabled()) << where;
    EXPECT_EQ(a.get_loop_begin(), b.get_loop_begin()) << where;
    EXPECT_EQ(a.get_loop_end(), b.get_loop_end()) << where;
    EXPECT_EQ(a.get_sustain_loop_begin(), b.get_sustain_loop_begin()) << where;
    EXPECT_EQ(a.get_sustain_loop_end(), b.get_sustain_loop_end()) << where;
    ASSERT_EQ(a.get_node_count(), b.get_node_count()) << where;
    for (int i = 0; i < a.get_node_count(); i++) {
        EXPECT_EQ(a.get_node_offset(i), b.get_node_offset(i)) << where << " node " << i;
        EXPECT_EQ(a.get_node_height(i), b.get_node_height(i)) << where << " node " << i;
    }
}

// An IT file keeps three of the playback rules, its header's switches; the song read back
// plays by IT's rules otherwise. Checks those three and gives the copy the original's rules,
// so that comparing the songs covers all else the file holds.
inline void expect_it_switches_kept(const Song& original, Song& copy) {
    const Playback_Rules &from = original.variables.rules, &back = copy.variables.rules;
    EXPECT_EQ(back.use_linear_slides, from.use_linear_slides);
    EXPECT_EQ(back.old_effects, from.old_effects);
    EXPECT_EQ(back.compatible_gxx, from.compatible_gxx);
    copy.variables.rules = from;
}

inline void expect_songs_equal(Song& a, Song& b) {
    const Song::Song_Variables &va = *a.get_variables(), &vb = *b.get_variables();
    EXPECT_EQ(va.name, vb.name);
    EXPECT_EQ(va.message, vb.message);
    EXPECT_EQ(va.row_hilight_minor, vb.row_hilight_minor);
    EXPECT_EQ(va.row_hilight_major, vb.row_hilight_major);
    EXPECT_EQ(va.mixing_volume, vb.mixing_volume);
    EXPECT_EQ(va.stereo_separation, vb.stereo_separation);
    EXPECT_EQ(va.use_stereo, vb.use_stereo);
    for (int i = 0; i < Midi_Config::MACROS; i++) EXPECT_EQ(va.midi_config.text(i), vb.midi_config.text(i)) << "macro " << i;
    for (const Playback_Rules::Entry& rule : Playback_Rules::list())
        EXPECT_EQ(rule.flag ? (int)(va.rules.*rule.flag) : va.rules.*rule.number,
                  rule.flag ? (int)(vb.rules.*rule.flag) : vb.rules.*rule.number) << rule.key;
    const Song::Initial_Variables &ia = *a.get_initial_variables(), &ib = *b.get_initial_variables();
    EXPECT_EQ(ia.global_volume, ib.global_volume);
    EXPECT_EQ(ia.speed, ib.speed);
    EXPECT_EQ(ia.tempo, ib.tempo);
    for (int c = 0; c < Song::CHANNELS; c++) {
        EXPECT_EQ(ia.channel[c].pan, ib.channel[c].pan) << "channel " << c;
        EXPECT_EQ(ia.channel[c].volume, ib.channel[c].volume) << "channel " << c;
        EXPECT_EQ(ia.channel[c].surround, ib.channel[c].surround) << "channel " << c;
        EXPECT_EQ(ia.channel[c].mute, ib.channel[c].mute) << "channel " << c;
    }
    for (int i = 0; i < Song::MAX_ORDERS; i++) EXPECT_EQ(a.get_order(i), b.get_order(i)) << "order " << i;
    for (int p = 0; p < Song::MAX_PATTERNS; p++) {
        Pattern &pa = *a.get_pattern(p), &pb = *b.get_pattern(p);
        ASSERT_EQ(pa.get_length(), pb.get_length()) << "pattern " << p;
        int mismatches = 0;
        for (int r = 0; r < pa.get_length(); r++)
            for (int c = 0; c < Pattern::CHANNELS; c++)
                if (!(pa.get_note(c, r) == pb.get_note(c, r)) && mismatches++ < 3)
                    ADD_FAILURE() << "pattern " << p << " row " << r << " channel " << c;
    }
    for (int s = 0; s < Song::MAX_SAMPLES; s++) {
        Sample &sa = *a.get_sample(s), &sb = *b.get_sample(s);
        std::string where = "sample " + std::to_string(s);
        EXPECT_EQ(sa.in_use, sb.in_use) << where;
        // A sample name may fill all 26 bytes of an IT field; a saved IT keeps 25 and its NUL,
        // other formats keep it whole.
        if (sb.name.size() < sa.name.size())
            EXPECT_EQ(sa.name.substr(0, 25), sb.name) << where;
        else
            EXPECT_EQ(sa.name, sb.name) << where;
        // An unused, unnamed slot is empty whatever defaults it carries; the saver drops such
        // slots after the last real sample.
        if (!sa.in_use && !sb.in_use && sa.name.empty() && sb.name.empty()) continue;
        EXPECT_EQ(sa.def_volume, sb.def_volume) << where;
        EXPECT_EQ(sa.glb_volume, sb.glb_volume) << where;
        EXPECT_EQ(sa.def_panning_active, sb.def_panning_active) << where;
        EXPECT_EQ(sa.def_panning, sb.def_panning) << where;
        EXPECT_EQ(sa.vibrato_type, sb.vibrato_type) << where;
        EXPECT_EQ(sa.vibrato_speed, sb.vibrato_speed) << where;
        EXPECT_EQ(sa.vibrato_depth, sb.vibrato_depth) << where;
        EXPECT_EQ(sa.vibrato_rate, sb.vibrato_rate) << where;
        const Sample_Data &da = sa.data, &db = sb.data;
        EXPECT_EQ(da.is_loop_enabled(), db.is_loop_enabled()) << where;
        EXPECT_EQ(da.is_loop_ping_pong(), db.is_loop_ping_pong()) << where;
        EXPECT_EQ(da.get_loop_begin(), db.get_loop_begin()) << where;
        EXPECT_EQ(da.get_loop_end(), db.get_loop_end()) << where;
        EXPECT_EQ(da.get_c5_freq(), db.get_c5_freq()) << where;
        EXPECT_EQ(da.is_16bit(), db.is_16bit()) << where;
        ASSERT_EQ(da.get_size(), db.get_size()) << where;
        ASSERT_EQ(da.get_data_ptr() != nullptr, db.get_data_ptr() != nullptr) << where;
        if (da.get_data_ptr()) {
            EXPECT_EQ(std::memcmp(da.get_data_ptr(), db.get_data_ptr(), (size_t)da.get_byte_size()), 0) << where;
        }
    }
    for (int i = 0; i < Song::MAX_INSTRUMENTS; i++) {
        Instrument &ia_ = *a.get_instrument(i), &ib_ = *b.get_instrument(i);
        std::string where = "instrument " + std::to_string(i);
        EXPECT_EQ(ia_.name, ib_.name) << where;
        const Instrument::Layer &la = ia_.layers[0], &lb = ib_.layers[0];
        auto plays_nothing = [](const Instrument& ins) {
            for (unsigned char s : ins.layers[0].sample_table)
                if (s != 255) return false;
            return ins.name.empty();
        };
        // Likewise an unnamed instrument that plays no sample is an empty slot.
        if (plays_nothing(ia_) && plays_nothing(ib_)) continue;
        EXPECT_EQ(std::memcmp(la.sample_table, lb.sample_table, NOTE_COUNT), 0) << where;
        EXPECT_EQ(std::memcmp(la.note_table, lb.note_table, NOTE_COUNT), 0) << where;
        EXPECT_EQ(la.nna_type, lb.nna_type) << where;
        EXPECT_EQ(la.dc_type, lb.dc_type) << where;
        EXPECT_EQ(la.dc_action, lb.dc_action) << where;
        EXPECT_EQ(la.volume_amount, lb.volume_amount) << where;
        EXPECT_EQ(la.volume_fadeout, lb.volume_fadeout) << where;
        EXPECT_EQ(la.volume_random, lb.volume_random) << where;
        EXPECT_EQ(la.pan_use_default, lb.pan_use_default) << where;
        EXPECT_EQ(la.pan_default, lb.pan_default) << where;
        EXPECT_EQ(la.pitch_separation, lb.pitch_separation) << where;
        EXPECT_EQ(la.pitch_center, lb.pitch_center) << where;
        EXPECT_EQ(la.pan_random, lb.pan_random) << where;
        EXPECT_EQ(la.pitch_use_as_filter, lb.pitch_use_as_filter) << where;
        EXPECT_EQ(la.pitch_use_default_cutoff, lb.pitch_use_default_cutoff) << where;
        EXPECT_EQ(la.pitch_default_cutoff, lb.pitch_default_cutoff) << where;
        EXPECT_EQ(la.pitch_use_default_Q, lb.pitch_use_default_Q) << where;
        EXPECT_EQ(la.pitch_default_Q, lb.pitch_default_Q) << where;
        expect_envelopes_equal(la.volume_envelope, lb.volume_envelope, where + " volume envelope");
        expect_envelopes_equal(la.panning_envelope, lb.panning_envelope, where + " panning envelope");
        expect_envelopes_equal(la.pitch_envelope, lb.pitch_envelope, where + " pitch envelope");
    }
}

// Every field of every layer, for formats that keep all four (the native one, copies).
inline void expect_instruments_equal(const Instrument& a, const Instrument& b, const std::string& where) {
    EXPECT_EQ(a.name, b.name) << where;
    EXPECT_EQ(a.channel_output, b.channel_output) << where;
    for (int l = 0; l < Instrument::LAYERS; l++) {
        const Instrument::Layer &la = a.layers[l], &lb = b.layers[l];
        std::string at = where + " layer " + std::to_string(l);
        EXPECT_EQ(std::memcmp(la.sample_table, lb.sample_table, NOTE_COUNT), 0) << at;
        EXPECT_EQ(std::memcmp(la.note_table, lb.note_table, NOTE_COUNT), 0) << at;
        const Property_Bridge_List &pa = la.get_properties(), &pb = lb.get_properties();
        auto ia = pa.begin(), ib = pb.begin();
        for (; ia != pa.end() && ib != pb.end(); ++ia, ++ib) {
            if (auto* x = dynamic_cast<Int_Property_Bridge*>(*ia)) {
                EXPECT_EQ(x->get(), static_cast<Int_Property_Bridge*>(*ib)->get()) << at << " " << x->get_name();
            } else if (auto* y = dynamic_cast<Bool_Property_Bridge*>(*ia)) {
                EXPECT_EQ(y->get(), static_cast<Bool_Property_Bridge*>(*ib)->get()) << at << " " << y->get_name();
            }
        }
        EXPECT_EQ(la.nna_type, lb.nna_type) << at;
        EXPECT_EQ(la.dc_type, lb.dc_type) << at;
        EXPECT_EQ(la.dc_action, lb.dc_action) << at;
        expect_envelopes_equal(la.volume_envelope, lb.volume_envelope, at + " volume envelope");
        expect_envelopes_equal(la.panning_envelope, lb.panning_envelope, at + " panning envelope");
        expect_envelopes_equal(la.pitch_envelope, lb.pitch_envelope, at + " pitch envelope");
    }
}
