#!/usr/bin/env bash
# Figures for the windows, measured from the outside on a private X server and sound server:
# the time from start to a shown main window with a song, and the CPU that wendmoor_qt uses
# with four songs open, idle and while one plays (the whole process and the interface thread).
#   scripts/bench_gui.sh SONG1 SONG2 SONG3 SONG4 [BUILD]
# Needs xvfb, xdotool and pulseaudio (scripts/setup.sh installs them).
set -eu
[ $# -ge 4 ] || { echo "usage: bench_gui.sh SONG1 SONG2 SONG3 SONG4 [BUILD]" >&2; exit 2; }
songs=("$1" "$2" "$3" "$4")
build=${5:-build}
program=$build/wendmoor_qt
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${SECONDS_PER_RUN:-10}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  bash "$here/tests/support/private_pulse.sh" stop "$work/pulse" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
export XDG_RUNTIME_DIR=$(bash "$here/tests/support/private_pulse.sh" start "$work/pulse")

now_ms() { date +%s%3N; }
ticks() { awk '{print $14 + $15}' "$1"; }  # utime + stime, in clock ticks
hz=$(getconf CLK_TCK)

# Every run is a first run (no settings file), which plays through the sound card.
# Start-up: from exec to a visible main window, three runs.
for run in 1 2 3; do
  rm -f "$work/.wendmoor_QT"
  start=$(now_ms)
  HOME=$work "$program" "${songs[0]}" >/dev/null 2>&1 &
  pid=$!
  xdotool search --sync --onlyvisible --name '^Wendmoor' >/dev/null
  echo "start-up to a shown window with a song, run $run: $(( $(now_ms) - start )) ms"
  kill -TERM $pid; wait $pid || true
done

rm -f "$work/.wendmoor_QT"
HOME=$work "$program" "${songs[@]}" >"$work/program.log" 2>&1 &
pid=$!
pids+=($pid)
window=$(xdotool search --sync --onlyvisible --name '^Wendmoor' | head -1)
sleep 3
measure() {
  local p0 t0 p1 t1
  p0=$(ticks /proc/$pid/stat); t0=$(ticks /proc/$pid/task/$pid/stat)
  sleep "$seconds"
  p1=$(ticks /proc/$pid/stat); t1=$(ticks /proc/$pid/task/$pid/stat)
  awk -v p=$((p1 - p0)) -v t=$((t1 - t0)) -v s="$seconds" -v hz="$hz" -v what="$1" \
    'BEGIN { printf "%s: process %.2f %% of one core, interface thread %.2f %%\n", what, 100 * p / hz / s, 100 * t / hz / s }'
}
measure "four songs open, idle"
if [ -n "${PER_THREAD:-}" ]; then
  for t in /proc/$pid/task/*; do echo "$(cat $t/comm) $(ticks $t/stat)"; done > "$work/t0"; sleep "$seconds"
  for t in /proc/$pid/task/*; do echo "$(cat $t/comm) $(ticks $t/stat)"; done > "$work/t1"
  paste "$work/t0" "$work/t1" | awk -v s="$seconds" -v hz="$hz" '{ printf "  thread %-16s %.2f %%\n", $1, 100 * ($4 - $2) / hz / s }'
fi
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key F5
sleep 1
measure "four songs open, one playing"
xdotool key F8
# The song must really have reached the sound server for the figure to mean anything.
if tail -c 200000 "$work/pulse/captured.raw" | od -An -v -tx1 | tr -s ' \n' '\n\n' | grep -qv '^00$\|^$'; then
  echo "(the song was heard on the sound server)"
else
  echo "(warning: only silence reached the sound server)"
fi
