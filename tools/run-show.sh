#!/usr/bin/env bash
# Starts the show, doing the useful thing on machines without a sound device or a display.
set -u
build=${1:-build}
shift $(( $# > 0 ? 1 : 0 ))  # the rest goes to the show (--gentle)
exe="$build/driver/driftlight"
xvfb_hint() {
  echo "To watch it on a virtual display (Xvfb), run:"
  echo "  xvfb-run -a -s '-screen 0 1024x768x24' make run"
  echo "and take a look with: DISPLAY=<the display xvfb-run chose> import -window root shot.png"
  echo "Or render the whole show, with its sound, to a video file (show.mp4): make capture"
}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${SDL_VIDEODRIVER:-}" ]; then
  echo "There is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the show cannot open its window."
  xvfb_hint
  exit 1
fi

# The show writes nothing on the error stream but its two start-up messages; the sound
# libraries may add their own complaints, which only matter when we cannot recover.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
"$exe" "$@" 2>"$errors"
status=$?
if [ $status -eq 1 ] && grep -qx 'DOV failure' "$errors" && [ -z "${SDL_AUDIODRIVER:-}" ]; then
  echo "No sound device could be opened (the show said \"DOV failure\")."
  echo "Running the show silent on SDL's dummy audio driver (SDL_AUDIODRIVER=dummy)."
  SDL_AUDIODRIVER=dummy "$exe" "$@" 2>"$errors"
  status=$?
fi
cat "$errors" >&2
if [ $status -eq 1 ] && grep -qx 'GFX failure' "$errors"; then
  echo "The window could not be opened (the show said \"GFX failure\")."
  xvfb_hint
fi
exit $status
