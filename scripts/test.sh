#!/usr/bin/env bash
# Builds lyremap and runs every test twice: in the normal build and in the sanitizer build
# (AddressSanitizer and UndefinedBehaviorSanitizer). Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
for preset in default asan; do
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
    ctest --preset "$preset" -j"$(nproc)"
done
