#!/usr/bin/env python3
"""Writes the small IT envelope, instrument and tone-portamento modules of this folder.

Each module plays one looped sine cycle (64 frames) through instruments whose volume envelopes
fall a step a tick, so the level of each tick says where the envelope stands, and whose samples
differ in pitch and volume, so the pitch says which one sounds. Run it from
anywhere: the files land beside this script.

    python3 tests/data/behaviour/make_it_envelope_files.py
"""
import os
import struct

from make_it_filter_files import HERE, SINE, C5, NOTE_OFF, NOTE_CUT, cell, pack_pattern, rows_of


def envelope(nodes=None, loop=None, sustain=None):
    """nodes: (tick, value) pairs; loop, sustain: (first node, last node)."""
    if nodes is None:
        return bytes(6 + 75 + 1)
    flags = 1 | (2 if loop else 0) | (4 if sustain else 0)
    loop, sustain = loop or (0, 0), sustain or (0, 0)
    env = bytes((flags, len(nodes), loop[0], loop[1], sustain[0], sustain[1]))
    for k in range(25):
        t, v = nodes[k] if k < len(nodes) else (0, 0)
        env += struct.pack("<bH", v, t)
    return env + b"\0"


def instrument(name, volume_envelope=b"", sample=1):
    head = b"IMPI" + bytes(12) + bytes((0, 0, 0, 0)) + struct.pack("<H", 0) + bytes((0, 60, 128, 32, 0, 0))
    head += struct.pack("<HBB", 0x0214, 1, 0) + name.encode().ljust(26, b"\0")[:26]
    head += bytes((0, 0, 0, 0)) + struct.pack("<H", 0)
    head += b"".join(bytes((n, sample)) for n in range(120))
    data = head + (volume_envelope or envelope()) + envelope() + envelope()
    return data + bytes(554 - len(data))


def sample_header(name, data_at, volume=64, length=64, vibrato=(0, 0, 0), c5=8363 * 4):
    """vibrato: (speed, depth, sweep rate)."""
    speed, depth, rate = vibrato
    head = b"IMPS" + bytes(12) + bytes((0, 64, 1 | 16, volume)) + name.encode().ljust(26, b"\0")[:26] + bytes((1, 32))
    head += struct.pack("<IIIIIII", length, 0, length, c5, 0, 0, data_at)
    return head + bytes((speed, depth, rate, 0))


def write_it(name, instruments, rows, channels=1, speed=6, tempo=125, samples=((64, (0, 0, 0)),), flags=1 | 4 | 8):
    """samples: (default volume, auto-vibrato[, C5 rate]) of each sample; each plays the sine."""
    orders = bytes((0, 255))
    header = b"IMPM" + name.encode().ljust(26, b"\0")[:26] + bytes((4, 16))
    header += struct.pack("<HHHHHHHH", len(orders), len(instruments), len(samples), 1, 0x0214, 0x0214, flags, 0)
    header += bytes((128, 48, speed, tempo, 128, 0)) + struct.pack("<HII", 0, 0, 0)
    header += bytes([32] * channels + [32 | 128] * (64 - channels)) + bytes([64] * 64)
    at = len(header) + len(orders) + 4 * (len(instruments) + len(samples) + 1)
    offsets, body = [], b""
    for ins in instruments:
        offsets.append(at + len(body))
        body += ins
    sample_offsets = []
    for volume, vibrato, *rate in samples:
        sample_offsets.append(at + len(body))
        body += sample_header("sine", at + len(body) + 80, volume, len(SINE), vibrato, *rate) + SINE
    pattern_at = at + len(body)
    body += pack_pattern(rows, channels)
    tables = struct.pack("<%dI" % len(instruments), *offsets) + struct.pack("<%dI" % len(samples), *sample_offsets)
    tables += struct.pack("<I", pattern_at)
    with open(os.path.join(HERE, name + ".it"), "wb") as f:
        f.write(header + orders + tables + body)


def release_rows(first_off, last_off, gap=30):
    """One note a case, the key let go first_off..last_off ticks after it (one tick a row)."""
    rows = []
    for off_tick in range(first_off, last_off + 1):
        rows += [cell(C5, 1)] + [cell()] * (off_tick - 1) + [cell(NOTE_OFF)] + [cell()] * (gap - off_tick)
    return rows_of(rows + [cell(NOTE_CUT)])


def main():
    # A sustain loop (ticks 8..12) after a plain loop (ticks 0..4), one tick a row, the key let go
    # 9 to 14 ticks after the note: released, the note goes back to the plain loop.
    after = instrument("after", envelope([(0, 64), (4, 48), (8, 32), (12, 16), (20, 0)], loop=(0, 1), sustain=(2, 3)))
    write_it("it_envelope_sustain_after_loop", [after], release_rows(9, 14), speed=1)

    # A slide to a note whose instrument plays another sample (an octave up, at volume 32),
    # with and without compatible Gxx.
    two = [instrument("one", sample=1), instrument("two", sample=2)]
    swap_samples = ((64, (0, 0, 0)), (32, (0, 0, 0), 8363 * 8))
    for compatible in (False, True):
        write_it("it_gxx_sample_swap%s" % ("_cg" if compatible else ""), two,
                 rows_of([cell(C5, 1, 16), cell(), cell(C5 + 2, 2, command="G", parameter=4), cell(command="G"),
                          cell(command="G"), cell(command="G"), cell(command="G"), cell(command="G"),
                          cell(command="G"), cell(NOTE_CUT)]), speed=3, samples=swap_samples,
                 flags=1 | 4 | 8 | (32 if compatible else 0))

    # A lone instrument number while a note sounds: the same instrument, then another whose
    # sample is an octave up at volume 32; with and without old effects.
    falling = envelope([(0, 64), (16, 16), (40, 16)])
    pair = [instrument("one", falling, sample=1), instrument("two", falling, sample=2)]
    for old in (False, True):
        write_it("it_lone_instrument%s" % ("_old" if old else ""), pair,
                 rows_of([cell(C5, 1, 48), cell(), cell(), cell(None, 1), cell(), cell(), cell(None, 2), cell(),
                          cell(), cell(NOTE_CUT)]), speed=3, samples=swap_samples, flags=1 | 4 | 8 | (16 if old else 0))

    # S77 switches the volume envelope off and S78 on again, mid-note.
    write_it("it_envelope_switch", [instrument("falling", falling)],
             rows_of([cell(C5, 1), cell(), cell(command="S", parameter=0x77), cell(), cell(command="S", parameter=0x78),
                      cell(), cell(), cell(NOTE_CUT)]), speed=3)


if __name__ == "__main__":
    main()
