#!/usr/bin/env bash
# Checks that two builds of the show compute the same numbers (for example build/ for x86-64 and
# build-i386/ for 32-bit x86): byte for byte the same
#   - samples and (order, row) timeline from modrender, for the soundtrack and every test module;
#   - show frames (a PNG every 10th frame) and show soundtrack from driftlight-capture.
# usage: tools/compare-builds.sh BUILD_A BUILD_B [TESTDATA_DIR]
# Needs modrender and driftlight-capture built in both. Exits 1 on the first list of differences.
set -u
usage() { sed -n '2,7p' "$0" | cut -c3-; }
case "${1:-}" in -h | --help) usage; exit 0 ;; esac
[ $# -ge 2 ] || { usage >&2; exit 2; }
a=$1
b=$2
root=$(cd "$(dirname "$0")/.." && pwd)
testdata=${3:-$root/../shared/testdata}
for build in "$a" "$b"; do
  for exe in tools/modrender/modrender tools/capture/driftlight-capture; do
    [ -x "$build/$exe" ] || { echo "compare-builds: no $build/$exe (build it first)" >&2; exit 2; }
  done
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/a" "$work/b"
failures=0
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

echo "== the show through the offline host: frames and soundtrack =="
frames=$(seq -s, 0 10 20000)
for side in a b; do
  build=$a
  [ $side = b ] && build=$b
  mkdir -p "$work/$side/png"
  "$build/tools/capture/driftlight-capture" --no-encode --wav "$work/$side/show.wav" \
    --png-dir "$work/$side/png" --frames "$frames" >"$work/$side/capture.log" 2>&1 ||
    { cat "$work/$side/capture.log"; differs "driftlight-capture failed in $build"; }
done
pngs=$(find "$work/a/png" -name '*.png' | wc -l)
if ! diff -rq "$work/a/png" "$work/b/png" >"$work/png.diff"; then
  differs "frames: $(wc -l <"$work/png.diff") of $pngs PNGs"
  head -5 "$work/png.diff"
else
  echo "frames: all $pngs PNGs (every 10th frame of the show) same"
fi
if cmp -s "$work/a/show.wav" "$work/b/show.wav"; then
  echo "show soundtrack: $(( ($(stat -c %s "$work/a/show.wav") - 44) / 2 )) samples same"
else
  differs "show soundtrack ($(cmp "$work/a/show.wav" "$work/b/show.wav" 2>&1 | head -1))"
fi

if [ $failures -gt 0 ]; then
  echo "compare-builds: $failures difference(s) between $a and $b"
  exit 1
fi
echo "compare-builds: $a and $b give the same samples, timelines and frames"
