#!/usr/bin/env bash
# Builds lyremap and shows a layout: renders the bundled example examples/dialog.xml (or the
# layout given as the first argument) with lyremap-render, printing every drawing call and
# writing the map to build/map.png.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target lyremap-render >/dev/null
layout=${1:-examples/dialog.xml}
status=0
build/default/render/lyremap-render --trace --output build/map.png "$layout" || status=$?
echo "Map written to $(pwd)/build/map.png"
exit "$status"
