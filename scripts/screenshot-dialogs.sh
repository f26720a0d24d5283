#!/usr/bin/env bash
# Renders the permissions, directory information and about dialogs and one help page
# offscreen into docs/ (or the folder given as the first argument).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="${1:-$root/docs}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target shot_dialogs
run="$(mktemp -d)"
trap 'rm -rf "$run"' EXIT
chmod 700 "$run"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$run" "$build/tests/dialogs/shot_dialogs" "$out"
