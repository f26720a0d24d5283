#!/usr/bin/env bash
# Fuzzes the listing converter and parsers for 60 seconds under ASan and UBSan in a
# clang build of its own; any crash, leak, sanitizer report or broken row fails CI.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
bash "$root/scripts/install-deps.sh" "$build" build fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTARSEL_FUZZ=ON -DTARSEL_SANITIZE=ON -DTARSEL_WERROR=ON -DTARSEL_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target fuzz_listing
# New inputs go to a scratch folder; the checked-in seeds stay as they are.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}"
"$build/tests/listing/fuzz/fuzz_listing" -max_total_time="$seconds" -max_len=65536 \
  -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$build/" -print_final_stats=1 \
  "$work" "$root/tests/listing/fuzz/corpus"
