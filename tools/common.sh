# What the scripts under tools/ share; sourced, never run. It changes to the
# project's root and, on the way out, ends every Wine server and process that
# the script started through it, each by its id.
#   pak_start CMD...          starts CMD in the background; its id is in $pak_pid
#   pak_display [--own]       a display: the one there is, else (or with --own
#                             always) a virtual one from Xvfb
#   pak_wine PREFIX [--fresh] a Wine prefix, made when missing (--fresh: anew),
#                             with its server running
#   pak_wine_run PROGRAM ARG...  starts a Windows program (tools/wine.sh: the
#                             loader its header asks for)
#   pak_wine_bits WHAT        sets pak_bits to the architectures Wine runs here
#                             (32 64, or 64 alone, saying that WHAT is skipped)
#                             and pak_wine32 to how 32-bit programs run:
#                             native, emulated or "" (see below)
#   pak_tessup_opens TESSUP ARCHIVE REPORT FOLDER  Tessup.exe, started in FOLDER,
#                             opens the archive given on its command line,
#                             writes its report and ends on Escape
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
# A new prefix is a copy of a template made once per Wine installation in
# build-wine/: with 32-bit Wine installed, making a 64-bit prefix starts
# 32-bit helpers, which under emulation takes minutes (a copy takes seconds).
pak_wine() {
    local prefix=$1 template
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true   # one left from an interrupted run
    [ "${2:-}" != --fresh ] || rm -rf "$prefix"
    if [ ! -f "$prefix/system.reg" ]; then
        pak_wine32_check
        template=$(/usr/lib/wine/wine64 --version | tr -c 'A-Za-z0-9.\n-' _)
        template="$pak_root/build-wine/template-$template${pak_wine32:+-with-32-bit}"
        if [ ! -f "$template/made" ]; then
            rm -rf "$template"
            pak_wine_server "$template"
            pak_wine_run wineboot --init </dev/null >/dev/null 2>&1
            pak_wine_run wineboot --shutdown </dev/null >/dev/null 2>&1 || true
            wineserver -k 2>/dev/null || true
            wait "$pak_pid" 2>/dev/null || true   # the registry is saved as the server ends
            touch "$template/made"
        fi
        rm -rf "$prefix"
        mkdir -p "$(dirname "$prefix")"
        cp -a "$template" "$prefix"
        rm -f "$prefix/made"
    fi
    pak_wine_server "$prefix"
    pak_wine_run wineboot --init </dev/null >/dev/null 2>&1
}

# Starts Wine's server for prefix $1 (made when missing) and makes it the
# prefix of every Wine program started from here on.
pak_wine_server() {
    export WINEPREFIX=$1
    wineserver -k 2>/dev/null || true
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
}

pak_wine_run() { "$pak_root/tools/wine.sh" "$@"; }

# 32-bit Windows programs need 32-bit Wine (wine32:i386, an optional package)
# and a kernel that runs 32-bit x86 programs, which is found out by running
# one. Where the kernel refuses them ("Exec format error"), qemu-user's
# qemu-i386 is registered with binfmt_misc (mounted first if it isn't) and
# runs them, emulated: every 32-bit program then takes about 45 s of CPU to
# start. PAK_WINE32_NATIVE=0 takes that route even where the kernel would run
# them itself (to try it; the registration stays until the next boot or
# `echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386`). Sets pak_wine32 to native
# or emulated, or to "" with the reason in pak_wine32_why.
pak_i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
pak_i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
pak_wine32_loader=/usr/lib/wine/wine

