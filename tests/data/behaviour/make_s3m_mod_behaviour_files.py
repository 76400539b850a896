#!/usr/bin/env python3
"""Writes the small S3M and MOD behaviour modules of this folder.

Like make_behaviour_files.py: one looped sine cycle (64 frames) as the only sample, the cells
below on channel 0. Run it from anywhere: the files land beside this script.

    python3 tests/data/behaviour/make_s3m_mod_behaviour_files.py
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

SINE = [int(round(100 * math.sin(2 * math.pi * i / 64))) for i in range(64)]
# 8192 frames of a 64-frame sine whose level grows with the position: a render's level tells
# where in the sample a voice plays.
RAMP = [int(round((8 + 112 * i / 8192) * math.sin(2 * math.pi * i / 64))) for i in range(8192)]

# S3M notes: high nibble octave, low nibble semitone; C-5 plays the sample at its C2 rate.
C5 = 0x50
NOTE_CUT = 0xFE


def s3m_cell(note=None, instrument=0, volume=None, effect=None, parameter=0):
    """effect is the IT letter ('A'..'Z')."""
    return (note, instrument, volume, effect, parameter)


def pack_s3m_row(cells):
    out = bytearray()
    for channel, (note, instrument, volume, effect, parameter) in enumerate(cells):
        what = 0
        if note is not None or instrument:
            what |= 0x20
        if volume is not None:
            what |= 0x40
        if effect is not None:
            what |= 0x80
        if not what:
            continue
        out.append(what | channel)
        if what & 0x20:
            out += bytes((0xFF if note is None else note, instrument))
        if what & 0x40:
            out.append(volume)
        if what & 0x80:
            out += bytes((ord(effect) - ord('A') + 1, parameter))
    out.append(0)
    return bytes(out)


def write_s3m(name, rows, speed=6, tempo=125, samples=None, st3_version=0x1320):
    """rows: one list of cells per row. samples: list of (frames as signed ints, loop)."""
    samples = samples or [(SINE, True)]
    packed = b"".join(pack_s3m_row(row) for row in rows) + bytes(64 - len(rows))
    pattern = struct.pack("<H", len(packed) + 2) + packed

    header_size = 0x60
    orders = bytes((0, 255))
    layout = header_size + len(orders) + 2 * len(samples) + 2 + 32
    layout = (layout + 15) & ~15
    instrument_at = [layout + 80 * i for i in range(len(samples))]
    pattern_at = (instrument_at[-1] + 80 + 15) & ~15
    data_at = (pattern_at + len(pattern) + 15) & ~15
    sample_at = []
    offset = data_at
    for frames, _ in samples:
        sample_at.append(offset)
        offset = (offset + len(frames) + 15) & ~15

    header = name.encode().ljust(28, b"\0")[:28] + bytes((0x1A, 16, 0, 0))
    header += struct.pack("<HHHHHH", len(orders), len(samples), 1, 0, st3_version, 2) + b"SCRM"
    header += bytes((64, speed, tempo, 0x80 | 48, 16, 0xFC)) + bytes(8) + struct.pack("<H", 0)
    header += bytes([0, 8] + [255] * 30)
    out = bytearray(header + orders)
    out += b"".join(struct.pack("<H", at >> 4) for at in instrument_at) + struct.pack("<H", pattern_at >> 4)
    out += bytes(32)  # default pans: the stored ones are not used
    for i, (frames, loop) in enumerate(samples):
        out += bytes(instrument_at[i] - len(out))
        segment = sample_at[i] >> 4
        out += bytes((1,)) + b"".ljust(12, b"\0") + bytes((segment >> 16,)) + struct.pack("<H", segment & 0xFFFF)
        out += struct.pack("<IIIBBBBI", len(frames), 0, len(frames), 64, 0, 0, 1 if loop else 0, 8363)
        out += bytes(12) + ("s%d" % i).encode().ljust(28, b"\0") + b"SCRS"
    out += bytes(pattern_at - len(out)) + pattern
    for i, (frames, _) in enumerate(samples):
        out += bytes(sample_at[i] - len(out)) + bytes((v + 128) & 0xFF for v in frames)
    with open(os.path.join(HERE, name + ".s3m"), "wb") as f:
        f.write(out)


# ProTracker periods of octave 2 (C-2 .. B-2); octave 1 doubles them, octave 3 halves them.
PERIODS_2 = [428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226]


def period(note, octave=2):
    return PERIODS_2[note] * 2 // 2 ** (octave - 1) if octave < 2 else PERIODS_2[note] >> (octave - 2)


def mod_cell(note_period=0, sample=0, effect=0, parameter=0):
    return bytes(((sample & 0xF0) | (note_period >> 8), note_period & 0xFF, ((sample & 15) << 4) | effect, parameter))


def write_mod(name, rows, samples=None):
    """rows: one list of cells per row (4 channels at most). samples: (frames, loop) pairs."""
    samples = samples or [(SINE, True)]
    header = name.encode().ljust(20, b"\0")[:20]
    for i in range(31):
        if i < len(samples):
            frames, loop = samples[i]
            words = len(frames) // 2
            header += ("s%d" % i).encode().ljust(22, b"\0") + struct.pack(">HBBHH", words, 0, 64, 0,
                                                                           words if loop else 1)
        else:
            header += bytes(22) + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
    header += bytes((1, 127)) + bytes(128) + b"M.K."
    empty = mod_cell()
    pattern = b""
    for r in range(64):
        row = rows[r] if r < len(rows) else []
        pattern += b"".join(row[c] if c < len(row) else empty for c in range(4))
    data = b"".join(bytes(v & 0xFF for v in frames) for frames, _ in samples)
    with open(os.path.join(HERE, name + ".mod"), "wb") as f:
        f.write(header + pattern + data)


def held(cells_by_row, rows=8):
    """Channel 0's cells on the rows named, nothing elsewhere."""
    return [[cells_by_row.get(r, s3m_cell())] for r in range(rows)]


