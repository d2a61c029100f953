#!/usr/bin/env bash
# pakunpack.exe and Tessup.exe for 32-bit and 64-bit Windows, cross-built with MinGW-w64:
# installs the cross compilers and Wine when missing, builds build-win32/ and
# build-win64/, runs the archive and pakunpack suites under Wine, compares
# what both executables do with one generated archive against the Linux
# build, and writes corvane-unpaker-VERSION-win32.zip and -win64.zip.
#   tools/windows.sh            everything
#   tools/windows.sh --no-deps  without the package check
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

install_packages() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # 32-bit Wine needs the i386 architecture.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    # The posix thread model's compilers only (GoogleTest needs std::thread);
    # the toolchain files name them, so the system's default stays as it is.
    local packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64 libgtest-dev zip unzip)
    local missing=()
    for pkg in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

if [ "${1:-}" != "--no-deps" ]; then
    tools/deps.sh xvfb   # the Linux build to compare with, and a display for Tessup.exe's tests
    install_packages
fi

version=$(sed -n 's/^project(CorvaneUnPaker VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }

# Wine keeps its own prefix here. Its server and services are started before
# any test, with no terminal or pipe of ours, so that they hold nothing open
# that CTest waits for; the server is ended on the way out.
export WINEPREFIX="$root/build-wine/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer dialogs
mkdir -p "$WINEPREFIX"
# Tessup.exe's tests open real windows: without a display they get a virtual one.
xvfb_pid=""
stop_wine() {
    wineserver -k 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap stop_wine EXIT
if [ -z "${DISPLAY:-}" ]; then
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" </dev/null >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    [ -s "$display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$display_file")"
    rm -f "$display_file"
fi
wineserver -k 2>/dev/null || true   # one left from an interrupted run
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot --init </dev/null >/dev/null 2>&1   # makes the prefix on the first run

# The reference: pakunpack and the sample's generator, built for Linux.
linux="$root/build-wine/linux"
cmake -S . -B "$linux" -G Ninja -DPAK_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux" -j2 --target pakunpack pak_make_platform_sample

compare="$root/build-wine/compare"
rm -rf "$compare"
mkdir -p "$compare"
sample="$compare/platform sample.pak"
"$linux/tests/pak_make_platform_sample" "$sample"

# Runs one pakunpack command in $compare/$1 (made afresh), keeping its
# output, status and extracted tree in files named after $2.
run_case() {
    local folder="$compare/$1" name=$2
    shift 2
    rm -rf "$folder"
    mkdir -p "$folder/out"
    local status=0
    (cd "$folder" && "$@" >"$name.out" 2>"$name.err") || status=$?
    echo "$status" >"$folder/$name.status"
}

# Every file and folder below $1 with each file's digest; names the Windows
# side wrote in the ANSI code page read back as UTF-8 through Wine, so the
# Linux names are turned the same way first.
describe_tree() {
    (cd "$1" && find . -mindepth 1 | LC_ALL=C sort | while IFS= read -r path; do
        if [ -d "$path" ]; then
            echo "folder $path"
        else
            echo "file $path $(sha256sum <"$path" | cut -d' ' -f1)"
        fi
    done) | if [ "$2" = linux ]; then iconv -f CP1252 -t UTF-8; else cat; fi
}

run_all() {   # $1 side name, then the command that starts pakunpack
    local side=$1
    shift
    run_case "$side-list" list "$@" list "$sample"
    run_case "$side-json" json "$@" list "$sample" --json
    run_case "$side-scan" scan "$@" scan "$sample" -o report.txt
    run_case "$side-extract" extract "$@" extract "$sample" -C out
    describe_tree "$compare/$side-extract/out" "$side" >"$compare/$side-extract/tree.txt"
}

same() {   # $1 label, $2 $3 files that must be identical
    if ! cmp -s "$2" "$3"; then
        echo "Windows and Linux differ: $1" >&2
        diff <(od -c "$2") <(od -c "$3") | head -20 >&2 || true
        exit 1
    fi
}

run_all linux "$linux/cli/pakunpack"

for bits in 32 64; do
    case $bits in
        32) toolchain=mingw-w64-i686.cmake triple=i686-w64-mingw32 ;;
        64) toolchain=mingw-w64-x86_64.cmake triple=x86_64-w64-mingw32 ;;
    esac
    build="$root/build-win$bits"
    echo "== win$bits: build"
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain" \
        -DPAK_BUILD_UI=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j2
    echo "== win$bits: tests under Wine"
    ctest --test-dir "$build" --output-on-failure -j2

    exe="$build/cli/pakunpack.exe"
    # Nothing but the system's own DLLs beside it.
    headers=$("$triple-objdump" -p "$exe")
    imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
    if [ "$imports" != "kernel32.dll msvcrt.dll " ]; then
        echo "pakunpack.exe (win$bits) needs more than the system: $imports" >&2
        exit 1
    fi
    if [ "$bits" = 32 ] && [[ "$headers" != *"large address aware"* ]]; then
        echo "the 32-bit pakunpack.exe is not large-address-aware" >&2
        exit 1
    fi

    echo "== win$bits: the same archive as on Linux"
    side="win$bits"
    run_all "$side" wine "$exe"
    for case in list extract; do
        same "$case output" "$compare/linux-$case/$case.out" "$compare/$side-$case/$case.out"
        same "$case errors" "$compare/linux-$case/$case.err" "$compare/$side-$case/$case.err"
        same "$case status" "$compare/linux-$case/$case.status" "$compare/$side-$case/$case.status"
    done
    same "extracted tree" "$compare/linux-extract/tree.txt" "$compare/$side-extract/tree.txt"
    # The report and the JSON name the archive by its absolute path, which
    # is the system's own on each side; everything else is byte for byte.
    windows_path=$(winepath -w "$sample" 2>/dev/null)
    same "report" <(sed "4s|.*|Name:ARCHIVE|" "$compare/linux-scan/report.txt") \
        <(sed "4s|.*|Name:ARCHIVE|" "$compare/$side-scan/report.txt")
    same "report's Name: line" <(printf 'Name:%s\n' "$windows_path") <(sed -n 4p "$compare/$side-scan/report.txt")
    if grep -q $'\r' "$compare/$side-scan/report.txt" "$compare/$side-list/list.out"; then
        echo "a CR in the Windows output" >&2
        exit 1
    fi
    strip_archive() { sed '1s|^{"archive":[^,]*,|{"archive":ARCHIVE,|' "$1"; }
    same "JSON listing" <(strip_archive "$compare/linux-json/json.out") <(strip_archive "$compare/$side-json/json.out")

    echo "== win$bits: zip"
    stage="$build/zip/corvane-unpaker-$version-win$bits"
    rm -rf "$build/zip"
    mkdir -p "$stage"
    cp "$exe" "$stage/pakunpack.exe"
    cp "$build/ui/Tessup.exe" "$stage/Tessup.exe"
    if [ -f LICENSE ]; then sed 's/$/\r/' LICENSE >"$stage/LICENSE"; fi
    # The same README.txt as the setup program installs.
    sed "s/@VERSION@/$version/g; s/@BITS@/$bits/g; s/\$/\r/" res/windows/README.txt >"$stage/README.txt"
    zipfile="$build/corvane-unpaker-$version-win$bits.zip"
    rm -f "$zipfile"
    (cd "$build/zip" && zip -q -r -X "$zipfile" "corvane-unpaker-$version-win$bits")
    # The zipped program runs.
    check="$build/zip-check"
    rm -rf "$check"
    mkdir -p "$check"
    unzip -q "$zipfile" -d "$check"
    got=$(wine "$check/corvane-unpaker-$version-win$bits/pakunpack.exe" --version | tr -d '\r')
    [ "$got" = "pakunpack $version" ] || { echo "the zipped pakunpack.exe says '$got'" >&2; exit 1; }
    rm -rf "$check"
    echo "wrote $zipfile"
done
echo "Windows builds: both test suites passed under Wine, both match Linux, both zips written."
tools/windows_installer.sh "$@"   # the setup programs next to the zips, installed and removed under Wine
