#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PKGS=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-multimedia-dev libgl-dev
  libjpeg62-turbo-dev libgif-dev
  libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavformat-dev
  libraw1394-dev libavc1394-dev libiec61883-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg
  fonts-liberation fontconfig
  xvfb xauth xdotool
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
