#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/components/audio/effect.h"
#include "common/components/audio/effect_source_manager.h"
#include "common/components/audio/mixer.h"
#include "trackercore/song.h"

// A song and mixer that use everything the native files carry, and field-by-field checks.

inline void fill_sample(Sample& s, int frames, bool sixteen, unsigned seed) {
    s.reset(true);
    void* block = std::malloc((size_t)frames * (sixteen ? 2 : 1));
    for (int i = 0; i < frames; i++) {
        seed = seed * 1103515245u + 12345u;
        if (sixteen) static_cast<std::int16_t*>(block)[i] = (std::int16_t)(seed >> 16);
        else static_cast<std::int8_t*>(block)[i] = (std::int8_t)(seed >> 24);
    }
    s.data.set_data_ptr(block, frames, sixteen);
    s.in_use = true;
}

inline void build_rich_song(Song& song) {
    Song::Song_Variables& v = *song.get_variables();
    v.name = "Native round trip";
    v.message = "line one\nline two";
    v.row_hilight_minor = 3;
    v.row_hilight_major = 12;
    v.mixing_volume = 77;
    v.stereo_separation = 99;
    v.use_stereo = false;
    v.rules.use_linear_slides = false;
    v.rules.old_effects = true;
    v.rules.compatible_gxx = true;
    v.rules.fadeout_scale = Playback_Rules::FADEOUT_SCALE_XM;
    v.rules.empty_order_ends_song = false;
    v.rules.key_off_cuts_without_envelope = true;
    v.rules.instrument_without_note = Playback_Rules::INSTRUMENT_WITHOUT_NOTE_RETRIGGERS;
    v.rules.global_volume_slide_step = 2;
    v.rules.pattern_loop_carries_over = true;
    v.rules.offset_past_end_cuts_note = true;
    v.midi_config.set_text(Midi_Config::FIRST_PARAMETERED + 2, "F0F001z");
    v.midi_config.set_text(Midi_Config::FIRST_FIXED + 20, "F0F00010");
    Song::Initial_Variables& iv = *song.get_initial_variables();
    iv.global_volume = 100;
    iv.speed = 5;
    iv.tempo = 140;
    for (int c = 0; c < Song::CHANNELS; c++) {
        iv.channel[c].pan = (c * 7) % 65;
        iv.channel[c].volume = 64 - c;
        iv.channel[c].surround = c % 5 == 0;
        iv.channel[c].mute = c % 9 == 3;
    }
    for (int i = 0; i < 12; i++) song.set_order(i, (short)(i % 4));
    song.set_order(4, Song::ORDER_SEPARATOR);
    song.set_order(7, Song::ORDER_SKIP);

    // Many slots, every kind of data, with gaps between them.
    for (int s = 0; s < 40; s++) {
        Sample& smp = *song.get_sample(s * 2 + 1);
        bool sixteen = s % 2 == 0;
        fill_sample(smp, 200 + s * 37, sixteen, (unsigned)s + 1);
        smp.name = "sample " + std::to_string(s);
        smp.def_volume = s % 65;
        smp.glb_volume = 64 - s;
        smp.def_panning_active = s % 3 == 0;
        smp.def_panning = (s * 5) % 65;
        smp.vibrato_type = s % 4;
        smp.vibrato_speed = s % 65;
        smp.vibrato_depth = s % 33;
        smp.vibrato_rate = (s * 11) % 256;
        smp.data.set_c5_freq(8000 + s * 1000);
        if (s % 3 != 2) {
            smp.data.set_loop_enabled(true);
            smp.data.set_loop_begin(10 + s);
            smp.data.set_loop_end(150 + s);
            smp.data.set_loop_ping_pong(s % 3 == 1);
        }
    }

    for (int i = 0; i < 6; i++) {
        Instrument& ins = *song.get_instrument(i * 3);
        ins.name = "instrument " + std::to_string(i);
        ins.channel_output = i % 16;
        for (int l = 0; l < Instrument::LAYERS; l++) {
            Instrument::Layer& layer = ins.layers[l];
            layer.override_instrument_output = (i + l) % 2 == 0;
            layer.channel_output = (i + l) % 16;
            for (int n = 0; n < NOTE_COUNT; n++) {
                layer.sample_table[n] = (n + l) % 5 == 0 ? 255 : (unsigned char)(((n / 12 + l + i) % 40) * 2 + 1);
                layer.note_table[n] = (unsigned char)((n + l) % NOTE_COUNT);
            }
            layer.nna_type = l % 4;
            layer.dc_type = (l + 1) % 4;
            layer.dc_action = (l + 2) % 3;
            layer.volume_amount = 100 + l;
            layer.volume_fadeout = 200 + l;
            layer.volume_random = l == 3 ? 20 : 0;
            layer.pan_use_default = l % 2 == 1;
            layer.pan_default = 10 + l;
            layer.pitch_separation = -5 - l;
            layer.pitch_center = 60 + l;
            layer.pan_random = l == 3 ? 7 : 0;
            layer.pitch_use_as_filter = l == 2;
            layer.pitch_use_default_cutoff = l == 1;
            layer.pitch_default_cutoff = 90 + l;
            layer.pitch_use_default_Q = l == 0;
            layer.pitch_default_Q = 30 + l;
            Envelope* envs[3] = {&layer.volume_envelope, &layer.panning_envelope, &layer.pitch_envelope};
            for (int e = 0; e < 3; e++) {
                Envelope& env = *envs[e];
                env.set_node_offset(1, 30 + e, e == 0 ? 40 : -12);
                env.add_node_at_offset(10 + l, e == 0 ? 60 : 20);
                env.add_node_at_offset(80 + i, e == 0 ? 5 : -30);
                env.set_enabled(true);
                env.set_loop_enabled(e != 1);
                env.set_loop_begin(1);
                env.set_loop_end(2);
                env.set_sustain_loop_enabled(e != 2);
                env.set_sustain_loop_begin(0);
                env.set_sustain_loop_end(1);
            }
        }
    }

    // Every kind of cell: notes, note off and cut, instruments, every volume range,
    // commands with and without parameters, a lone parameter, repeats and gaps.
    const unsigned char volumes[] = {0, 64, 70, 80, 90, 100, 110, 120, 128, 160, 192, 195, 205, 255};
    for (int p = 0; p < 4; p++) {
        Pattern& pat = *song.get_pattern(p);
        pat.set_length((unsigned char)(32 + p * 40));
        for (int r = 0; r < pat.get_length(); r += 1 + p) {
            for (int c = (r + p) % 3; c < Pattern::CHANNELS; c += 5 + p) {
                Note n;
                int k = r * 7 + c * 3 + p;
                n.note = k % 11 == 0   ? NOTE_OFF
                         : k % 13 == 0 ? NOTE_CUT
                         : k % 19 == 0 ? NOTE_FADE
                         : k % 17 == 0 ? 255
                                       : (unsigned char)(k % 120);
                n.instrument = k % 7 == 0 ? 255 : (unsigned char)((k / 3) % 6 * 3);
                n.volume = volumes[k % 14];
                n.command = k % 4 == 0 ? 255 : (unsigned char)(k % 26);
                n.parameter = k % 4 == 0 && k % 8 != 0 ? 0 : (unsigned char)(k * 13);
                if (r % 4 == 2) n = pat.get_note(c, r > 0 ? r - 1 - p : 0);  // repeats
                pat.get_note_ref(c, r) = n;
            }
        }
        pat.get_note_ref(0, 0);
    }
    song.get_pattern(150)->set_length(99);  // empty, but with its own length
}

