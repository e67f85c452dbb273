#!/usr/bin/env bash
# Checks that two builds of the show compute the same numbers (for example build/ for x86-64 and
# build-i386/ for 32-bit x86): byte for byte the same
#   - samples and (order, row) timeline from modrender, for the soundtrack and every test module;
#   - the show through the offline host (tests/show/show_frames): every frame's music position,
#     scene and pixel hash, the normal and the gentle show, and the show's soundtrack.
# usage: tools/compare-builds.sh BUILD_A BUILD_B [TESTDATA_DIR]
# Needs modrender and show_frames built in both (neither needs more than the core). A build whose
# programs this machine runs only under emulation (a 32-bit build where the kernel runs no 32-bit
# process: CMAKE_CROSSCOMPILING_EMULATOR in its cache) runs them through that emulator. Exits 1
# when anything differs, when a program did not run, or when fewer files than expected (the
# soundtrack, each test module, both shows) were compared.
set -u
usage() { sed -n '2,12p' "$0" | cut -c3-; }
case "${1:-}" in -h | --help) usage; exit 0 ;; esac
[ $# -ge 2 ] || { usage >&2; exit 2; }
a=$1
b=$2
root=$(cd "$(dirname "$0")/.." && pwd)
testdata=${3:-$root/../shared/testdata}
for build in "$a" "$b"; do
  for exe in tools/modrender/modrender tests/show/show_frames; do
    [ -x "$build/$exe" ] || { echo "compare-builds: no $build/$exe (build it first)" >&2; exit 2; }
  done
done
# The emulator a build's programs need here, from its cache (nothing when they run natively).
emulator_of() {
  sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$1/CMakeCache.txt" 2>/dev/null
}
read -ra run_a <<<"$(emulator_of "$a")"
read -ra run_b <<<"$(emulator_of "$b")"
for side in a b; do
  build=$a
  runner=("${run_a[@]}")
  [ $side = b ] && build=$b && runner=("${run_b[@]}")
  if [ ${#runner[@]} -gt 0 ]; then
    echo "$build: its programs run under emulation (${runner[*]})"
    "${runner[@]}" --version >/dev/null 2>&1 ||
      { echo "compare-builds: the emulator '${runner[*]}' does not run" >&2; exit 2; }
  else
    echo "$build: its programs run natively"
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/a" "$work/b"
failures=0
compared=0
differs() { echo "DIFFERS: $*"; failures=$((failures + 1)); }

# One module through both players: same exit status, same samples, same timeline.
render() {
  local mod=$1 name=$2
  shift 2
  local ra rb
  "${run_a[@]}" "$a/tools/modrender/modrender" "$mod" "$work/a/$name.wav" \
    --timeline "$work/a/$name.rows" "$@" >/dev/null 2>"$work/a/$name.err"
  ra=$?
  "${run_b[@]}" "$b/tools/modrender/modrender" "$mod" "$work/b/$name.wav" \
    --timeline "$work/b/$name.rows" "$@" >/dev/null 2>"$work/b/$name.err"
  rb=$?
  if [ "$ra" -ge 126 ] || [ "$rb" -ge 126 ]; then
    differs "$name: modrender did not run (status $ra and $rb)"
    cat "$work/a/$name.err" "$work/b/$name.err" | head -4
  elif [ "$ra" != "$rb" ]; then
    differs "$name: modrender status $ra and $rb"
  elif [ "$ra" != 0 ]; then
    if cmp -s "$work/a/$name.err" "$work/b/$name.err"; then
      compared=$((compared + 1))
      printf '%-28s refused by both, in the same words\n' "$name"
    else
      differs "$name: refusal messages"
    fi
  elif ! cmp -s "$work/a/$name.wav" "$work/b/$name.wav"; then
    differs "$name: samples ($(cmp "$work/a/$name.wav" "$work/b/$name.wav" 2>&1 | head -1))"
  elif ! cmp -s "$work/a/$name.rows" "$work/b/$name.rows"; then
    differs "$name: timeline"
    diff "$work/a/$name.rows" "$work/b/$name.rows" | head -4
  else
    compared=$((compared + 1))
    printf '%-28s %9d samples, %5d timeline steps  same\n' "$name" \
      $(( ($(stat -c %s "$work/a/$name.wav") - 44) / 2 )) "$(wc -l <"$work/a/$name.rows")"
  fi
}

echo "== modrender: samples and (order, row) timeline =="
render "$root/assets/soundtrack.mod" soundtrack.mod --tick-rate 52
expected=3  # the soundtrack and the two shows, then one more for each test module
if [ -d "$testdata/mod" ]; then
  expected=$((expected + $(find "$testdata/mod" -maxdepth 1 -name '*.mod' | wc -l)))
  for mod in "$testdata"/mod/*.mod; do render "$mod" "$(basename "$mod")"; done
else
  echo "(no test modules: $testdata/mod is absent)"
fi

echo "== the show through the offline host: every frame's position, scene and hash =="
for variant in show gentle; do
  flag=()
  [ $variant = gentle ] && flag=(--gentle)
  for side in a b; do
    build=$a
    runner=("${run_a[@]}")
    [ $side = b ] && build=$b && runner=("${run_b[@]}")
    "${runner[@]}" "$build/tests/show/show_frames" "${flag[@]}" "$work/$side/$variant.frames" \
      "$work/$side/$variant.wav" 2>"$work/$side/$variant.err" ||
      { cat "$work/$side/$variant.err"; differs "show_frames $variant failed in $build"; }
  done
  frames=$(wc -l <"$work/a/$variant.frames")
  if [ "$frames" -eq 0 ]; then
    differs "$variant: no frames"
  elif ! cmp -s "$work/a/$variant.frames" "$work/b/$variant.frames"; then
    differs "$variant: frames ($(diff "$work/a/$variant.frames" "$work/b/$variant.frames" |
      grep -c '^<') of $frames differ)"
    diff "$work/a/$variant.frames" "$work/b/$variant.frames" | head -4
  elif ! cmp -s "$work/a/$variant.wav" "$work/b/$variant.wav"; then
    differs "$variant soundtrack ($(cmp "$work/a/$variant.wav" "$work/b/$variant.wav" 2>&1 | head -1))"
  else
    compared=$((compared + 1))
    echo "$variant: all $frames frames (position, scene, pixel hash) and" \
      "$(( ($(stat -c %s "$work/a/$variant.wav") - 44) / 2 )) samples same"
  fi
done

if [ $failures -eq 0 ] && [ $compared -lt $expected ]; then
  echo "compare-builds: only $compared of $expected comparisons made"
  exit 1
fi
if [ $failures -gt 0 ]; then
  echo "compare-builds: $failures difference(s) between $a and $b"
  exit 1
fi
echo "compare-builds: $a and $b give the same samples, timelines and frames ($compared of $expected files compared)"
