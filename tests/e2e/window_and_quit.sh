#!/usr/bin/env bash
# Starts the show on a fresh virtual display with silent audio, checks its window (640 x 480,
# titled "Driftlight by Osk"), presses "q" and expects the program to end with status 0.
set -u
exe=$1
if [ "${2:-}" != --inner ]; then
  for tool in xvfb-run xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  exec xvfb-run -a -s '-screen 0 1024x768x24' "$0" "$exe" --inner
fi

fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; exit 1; }

SDL_AUDIODRIVER=dummy "$exe" &
pid=$!

win=""
for _ in $(seq 100); do
  win=$(xdotool search --name '^Driftlight by Osk$' 2>/dev/null | head -n1)
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared"
  sleep 0.1
done
[ -n "$win" ] || fail "no window titled \"Driftlight by Osk\""

info=$(xwininfo -id "$win")
echo "$info" | grep -q 'Driftlight by Osk' || fail "title: $info"
width=$(echo "$info" | awk '/Width:/ {print $2}')
height=$(echo "$info" | awk '/Height:/ {print $2}')
[ "$width" = 640 ] && [ "$height" = 480 ] || fail "window is ${width}x${height}, not 640x480"

sleep 1  # let it show a few frames
kill -0 "$pid" 2>/dev/null || fail "the program ended on its own"
xdotool windowfocus --sync "$win"
xdotool key q

for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running 10 s after \"q\""
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "exit status $status after \"q\""
echo "PASS: 640x480 window \"Driftlight by Osk\", \"q\" ended it with status 0"
