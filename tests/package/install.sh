#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR (prefix /usr) and checks what a desktop would use:
# the desktop entry (desktop-file-validate; its Exec and Icon found among the installed files,
# its StartupWMClass the window's class), the AppStream metainfo (appstreamcli validate --no-net),
# every manual page rendered by man without a warning, --version of each installed program, and
# the split into the two packages' parts (the show's needs SDL2 and none of the tools'
# libraries). Then the installed show, started as the menu starts it (the desktop entry's Exec
# line) on a virtual display: its window carries an icon (_NET_WM_ICON) and its class; it shows
# the start screen, exactly as drawn, while the sound device gets nothing but silence; g starts
# the gentle show and its music; q ends it with status 0. Last, the same start with no sound
# server: a message box offers to play without sound, Return takes that, and the show plays.
# usage: install.sh BUILD_DIR VERSION
set -u
case ${1:-} in -h | --help) sed -n '2,12p' "$0"; exit 0 ;; esac
build=${1:?build directory}
version=${2:?the project version}
work=$(mktemp -d)
pid="" xvfb_pid=""
cleanup() {
  for p in $pid $xvfb_pid; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
for t in desktop-file-validate appstreamcli man Xvfb xdotool xprop xdpyinfo xwininfo import compare \
  convert readelf; do
  command -v "$t" >/dev/null || { echo "SKIP: $t is missing"; exit 77; }
done

root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
  fail "cmake --install: $(tail -n3 "$work/install.log")"
id=io.github.osk.driftlight
desktop=$root/usr/share/applications/$id.desktop
programs="driftlight driftlight-capture modrender scenerender"

[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" >"$work/out" 2>&1 || fail "desktop entry: $(cat "$work/out")"
[ -s "$work/out" ] && fail "desktop entry: $(cat "$work/out")"
entry() { sed -n "0,/^\[Desktop Action/s/^$1=//p" "$desktop"; }
exec_line=$(entry Exec)
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not an installed program"
for size in 16 32 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x$size/apps/$(entry Icon).png
  [ -f "$icon" ] || fail "no ${size}x$size icon named $(entry Icon)"
  file "$icon" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
    fail "$icon: $(file -b "$icon")"
done
echo "desktop entry: valid; Exec and Icon (6 sizes) installed"

metainfo=$root/usr/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$work/out" 2>&1 || fail "metainfo: $(cat "$work/out")"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo: no release $version"
grep -q "Photosensitivity warning" "$metainfo" || fail "metainfo: no photosensitivity warning"
echo "metainfo: $(tail -n1 "$work/out")"

for p in $programs; do
  page=$root/usr/share/man/man1/$p.1.gz
  [ -f "$page" ] || { echo "SKIP: no manual page for $p (help2man was missing at build time)"; exit 77; }
  said=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$said" ] || fail "man $p: $said"
  MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q -- '--version' || fail "man $p: no --version"
  got=$("$root/usr/bin/$p" --version) || fail "$p --version: status $?"
  [ "$got" = "$p $version" ] || fail "$p --version says \"$got\""
done
echo "manual pages render without warnings; --version: $version"

# The two packages' parts: the show alone in one, the tools in the other, each with its
# copyright; the show links SDL2 and nothing of FFmpeg or libpng.
for part in show tools; do
  DESTDIR=$work/$part cmake --install "$build" --prefix /usr --component $part \
    >"$work/install.log" 2>&1 || fail "cmake --install --component $part: $(tail -n3 "$work/install.log")"
done
[ "$(ls "$work/show/usr/bin")" = driftlight ] || fail "the show's part holds $(ls "$work/show/usr/bin")"
[ "$(ls "$work/show/usr/share/man/man1")" = driftlight.1.gz ] ||
  fail "the show's part has the manual pages $(ls "$work/show/usr/share/man/man1")"
[ -f "$work/show/usr/share/doc/driftlight/copyright" ] || fail "the show's part has no copyright"
[ -f "$work/show/usr/share/applications/$id.desktop" ] || fail "the show's part has no desktop entry"
[ "$(ls "$work/tools/usr/bin" | tr '\n' ' ')" = "driftlight-capture modrender scenerender " ] ||
  fail "the tools' part holds $(ls "$work/tools/usr/bin")"
[ -f "$work/tools/usr/share/doc/driftlight-tools/copyright" ] || fail "the tools' part has no copyright"
[ -d "$work/tools/usr/share/applications" ] && fail "the tools' part has a desktop entry"
needed=$(readelf -d "$work/show/usr/bin/driftlight" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
echo "$needed" | grep -q '^libSDL2' || fail "the show does not link SDL2: $needed"
echo "$needed" | grep -Eq '^lib(av|sw|png|z\.)' && fail "the show links a tool's library: $needed"
echo "parts: show ($(echo $needed)), tools ($(echo $(ls "$work/tools/usr/bin")))"

# Every wait is for an event, under a hang guard (GUARD seconds, default 60).
. "$(dirname "$0")/../e2e/wait.sh"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
wait_until test -s "$work/display" || fail "Xvfb gave no display number"
export DISPLAY=:$(head -n1 "$work/display")
wait_until xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
# The start screen as the window shows it at its first size: the picture's pixels doubled across,
# a black line under every row. The ink is the show's warm white, whose red is full, so the red
# channel is the start screen's coverage itself.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
convert "$source_dir/assets/start_screen.pgm" -sample '640x480!' -fx 'j % 2 == 1 ? 0 : u' \
  "$work/start_screen.pgm"
# How many pixels of the window's red channel differ from the start screen ("" when the window
# could not be read).
differs_from_start_screen() {
  import -window "$1" "$work/shot.png" 2>/dev/null &&
    convert "$work/shot.png" -channel R -separate +channel "$work/shot.pgm" || return
  compare -metric AE "$work/shot.pgm" "$work/start_screen.pgm" null: 2>&1
}
shows_start_screen() { [ "$(differs_from_start_screen "$1")" = 0 ]; }
shows_other_than_start_screen() {
  differs_from_start_screen "$1" | awk '{ exit !($1 + 0 > 1000) }'
}
# The first window named NAME (xwininfo sees the message box, which has no class).
window_named() { xwininfo -root -tree | sed -n "s/^ *\(0x[0-9a-f]*\) \"$1\".*/\1/p" | head -n1; }
has_window() { [ -n "$(window_named "$1")" ]; }
# Whether the sound written so far holds anything but silence.
audible() { [ -s "$1" ] && od -An -v -tx1 "$1" | grep -q '[1-9a-f]'; }
show_ended() { ! kill -0 "$pid" 2>/dev/null; }
# Starts the installed show as the menu does, from outside the build tree, with nothing of it in
# reach; ENV... before the Exec line's words.
start_from_menu() {
  # shellcheck disable=SC2086 # the Exec line's words
  (cd "$work" && exec env -u SDL_VIDEODRIVER "$@" $root/usr/bin/$exec_line) >/dev/null 2>"$work/err" &
  pid=$!
}
quit_with_q() {
  xdotool key --window "$1" q
  wait_until show_ended || fail "still running $guard_s s after q"
  wait "$pid"
  status=$?
  pid=""
  [ "$status" = 0 ] || fail "status $status after q"
}

# The sound goes to a file (SDL's disk driver), which the paused device fills with silence.
start_from_menu SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw"
wid=""
deadline=$((SECONDS + guard_s))
while [ $SECONDS -lt $deadline ]; do
  wid=$(xdotool search --onlyvisible --name '^Driftlight by Osk$' 2>/dev/null | head -n1)
  [ -n "$wid" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the installed show ended at once: $(cat "$work/err")"
  sleep 0.05
done
[ -n "$wid" ] || fail "no window from the installed show"
xprop -id "$wid" _NET_WM_ICON | grep -q 'Icon (64 x 64)' || fail "the window has no 64 x 64 icon"
class=$(xprop -id "$wid" WM_CLASS | sed -n 's/.*= "[^"]*", "\(.*\)"$/\1/p')
[ "$class" = "$(entry StartupWMClass)" ] ||
  fail "window class \"$class\", the desktop entry says \"$(entry StartupWMClass)\""
wait_until shows_start_screen "$wid" ||
  fail "no start screen: $(differs_from_start_screen "$wid") pixels differ"
wait_until test -s "$work/sound.raw" || fail "the sound device was never opened"
audible "$work/sound.raw" && fail "music before a choice was made"
bytes_before=$(stat -c %s "$work/sound.raw")
xdotool key --window "$wid" g
wait_until audible "$work/sound.raw" || fail "no music $guard_s s after g"
wait_until shows_other_than_start_screen "$wid" || fail "the start screen stayed after g"
kill -0 "$pid" 2>/dev/null || fail "the show ended by itself: $(cat "$work/err")"
quit_with_q "$wid"
echo "installed show from the menu: window with its icon, class $class; the start screen"
echo "  exactly, over $bytes_before bytes of silence; g: music and the show; q: status 0"

# No sound server: a message box offers to play without sound; taken, the show plays.
start_from_menu SDL_AUDIODRIVER=pulseaudio PULSE_SERVER="unix:$work/no-server"
wait_until has_window "Driftlight: no sound" ||
  fail "no message box without a sound server: $(cat "$work/err")"
xdotool key --window "$(window_named "Driftlight: no sound")" Return
wid=""
find_show() {
  wid=$(xdotool search --onlyvisible --name '^Driftlight by Osk$' 2>/dev/null | head -n1)
  [ -n "$wid" ]
}
wait_until find_show || fail "no show after choosing to play without sound: $(cat "$work/err")"
wait_until shows_start_screen "$wid" || fail "no start screen after the message box"
xdotool key --window "$wid" Return
wait_until shows_other_than_start_screen "$wid" || fail "the start screen stayed after Return"
grep -q "DOV failure" "$work/err" || fail "no DOV failure on standard error: $(cat "$work/err")"
quit_with_q "$wid"
echo "no sound server: a message box; Play without sound plays the show; q: status 0"
echo PASS