def main():
    # ST3's one memory for most effects: a zero parameter recalls the last non-zero one, whatever
    # effect set it.
    write_s3m("s3m_shared_memory", held({
        0: s3m_cell(C5, 1, 32, 'E', 0x04), 1: s3m_cell(effect='F', parameter=0),
        2: s3m_cell(effect='D', parameter=0x01), 3: s3m_cell(effect='E', parameter=0),
        4: s3m_cell(effect='D', parameter=0x20), 5: s3m_cell(effect='F', parameter=0),
        6: s3m_cell(effect='K', parameter=0), 7: s3m_cell(effect='D', parameter=0)}, 9))
    # ST3's period limits: the channel's period slides on past the highest pitch, and only what
    # sounds is held there.
    write_s3m("s3m_period_limit", held({
        0: s3m_cell(0x80, 1, 48, 'F', 0x10), 1: s3m_cell(effect='F', parameter=0x10),
        2: s3m_cell(effect='F', parameter=0x10), 3: s3m_cell(effect='E', parameter=0x10),
        4: s3m_cell(effect='E', parameter=0x10), 5: s3m_cell(effect='E', parameter=0x10)}, 7))
    # ProTracker's offset: without a sample number a 9xx moves on from where the last one started.
    c2 = period(0)
    write_mod("mod_offset_accumulates", [[mod_cell(c2, 1, 9, 8)], [], [mod_cell(c2, 0, 9, 8)], [],
                                         [mod_cell(c2, 1, 9, 8)], [], [mod_cell(c2)], [], [mod_cell(c2, 1)], []],
              samples=[(RAMP, False)])
    # ProTracker's tempo command takes effect after the row's first tick.
    write_mod("mod_tempo_second_tick", [[mod_cell(period(0), 1)], [mod_cell(period(4), 1, 0xF, 0x40)],
                                        [mod_cell(period(0), 1)], [mod_cell(period(4), 1, 0xF, 0xFF)],
                                        [mod_cell(period(0), 1)], [mod_cell(period(4), 1)]])
    # ST3.00's fast volume slides: D, K and L slide on the row's first tick too.
    write_s3m("s3m_fast_slides", held({
        0: s3m_cell(C5, 1, 48), 1: s3m_cell(effect='D', parameter=0x04), 2: s3m_cell(effect='K', parameter=0x04),
        3: s3m_cell(effect='L', parameter=0x04), 4: s3m_cell(effect='D', parameter=0x40),
        5: s3m_cell(effect='K', parameter=0x40)}, 7), st3_version=0x1300)
    # ProTracker's slide target: kept through a plain note (row 3 slides on towards it) and
    # forgotten once reached (row 6 stays put).
    c3, e3, g3 = period(0, 3), period(4, 3), period(7, 3)
    write_mod("mod_portamento_target", [[mod_cell(c3, 1)], [mod_cell(g3, 0, 3, 0x02)], [mod_cell(e3)],
                                        [mod_cell(0, 0, 3, 0)], [mod_cell(0, 0, 3, 0xFF)], [mod_cell(c3)],
                                        [mod_cell(0, 0, 3, 0x10)]])


if __name__ == "__main__":
    main()
