#!/usr/bin/env bash
# scenerender on the ball scene: what --info reports, a picture with the ball in it, and a file
# the reader refuses (status 1 with the reader's reason on stderr); a directory, a missing file
# and a picture too large each get their own message.
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
# status and message of a run that must fail
fails() {
  local want=$1 text=$2
  shift 2
  if "${tool[@]}" "$@" 2>"$out/err"; then exit 1; else test $? -eq "$want"; fi
  grep -qF -- "$text" "$out/err"
}
fails 1 "scenerender: '$out' is a directory" "$out" "$out/x.png"
fails 1 "scenerender: cannot read '$out/none.3ds': No such file or directory" "$out/none.3ds" x.png
fails 2 "--size 3841x2160 is larger than 3840x2160" "$scene" "$out/x.png" --size 3841x2160
"${tool[@]}" "$scene" "$out/big.png" --size 3840x2160
"${tool[@]}" --help | grep -q -- '--frames N'
