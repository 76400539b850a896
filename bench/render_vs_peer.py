#!/usr/bin/env python3
"""Render speed and footprint of wendmoor_cli against a peer renderer, song by song.

Each song is rendered by `wendmoor_cli render FILE --bench` and by `peer_render xmp FILE linear`,
alternating, ROUNDS times in one run. Prints medians of the render loop's
realtime factor (seconds of audio per CPU second), their ratio, and the whole process's CPU time
(user + system, in ms) and peak resident memory for both.

    bench/render_vs_peer.py [--cli build/wendmoor_cli] [--peer PEER_RENDER] [--rounds 3] DIR_OR_FILE...
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

EXTS = ('.it', '.xm', '.s3m', '.mod')


def timed(cmd):
    """Runs cmd under /usr/bin/time; returns its result, CPU seconds (user + system), wall
    seconds and peak RSS in KB. The CPU time is the waited process's own resource usage, to
    the microsecond (time's %U/%S are rounded to 10 ms); it includes /usr/bin/time's own
    start-up, about the same for both programs. The peak RSS is time's %M: a child forked
    from this interpreter would count the interpreter's pages too."""
    with tempfile.NamedTemporaryFile('r', suffix='.time') as t:
        start = time.perf_counter()
        p = subprocess.Popen(['/usr/bin/time', '-o', t.name, '-f', '%M'] + cmd, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        out, err = p.stdout.read(), p.stderr.read()
        _, status, ru = os.wait4(p.pid, 0)
        wall = time.perf_counter() - start
        p.stdout.close()
        p.stderr.close()
        rss = int(t.read().strip().splitlines()[-1])
    result = subprocess.CompletedProcess(cmd, os.waitstatus_to_exitcode(status), out, err)
    return result, ru.ru_utime + ru.ru_stime, wall, rss


def wendmoor(cli, path):
    p, cpu, wall, rss = timed([cli, 'render', path, '--bench'])
    m = re.search(r'([0-9.]+) seconds of audio in ([0-9.]+) CPU seconds: ([0-9.]+)x realtime', p.stdout)
    if p.returncode != 0 or not m:
        raise RuntimeError('wendmoor_cli: ' + (p.stderr.strip() or p.stdout.strip()))
    return float(m.group(3)), float(m.group(1)), cpu, wall, rss


def peer(exe, path):
    p, cpu, wall, rss = timed([exe, 'xmp', path, 'linear'])
    f = dict(kv.split('=', 1) for kv in p.stdout.strip().split('\t') if '=' in kv)
    if p.returncode != 0 or 'rtf' not in f:
        raise RuntimeError('peer: ' + (p.stderr.strip() or p.stdout.strip()))
    return float(f['rtf']), float(f['audio_s']), cpu, wall, rss


def songs(args):
    out = []
    for a in args:
        if os.path.isdir(a):
            out += sorted(os.path.join(a, n) for n in os.listdir(a) if n.lower().endswith(EXTS))
        else:
            out.append(a)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    ap.add_argument('--cli', default='build/wendmoor_cli')
    ap.add_argument('--peer', default='build/peer/peer_render')
    ap.add_argument('--rounds', type=int, default=3)
    ap.add_argument('paths', nargs='+')
    a = ap.parse_args()

    print(f"{'song':32} {'wm_s':>7} {'peer_s':>7} {'wm_rtf':>8} {'peer_rtf':>8} {'ratio':>6}"
          f" {'wm_ms':>7} {'pr_ms':>7} {'cpu_x':>6} {'wm_MB':>6} {'pr_MB':>6}")
    # Render-loop CPU seconds (audio length / rtf) and audio seconds, summed over the songs.
    tot_wm = tot_peer = aud_wm = aud_peer = 0.0
    worst = None
    for path in songs(a.paths):
        name = os.path.basename(path)[:32]
        w, p = [], []
        try:
            for _ in range(a.rounds):
                w.append(wendmoor(a.cli, path))
                p.append(peer(a.peer, path))
        except RuntimeError as e:
            print(f'{name:32} skipped: {e}')
            continue
        med = lambda rows, i: statistics.median(r[i] for r in rows)
        wr, pr = med(w, 0), med(p, 0)
        ws, ps = w[0][1], p[0][1]
        wc, pc = med(w, 2), med(p, 2)
        wm, pm = med(w, 4) / 1024, med(p, 4) / 1024
        ratio = wr / pr
        tot_wm += ws / wr
        tot_peer += ps / pr
        aud_wm += ws
        aud_peer += ps
        worst = ratio if worst is None else min(worst, ratio)
        print(f'{name:32} {ws:7.2f} {ps:7.2f} {wr:8.1f} {pr:8.1f} {ratio:6.2f}'
              f' {wc * 1000:7.1f} {pc * 1000:7.1f} {pc / max(wc, 1e-6):6.2f} {wm:6.1f} {pm:6.1f}', flush=True)
    if tot_wm > 0:
        all_wm, all_peer = aud_wm / tot_wm, aud_peer / tot_peer
        print(f'all songs: wendmoor {aud_wm:.1f} s of audio in {tot_wm:.3f} s ({all_wm:.1f}x),'
              f' peer {aud_peer:.1f} s in {tot_peer:.3f} s ({all_peer:.1f}x);'
              f' ratio {all_wm / all_peer:.2f}; worst song {worst:.2f}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
