#!/usr/bin/env bash
# Installs the Debian packages of one purpose, when any is missing. Works unattended (CI, no
# terminal): as root directly, otherwise through sudo without a prompt.
#   tools/install-deps.sh [PURPOSE]          install what PURPOSE needs (default: test)
#   tools/install-deps.sh --print PURPOSE    list PURPOSE's packages, install nothing
# Purposes:
#   show     build and watch the show (make run): a compiler, CMake, Ninja and SDL2
#   capture  the capture tool (make capture): the show's, and FFmpeg's and libpng's libraries
#   package  the two Debian packages (make package): the capture's, and what makes the manual
#            pages and the packages' dependencies (help2man, dpkg-dev, file)
#   web      the web page (make web): Emscripten
#   test     every test (make test, CI): all of the above, the peers, the tools the tests drive
#            (a sound server, the package's validators)
#   i386     the 32-bit x86 build (make i386): the multilib compiler and GoogleTest's sources;
#            qemu-user where this machine's kernel runs no 32-bit x86 process (the tests then
#            run under qemu-i386); else libsdl2-dev:i386 where this machine's mirror can
#            install it (without it the 32-bit build is the core without the SDL program). If
#            that fails, and no :i386 package was installed before, the i386 architecture is
#            removed again, so that apt-get works as it did.
set -euo pipefail
usage() { sed -n '4,18p' "$0" | cut -c3-; }

show=(build-essential make cmake ninja-build pkg-config libsdl2-dev)
capture=("${show[@]}" libpng-dev zlib1g-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev)
package=("${capture[@]}" help2man dpkg-dev file)
# Debian's emcc runs its helpers on node.
web=(build-essential make cmake ninja-build pkg-config emscripten nodejs)
test=("${capture[@]}" clang clang-format libclang-rt-dev libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev fonts-dejavu-core python3-skimage
  libxmp-dev libopenmpt-dev openmpt123 lib3ds-dev libassimp-dev
  xvfb xauth xdotool x11-utils x11-apps openbox imagemagick sox ffmpeg
  emscripten chromium
  pulseaudio pulseaudio-utils help2man desktop-file-utils appstream lintian man-db dpkg-dev file
  fakeroot)
# The web page's tests run on node with packages from npm; a node from elsewhere, which brings
# its own npm, will do.
command -v node >/dev/null || test+=(nodejs)
command -v npm >/dev/null || test+=(npm)
i386=(build-essential make cmake ninja-build pkg-config g++-multilib googletest)
i386_sdl=libsdl2-dev:i386

print=false
if [ "${1:-}" = --print ]; then
  print=true
  shift
fi
purpose=${1:-test}
case $purpose in
  show) packages=("${show[@]}") ;;
  capture) packages=("${capture[@]}") ;;
  package) packages=("${package[@]}") ;;
  web) packages=("${web[@]}") ;;
  test) packages=("${test[@]}") ;;
  i386) packages=("${i386[@]}") ;;
  -h | --help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac
if $print; then
  printf '%s\n' "${packages[@]}" | sort -u
  [ "$purpose" != i386 ] ||
    printf '%s\n' "qemu-user (where the kernel runs no 32-bit program)" "$i386_sdl (where it installs)"
  exit 0
fi

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
# A package list that cannot be fetched (a foreign architecture's index of the wrong size, a
# mirror being synced) must not stop the install: apt-get installs from the lists it has.
update() {
  as_root apt-get update -qq ||
    echo "note: apt-get update reported errors (above); going on with the package lists it has" >&2
}

missing_of "${packages[@]}"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages ($purpose): ${missing[*]}"
  update
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ "$purpose" = i386 ] || exit 0

# Does this kernel run a 32-bit x86 process? Some x86-64 kernels are built without IA-32
# emulation; there the 32-bit programs run under qemu-i386, and a window is not worth emulating.
probe=$(mktemp -d)
echo 'int main(void) { return 0; }' >"$probe/probe.c"
native=true
if gcc -m32 "$probe/probe.c" -o "$probe/probe" && ! "$probe/probe" 2>/dev/null; then
  native=false
fi
rm -rf "$probe"
if ! $native; then
  echo "note: this kernel runs no 32-bit x86 process: the 32-bit tests run under qemu-i386"
  missing_of qemu-user
  if [ ${#missing[@]} -gt 0 ]; then
    update
    as_root apt-get install -y -qq --no-install-recommends qemu-user
  fi
  exit 0
fi

# The 32-bit SDL program: only where this machine's mirror can install SDL2 for i386 beside the
# 64-bit packages, which it cannot whenever the two architectures' versions differ.
missing_of "$i386_sdl"
[ ${#missing[@]} -gt 0 ] || exit 0
i386_installed() { dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; }
added=false
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  added=true
fi
had_i386=false
i386_installed && had_i386=true
why=""
if ! as_root apt-get update -qq 2>"${TMPDIR:-/tmp}/driftlight-apt.err"; then
  why="the package lists cannot be fetched ($(grep -m1 -E '^(E|W):' "${TMPDIR:-/tmp}/driftlight-apt.err" | cut -c1-200))"
fi
# --no-remove: a package that cannot sit beside its 64-bit twin must not take the main build's.
if [ -z "$why" ] &&
  ! as_root apt-get install -y -qq --no-install-recommends --no-remove "$i386_sdl" \
    >"${TMPDIR:-/tmp}/driftlight-apt.err" 2>&1; then
  why="it cannot be installed beside the 64-bit packages ($(grep -m1 -E '^(E|W):' "${TMPDIR:-/tmp}/driftlight-apt.err" | cut -c1-200))"
fi
rm -f "${TMPDIR:-/tmp}/driftlight-apt.err"
if [ -n "$why" ]; then
  echo "note: no $i386_sdl here: $why; the 32-bit build is the core without the SDL program"
  if $added && ! $had_i386 && ! i386_installed; then
    # Leave the machine as it was: without the architecture, apt-get update works again.
    as_root dpkg --remove-architecture i386
    as_root apt-get update -qq || true
  fi
fi
exit 0
