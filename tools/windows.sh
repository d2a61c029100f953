#!/usr/bin/env bash
# pakunpack.exe and Tessup.exe for 32-bit and 64-bit Windows, cross-built with
# MinGW-w64 in build-win32/ and build-win64/ (their tests are built too, for
# tools/windows_test.sh), and what a user downloads, written next to them:
#   corvane-unpaker-VERSION-win32.zip, -win64.zip               the programs
#   corvane-unpaker-VERSION-win32-setup.exe, -win64-setup.exe   setup programs
# It checks that each program needs nothing but the system's own DLLs and that
# the 32-bit ones are large-address-aware; it runs nothing under Wine.
#   tools/windows.sh             everything
#   tools/windows.sh --no-deps   without the package check
#   tools/windows.sh --no-tests  without the tests (a release's build)
# With SOURCE_DATE_EPOCH set (tools/release.sh sets it from the commit) the
# programs, zips and setup programs are the same bytes from every checkout:
# see pak_reproducible in tools/common.sh.
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"

deps=1 tests=ON
for arg in "$@"; do
    case $arg in
        --no-deps) deps=0 ;;
        --no-tests) tests=OFF ;;
        *) echo "usage: tools/windows.sh [--no-deps] [--no-tests]" >&2; exit 64 ;;
    esac
done
# The posix thread model's compilers only (GoogleTest needs std::thread); the
# toolchain files name them, so the system's default stays as it is.
[ "$deps" = 0 ] || tools/deps.sh g++-mingw-w64-i686-posix=i686-w64-mingw32-g++-posix,i686-w64-mingw32-objdump \
    g++-mingw-w64-x86-64-posix=x86_64-w64-mingw32-g++-posix,x86_64-w64-mingw32-objdump nsis=makensis zip=zip \
    binutils=objdump

version=$(pak_version)
nsis_version=$(pak_version 4)   # the setup's version block takes four numbers

fail() {
    echo "windows: $*" >&2
    exit 1
}

# pakunpack.exe needs nothing but the system's own DLLs; the 32-bit programs
# are large-address-aware.
check_programs() {   # $1 the build folder, $2 bits, $3 the tools' triple
    local headers imports exe
    headers=$("$3-objdump" -p "$1/cli/pakunpack.exe")
    imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
    [ "$imports" = "kernel32.dll msvcrt.dll " ] || fail "pakunpack.exe (win$2) needs more than the system: $imports"
    [ "$2" = 32 ] || return 0
    for exe in "$1/cli/pakunpack.exe" "$1/ui/Tessup.exe"; do
        [[ "$("$3-objdump" -p "$exe")" == *"large address aware"* ]] \
            || fail "the 32-bit $(basename "$exe") is not large-address-aware"
    done
}

# The files both the zip and the setup program hold, in folder $2.
stage() {   # $1 the build folder, $2 the folder, $3 bits
    rm -rf "$2"
    mkdir -p "$2"
    cp "$1/cli/pakunpack.exe" "$2/pakunpack.exe"
    cp "$1/ui/Tessup.exe" "$2/Tessup.exe"
    sed 's/$/\r/' LICENSE >"$2/LICENSE"
    sed "s/@VERSION@/$version/g; s/@BITS@/$3/g; s/\$/\r/" res/windows/README.txt >"$2/README.txt"
    pak_normalise "$2"
}

for bits in 32 64; do
    case $bits in
        32) toolchain=mingw-w64-i686.cmake triple=i686-w64-mingw32 format=pei-i386 ;;
        64) toolchain=mingw-w64-x86_64.cmake triple=x86_64-w64-mingw32 format=pei-x86-64 ;;
    esac
    build="$pak_root/build-win$bits"
    echo "== win$bits: build"
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain" \
        -DPAK_BUILD_UI=ON -DCMAKE_BUILD_TYPE=Release -DPAK_BUILD_TESTS="$tests" \
        -DPAK_REPRODUCIBLE="$(pak_reproducible)" >/dev/null
    cmake --build "$build" -j2
    check_programs "$build" "$bits" "$triple"

    name="corvane-unpaker-$version-win$bits"
    echo "== win$bits: zip"
    stage "$build" "$build/zip/$name" "$bits"
    zipfile="$build/$name.zip"
    rm -f "$zipfile"
    # In name order, without the extra fields that hold owners and exact
    # times; the DOS times zip writes are local times, so in UTC.
    (cd "$build/zip" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$zipfile")
    echo "wrote $zipfile"

    echo "== win$bits: setup program"
    stage "$build" "$build/setup-stage" "$bits"
    setup="$build/$name-setup.exe"
    rm -f "$setup"
    makensis -V2 -DVERSION="$nsis_version" -DBITS="$bits" -DSTAGE="$build/setup-stage" -DOUTFILE="$setup" \
        res/windows/installer.nsi
    # The 64-bit build gets a 64-bit setup program.
    got=$(objdump -f "$setup" 2>/dev/null | sed -n 's/.*file format //p')
    [ "$got" = "$format" ] || fail "the win$bits setup program is '$got'"
    echo "wrote $setup"
done
echo "Windows builds: both built and checked, both zips and setup programs written."
