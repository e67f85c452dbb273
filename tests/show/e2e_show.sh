#!/usr/bin/env bash
# The real driftlight on a virtual display with SDL's disk audio driver: after 10 seconds the
# screen shows a non-black 4:3 picture, "f" toggles full screen and back, "q" ends the show with
# status 0, and the audio it wrote is not silent.
# usage: e2e_show.sh BUILD_DIR
set -u
build=${1:?build directory}
exe="$build/driver/driftlight"
work=$(mktemp -d)
fail() { echo "FAIL: $*"; exit 1; }
cleanup() {
  [ -n "${show_pid:-}" ] && kill "$show_pid" 2>/dev/null
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
# Full screen is a request to the window manager: run a small one.
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 1

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" "$exe" &
show_pid=$!
sleep 10
kill -0 "$show_pid" 2>/dev/null || fail "the show ended early"

wid=$(xdotool search --name "Driftlight by Osk" | head -1)
[ -n "$wid" ] || fail "no window titled 'Driftlight by Osk'"
geometry() { xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
  /^  Width/{w=$NF} /^  Height/{h=$NF} END{print w, h, x, y}'; }

# A non-black 4:3 picture inside the window (the window manager may have moved it).
read -r w h x y < <(geometry)
[ $(( w * 3 )) -eq $(( h * 4 )) ] || fail "window is ${w}x${h}, not 4:3"
import -window root -crop "${w}x${h}+${x}+${y}" "$work/shot.png" || fail "no screenshot"
mean=$(convert "$work/shot.png" -colorspace gray -format '%[fx:int(mean*1000)]' info:)
[ "$mean" -gt 5 ] || fail "the picture is black (mean $mean/1000)"
echo "window ${w}x${h} at $x,$y, mean brightness $mean/1000"

# "f" fills the screen, a second "f" gives the window back.
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --clearmodifiers f
sleep 1.5
read -r fw fh _ _ < <(geometry)
[ "$fw" -eq 1024 ] && [ "$fh" -eq 768 ] || fail "after f the window is ${fw}x${fh}, not the screen"
xdotool key --clearmodifiers f
sleep 1.5
read -r bw bh _ _ < <(geometry)
[ "$bw" -eq "$w" ] && [ "$bh" -eq "$h" ] || fail "after a second f the window is ${bw}x${bh}"
echo "full screen ${fw}x${fh}, back to ${bw}x${bh}"

# "q" ends the show with status 0.
xdotool key --clearmodifiers q
for _ in $(seq 50); do kill -0 "$show_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$show_pid" 2>/dev/null && fail "q did not end the show"
wait "$show_pid"
status=$?
show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"

# The disk driver wrote signed 16-bit mono samples; the soundtrack is far from silent.
peak=$(sox -t raw -r 44100 -e signed -b 16 -c 1 "$work/audio.raw" -n stat 2>&1 |
       awk '/Maximum amplitude/{print int($NF*1000)}')
[ "${peak:-0}" -gt 50 ] || fail "the audio is silent (peak ${peak:-none}/1000)"
echo "audio peak $peak/1000; exit status 0"
echo PASS
