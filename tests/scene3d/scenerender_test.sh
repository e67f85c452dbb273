#!/usr/bin/env bash
# scenerender on the ball scene: what --info reports, a picture with the ball in it, and a file
# the reader refuses (status 1 with the reader's reason on stderr); a directory, a missing file
# and a picture too large each get their own message; outputs that would destroy a file are
# refused; large meshes drawn in their material's colour.
set -euo pipefail
# DRIFTLIGHT_RUN: the emulator that runs a 32-bit build here, if it needs one.
tool=(${DRIFTLIGHT_RUN:-} "$1/tools/scenerender/scenerender")
scene="$2/assets/scene.3ds"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

info=$("${tool[@]}" --info "$scene")
grep -q '^object Object01 *52 vertices *100 faces$' <<<"$info"
grep -q '^camera Camera01 *position (239.908, 0, -2.307) target (-46.136, 0, 0) lens 50 mm$' <<<"$info"

"${tool[@]}" "$scene" "$out/ball.png" --size 160x120
# The ball is drawn: the picture holds red pixels (the background is a dark grey-blue).
ffmpeg -loglevel error -i "$out/ball.png" -f rawvideo -pix_fmt rgb24 - |
  od -An -tu1 -v -w3 | awk '$1 > 100 && $2 < 80 { red++ } END { exit !(red > 100) }'

head -c 300 "$scene" >"$out/cut.3ds"
if "${tool[@]}" "$out/cut.3ds" "$out/cut.png" 2>"$out/err"; then exit 1; else test $? -eq 1; fi
grep -q 'the file is cut short' "$out/err"
# Nothing is destroyed: not the input, even through a link, and not an existing picture unasked.
ln -s "$(realpath "$scene")" "$out/link.png"
fails() {
  local want=$1 text=$2
  shift 2
  if "${tool[@]}" "$@" 2>"$out/err"; then exit 1; else test $? -eq "$want"; fi
  grep -qF -- "$text" "$out/err"
}
fails 2 "'$out/link.png' is the input '$scene'" "$scene" "$out/link.png" -f
cmp -s "$scene" "$out/link.png"
fails 2 "'$out/ball.png' exists; --force (-f) replaces it" "$scene" "$out/ball.png"
"${tool[@]}" "$scene" "$out/ball.png" -f
fails 2 "'$out/ball.jpg' does not end in .png" "$scene" "$out/ball.jpg"
"${tool[@]}" "$scene" - | cmp - "$out/ball.png"  # standard output gets the same picture
test -z "$(find "$out" -name '.*')"  # no temporary file left behind
fails 1 "scenerender: '$out' is a directory" "$out" "$out/x.png"
fails 1 "scenerender: cannot read '$out/none.3ds': No such file or directory" "$out/none.3ds" x.png
fails 2 "--size 3841x2160 is larger than 3840x2160" "$scene" "$out/x.png" --size 3841x2160
"${tool[@]}" "$scene" "$out/big.png" --size 3840x2160
"${tool[@]}" --help | grep -q -- '--frames N'

# Counts and vertex indices are unsigned 16-bit: a grid of 33,124 vertices and 65,535 faces (the
# most a mesh can hold) and one of 40,000 vertices are read whole and drawn, in the diffuse colour
# of the material their faces name (green). Made here, not kept.
grid() {
  python3 - "$@" <<'PY'
import struct, sys
path, side, rows, extra = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
copies = int(sys.argv[5]) if len(sys.argv) > 5 else 1
def chunk(cid, data): return struct.pack('<HI', cid, 6 + len(data)) + data
verts = [(x, y, (x * y) % 7 * 0.05) for y in range(side) for x in range(side)]
faces = []
for y in range(side - rows - 1, side - 1):  # the last rows: indices past 32,767
    for x in range(side - 1):
        a = y * side + x
        faces += [(a, a + 1, a + side + 1), (a, a + side + 1, a + side)]
faces += faces[:extra]
vl = struct.pack('<H', len(verts)) + b''.join(struct.pack('<3f', *v) for v in verts)
fl = struct.pack('<H', len(faces)) + b''.join(struct.pack('<4H', *f, 0) for f in faces)
fl += chunk(0x4130, b'Green\0' + struct.pack('<H', 0))
mesh = chunk(0x4100, chunk(0x4110, vl) + chunk(0x4120, fl))
green = chunk(0xAFFF, chunk(0xA000, b'Green\0') + chunk(0xA020, chunk(0x0011, bytes([40, 200, 60]))))
names = [b'Grid'] if copies == 1 else [b'Grid%d' % i for i in range(copies)]
objects = b''.join(chunk(0x4000, name + b'\0' + mesh) for name in names)
open(path, 'wb').write(chunk(0x4D4D, chunk(0x3D3D, green + objects)))
PY
}
if command -v python3 >/dev/null; then
  grid "$out/faces.3ds" 182 181 13
  grid "$out/vertices.3ds" 200 100 0
  grep -q '^object Grid *33124 vertices *65535 faces$' <<<"$("${tool[@]}" --info "$out/faces.3ds")"
  grep -q '^object Grid *40000 vertices *39800 faces$' <<<"$("${tool[@]}" --info "$out/vertices.3ds")"
  # Two meshes of 39,800 faces pass the scene's limit, which the refusal names.
  grid "$out/two.3ds" 200 100 0 2
  fails 1 'the scene has 79,600 faces in all by the node for mesh "Grid1"; the limit is 65,536' \
    "$out/two.3ds" "$out/two.png"
  for m in faces vertices; do
    "${tool[@]}" "$out/$m.3ds" "$out/$m.png"
    ffmpeg -loglevel error -i "$out/$m.png" -f rawvideo -pix_fmt rgb24 - |
      od -An -tu1 -v -w3 | awk '$2 > 60 && $2 > 2 * $1 { lit++ } END { exit !(lit > 1500) }'
  done
else
  echo "python3 is missing: the large meshes are not made"
fi
