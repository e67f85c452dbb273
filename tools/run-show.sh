#!/usr/bin/env bash
# Starts the show, doing the useful thing on machines without a sound device or a display.
set -u
build=${1:-build}
exe="$build/driver/driftlight"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY is not set). To watch the show on a virtual display:"
  echo "  xvfb-run -s '-screen 0 1024x768x24' make run"
  exit 1
fi
"$exe"
status=$?
exit $status
