#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR (prefix /usr) and checks what a desktop would use:
# the desktop entry (desktop-file-validate; its Exec and Icon found among the installed files,
# its StartupWMClass the window's class), the AppStream metainfo (appstreamcli validate --no-net),
# every manual page rendered by man without a warning, --version of each installed program, and
# the installed show started on a virtual display: its window carries an icon (_NET_WM_ICON) and
# q ends it with status 0.
# usage: install.sh BUILD_DIR VERSION
set -u
case ${1:-} in -h | --help) sed -n '2,8p' "$0"; exit 0 ;; esac
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
for t in desktop-file-validate appstreamcli man Xvfb xdotool xprop xdpyinfo; do
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
[ -x "$root/usr/bin/$(entry Exec)" ] || fail "Exec=$(entry Exec) is not an installed program"
for size in 16 32 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x$size/apps/$(entry Icon).png
  [ -f "$icon" ] || fail "no ${size}x$size icon named $(entry Icon)"
  file "$icon" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
    fail "$icon: $(file -b "$icon")"
done
echo "desktop entry: valid; Exec and Icon (5 sizes) installed"

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

# Every wait is for an event, under a hang guard (GUARD seconds, default 60).
. "$(dirname "$0")/../e2e/wait.sh"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
wait_until test -s "$work/display" || fail "Xvfb gave no display number"
export DISPLAY=:$(head -n1 "$work/display")
wait_until xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
# From outside the build tree, with nothing of it in reach.
(cd "$work" && exec env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy "$root/usr/bin/driftlight") \
  >/dev/null 2>"$work/err" &
pid=$!
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
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the installed show ended by itself: $(cat "$work/err")"
xdotool key --window "$wid" q
show_ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_until show_ended || fail "still running $guard_s s after q"
wait "$pid"
status=$?
pid=""
[ "$status" = 0 ] || fail "status $status after q"
echo "installed show: window with its icon, class $class, q ends it with status 0"
echo PASS
