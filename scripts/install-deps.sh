#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Velk2 need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
pkgs=(cmake ninja-build pkg-config g++ clang libclang-rt-14-dev llvm
      libsdl2-dev libx11-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
      libavcodec-dev libavformat-dev libswscale-dev libswresample-dev
      libvorbis-dev libogg-dev libpng-dev libjpeg-dev zlib1g-dev
      libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho
      fonts-ipaexfont-gothic fonts-ipaexfont-mincho
      libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth imagemagick locales
      python3 xdotool x11-apps x11-utils openbox)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
