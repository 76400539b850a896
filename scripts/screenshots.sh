#!/usr/bin/env bash
# Pictures of the tracker as a user sees it: starts wendmoor_qt on SONG in a private Xvfb
# screen and saves a PNG of each page of the song window and of the settings window.
#   scripts/screenshots.sh SONG [OUTDIR] [BUILD]     (OUTDIR: BUILD/screenshots, BUILD: build)
#   SCALE=2 scripts/screenshots.sh ...               the same at twice the pixel density
# Needs xvfb, xdotool and imagemagick (scripts/setup.sh installs them).
set -eu
song=${1:?usage: screenshots.sh SONG [OUTDIR] [BUILD]}
build=${3:-build}
out=${2:-$build/screenshots}
scale=${SCALE:-1}
program=$build/wendmoor_qt
for tool in Xvfb xdotool import; do
  command -v $tool >/dev/null || { echo "screenshots: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
done
[ -x "$program" ] || { echo "screenshots: no $program; build first" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
pids=()
here=$(cd "$(dirname "$0")/.." && pwd)
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -d "$work/pulse" ] && bash "$here/tests/support/private_pulse.sh" stop "$work/pulse" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# A free display, and a home of our own so the user's settings are neither read nor written.
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 $((1280 * scale))x$((800 * scale))x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=:$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# A private sound server when there is one to start, so the song can play while we look.
if command -v pulseaudio >/dev/null && runtime=$(bash "$here/tests/support/private_pulse.sh" start "$work/pulse" 2>/dev/null); then
  export XDG_RUNTIME_DIR=$runtime
fi
HOME=$work QT_SCALE_FACTOR=$scale "$program" "$song" >"$work/wendmoor.log" 2>&1 &
pids+=($!)
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Wendmoor' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "screenshots: the main window never showed" >&2; cat "$work/wendmoor.log" >&2; exit 1; }
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 1

# The main window alone, or the whole screen when another window is open over it.
shot() {
  sleep 0.6
  if [ "${2:-}" = screen ]; then import -window root "$out/$1.png"; else import -window "$window" "$out/$1.png"; fi
  echo "$out/$1.png"
}
key() { xdotool key --delay 60 -- "$@"; }

key F2; shot patterns
key F3; shot samples
key F4; shot instruments
key F11; shot order-defaults
key F12; shot variables
key ctrl+Next; shot buffers
key F2 F5; sleep 1.5; shot main-window; key F8
# Settings, Configure Wendmoor: Alt alone enters the menu bar on File; two menus to the left
# of it (wrapping round) is Settings, whose last item it is.
key alt Left Left Down Up Return; shot settings screen