inline Effect* make_effect(const std::string& name) {
    return Effect_Source_Manager::get_singleton_instance()->instantiate_effect_by_name(name);
}

// Moves every property of an effect away from its default, within its range.
inline void detune_properties(Effect* effect, int salt) {
    int i = 0;
    for (Property_Bridge* b : effect->get_properties()) {
        i++;
        if (auto* ib = dynamic_cast<Int_Property_Bridge*>(b)) {
            int span = ib->get_max() - ib->get_min();
            int v = ib->get_min() + (span > 0 ? (7 * i + salt) % (span + 1) : 0);
            if (v == ib->get()) v = v == ib->get_max() ? ib->get_min() : v + 1;
            ib->set(v);
        } else if (auto* fb = dynamic_cast<Float_Property_Bridge*>(b)) {
            float span = fb->get_max() - fb->get_min();
            fb->set(fb->get_min() + span * (0.3f + 0.05f * (float)i));
        } else if (auto* bb = dynamic_cast<Bool_Property_Bridge*>(b)) {
            bb->set(!bb->get());
        }
    }
}

inline void expect_properties_equal(Effect* a, Effect* b, const std::string& where) {
    Property_Bridge_List pa = a->get_properties(), pb = b->get_properties();
    ASSERT_EQ(pa.size(), pb.size()) << where;
    for (size_t i = 0; i < pa.size(); i++) {
        std::string w = where + " property " + pa[i]->get_name();
        ASSERT_EQ(pa[i]->get_type(), pb[i]->get_type()) << w;
        if (auto* ia = dynamic_cast<Int_Property_Bridge*>(pa[i])) {
            EXPECT_EQ(ia->get(), dynamic_cast<Int_Property_Bridge*>(pb[i])->get()) << w;
        } else if (auto* fa = dynamic_cast<Float_Property_Bridge*>(pa[i])) {
            EXPECT_EQ(fa->get(), dynamic_cast<Float_Property_Bridge*>(pb[i])->get()) << w;
        } else if (auto* ba = dynamic_cast<Bool_Property_Bridge*>(pa[i])) {
            EXPECT_EQ(ba->get(), dynamic_cast<Bool_Property_Bridge*>(pb[i])->get()) << w;
        }
    }
}

