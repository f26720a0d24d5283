#!/usr/bin/env bash
# Installs what is missing, builds and starts Tarsel FTP. Arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
# Only what building and running needs; the test servers come with scripts/test.sh.
bash "$root/scripts/install-deps.sh" "$build" build app
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target tarselftp
exec "$build/src/app/tarselftp" "$@"
