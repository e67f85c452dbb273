#!/usr/bin/env bash
# driftlight-capture --until 200 writes an MP4 that ffprobe reads: H.264 1280x960 4:4:4 and AAC,
# as long as the first two orders of the soundtrack (2 x 64 rows of 6 ticks at 52 ticks a
# second), with one video frame per 1/50 s; a second run writes the same bytes. A path it cannot
# write, or an interrupted run, gives a message and leaves no file (and no partial one) behind;
# --until 0, -o - and an unknown preset are refused before anything is written.
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
[ "$(probe v:0 stream=width,height | tr '\n' x)" = 1280x960x ] || fail "not 1280x960"
[ "$(probe v:0 stream=pix_fmt)" = yuv444p ] || fail "not 4:4:4"
[ "$(probe v:0 stream=nb_frames)" = "$frames" ] || fail "frame count differs from the summary"
duration=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$work/a.mp4")
expected=$(awk 'BEGIN{print 128 * 6 / 52}')
awk -v d="$duration" -v e="$expected" -v f="$frames" 'BEGIN{
  if (d < e - 0.05 || d > e + 0.05) exit 1; if (f / 50 < d - 0.03 || f / 50 > d + 0.03) exit 1 }' ||
  fail "duration $duration s for $frames frames, expected about $expected s"
echo "duration $duration s, $frames frames (expected about $expected s)"

"$exe" --until 200 -o "$work/b.mp4" > /dev/null || fail "second capture failed"
cmp -s "$work/a.mp4" "$work/b.mp4" || fail "two captures differ"

# Refused on the command line (status 2, one line, nothing written): positions that give no frame,
# standard output as the file, a preset x264 does not have.
refused() {
  local text=$1
  shift
  (cd "$work" && "$exe" "$@" > /dev/null 2> "$work/err.txt")
  [ $? = 2 ] || fail "$* was not refused with status 2"
  [ "$(wc -l < "$work/err.txt")" = 1 ] && grep -qF -- "$text" "$work/err.txt" ||
    fail "$*: unclear message: $(cat "$work/err.txt")"
  [ -z "$(ls "$work" | grep -v -e '^[ab]\.mp4$' -e '^summary\.txt$' -e '^err\.txt$')" ] ||
    fail "$* left a file: $(ls "$work")"
}
refused "--until 0 gives no frame" --until 0 -o "$work/e.mp4"
refused "-o - : an MP4 cannot go to standard output" -o -
refused "unknown x264 preset 'sluggish' (one of ultrafast superfast" --preset sluggish -o f.mp4

# A directory that does not exist: a message naming the path, status 1, nothing written.
"$exe" --until 10 -o "$work/missing/c.mp4" > /dev/null 2> "$work/err.txt" && fail "wrote into a missing directory"
grep -q "cannot write $work/missing/c.mp4" "$work/err.txt" || fail "unclear message: $(cat "$work/err.txt")"
# Interrupted half way: status 130, and neither the file nor its temporary name is left.
"$exe" -o "$work/d.mp4" > /dev/null 2>&1 &
pid=$!
# Wait for the temporary file while the capture runs (the whole show takes minutes; a hang guard
# of 10 minutes only stops a capture that never writes).
for _ in $(seq 6000); do
  [ -s "$work/d.mp4.part" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/d.mp4.part" ] || fail "no temporary file while capturing"
kill -INT "$pid"
wait "$pid"
[ $? = 130 ] || fail "an interrupted capture did not end with status 130"
[ ! -e "$work/d.mp4" ] && [ ! -e "$work/d.mp4.part" ] || fail "an interrupted capture left a file"
echo PASS
