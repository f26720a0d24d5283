#!/usr/bin/env bash
# Renders the dialogs (profiles, preferences, permissions, directory information, about)
# and one help page offscreen into docs/ (or the folder given as the first argument),
# without the virtual display and demo server that scripts/screenshot.sh uses.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="${1:-$root/docs}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarsel-dialog-shots
run="$(mktemp -d)"
trap 'rm -rf "$run"' EXIT
chmod 700 "$run"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$run" "$build/tests/dialogs/tarsel-dialog-shots" "$out"
