#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite headless.
# Environment: BUILD_DIR (default build), TARSEL_WERROR=ON, TARSEL_SANITIZE=ON,
# CTEST_ARGS (extra arguments for ctest, e.g. "-R net -L unit").
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh" "$build" build app test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
      -DTARSEL_WERROR="${TARSEL_WERROR:-OFF}" -DTARSEL_SANITIZE="${TARSEL_SANITIZE:-OFF}" \
      ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}"
cd "$build"
# shellcheck disable=SC2086
ctest --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-}
