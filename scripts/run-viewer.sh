#!/usr/bin/env bash
# Builds lyremap and starts the viewer, lyremap-viewer. Installs missing packages first. Needs a
# desktop session (an X11 or Wayland display); without one it says so and ends with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target lyremap-viewer >/dev/null

viewer=build/default/app/lyremap-viewer
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    echo "Built $(pwd)/$viewer, but there is no display to show its window on:" >&2
    echo "neither DISPLAY nor WAYLAND_DISPLAY is set. Run this command from a desktop session," >&2
    echo "or over 'ssh -X', to see the viewer." >&2
    exit 1
fi
exec "$viewer"
