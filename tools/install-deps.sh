#!/usr/bin/env bash
# Installs the Debian packages the project builds, runs and tests with, when any is missing.
# Works unattended (CI, no terminal): as root directly, otherwise through sudo without a prompt.
#   tools/install-deps.sh        what the main (x86-64) build needs
#   tools/install-deps.sh i386   that, and then the 32-bit x86 build's (make i386): the
#                                multilib compiler and the :i386 libraries, side by side
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
case "${1:-}" in
  "" | i386) ;;
  *) echo "usage: tools/install-deps.sh [i386]" >&2; exit 2 ;;
esac
missing_of() {
  missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
}
run=()
as_root() {
  if [ "$(id -u)" -ne 0 ] && [ ${#run[@]} -eq 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "Not root and no sudo: please install these packages: ${missing[*]}" >&2
      exit 1
    fi
    run=(sudo -n)
  fi
  "${run[@]}" env DEBIAN_FRONTEND=noninteractive "$@" </dev/null
}

missing_of "${packages[@]}"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  as_root apt-get update -qq
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ "${1:-}" = i386 ] || exit 0

# The 32-bit build: what the program, its tests and the capture tool link with.
i386_packages=(
  g++-multilib
  libsdl2-dev:i386 libgtest-dev:i386 libgmock-dev:i386 libpng-dev:i386 zlib1g-dev:i386
  libfreetype-dev:i386
  libavformat-dev:i386 libavcodec-dev:i386 libswscale-dev:i386 libswresample-dev:i386
  libavutil-dev:i386
)
# The peers' libraries, for the conformance tests: wanted, but the 32-bit build goes on without
# any of them that Debian cannot install for i386 (their tests are then left out). lib3ds-dev is
# not among them: it is not multi-arch, and its i386 package would replace the main build's.
i386_peers=(libxmp-dev:i386 libopenmpt-dev:i386 libassimp-dev:i386)
missing_of "${i386_packages[@]}" "${i386_peers[@]}"
[ ${#missing[@]} -gt 0 ] || exit 0
echo "Installing missing packages for the 32-bit build: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
as_root apt-get update -qq
missing_of "${i386_packages[@]}"
# --no-remove: a package that cannot sit beside its 64-bit twin must not take the main build's.
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get install -y -qq --no-install-recommends --no-remove "${missing[@]}"
fi
missing_of "${i386_peers[@]}"
for p in "${missing[@]}"; do
  as_root apt-get install -y -qq --no-install-recommends --no-remove "$p" ||
    echo "note: $p does not install here; the 32-bit build leaves out the tests that need it" >&2
done
