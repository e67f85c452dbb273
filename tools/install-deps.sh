#!/usr/bin/env bash
# Installs the Debian packages the project builds, runs and tests with, when any is missing.
# Works unattended (CI, no terminal): as root directly, otherwise through sudo without a prompt.
set -euo pipefail
packages=(
  build-essential make cmake ninja-build pkg-config clang libclang-rt-dev
  libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev zlib1g-dev libfreetype-dev fonts-dejavu-core python3-skimage
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  libxmp-dev libopenmpt-dev openmpt123 lib3ds-dev libassimp-dev
  xvfb xauth xdotool x11-utils x11-apps openbox imagemagick sox ffmpeg
  emscripten chromium
)
# The web page's tests run on node with packages from npm; a node from elsewhere, which brings
# its own npm, will do.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing missing packages: ${missing[*]}"
run=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Not root and no sudo: please install these packages: ${missing[*]}" >&2
    exit 1
  fi
  run=(sudo -n)
fi
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
