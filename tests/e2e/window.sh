#!/usr/bin/env bash
# The real driftlight in one desktop set-up, named by the first argument:
#   wm         a virtual display (Xvfb, 1024 x 768) with a window manager (openbox)
#   bare       the same display with no window manager (a kiosk, plain xvfb-run)
#   software   the display with openbox, SDL's software renderer forced
#   nodisplay  no display at all
# With a display: the 640 x 480 window titled "Driftlight by Osk"; the picture fills its
# centred 4:3 viewport (non-black extents measured on screenshots, within one pixel) at
# 640 x 480, after "f" (the whole screen), after "f" again and after a resize to 1000 x 500;
# after a burst of 50 "f", "q" still ends it at once, with status 0, and the soundtrack was not
# silent; Escape, closing the window, SIGINT and SIGTERM each end it with status 0; the window
# destroyed from outside and the X server going away each end it.
# Without a display: "GFX failure" and status 1; SDL's offscreen driver, named, still plays.
# Nothing is timed: each step waits for its event (a window, a size, a picture, an exit) under a
# hang guard of GUARD seconds (default 60) that leaves room for a machine ten times slower; the
# times it took are printed. The show is stopped (SIGSTOP) while a screenshot is taken and
# measured, so that the checks on the first scene do not depend on how fast the machine takes
# screenshots.
# usage: window.sh wm|bare|software|nodisplay DRIFTLIGHT CLOSE_WINDOW
# (SHOTS_DIR=DIR keeps the screenshots the checks counted.)
set -u
case ${1:-} in -h | --help) sed -n '2,16p' "$0"; exit 0 ;; esac
mode=${1:?"usage: $0 wm|bare|software|nodisplay DRIFTLIGHT CLOSE_WINDOW"}
exe=${2:?driftlight executable}
close_window=${3:?close_window helper}
case $mode in wm | bare | software | nodisplay) ;; *) echo "unknown set-up: $mode"; exit 2 ;; esac

