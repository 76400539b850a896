#!/usr/bin/env python3
"""Per-tick pitch and level of a behaviour module (tests/data/behaviour), as Wendmoor and the
reference player (openmpt123, a test tool only) render it, side by side.

    python3 scripts/behaviour_trace.py FILE [--ticks N] [--cli build/wendmoor_cli]

Pitch is in linear period units relative to the first sounding tick (64 to a semitone; positive
is lower), level in percent of the first sounding tick. Both renders are aligned on their first
sound; the tempo is read from the file's header (XM, S3M) or taken as 125.
"""
import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

RATE = 44100


def read_wav(path, side=None):
    with wave.open(path) as w:
        frames = w.readframes(w.getnframes())
        channels = w.getnchannels()
    values = struct.unpack("<%dh" % (len(frames) // 2), frames)
    if side is not None and channels == 2:
        return list(values[side::2])
    return [sum(values[i:i + channels]) / channels for i in range(0, len(values), channels)]


def tempo_of(path):
    with open(path, "rb") as f:
        head = f.read(80)
    if head.startswith(b"Extended Module: "):
        return struct.unpack("<H", head[78:80])[0]
    if head[44:48] == b"SCRM":
        return head[50] or 125
    return 125


def ticks(samples, tick, count):
    start = next((i for i, v in enumerate(samples) if abs(v) > 2), None)
    if start is None:
        return []
    out = []
    for t in range(count):
        # Pitch over most of the tick; level from its end, after both players' volume ramps.
        a, b = int(start + t * tick + tick * 0.1), int(start + (t + 1) * tick - tick * 0.05)
        window = samples[a:b]
        if len(window) < 16:
            break
        level = max(abs(v) for v in samples[int(start + t * tick + tick * 0.6):b])
        crossings = [i + window[i] / (window[i] - window[i + 1])
                     for i in range(len(window) - 1) if window[i] <= 0 < window[i + 1]]
        freq = (len(crossings) - 1) * RATE / (crossings[-1] - crossings[0]) if len(crossings) > 2 else 0
        out.append((freq, level))
    return out


def render(cli, path, directory, side=None):
    ours, theirs = os.path.join(directory, "w.wav"), os.path.join(directory, "r.wav")
    subprocess.run([cli, "render", path, "-o", ours, "--resampler", "linear", "--quiet"], check=True)
    subprocess.run(["openmpt123", "--batch", "-q", "--subsong", "0", "--repeat", "0", "--samplerate", str(RATE),
                    "--no-float", "--filter", "2", "--dither", "0", "--stereo", "100", "--force", "-o", theirs, path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return read_wav(ours, side), read_wav(theirs, side)


def relative(trace):
    base = next(((f, l) for f, l in trace if f > 0 and l > 0), (0, 0))
    rows = []
    for f, l in trace:
        pitch = -768 * math.log2(f / base[0]) if f > 0 and base[0] > 0 else float("nan")
        rows.append((pitch, 100 * l / base[1] if base[1] else 0))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--ticks", type=int, default=36)
    parser.add_argument("--cli", default="build/wendmoor_cli")
    # Many test modules play one case hard left and its twin hard right.
    parser.add_argument("--side", choices=["left", "right"], help="trace one stereo side only")
    args = parser.parse_args()
    side = {"left": 0, "right": 1}.get(args.side)
    tick = 2.5 * RATE / tempo_of(args.file)
    with tempfile.TemporaryDirectory() as directory:
        ours, theirs = render(args.cli, args.file, directory, side)
    a, b = relative(ticks(ours, tick, args.ticks)), relative(ticks(theirs, tick, args.ticks))
    print("tick  wendmoor pitch  level   reference pitch  level")
    for t in range(max(len(a), len(b))):
        wa = a[t] if t < len(a) else (float("nan"), 0)
        wb = b[t] if t < len(b) else (float("nan"), 0)
        print("%4d  %14.1f %6.0f   %15.1f %6.0f" % (t, wa[0], wa[1], wb[0], wb[1]))


if __name__ == "__main__":
    sys.exit(main())
