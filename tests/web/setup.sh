#!/usr/bin/env bash
# tests/web/setup.sh SOURCE_DIR NODE_DIR PAGE_BUILD_DIR: brings the web page up to date and
# installs the test's npm packages (playwright-core, as locked) into NODE_DIR when they changed.
set -euo pipefail
src=$1 node_dir=$2 page_build=$3
"$src/web/build.sh" "$page_build"
mkdir -p "$node_dir"
if ! cmp -s "$src/tests/web/package-lock.json" "$node_dir/package-lock.json" ||
   [ ! -d "$node_dir/node_modules/playwright-core" ]; then
  cp "$src/tests/web/package.json" "$src/tests/web/package-lock.json" "$node_dir/"
  (cd "$node_dir" && npm ci --no-audit --no-fund --ignore-scripts)
fi
