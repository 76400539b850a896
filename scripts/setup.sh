#!/usr/bin/env bash
# Installs the Debian packages Wendmoor needs to build, test and run; only those missing.
set -eu
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libsigc++-3.0-dev librtaudio-dev zlib1g-dev
  ladspa-sdk swh-plugins cmt
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  pulseaudio pulseaudio-utils alsa-utils sox xvfb xauth xdotool imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Refresh the package lists once, only when an install fails without it.
$sudo apt-get install -y --no-install-recommends "${missing[@]}" || {
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}
