# What the scripts under tools/ share; sourced, never run. It changes to the
# project's root and, on the way out, ends every Wine server and process that
# the script started through it, each by its id.
#   pak_start CMD...          starts CMD in the background; its id is in $pak_pid
#   pak_display [--own]       a display: the one there is, else (or with --own
#                             always) a virtual one from Xvfb
#   pak_wine PREFIX [--fresh] a Wine prefix, made when missing (--fresh: anew),
#                             with its server running
#   pak_have_wine32           whether 32-bit Windows programs can run
#   pak_wine_bits WHAT        sets pak_bits to the architectures Wine runs here
#                             (32 64, or 64 alone, saying that WHAT is skipped)
#   pak_skip TEXT             says "SKIPPED: TEXT" and notes it for .ci/run
#   pak_version [4]           the project's version, from CMakeLists.txt (with 4:
#                             padded with ".0" to four numbers)
#   pak_reproducible          ON when SOURCE_DATE_EPOCH is set (a release's
#                             build, see tools/release.sh), else OFF: the
#                             value of CMake's PAK_REPRODUCIBLE
#   pak_normalise DIR         gives every file and folder under DIR fixed modes
#                             (and with SOURCE_DATE_EPOCH that time), so that
#                             an archive of it doesn't depend on the umask or
#                             the clock
#   pak_linux_tools           builds pakunpack and the test-archive generator for
#                             Linux in build-wine/linux
# shellcheck shell=bash

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
pak_root=$(pwd)
pak_pids=()
pak_wine_servers=()

pak_end() {
    local prefix pid
    for prefix in "${pak_wine_servers[@]}"; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
    for pid in "${pak_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pak_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
trap pak_end EXIT
# A command that ends a script through `set -e` says so, even when its own
# output went to /dev/null.
set -o errtrace
trap 'echo "${0##*/}: line $LINENO: \"$BASH_COMMAND\" failed with status $?" >&2' ERR

pak_start() {
    "$@" &
    pak_pid=$!
    pak_pids+=("$pak_pid")
}

pak_display() {
    if [ "${1:-}" != --own ] && [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    local file
    file=$(mktemp)
    # Xvfb picks a free display number itself and writes it to descriptor 3.
    pak_start Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$file" </dev/null >/dev/null 2>&1
    for _ in $(seq 100); do
        [ -s "$file" ] && break
        sleep 0.1
    done
    if [ ! -s "$file" ]; then
        rm -f "$file"
        echo "Xvfb did not start" >&2
        return 1
    fi
    DISPLAY=":$(cat "$file")"
    export DISPLAY
    rm -f "$file"
}

# Wine's server runs in the foreground of a job of ours (so that it is ended
# by its id too), with no terminal or pipe of ours: CTest and the callers'
# pipes then have nothing to wait for. No Mono or Gecko installer dialogs,
# no Linux menu entries or file types from Wine's side.
pak_wine() {
    export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    wineserver -k 2>/dev/null || true   # one left from an interrupted run
    [ "${2:-}" != --fresh ] || rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    pak_start wineserver -f -p </dev/null >/dev/null 2>&1
    pak_wine_servers+=("$WINEPREFIX")
    # Ready once its socket is there, in the folder it works in; a program
    # started before that would start a server of its own.
    for _ in $(seq 100); do
        [ -S "/proc/$pak_pid/cwd/socket" ] && break
        kill -0 "$pak_pid" 2>/dev/null || { echo "Wine's server did not start" >&2; return 1; }
        sleep 0.1
    done
    wine wineboot --init </dev/null >/dev/null 2>&1
}

pak_have_wine32() {
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"
}

# Why 32-bit Windows programs can't run here, as tools/deps.sh found it.
pak_wine32_missing() {
    local file="$pak_root/build-deps/missing-wine32:i386.txt" reason="it was not asked for"
    [ ! -f "$file" ] || reason=$(cat "$file")
    echo "32-bit Wine (wine32:i386) can't be installed: $reason"
}

pak_wine_bits() {
    pak_bits=(32 64)
    if ! pak_have_wine32; then
        pak_skip "$1: $(pak_wine32_missing)"
        pak_bits=(64)
    fi
}

pak_skip() {
    echo "SKIPPED: $*"
    if [ -n "${PAK_SKIPPED:-}" ]; then echo "$*" >>"$PAK_SKIPPED"; fi
}

pak_version() {
    local version
    version=$(sed -n 's/^project(CorvaneUnPaker VERSION \([0-9.]*\).*/\1/p' "$pak_root/CMakeLists.txt")
    [ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; return 1; }
    while [ "${1:-}" = 4 ] && [ "$(tr -cd . <<<"$version" | wc -c)" -lt 3 ]; do version="$version.0"; done
    echo "$version"
}

pak_reproducible() {
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then echo ON; else echo OFF; fi
}

pak_normalise() {
    find "$1" -type d -exec chmod 755 {} +
    find "$1" -type f -name '*.exe' -exec chmod 755 {} +
    find "$1" -type f ! -name '*.exe' -exec chmod 644 {} +
    if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    fi
}

pak_linux_tools=$pak_root/build-wine/linux
pak_linux_tools() {
    cmake -S "$pak_root" -B "$pak_linux_tools" -G Ninja -DPAK_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$pak_linux_tools" -j2 --target pakunpack pak_make_platform_sample
}