inline void expect_chains_equal(Effect_Chain* a, Effect_Chain* b, const std::string& where) {
    ASSERT_EQ(a->get_effect_count(), b->get_effect_count()) << where;
    for (int i = 0; i < a->get_effect_count(); i++) {
        EXPECT_EQ(a->get_effect(i)->get_name(), b->get_effect(i)->get_name()) << where << " effect " << i;
        expect_properties_equal(a->get_effect(i), b->get_effect(i), where + " effect " + std::to_string(i));
    }
}

inline void expect_mixers_equal(Mixer& a, Mixer& b) {
    ASSERT_EQ(a.get_buffer_count(), b.get_buffer_count());
    for (int i = 0; i < a.get_buffer_count(); i++) {
        std::string w = "buffer " + std::to_string(i);
        EXPECT_EQ(a.get_buffer_name(i), b.get_buffer_name(i)) << w;
        expect_chains_equal(a.get_buffer_effect_chain(i), b.get_buffer_effect_chain(i), w);
        ASSERT_EQ(a.get_buffer_output_count(i), b.get_buffer_output_count(i)) << w;
        for (int o = 0; o < a.get_buffer_output_count(i); o++) {
            EXPECT_EQ(a.get_buffer_output_buffer_index(i, o), b.get_buffer_output_buffer_index(i, o)) << w;
            EXPECT_EQ(a.get_buffer_output_send_level(i, o), b.get_buffer_output_send_level(i, o)) << w;
            EXPECT_EQ(a.get_buffer_output_send_control(i, o), b.get_buffer_output_send_control(i, o)) << w;
        }
    }
    ASSERT_EQ(a.get_channel_count(), b.get_channel_count());
    for (int c = 0; c < a.get_channel_count(); c++) {
        std::string w = "channel " + std::to_string(c);
        expect_chains_equal(a.get_channel_effect_chain(c), b.get_channel_effect_chain(c), w);
        ASSERT_EQ(a.get_channel_output_count(c), b.get_channel_output_count(c)) << w;
        for (int o = 0; o < a.get_channel_output_count(c); o++) {
            EXPECT_EQ(a.get_channel_output_buffer_index(c, o), b.get_channel_output_buffer_index(c, o)) << w;
            EXPECT_EQ(a.get_channel_output_send_level(c, o), b.get_channel_output_send_level(c, o)) << w;
            EXPECT_EQ(a.get_channel_output_send_control(c, o), b.get_channel_output_send_control(c, o)) << w;
        }
    }
}

// Three buffers routed into each other, channels sending to several places, and every
// built-in effect (and the given plug-in, when there is one) with non-default settings.
inline void build_rich_mixer(Mixer& mixer, const std::string& ladspa_name = "") {
    for (int i = 0; i < 3; i++) mixer.add_buffer();
    mixer.set_buffer_name(0, "Reverb bus");
    mixer.set_buffer_name(2, "Drums");
    mixer.set_buffer_output_send_level(1, 0, 90);
    mixer.add_buffer_output(1);
    mixer.set_buffer_output_buffer_index(1, 1, 0);
    mixer.set_buffer_output_send_level(1, 1, 40);
    mixer.set_buffer_output_send_control(1, 1, 12);
    mixer.set_buffer_output_buffer_index(2, 0, 1);
    mixer.add_buffer_output(2);
    mixer.set_buffer_output_buffer_index(2, 1, 0);
    mixer.set_buffer_output_send_control(2, 1, 127);
    for (int c = 0; c < mixer.get_channel_count(); c += 3) {
        mixer.set_channel_output_send_level(c, 0, 100 - c);
        mixer.add_channel_output(c);
        mixer.set_channel_output_buffer_index(c, 1, c % 3);
        mixer.set_channel_output_send_level(c, 1, c * 5);
        mixer.set_channel_output_send_control(c, 1, c);
    }
    mixer.remove_channel_output(4, 0);  // a channel that sends nowhere
    const char* builtins[] = {"amplifier", "distort", "echo", "stereo_enhancer", "chorus", "freeverb"};
    int salt = 0;
    for (const char* name : builtins) {
        Effect* e = make_effect(name);
        detune_properties(e, salt++);
        mixer.get_buffer_effect_chain(salt % 3)->add_effect(e);
        Effect* f = make_effect(name);
        detune_properties(f, salt + 10);
        mixer.get_channel_effect_chain(salt * 2)->add_effect(f);
    }
    if (!ladspa_name.empty()) {
        if (Effect* e = make_effect(ladspa_name)) {
            detune_properties(e, 3);
            mixer.get_channel_effect_chain(1)->add_effect(e);
        }
    }
}
