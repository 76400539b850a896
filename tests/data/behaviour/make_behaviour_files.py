#!/usr/bin/env python3
"""Writes the small behaviour modules of this folder.

Each module plays one looped sine cycle (64 frames, so the pitch and level of every tick can be
measured from a render) through one instrument, with the cells below. Run it from anywhere:
the files land beside this script.

    python3 tests/data/behaviour/make_behaviour_files.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

SINE = bytes((int(round(100 * math.sin(2 * math.pi * i / 64))) & 0xFF) for i in range(64))
# 8192 frames of a 64-frame sine whose level grows with the position, played once: a render's
# level tells where in the sample a voice plays, so a retrigger shows as a drop.
RAMP = bytes((int(round((8 + 112 * i / 8192) * math.sin(2 * math.pi * i / 64))) & 0xFF) for i in range(8192))

# XM notes: 1 = C-0, 49 = C-4 (8363 Hz for the sample's rate); 97 is key-off.
C5 = 61
KEY_OFF = 97


def xm_cell(note=0, instrument=0, volume=0, effect=0, parameter=0):
    return bytes((note, instrument, volume, effect, parameter))


def write_xm(name, rows, speed=6, bpm=125, linear=True, channels=2, length=None, sample=SINE, loop=True,
             finetune=0):
    """rows: list of lists of cells (bytes of 5), one list per row, channels cells each."""
    length = length or len(rows)
    empty = xm_cell()
    data = b"".join(b"".join(row[c] if c < len(row) else empty for c in range(channels)) for row in rows)
    data += empty * channels * (length - len(rows))
    header = b"Extended Module: " + name.encode().ljust(20, b"\0")[:20] + b"\x1a"
    header += b"behaviour script".ljust(20, b"\0") + struct.pack("<H", 0x0104)
    orders = bytes([0]) + bytes(255)
    header += struct.pack("<IHHHHHHHH", 276, 1, 0, channels, 1, 1, 1 if linear else 0, speed, bpm) + orders
    pattern = struct.pack("<IBHH", 9, 0, length, len(data)) + data

    sample_header = struct.pack("<IIIBbBBbB", len(sample), 0, len(sample), 64, finetune, 1 if loop else 0, 128, 0, 0)
    sample_header += b"sine".ljust(22, b"\0")
    instrument = struct.pack("<I", 263) + b"sine".ljust(22, b"\0") + struct.pack("<BH", 0, 1)
    instrument += struct.pack("<I", 40) + bytes(96) + bytes(48) + bytes(48)
    instrument += bytes((0, 0, 0, 0, 0, 0, 0, 0, 0, 0)) + bytes((0, 0, 0, 0)) + struct.pack("<HH", 0, 0)
    instrument += bytes(263 - len(instrument))
    deltas, previous = bytearray(), 0
    for b in sample:
        deltas.append((b - previous) & 0xFF)
        previous = b
    with open(os.path.join(HERE, name + ".xm"), "wb") as f:
        f.write(header + pattern + instrument + sample_header + bytes(deltas))


def held(cells_by_row, rows=8):
    """A note on row 0 of channel 0, then the given effect cells on the rows named."""
    out = []
    for r in range(rows):
        out.append([cells_by_row.get(r, xm_cell())])
    return out


def main():
    # FT2 vibrato: its sine, ramp and square, its direction (up first) and depth.
    for wave in range(3):
        write_xm("xm_vibrato_wave%d" % wave, held({
            0: xm_cell(C5, 1, 0, 0x0E, 0x40 | wave),
            1: xm_cell(0, 0, 0, 4, 0x48), 2: xm_cell(0, 0, 0, 4, 0), 3: xm_cell(0, 0, 0, 4, 0),
            4: xm_cell(0, 0, 0, 4, 0)}))
    # FT2 tremolo: its ramp follows the vibrato position, not its own.
    for wave in range(3):
        write_xm("xm_tremolo_wave%d" % wave, held({
            0: xm_cell(C5, 1, 0x40, 0x0E, 0x70 | wave),
            1: xm_cell(0, 0, 0, 7, 0x88), 2: xm_cell(0, 0, 0, 7, 0), 3: xm_cell(0, 0, 0, 7, 0),
            4: xm_cell(0, 0, 0, 7, 0)}))
    # Volume-column vibrato: Ax sets the speed, Bx the depth and vibrates.
    write_xm("xm_volume_vibrato", held({
        0: xm_cell(C5, 1, 0xA6), 1: xm_cell(0, 0, 0xBC), 2: xm_cell(0, 0, 0xB0), 3: xm_cell(0, 0, 0xB0)}))
    # Arpeggio at speed 20: FT2's tick table past the row's 16th tick.
    write_xm("xm_arpeggio_long_row", held({0: xm_cell(C5, 1, 0, 0, 0x47), 1: xm_cell(0, 0, 0, 0, 0x47)}, 3),
             speed=20)
    # Tremor: its phase counts on across rows and a new note does not reset it.
    write_xm("xm_tremor", held({
        0: xm_cell(C5, 1, 0, 29, 0x21), 1: xm_cell(0, 0, 0, 29, 0), 2: xm_cell(C5, 1, 0, 29, 0),
        3: xm_cell(0, 0, 0, 29, 0x12), 4: xm_cell(0, 0, 0, 29, 0)}))
    # FT2's retriggers on a sample played once, so each strike shows as a drop in level: E9x
    # on and off a note's row and E90 alone; Rxy counting across rows and beside a column volume.
    C4 = 49
    write_xm("xm_retrigger_e9", held({
        0: xm_cell(C4, 1, 0, 14, 0x93), 1: xm_cell(0, 0, 0, 14, 0x93), 2: xm_cell(0, 0, 0, 14, 0x90),
        3: xm_cell(C4, 0, 0, 14, 0x90), 4: xm_cell(0, 0, 0, 14, 0x92)}, 6), sample=RAMP, loop=False)
    write_xm("xm_retrigger_r", held({
        0: xm_cell(C4, 1, 0, 27, 0x03), 1: xm_cell(0, 0, 0, 27, 0x03), 2: xm_cell(0, 0, 0, 27, 0x00),
        3: xm_cell(0, 0, 0x40, 27, 0x03), 4: xm_cell(C4, 0, 0x40, 27, 0x04), 5: xm_cell(C4, 1, 0, 27, 0x04)}, 6),
        sample=RAMP, loop=False)
    # Tremor left in its off phase: silent after the command, through a volume, until an instrument.
    write_xm("xm_tremor_silence", held({
        0: xm_cell(C5, 1, 0x50, 29, 0x11), 1: xm_cell(0, 0, 0, 29, 0x10), 3: xm_cell(0, 0, 0x30),
        4: xm_cell(0, 1, 0)}, 6))
    # FT2's effect memories: 1xx and 2xx apart, E1x and X1x apart from 1xx, EAx and EBx apart
    # from each other and from Axy; the column's slides recall nothing with 0 and feed Axy's
    # and EAx's memories.
    c = xm_cell
    write_xm("xm_memory_pitch_slides", held({0: c(C5, 1, 0, 1, 0x08), 1: c(0, 0, 0, 2, 0), 2: c(0, 0, 0, 1, 0)}, 4))
    write_xm("xm_memory_fine_pitch_slides", held({
        0: c(C5, 1, 0, 1, 0x08), 1: c(0, 0, 0, 14, 0x10), 2: c(0, 0, 0, 33, 0x10), 3: c(0, 0, 0, 1, 0)}, 5))
    write_xm("xm_memory_fine_volume_slides", held({
        0: c(C5, 1, 0x30, 14, 0xA4), 1: c(0, 0, 0, 14, 0xB0), 2: c(0, 0, 0, 14, 0xA0), 3: c(0, 0, 0, 10, 0)}, 5))
    write_xm("xm_memory_column_slides", held({
        0: c(C5, 1, 0x30), 1: c(0, 0, 0x62), 2: c(0, 0, 0x60), 3: c(0, 0, 0x70), 4: c(0, 0, 0, 10, 0)}, 6))
    write_xm("xm_memory_column_fine_slides", held({
        0: c(C5, 1, 0x20), 1: c(0, 0, 0x93), 2: c(0, 0, 0x90), 3: c(0, 0, 0, 14, 0xA0)}, 5))
    # Glissando: a slide up and one down in whole semitones of a sample tuned between them, through
    # 3xx and the column's Mx; E30 slides smoothly again.
    for linear in (True, False):
        write_xm("xm_glissando" + ("" if linear else "_amiga"), held({
            0: c(C5, 1, 0, 14, 0x31), 1: c(C5 + 3, 0, 0, 3, 0x05), 2: c(C5 - 2, 0, 0xF1), 3: c(C5 + 3, 0, 0, 3, 0x08),
            4: c(0, 0, 0, 3, 0), 5: c(C5 + 2, 0, 0, 14, 0x30), 6: c(0, 0, 0, 3, 0x05)}, 8),
            linear=linear, finetune=40)
    # E5x tunes its row's note only, and a slide to a note on a later row keeps that tuning.
    write_xm("xm_finetune_e5", held({
        0: c(C5, 1), 1: c(C5, 1, 0, 14, 0x5F), 2: c(C5, 1), 3: c(C5, 1, 0, 14, 0x50), 4: c(C5, 0, 0, 14, 0x54),
        5: c(C5 + 1, 0, 0, 3, 0x40), 6: c(C5), 7: c(C5, 1)}, 9), finetune=-40)


if __name__ == "__main__":
    main()
