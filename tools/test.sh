#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   tools/test.sh              normal build in build/
#   tools/test.sh --sanitize   AddressSanitizer + UBSan build in build-sanitize/,
#                              then ThreadSanitizer on the tests that run several
#                              threads, in build-tsan/
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

if [ "$build" = build-sanitize ]; then
    # ThreadSanitizer needs a build of its own: pakunpack extracting on
    # several threads, built with it, against one thread. A race fails the
    # test: TSan's report lands on pakunpack's stderr, which the test
    # compares, and its exit status. (The interruption tests stay out: TSan
    # holds a signal back until the thread leaves its handler, and theirs
    # wait in one for the next signal.)
    cmake -S . -B build-tsan -G Ninja -DPAK_SANITIZE_THREAD=ON -DPAK_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=Debug
    cmake --build build-tsan --target cli_tests
    ctest --test-dir build-tsan --output-on-failure -R 'PakunpackTest\.ThreadsGiveWhatOneThreadGives$'
fi
