#!/usr/bin/env bash
# A private PulseAudio server with a recording null sink, so tests can check what reached the device.
#   null-audio start DIR [SINK...]
#                          start a private PulseAudio server whose default sink discards sound, and record
#                          everything played to it into DIR/captured.raw (signed 16-bit little-endian,
#                          stereo, 44100 Hz). Prints the XDG_RUNTIME_DIR to export for the program under test.
#                          Each SINK named is one more sink (its name is also its description), recorded
#                          into DIR/SINK.raw.
#   null-audio stop DIR    stop the recorders and the server started for DIR.
# Needs Debian's pulseaudio and pulseaudio-utils. RtAudio (ALSA through the pulse plug-in, or its own
# PulseAudio back end) then finds one "default" output device and plays into it in real time.
set -eu
cmd=${1:-}; dir=${2:-}; shift 2 || true
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: null-audio start|stop DIR" >&2; exit 2; }
mkdir -p "$dir"; dir=$(cd "$dir" && pwd)
export XDG_RUNTIME_DIR="$dir/xdg"
case "$cmd" in
start)
  mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --disable-shm=yes --exit-idle-time=-1 --disallow-exit --log-target=file:"$dir/pulse.log" \
    -L "module-null-sink sink_name=capture" -L "module-native-protocol-unix" >/dev/null 2>&1 &
  echo $! > "$dir/pulse.pid"
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink capture
  parec -d capture.monitor --format=s16le --rate=44100 --channels=2 > "$dir/captured.raw" &
  echo $! > "$dir/parec.pid"
  for sink in "$@"; do
    pactl load-module module-null-sink sink_name="$sink" sink_properties=device.description="$sink" >/dev/null
    parec -d "$sink.monitor" --format=s16le --rate=44100 --channels=2 > "$dir/$sink.raw" &
    echo $! > "$dir/parec-$sink.pid"
  done
  sleep 0.2
  echo "$XDG_RUNTIME_DIR" ;;
stop)
  for f in "$dir"/parec-*.pid "$dir/parec.pid" "$dir/pulse.pid"; do
    [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null || true; rm -f "$f"
  done ;;
*) echo "usage: null-audio start|stop DIR" >&2; exit 2 ;;
esac