# Job control gives every background job its own process group; without it a non-interactive
# shell starts them with SIGINT ignored, and the SIGINT check would test nothing.
set -m
work=$(mktemp -d)
pid="" xvfb_pid="" wm_pid="" render_driver=""
cleanup() {
  for p in $pid $wm_pid $xvfb_pid; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL ($mode): $*"
  [ -s "$work/err" ] && sed 's/^/  stderr: /' "$work/err"
  exit 1
}
need() { for t in "$@"; do command -v "$t" >/dev/null || { echo "SKIP: $t is missing"; exit 77; }; done; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
. "$(dirname "$0")/wait.sh"
guard=$guard_s
# The show stands still while the script looks at it (its music and clock stop with it).
hold() { kill -STOP "$pid" 2>/dev/null; }
release() { kill -CONT "$pid" 2>/dev/null; }

# Starts the show in the background with extra environment settings; pid is its process id.
start_show() {
  env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy ${render_driver:+SDL_RENDER_DRIVER=$render_driver} \
    "$@" "$exe" >/dev/null 2>"$work/err" &
  pid=$!
}

# Waits up to $2 seconds for process $1 to end; sets status and elapsed_ms (since $3, in ms).
wait_exit() {
  local deadline=$(( $(now_ms) + $2 * 1000 ))
  while kill -0 "$1" 2>/dev/null; do
    [ "$(now_ms)" -lt "$deadline" ] || { elapsed_ms=; return 1; }
    sleep 0.01
  done
  elapsed_ms=$(( $(now_ms) - $3 ))
  wait "$1"
  status=$?
  pid=""
}

if [ "$mode" = nodisplay ]; then
  unset DISPLAY WAYLAND_DISPLAY
  start=$(now_ms)
  start_show
  wait_exit "$pid" "$guard" "$start" || fail "still running $guard s after starting without a display"
  [ "$status" = 1 ] || fail "status $status without a display"
  grep -qx 'GFX failure' "$work/err" || fail "no \"GFX failure\" without a display"
  echo "no display: \"GFX failure\", status 1 after $elapsed_ms ms"
  # A driver asked for by name is the user's choice, even one that draws nowhere.
  start_show SDL_VIDEODRIVER=offscreen
  sleep 2
  kill -0 "$pid" 2>/dev/null || fail "SDL_VIDEODRIVER=offscreen: the show ended at once"
  start=$(now_ms)
  kill -TERM "$pid"
  wait_exit "$pid" "$guard" "$start" || fail "SDL_VIDEODRIVER=offscreen: SIGTERM did not end it"
  [ "$status" = 0 ] || fail "SDL_VIDEODRIVER=offscreen: status $status after SIGTERM"
  echo "SDL_VIDEODRIVER=offscreen: plays, SIGTERM ends it with status 0 after $elapsed_ms ms"
  echo PASS
  exit 0
fi

need Xvfb xdotool xwininfo xdpyinfo xprop import convert sox
[ "$mode" = bare ] || need openbox
[ "$mode" = software ] && render_driver=software || render_driver=""

# -noreset: without a window manager the show is often the only client, and a server that resets
# as its last client leaves would refuse the next start for a moment.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
wait_until test -s "$work/display" || fail "Xvfb gave no display number"
export DISPLAY=:$(head -n1 "$work/display")
wait_until xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
if [ "$mode" != bare ]; then
  openbox >"$work/wm.log" 2>&1 &
  wm_pid=$!
  wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
  wait_until wm_ready || fail "openbox did not start: $(cat "$work/wm.log")"
fi

# Waits for the show's window to be on the screen; wid is its id.
find_window() {
  wid=""
  local deadline=$(( $(now_ms) + guard * 1000 ))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    wid=$(xdotool search --onlyvisible --name '^Driftlight by Osk$' 2>/dev/null | head -n1)
    [ -n "$wid" ] && xwininfo -id "$wid" | grep -q 'Map State: IsViewable' && return 0
    kill -0 "$pid" 2>/dev/null || fail "the show ended before its window appeared"
    sleep 0.05
  done
  fail "no window titled \"Driftlight by Osk\""
}
geometry() {
  xwininfo -id "$wid" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /^  Width/{w=$NF} /^  Height/{h=$NF} END{print w, h, x, y}'
}
# Waits for the window to be $1 x $2; w h x y are its geometry.
wait_size() {
  local deadline=$(( $(now_ms) + guard * 1000 ))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    read -r w h x y < <(geometry)
    [ "$w" = "$1" ] && [ "$h" = "$2" ] && return 0
    sleep 0.05
  done
  fail "$3: the window is ${w}x${h}, not $1x$2"
}
press() {
  xdotool windowfocus --sync "$wid" 2>/dev/null
  xdotool key --clearmodifiers "$@"
}

# The picture must fill the centred 4:3 viewport of the window: its non-black extents on a
# screenshot, within one pixel. The last of the picture's 480 rows is a black scanline, so its
# bottom edge is expected 1/480 of the viewport's height above the viewport's. A frame may lag
# behind a new size, or a scene be dark at an edge for a moment: the show runs 0.1 s between up
# to 30 screenshots before the last one counts (it is held while each is taken and measured).
expect_fill() {
  local label=$1 box line
  wait_size "$2" "$3" "$label"
  for _ in $(seq 30); do
    release
    sleep 0.1
    hold
    since=$(( $(now_ms) - first_frame ))
    import -window root "$work/shot.png"
    box=$(convert "$work/shot.png" -crop "${w}x${h}+${x}+${y}" +repage -grayscale Brightness \
      -threshold 0 -bordercolor black -border 1 -format '%@' info:)
    line=$(awk -v w="$w" -v h="$h" -v box="$box" -v label="$label" -v since="$since" 'BEGIN {
      split(box, b, /[x+]/); mw = b[1]; mh = b[2]; mx = b[3] - 1; my = b[4] - 1
      if (w / h > 1.3333334) { vw = int(h * 4 / 3); vh = h; vx = int((w - vw) / 2); vy = 0 }
      else { vh = int(w * 3 * 0.25); vw = w; vy = int((h - vh) / 2); vx = 0 }
      d[1] = mx - vx; d[2] = my - vy; d[3] = mx + mw - (vx + vw); d[4] = my + mh - (vy + vh * 479 / 480)
      ok = 1; for (i = 1; i <= 4; i++) if (d[i] > 1 || d[i] < -1) ok = 0
      printf "%-12s at %4.1f s: window %dx%d, viewport %dx%d+%d+%d, picture %dx%d+%d+%d: %s\n",
        label, since / 1000, w, h, vw, vh, vx, vy, mw, mh, mx, my, ok ? "fills it" : "DOES NOT FILL IT"
      exit !ok }') && break
  done
  release
  [ -n "${SHOTS_DIR:-}" ] && cp "$work/shot.png" "$SHOTS_DIR/$mode-$label.png"
  echo "$line"
  case $line in *"fills it") ;; *) fail "$label: the picture does not fill its 4:3 viewport" ;; esac
}

