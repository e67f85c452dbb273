#!/usr/bin/env bash
# modrender end to end: outputs that would destroy a file are refused; a song written for VBlank
# timing is detected and plays shorter so; stereo puts each channel on its Amiga side; refusals
# and warnings about channel tags; and the default level clips none of the shared songs.
set -euo pipefail
# DRIFTLIGHT_RUN: the emulator that runs a 32-bit build here, if it needs one.
tool=(${DRIFTLIGHT_RUN:-} "$1/tools/modrender/modrender")
testdata="$2/../shared/testdata/mod"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
command -v python3 >/dev/null || { echo "python3 is missing: the test modules cannot be made"; exit 0; }

# A song of 21 orders (or as many as asked) of one pattern that sets F20 on its first row and F06
# on the next: as a tempo, F20 holds 32 beats a minute for the whole song (30 s an order, over 10
# minutes); as a speed, one slow row (under 3 minutes). A note on channel 0 every fourth row.
# extra: bytes appended.
song() {
  python3 - "$@" <<'PY'
import math, struct, sys
path, tag, extra = sys.argv[1], sys.argv[2].encode(), int(sys.argv[3])
orders = int(sys.argv[4]) if len(sys.argv) > 4 else 21
h = bytearray(1084)
h[42:44] = struct.pack('>H', 1000)  # sample 1: 2000 bytes, volume 64, looping whole
h[45] = 64
h[48:50] = struct.pack('>H', 1000)
h[950] = orders
h[1080:1084] = tag
pat = bytearray(1024)
def cell(row, ch, period, smp, cmd, par):
    pat[row * 16 + ch * 4:row * 16 + ch * 4 + 4] = bytes(
        [(smp & 0xF0) | (period >> 8), period & 0xFF, ((smp & 15) << 4) | cmd, par])
cell(0, 3, 0, 0, 0xF, 0x20)
cell(1, 3, 0, 0, 0xF, 0x06)
for r in range(0, 64, 4): cell(r, 0, 428, 1, 0, 0)
smp = bytes(int(100 * math.sin(i * 2 * math.pi / 32)) & 0xFF for i in range(2000))
open(path, 'wb').write(bytes(h) + bytes(pat) + smp + bytes(extra))
PY
}
# status and message of a run that must fail
fails() {
  local want=$1 text=$2
  shift 2
  if "${tool[@]}" "$@" 2>"$out/err"; then exit 1; else test $? -eq "$want"; fi
  grep -qF -- "$text" "$out/err"
}
seconds() { python3 -c "import struct,sys; b=open(sys.argv[1],'rb').read(); \
print(struct.unpack('<I',b[40:44])[0] // struct.unpack('<I',b[28:32])[0])" "$1"; }

song "$out/vb.mod" M.K. 0
cp "$out/vb.mod" "$out/keep.mod"
# Nothing is destroyed: not the input, even through a link, and not an existing file unasked.
ln -s "$out/vb.mod" "$out/link.wav"
fails 2 "'$out/link.wav' is the input '$out/vb.mod'" "$out/vb.mod" "$out/link.wav" -f
fails 2 "'$out/vb.mod' is the input '$out/vb.mod'" "$out/vb.mod" "$out/vb.mod" -f
cmp "$out/vb.mod" "$out/keep.mod"
"${tool[@]}" "$out/vb.mod" "$out/a.wav" --seconds 1
fails 2 "'$out/a.wav' exists; --force (-f) replaces it" "$out/vb.mod" "$out/a.wav"
"${tool[@]}" "$out/vb.mod" "$out/a.wav" --seconds 2 -f
test "$(seconds "$out/a.wav")" -eq 2
test -z "$(find "$out" -name '.*')"  # no temporary file left behind
# A render stopped by a signal while it writes leaves the old file and no temporary one.
cp "$out/a.wav" "$out/old.wav"
"${tool[@]}" -f --seconds 1200 --rate 8000 "$out/vb.mod" "$out/a.wav" 2>/dev/null &
pid=$!
for _ in $(seq 6000); do
  [ -n "$(find "$out" -name '.a.wav.*')" ] && break
  sleep 0.01
