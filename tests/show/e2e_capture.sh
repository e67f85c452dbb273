#!/usr/bin/env bash
# driftlight-capture --until 200 writes an MP4 that ffprobe reads: H.264 640x480 and AAC, as long
# as the first two orders of the soundtrack (2 x 64 rows of 6 ticks at 52 ticks a second), with
# one video frame per 1/60 s; a second run writes the same bytes.
# usage: e2e_capture.sh BUILD_DIR
set -u
build=${1:?build directory}
exe="$build/tools/capture/driftlight-capture"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$exe" --until 200 -o "$work/a.mp4" > "$work/summary.txt" || fail "capture failed"
frames=$(awk '/^show:/{print $2}' "$work/summary.txt")
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of default=nw=1:nk=1 "$work/a.mp4"; }
[ "$(probe v:0 stream=codec_name)" = h264 ] || fail "no H.264 stream"
[ "$(probe a:0 stream=codec_name)" = aac ] || fail "no AAC stream"
[ "$(probe v:0 stream=width,height | tr '\n' x)" = 640x480x ] || fail "not 640x480"
[ "$(probe v:0 stream=nb_frames)" = "$frames" ] || fail "frame count differs from the summary"
duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$work/a.mp4")
expected=$(awk 'BEGIN{print 128 * 6 / 52}')
awk -v d="$duration" -v e="$expected" -v f="$frames" 'BEGIN{
  if (d < e - 0.05 || d > e + 0.05) exit 1; if (f / 60 < d - 0.03 || f / 60 > d + 0.03) exit 1 }' ||
  fail "duration $duration s for $frames frames, expected about $expected s"
echo "duration $duration s, $frames frames (expected about $expected s)"

"$exe" --until 200 -o "$work/b.mp4" > /dev/null || fail "second capture failed"
cmp -s "$work/a.mp4" "$work/b.mp4" || fail "two captures differ"
echo PASS
