#pragma once

#include <string>
#include <vector>

#include "support/byte_builder.h"

// Small Impulse Tracker files, written by hand for the loader and saver tests.
struct IT_Sample_Layout {
    std::string name = "sample";
    unsigned flags = 1;  // present
    unsigned convert = 1;
    unsigned global_volume = 64, default_volume = 64, default_pan = 32;
    unsigned length = 0, loop_begin = 0, loop_end = 0, c5 = 8363;
    unsigned vibrato[4] = {0, 0, 0, 0};
    std::string data;  // the bytes stored at the data offset
};

inline std::string it_sample_header(const IT_Sample_Layout& s, unsigned data_offset, const char* magic = "IMPS") {
    Byte_Builder b;
    b.raw(std::string(magic, 4)).text("FILENAME.ITS", 12).byte(0).byte(s.global_volume).byte(s.flags);
    b.byte(s.default_volume).text(s.name, 26).byte(s.convert).byte(s.default_pan);
    b.dword(s.length).dword(s.loop_begin).dword(s.loop_end).dword(s.c5).dword(0).dword(0).dword(data_offset);
    for (unsigned v : s.vibrato) b.byte(v);
    return b.str();
}

struct IT_Envelope_Layout {
    unsigned flags = 0, loop_begin = 0, loop_end = 0, sustain_begin = 0, sustain_end = 0;
    std::vector<std::pair<int, int>> nodes;  // (tick, value)
    int count_override = -1;                  // node count byte, when it should differ from nodes.size()
};

struct IT_Instrument_Layout {
    std::string name = "instrument";
    unsigned nna = 0, dct = 0, dca = 0, fadeout = 0;
    int pps = 0;
    unsigned ppc = 60, global_volume = 128, default_pan = 32 | 128, random_volume = 0, random_pan = 0;
    unsigned number_of_samples = 0, cutoff = 0, resonance = 0;
    unsigned note[120], sample[120];
    IT_Envelope_Layout env[3];
    IT_Instrument_Layout() {
        for (int i = 0; i < 120; i++) {
            note[i] = (unsigned)i;
            sample[i] = 0;
        }
    }
};

inline std::string it_instrument(const IT_Instrument_Layout& s, const char* magic = "IMPI") {
    Byte_Builder b;
    b.raw(std::string(magic, 4)).text("INSTRUM.ITI", 12).byte(0).byte(s.nna).byte(s.dct).byte(s.dca).word(s.fadeout);
    b.byte((unsigned)s.pps).byte(s.ppc).byte(s.global_volume).byte(s.default_pan).byte(s.random_volume);
    b.byte(s.random_pan).word(0x0214).byte(s.number_of_samples).byte(0).text(s.name, 26).byte(s.cutoff);
    b.byte(s.resonance).byte(0).byte(0).word(0);
    for (int i = 0; i < 120; i++) b.byte(s.note[i]).byte(s.sample[i]);
    for (const IT_Envelope_Layout& e : s.env) {
        b.byte(e.flags).byte(e.count_override >= 0 ? (unsigned)e.count_override : (unsigned)e.nodes.size());
        b.byte(e.loop_begin).byte(e.loop_end).byte(e.sustain_begin).byte(e.sustain_end);
        for (int i = 0; i < 25; i++) {
            if (i < (int)e.nodes.size())
                b.byte((unsigned)e.nodes[i].second).word((unsigned)e.nodes[i].first);
            else
                b.byte(0).word(0);
        }
        b.byte(0);
    }
    b.dword(0);
    return b.str();
}

// The Impulse Tracker 1.x layout (compatible-with below 0x200): volume envelope only, nodes as
// (tick, value) bytes ended by tick 255, and the fade-out counting against 512.
inline std::string it_old_instrument(const IT_Instrument_Layout& s) {
    const IT_Envelope_Layout& e = s.env[0];
    Byte_Builder b;
    b.raw("IMPI").text("OLDINS.ITI", 12).byte(0).byte(e.flags).byte(e.loop_begin).byte(e.loop_end);
    b.byte(e.sustain_begin).byte(e.sustain_end).word(0).word(s.fadeout).byte(s.nna).byte(s.dct);
    b.word(0x0100).byte(s.number_of_samples).byte(0).text(s.name, 26).fill(6);
    for (int i = 0; i < 120; i++) b.byte(s.note[i]).byte(s.sample[i]);
    b.fill(200, 0x40);  // the drawn envelope, which the nodes override
    for (int i = 0; i < 25; i++) {
        if (i < (int)e.nodes.size())
            b.byte((unsigned)e.nodes[i].first).byte((unsigned)e.nodes[i].second);
        else
            b.byte(0xFF).byte(0);
    }
    return b.str();
}

struct IT_Pattern_Layout {
    unsigned rows = 64;
    std::string packed;  // empty with absent = true: offset 0
    bool absent = false;
};

struct IT_Module_Builder {
    std::string title = "test song";
    unsigned hilight_minor = 4, hilight_major = 16;
    unsigned created_with = 0x0214, compatible_with = 0x0214, flags = 1 | 4 | 8, special = 0;
    unsigned global_volume = 128, mixing_volume = 48, speed = 6, tempo = 125, separation = 128;
    unsigned char pan[64], volume[64];
    std::vector<unsigned> orders = {0, 255};
    std::string message;
    std::string after_tables;  // edit history and MIDI macros, as the special word announces them
    std::vector<std::string> instruments;  // whole 554-byte blobs
    std::vector<IT_Sample_Layout> samples;
    std::vector<IT_Pattern_Layout> patterns;
    IT_Module_Builder() {
        for (int i = 0; i < 64; i++) {
            pan[i] = 32;
            volume[i] = 64;
        }
    }

    std::string build() const {
        Byte_Builder b;
        b.raw("IMPM").text(title, 26).byte(hilight_minor).byte(hilight_major);
        b.word((unsigned)orders.size()).word((unsigned)instruments.size()).word((unsigned)samples.size());
        b.word((unsigned)patterns.size()).word(created_with).word(compatible_with).word(flags).word(special);
        b.byte(global_volume).byte(mixing_volume).byte(speed).byte(tempo).byte(separation).byte(0);
        b.word((unsigned)message.size()).dword(0).dword(0);
        for (unsigned char p : pan) b.byte(p);
        for (unsigned char v : volume) b.byte(v);
        for (unsigned o : orders) b.byte(o);
        size_t tables = b.size();
        b.fill(4 * (instruments.size() + samples.size() + patterns.size()));
        b.raw(after_tables);
        size_t slot = tables;
        b.put_dword(56, (unsigned)b.size());
        b.raw(message);
        for (const std::string& ins : instruments) {
            b.put_dword(slot, (unsigned)b.size());
            slot += 4;
            b.raw(ins);
        }
        std::vector<size_t> header_at;
        for (const IT_Sample_Layout& s : samples) {
            b.put_dword(slot, (unsigned)b.size());
            slot += 4;
            header_at.push_back(b.size());
            b.raw(it_sample_header(s, 0));
        }
        for (size_t i = 0; i < samples.size(); i++) {
            b.put_dword(header_at[i] + 72, (unsigned)b.size());
            b.raw(samples[i].data);
        }
        for (const IT_Pattern_Layout& p : patterns) {
            if (!p.absent) b.put_dword(slot, (unsigned)b.size());
            slot += 4;
            if (p.absent) continue;
            b.word((unsigned)p.packed.size()).word(p.rows).dword(0).raw(p.packed);
        }
        return b.str();
    }
};