# The enabled binfmt_misc entry that hands 32-bit x86 programs to an
# interpreter, if any: its interpreter.
pak_binfmt_i386() {
    local entry magic
    magic=$(printf '%b' "$pak_i386_magic" | od -An -tx1 | tr -d ' \n')
    for entry in /proc/sys/fs/binfmt_misc/*; do
        [ -f "$entry" ] && grep -qx enabled "$entry" 2>/dev/null && grep -qx "magic $magic" "$entry" || continue
        sed -n 's/^interpreter //p' "$entry"
        return 0
    done
    return 1
}

pak_wine32_check() {
    [ -z "${pak_wine32+set}" ] || return 0   # found out once a script
    pak_wine32="" pak_wine32_why=""
    local sudo="" missing="$pak_root/build-deps/missing-wine32:i386.txt" interpreter
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    if [ ! -x "$pak_wine32_loader" ]; then
        pak_wine32_why="32-bit Wine (wine32:i386) can't be installed: $(cat "$missing" 2>/dev/null || echo "it was not asked for")"
        return 0
    fi
    if [ "${PAK_WINE32_NATIVE:-1}" != 0 ] && ! pak_binfmt_i386 >/dev/null \
        && "$pak_wine32_loader" --version >/dev/null 2>&1; then
        pak_wine32=native
        echo "32-bit programs run natively"
        return 0
    fi
    if ! interpreter=$(pak_binfmt_i386); then
        "$pak_root/tools/deps.sh" --optional qemu-user=/usr/bin/qemu-i386
        if [ ! -x /usr/bin/qemu-i386 ]; then
            pak_wine32_why="this kernel runs no 32-bit x86 program and qemu-user can't be installed: $(cat "$pak_root/build-deps/missing-qemu-user.txt" 2>/dev/null)"
            return 0
        fi
        [ -e /proc/sys/fs/binfmt_misc/register ] \
            || $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || true
        # F: the kernel opens the interpreter now, so it serves in every mount
        # namespace; a stale entry of the same name is removed first.
        if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
            echo -1 | $sudo tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null || true
        fi
        if ! printf '%s' ":qemu-i386:M::$pak_i386_magic:$pak_i386_mask:/usr/bin/qemu-i386:F" \
            | $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null 2>&1; then
            pak_wine32_why="this kernel runs no 32-bit x86 program and qemu-i386 can't be registered with binfmt_misc"
            return 0
        fi
        interpreter=/usr/bin/qemu-i386
        local why="this kernel runs none"
        [ "${PAK_WINE32_NATIVE:-1}" != 0 ] || why="PAK_WINE32_NATIVE=0 asks for emulation"
        echo "32-bit programs: $why, so $interpreter is registered with binfmt_misc to run them (about 45 s for every 32-bit program start)"
    fi
    if ! "$pak_wine32_loader" --version >/dev/null 2>&1; then
        pak_wine32_why="32-bit Wine doesn't start, natively or through $interpreter"
        return 0
    fi
    pak_wine32=emulated
    echo "32-bit programs run emulated, through $interpreter (binfmt_misc)"
}

pak_wine_bits() {
    pak_wine32_check
    pak_bits=(32 64)
    if [ -z "$pak_wine32" ]; then
        pak_skip "$1: $pak_wine32_why"
        pak_bits=(64)
    fi
}

# Starts Tessup.exe ($1, a Linux or Windows path) in folder $4 with the
# archive $2 (its Windows path) as its argument, waits for its dialog and the
# report $3 (a Linux path) next to the archive, then ends it with Escape: it
# must end, with status 0. The waits are long enough for a 32-bit program
# started under emulation.
pak_tessup_opens() {
    local tessup=$1 archive=$2 report=$3 folder=$4 window="" pid status=0
    rm -f "$report"
    (cd "$folder" && exec "$pak_root/tools/wine.sh" "$tessup" "$archive" </dev/null >/dev/null 2>&1) &
    pid=$!
    pak_pids+=("$pid")
    for _ in $(seq 3000); do
        [ -s "$report" ] && window=$(xdotool search --name '^Corvane UnPaker v 0\.1$' 2>/dev/null | head -1 || true)
        [ -n "$window" ] && break
        kill -0 "$pid" 2>/dev/null || { echo "Tessup.exe ended by itself" >&2; return 1; }
        sleep 0.1
    done
    if [ -z "$window" ]; then
        kill "$pid" 2>/dev/null || true
        echo "Tessup.exe showed no dialog with the archive opened (no report beside it) in 300 s" >&2
        return 1
    fi
    xdotool windowfocus --sync "$window" key Escape
    for _ in $(seq 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        echo "Tessup.exe still runs 30 s after Escape" >&2
        return 1
    fi
    wait "$pid" || status=$?
    [ "$status" = 0 ] || { echo "Tessup.exe ended with status $status" >&2; return 1; }
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
