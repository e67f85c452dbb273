#!/usr/bin/env bash
# scenerender on the ball scene: what --info reports, a picture with the ball in it, and a file
# the reader refuses (status 1 with the reader's reason on stderr).
set -euo pipefail
tool="$1/tools/scenerender/scenerender"
scene="$2/assets/scene.3ds"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

info=$("$tool" --info "$scene")
grep -q '^object Object01 *52 vertices *100 faces$' <<<"$info"
grep -q '^camera Camera01 *position (239.908, 0, -2.307) target (-46.136, 0, 0) lens 50 mm$' <<<"$info"

"$tool" "$scene" "$out/ball.png" --size 160x120
# The ball is drawn: the picture holds red pixels (the background is a dark grey-blue).
ffmpeg -loglevel error -i "$out/ball.png" -f rawvideo -pix_fmt rgb24 - |
  od -An -tu1 -v -w3 | awk '$1 > 100 && $2 < 80 { red++ } END { exit !(red > 100) }'

head -c 300 "$scene" >"$out/cut.3ds"
if "$tool" "$out/cut.3ds" "$out/cut.png" 2>"$out/err"; then exit 1; else test $? -eq 1; fi
grep -q 'the file is cut short' "$out/err"
"$tool" --help | grep -q -- '--frames N'