# Waits for the first frame: the window stays black until the start-up work is done. (Screenshots
# are always of the whole screen: importing one window can wait on the window manager.)
wait_picture() {
  local lit deadline=$(( $(now_ms) + guard * 1000 ))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    read -r w h x y < <(geometry)
    hold
    lit=$(import -window root png:- 2>/dev/null |
      convert - -crop "${w}x${h}+${x}+${y}" -format '%[fx:maxima > 0]' info:)
    release
    [ "$lit" = 1 ] && { first_frame=$(now_ms); return 0; }
    kill -0 "$pid" 2>/dev/null || fail "the show ended before its first frame"
    sleep 0.1
  done
  fail "the window stayed black for $guard s"
}

# The first scene fills the whole frame to its edges (later ones leave black rows or a black
# background), so each run measures within its first seconds.
start_show
find_window
title=$(xwininfo -id "$wid" | sed -n 's/^xwininfo: Window id: [^ ]* "\(.*\)"$/\1/p')
[ "$title" = "Driftlight by Osk" ] || fail "title \"$title\""
wait_picture
expect_fill window 640 480
read -r win_w win_h win_x win_y < <(geometry)
press f
expect_fill full-screen 1024 768
[ "$x" = 0 ] && [ "$y" = 0 ] || fail "full screen: the window is at $x,$y"
press f
expect_fill window-again "$win_w" "$win_h"
[ "$x" = "$win_x" ] && [ "$y" = "$win_y" ] || fail "after a second f the window is at $x,$y"
start=$(now_ms)
press Escape
wait_exit "$pid" "$guard" "$start" || fail "Escape did not end the show within $guard s"
[ "$status" = 0 ] || fail "status $status after Escape"
echo "Escape: status 0 after $elapsed_ms ms"

# A resize, with the soundtrack written to a file; then mode changes never pile up in front of
# the frame loop: "q" acts at once after a burst of "f".
start_show SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw"
find_window
wait_picture
xdotool windowmove "$wid" 0 0 windowsize "$wid" 1000 500
expect_fill resized 1000 500
[ $((x + w)) -le 1024 ] && [ $((y + h)) -le 768 ] || fail "resized: the window is off the screen"
press $(printf 'f %.0s' $(seq 50))
start=$(now_ms)
press q
wait_exit "$pid" "$guard" "$start" || fail "still running $guard s after q (after 50 f)"
[ "$status" = 0 ] || fail "status $status after q"
echo "q after a burst of 50 f: status 0 after $elapsed_ms ms"
peak=$(sox -t raw -r 44100 -e signed -b 16 -c 1 "$work/audio.raw" -n stat 2>&1 |
  awk '/Maximum amplitude/{print int($NF * 1000)}')
[ "${peak:-0}" -gt 50 ] || fail "the soundtrack is silent (peak ${peak:-none}/1000)"
echo "soundtrack peak $peak/1000"

# Every other way to end it, each on a fresh start; $2 is evaluated once the show runs.
end_with() {
  start_show
  find_window
  wait_picture
  start=$(now_ms)
  eval "$2"
  wait_exit "$pid" "$guard" "$start" || fail "$1 did not end the show within $guard s"
  [ "$status" = 0 ] || fail "status $status after $1"
  echo "$1: status 0 after $elapsed_ms ms"
}
end_with "closing the window" '"$close_window" "$wid"'
end_with SIGINT 'kill -INT "$pid"'
end_with SIGTERM 'kill -TERM "$pid"'

# What the X library (or else the program) said last, for the log.
last_words() {
  local said
  said=$(grep -m1 -E '^X Error|^XIO|X connection' "$work/err" || grep -v '^ *$' "$work/err" | tail -n1)
  [ -n "$said" ] && echo "(\"$said\")"
}
# Gone from outside: ending with the X library's own error is acceptable, hanging is not.
start_show
find_window
wait_picture
start=$(now_ms)
xdotool windowclose "$wid"
wait_exit "$pid" "$guard" "$start" || fail "still running $guard s after its window was destroyed"
echo "window destroyed from outside: status $status after $elapsed_ms ms $(last_words)"
start_show
find_window
wait_picture
start=$(now_ms)
[ -n "$wm_pid" ] && kill "$wm_pid"
kill "$xvfb_pid"
wm_pid="" xvfb_pid=""
wait_exit "$pid" "$guard" "$start" || fail "still running $guard s after the X server went away"
echo "X server gone: status $status after $elapsed_ms ms $(last_words)"
echo PASS
