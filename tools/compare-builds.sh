#!/usr/bin/env bash
# Checks that two builds of the show compute the same numbers (for example build/ for x86-64 and
# build-i386/ for 32-bit x86): byte for byte the same
#   - samples and (order, row) timeline from modrender, for the soundtrack and every test module;
#   - the show through the offline host (tests/show/show_frames): every frame's music position,
#     scene and pixel hash, the normal and the gentle show, and the show's soundtrack.
# usage: tools/compare-builds.sh BUILD_A BUILD_B [TESTDATA_DIR]
# Needs modrender and show_frames built in both (neither needs more than the core). Exits 1 when
# anything differs, or when nothing was compared.
set -u
usage() { sed -n '2,7p' "$0" | cut -c3-; }
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
  "$a/tools/modrender/modrender" "$mod" "$work/a/$name.wav" --timeline "$work/a/$name.rows" "$@" \
    >/dev/null 2>"$work/a/$name.err"
  ra=$?
  "$b/tools/modrender/modrender" "$mod" "$work/b/$name.wav" --timeline "$work/b/$name.rows" "$@" \
    >/dev/null 2>"$work/b/$name.err"
  rb=$?
  if [ "$ra" != "$rb" ]; then
    differs "$name: modrender status $ra and $rb"
  elif [ "$ra" != 0 ]; then
    cmp -s "$work/a/$name.err" "$work/b/$name.err" || differs "$name: refusal messages"
    printf '%-28s refused by both\n' "$name"
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
if [ -d "$testdata/mod" ]; then
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
    [ $side = b ] && build=$b
    "$build/tests/show/show_frames" "${flag[@]}" "$work/$side/$variant.frames" \
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

if [ $failures -eq 0 ] && [ $compared -lt 3 ]; then
  echo "compare-builds: only $compared comparisons made (the soundtrack and both shows at least)"
  exit 1
fi
if [ $failures -gt 0 ]; then
  echo "compare-builds: $failures difference(s) between $a and $b"
  exit 1
fi
echo "compare-builds: $a and $b give the same samples, timelines and frames ($compared files compared)"
