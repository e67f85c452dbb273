#!/usr/bin/env bash
# Installs the Debian packages the project builds, runs and tests with, when any is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev zlib1g-dev libfreetype-dev fonts-dejavu-core python3-skimage
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libxmp-dev libopenmpt-dev openmpt123 lib3ds-dev libassimp-dev
  xvfb xauth xdotool x11-utils x11-apps openbox imagemagick sox ffmpeg
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
