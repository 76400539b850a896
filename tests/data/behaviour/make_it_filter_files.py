#!/usr/bin/env python3
"""Writes the small IT filter, note-change and pan modules of this folder.

Each module plays looped white noise (so the level after the resonant filter says how far it is
open) through instruments with the filter settings below, one note per row. Run it from
anywhere: the files land beside this script.

    python3 tests/data/behaviour/make_it_filter_files.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def noise(frames=4096):
    out, x = bytearray(), 12345
    for _ in range(frames):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out.append(((x >> 16) % 160 - 80) & 0xFF)
    return bytes(out)


NOISE = noise()
SINE = bytes((int(round(100 * math.sin(2 * math.pi * i / 64))) & 0xFF) for i in range(64))
C5 = 60
NOTE_OFF, NOTE_CUT = 255, 254


def cell(note=None, instrument=None, volume=None, command=None, parameter=0):
    """command: an effect letter ('Z', 'G', '\\\\'...)."""
    return (note, instrument, volume, None if command is None else ord(command) - 64, parameter)


def pack_pattern(rows, channels):
    out = bytearray()
    for row in rows:
        for c in range(channels):
            n, i, v, cmd, p = row[c] if c < len(row) else (None,) * 5
            mask = (n is not None) | (i is not None) << 1 | (v is not None) << 2 | (cmd is not None) << 3
            if not mask:
                continue
            out += bytes((128 | (c + 1), mask))
            if n is not None: out.append(n)
            if i is not None: out.append(i)
            if v is not None: out.append(v)
            if cmd is not None: out += bytes((cmd, p))
        out.append(0)
    return struct.pack("<HH4x", len(out), len(rows)) + bytes(out)


def instrument(name, cutoff=None, resonance=None, filter_envelope=None, nna=0):
    """cutoff, resonance: 0..127, or None to leave the channel's. filter_envelope: (tick, value -32..32) nodes."""
    head = b"IMPI" + bytes(12) + bytes((0, nna, 0, 0)) + struct.pack("<H", 256) + bytes((0, 60, 128, 32 | 128, 0, 0))
    head += struct.pack("<HBB", 0x0214, 1, 0) + name.encode().ljust(26, b"\0")[:26]
    head += bytes((0 if cutoff is None else 128 | cutoff, 0 if resonance is None else 128 | resonance, 0, 0))
    head += struct.pack("<H", 0)
    head += b"".join(bytes((n, 1)) for n in range(120))
    envelopes = b""
    for e in range(3):
        nodes, flags = [(0, 64 if e == 0 else 0), (10, 64 if e == 0 else 0)], 0
        if e == 2 and filter_envelope:
            nodes, flags = [(t, v) for t, v in filter_envelope], 1 | 128
        env = bytes((flags, len(nodes), 0, 0, 0, 0))
        for k in range(25):
            t, v = nodes[k] if k < len(nodes) else (0, 0)
            env += struct.pack("<bH", v, t)
        envelopes += env + b"\0"
    data = head + envelopes
    return data + bytes(554 - len(data))


def write_it(name, instruments, rows, channels=1, speed=6, tempo=125, macros=None, wave=NOISE):
    """macros: {index: text} over the 9 + 16 + 128 slots of a MIDI configuration, written when given."""
    patterns = [pack_pattern(rows, channels)]
    orders = bytes((0, 255))
    special = 8 if macros is not None else 0
    header = b"IMPM" + name.encode().ljust(26, b"\0")[:26] + bytes((4, 16))
    header += struct.pack("<HHHHHHHH", len(orders), len(instruments), 1, 1, 0x0214, 0x0214, 1 | 4 | 8, special)
    header += bytes((128, 48, speed, tempo, 128, 0)) + struct.pack("<HII", 0, 0, 0)
    header += bytes([32] * channels + [32 | 128] * (64 - channels)) + bytes([64] * 64)
    tables_at = len(header) + len(orders)
    config = b""
    if macros is not None:
        config = b"".join(macros.get(i, "").encode().ljust(32, b"\0") for i in range(9 + 16 + 128))
    at = tables_at + 4 * (len(instruments) + 2) + len(config)
    offsets, body = [], b""
    for ins in instruments:
        offsets.append(at + len(body))
        body += ins
    sample_at = at + len(body)
    data_at = sample_at + 80
    sample = b"IMPS" + bytes(12) + bytes((0, 64, 1 | 16, 64)) + b"noise".ljust(26, b"\0") + bytes((1, 32))
    sample += struct.pack("<IIIIIII", len(wave), 0, len(wave), 8363 * 4, 0, 0, data_at) + bytes(4)
    body += sample + wave
    pattern_at = at + len(body)
    body += patterns[0]
    tables = struct.pack("<%dI" % len(instruments), *offsets) + struct.pack("<II", sample_at, pattern_at)
    with open(os.path.join(HERE, name + ".it"), "wb") as f:
        f.write(header + orders + tables + config + body)