done
kill -TERM $pid 2>/dev/null || true
status=0
wait $pid || status=$?
if [ $status -eq 143 ]; then
  cmp "$out/a.wav" "$out/old.wav"
else
  echo "the render ended before the signal came (status $status): the old file is not checked"
fi
test -z "$(find "$out" -name '.*')"

# Timing: detected as VBlank and said so; each explicit choice plays its own length.
"${tool[@]}" --protracker --rate 8000 "$out/vb.mod" "$out/auto.wav" 2>"$out/err"
grep -q '^modrender: timing VBlank: with F20 and above as tempos the song lasts 10:29, as speeds 2:52' \
  "$out/err"
"${tool[@]}" --vblank --rate 8000 "$out/vb.mod" "$out/vblank.wav"
"${tool[@]}" --cia --rate 8000 "$out/vb.mod" "$out/cia.wav"
cmp "$out/auto.wav" "$out/vblank.wav"
# The line is 8 minutes as tempos (15 orders: 7:29, CIA; 16: 7:59 here, 8:00 from the row on
# which the tempo is set, VBlank), as openmpt123 --info draws it.
for orders in 15 16; do
  song "$out/o$orders.mod" M.K. 0 $orders
  "${tool[@]}" --protracker --seconds 1 "$out/o$orders.mod" "$out/o$orders.wav" 2>"$out/o$orders.err"
done
grep -q '^modrender: timing CIA: .* lasts 7:29' "$out/o15.err"
grep -q '^modrender: timing VBlank: .* lasts 7:59' "$out/o16.err"
test "$(seconds "$out/vblank.wav")" -eq 172
test "$(seconds "$out/cia.wav")" -eq 629

# Stereo: channel 0 alone is on the left only; at half separation it reaches the right too.
# Prints the peak of each side.
peaks() { python3 -c "import array,sys; a=array.array('h'); a.frombytes(open(sys.argv[1],'rb').read()[44:]); \
print(max(map(abs,a[0::2])), max(map(abs,a[1::2])))" "$1"; }
"${tool[@]}" --stereo --solo 0 --seconds 2 "$out/vb.mod" "$out/left.wav"
read -r left right <<<"$(peaks "$out/left.wav")"
test "$left" -gt 5000 && test "$right" -eq 0
test "$(seconds "$out/left.wav")" -eq 2  # the header's rate counts frames of two samples
"${tool[@]}" --separation 50 --solo 0 --seconds 2 "$out/vb.mod" "$out/half.wav"
read -r left right <<<"$(peaks "$out/half.wav")"
test "$right" -gt 0 && test $((left / right)) -eq 3  # (100 + 50) : (100 - 50)

# Channel tags: refusals in the tool's words; --solo takes any channel the song has; a size that
# fits another count is warned about.
song "$out/cd81.mod" CD81 0
fails 1 "is not a module this player reads: unknown tag 'CD81'" "$out/cd81.mod" "$out/x.wav"
fails 2 "--solo 4: the song has 4 channels (0 to 3)" --solo 4 "$out/vb.mod" "$out/x.wav"
song "$out/wide.mod" M.K. 1024
"${tool[@]}" "$out/wide.mod" "$out/wide.wav" --seconds 1 2>"$out/err"
grep -qF "is 1,024 bytes longer than 4 channels (its tag 'M.K.') need, and fits 8 channels exactly" \
  "$out/err"

if [ -d "$testdata" ]; then
  # FLT8: Startrekker's halves make 8 channels; channel 7 is one of them.
  "${tool[@]}" --solo 7 "$testdata/Gidion_Graveland.mod" "$out/flt8.wav"
  # The default level clips none of the songs, in mono or stereo.
  for m in "$testdata"/*.mod; do
    for mode in --protracker --stereo; do
      "${tool[@]}" "$mode" "$m" "$out/song.wav" -f 2>"$out/err" || true
      if grep -q clipped "$out/err"; then cat "$out/err"; exit 1; fi
    done
  done
else
  echo "no shared test modules ($testdata): FLT8 and the level are not checked"
fi
