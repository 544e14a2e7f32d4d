#!/usr/bin/env bash
# Builds Kalvenor twice, normally and with AddressSanitizer + UndefinedBehaviorSanitizer, and runs
# every test in both builds. Extra arguments go to ctest (e.g. -L unit, -R Tcp).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
run_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

run_build build
ctest --test-dir build --output-on-failure -j "$jobs" "$@"

run_build build-asan -DKALVENOR_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" "$@"