def rows_of(cells, length=None):
    return [[c] for c in cells] + [[cell()] for _ in range((length or len(cells)) - len(cells))]


def main():
    # Instrument 1 leaves the channel's filter alone; 2 sets cutoff 64, no resonance; 3 cutoff
    # 127 with no resonance (no filter); 4 cutoff 64 with resonance 96; 5 a filter envelope
    # held at its top over cutoff 127.
    ins = [instrument("keep"), instrument("c64", 64, 0), instrument("open", 127, 0), instrument("c64r96", 64, 96),
           instrument("env top", 127, 0, [(0, 32), (100, 32)]), instrument("c32r127", 32, 127)]
    write_it("it_filter_defaults", ins, rows_of([
        cell(C5, 1), cell(C5, 2), cell(C5, 3), cell(C5, 4), cell(C5, 5), cell(C5, 6),
        cell(C5, 1, command="Z", parameter=0x40), cell(C5, 1, command="Z", parameter=0x7F),
        cell(C5, 1, command="Z", parameter=0x20), cell(C5, 1, command="Z", parameter=0x8F),
        cell(C5, 1, command="Z", parameter=0x84), cell(C5, 1, command="Z", parameter=0x7F),
        cell(C5, 1, command="Z", parameter=0x80), cell(C5, 5), cell(NOTE_CUT)]))

    # A slide to a note keeps the playing note's filter, with or without an instrument number.
    write_it("it_filter_slide_to_note", ins, rows_of([
        cell(C5, 3), cell(C5, 2, command="G", parameter=0x10), cell(NOTE_CUT),
        cell(C5, 2), cell(C5, 3, command="G", parameter=0x10), cell(NOTE_CUT),
        cell(C5, 2), cell(command="Z", parameter=0x20), cell(C5, command="G", parameter=0x10), cell(NOTE_CUT)]))

    # Z7F on a filtered note leaves the filter as it was; Z7E opens it nearly all the way.
    write_it("it_filter_top_cutoff", ins, rows_of([
        cell(C5, 2), cell(command="Z", parameter=0x7F), cell(command="Z", parameter=0x7E), cell(NOTE_CUT),
        cell(C5, 4), cell(command="Z", parameter=0x7F), cell(command="Z", parameter=0x80), cell(C5, 1), cell(NOTE_CUT)]))

    # The file's own macros: SF1 feeds the resonance, Z90 sets a fixed cutoff, and \xx slides.
    smooth = [cell(C5, 1, command="Z", parameter=0x90), cell(command="S", parameter=0xF1),
              cell(command="Z", parameter=0x40)]
    smooth += [cell(command="\\", parameter=v) for v in (0x7F, 0x00, 0x60)]
    smooth += [cell(command="S", parameter=0xF0), cell(command="\\", parameter=0x10), cell(command="\\", parameter=0x70),
               cell(NOTE_CUT)]
    write_it("it_smooth_macro_filter", ins, rows_of(smooth), speed=12,
             macros={9: "F0F000z", 10: "F0F001z", 9 + 16 + 0x10: "F0F00030"})

    # A legato line: each note cuts the one before on the same channel.
    write_it("it_legato_cut", [instrument("plain")], rows_of([cell(C5, 1)] * 4 + [cell(NOTE_CUT)]), wave=SINE)

    # Pitch/pan separation 16 around C-5 on a centred channel: octaves up and down, a pan
    # command beside the note and before it, and a surround channel that it leaves alone.
    separated = bytearray(instrument("pps"))
    separated[0x16], separated[0x17] = 16, C5
    write_it("it_pitch_pan", [bytes(separated)], rows_of([
        cell(C5, 1), cell(C5 + 12, 1), cell(C5 + 12, 1, command="X", parameter=0), cell(C5 + 12, 1),
        cell(C5 - 12, 1, command="X", parameter=0x80), cell(C5 - 12, 1), cell(C5, 1, command="S", parameter=0x91),
        cell(C5 + 12, 1)]), wave=SINE)

    # Glissando: slides to a note in whole semitones, by G and the column's slide.
    write_it("it_glissando", [instrument("plain")], rows_of([
        cell(C5, 1, command="S", parameter=0x11), cell(C5 + 3, command="G", parameter=0x05), cell(C5 - 2, volume=197),
        cell(C5 + 3, command="G", parameter=0x08), cell(command="G", parameter=0), cell(NOTE_CUT)]), wave=SINE)


if __name__ == "__main__":
    main()
