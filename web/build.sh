#!/usr/bin/env bash
# web/build.sh [DIR]: builds the show's web page with Debian's Emscripten into DIR/page
# (default build/web/page): index.html, driftlight.js and driftlight.wasm, the assets inside.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$src/build/web}
if ! command -v emcmake >/dev/null; then
  echo "web/build.sh: Emscripten is missing (tools/install-deps.sh installs Debian's emscripten)" >&2
  exit 1
fi
# Debian's emcc runs its JavaScript helpers on node with Debian's acorn, which a node from
# elsewhere does not look for.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# Configured from the repository's root; a folder configured from web/ (as it once was) starts
# again.
if [ -f "$dir/CMakeCache.txt" ] &&
   ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$src" "$dir/CMakeCache.txt"; then
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles" "$dir/build.ninja"
fi
if [ ! -f "$dir/build.ninja" ]; then
  emcmake cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$dir"
echo "The page is in $dir/page: serve that folder (python3 -m http.server) and open it."
