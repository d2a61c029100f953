#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   tools/test.sh              normal build in build/
#   tools/test.sh --sanitize   AddressSanitizer + UBSan build in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
flags=()
if [ "${1:-}" = "--sanitize" ]; then
    build=build-sanitize
    flags=(-DPAK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi

tools/deps.sh
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
