#!/usr/bin/env bash
# The Windows builds of tools/windows.sh under Wine, for each architecture:
# their test suites (Tessup.exe's on a display: the one there is, else a
# virtual one), what pakunpack.exe does with one generated archive compared
# with the Linux build (listing, JSON, report, extraction, statuses, the
# extracted tree and the archives created from it, byte for byte), Tessup.exe
# started with that archive, and the zipped pakunpack.exe.
# The 32-bit suites run as one process each, since where the kernel runs no
# 32-bit program they run emulated and every start costs about 45 s (see
# pak_wine_bits in common.sh); pakunpack's own suite, which starts
# pakunpack.exe some fifty times, runs 64-bit only: the comparison stands in
# for it. Where 32-bit programs can't run at all the 32-bit runs are
# skipped, on a line starting "SKIPPED:" that says why; everything else must
# run.
#   tools/windows_test.sh            everything
#   tools/windows_test.sh --no-deps  without the package check
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"

[ "${1:-}" = --no-deps ] || tools/deps.sh wine=wine,wineserver wine64=/usr/lib/wine/wine64 xvfb=Xvfb \
    xdotool=xdotool unzip=unzip locales=localedef --optional wine32:i386=/usr/lib/wine/wine
# Wine takes the ANSI code page from the locale: a test of double-byte names
# runs under Japanese's (932).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
    $([ "$(id -u)" -eq 0 ] || echo sudo) localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
version=$(pak_version)
for bits in 32 64; do
    [ -f "build-win$bits/build.ninja" ] || { tools/windows.sh "$@"; break; }
done

pak_display
pak_wine "$pak_root/build-wine/prefix"

# The reference: pakunpack and the sample's generator, built for Linux.
pak_linux_tools
linux=$pak_linux_tools
compare="$pak_root/build-wine/compare"
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
    # The archive made again from what extract wrote: plainly, and like the sample.
    run_case "$side-create" create "$@" create new.pak "../$side-extract/out" --skip-unsupported
    run_case "$side-like" like "$@" create new.pak "../$side-extract/out" --like "$sample" --skip-unsupported
}

same() {   # $1 label, $2 $3 files that must be identical
    if ! cmp -s "$2" "$3"; then
        echo "Windows and Linux differ: $1" >&2
        diff <(od -c "$2") <(od -c "$3") | head -20 >&2 || true
        exit 1
    fi
}

run_all linux "$linux/cli/pakunpack"

# All the tests of one test program of the 32-bit build in one run; its
# output is kept in $suite_out, its counts are shown.
run_suite() {   # $1 the test program, then its arguments
    local program=$1 status=0
    shift
    echo "-- ${program##*/} $*"
    suite_out=$(cd "${program%/*}" && pak_wine_run "$program" "$@" </dev/null 2>&1) || status=$?
    grep -E '^\[=+\] [0-9]+ tests? from .* ran|^\[ *(PASSED|SKIPPED|FAILED) *\] [0-9]+ tests?[.,]' <<<"$suite_out" || true
    if [ "$status" != 0 ] || ! grep -q '^\[  PASSED  \]' <<<"$suite_out"; then
        printf '%s\n' "$suite_out" >&2
        echo "${program##*/} $*: failed (status $status)" >&2
        exit 1
    fi
}

ran=()
pak_wine_bits "win32 under Wine (test suites, comparison with Linux, Tessup.exe, zipped pakunpack.exe)"
for bits in "${pak_bits[@]}"; do
    build="$pak_root/build-win$bits"
    cmake --build "$build" -j2 >/dev/null   # current with the sources
    echo "== win$bits: tests under Wine"
    if [ "$bits" = 64 ]; then
        ctest --test-dir "$build" --output-on-failure -j2
    else
        run_suite "$build/tests/archive_tests.exe"
        LC_ALL=ja_JP.UTF-8 run_suite "$build/tests/archive_tests.exe" \
            --gtest_filter=WindowsFiles.DoubleByteNamesKeepTheirCharacters
        ! grep -q '^\[  SKIPPED \]' <<<"$suite_out" || { echo "the double-byte names were skipped under code page 932" >&2; exit 1; }
        run_suite "$build/tests/ui/win32_ui_tests.exe"
    fi

    echo "== win$bits: the same archive as on Linux"
    side="win$bits"
    run_all "$side" pak_wine_run "$build/cli/pakunpack.exe"
    for case in list extract create like; do
        same "$case output" "$compare/linux-$case/$case.out" "$compare/$side-$case/$case.out"
        same "$case errors" "$compare/linux-$case/$case.err" "$compare/$side-$case/$case.err"
        same "$case status" "$compare/linux-$case/$case.status" "$compare/$side-$case/$case.status"
    done
    same "extracted tree" "$compare/linux-extract/tree.txt" "$compare/$side-extract/tree.txt"
    same "created archive" "$compare/linux-create/new.pak" "$compare/$side-create/new.pak"
    same "archive created like the sample" "$compare/linux-like/new.pak" "$compare/$side-like/new.pak"
    # The report and the JSON name the archive by its absolute path, which
    # is the system's own on each side; everything else is byte for byte.
    windows_path=$(pak_wine_run winepath -w "$sample" 2>/dev/null)
    same "report" <(sed "4s|.*|Name:ARCHIVE|" "$compare/linux-scan/report.txt") \
        <(sed "4s|.*|Name:ARCHIVE|" "$compare/$side-scan/report.txt")
    same "report's Name: line" <(printf 'Name:%s\n' "$windows_path") <(sed -n 4p "$compare/$side-scan/report.txt")
    if grep -q $'\r' "$compare/$side-scan/report.txt" "$compare/$side-list/list.out"; then
        echo "a CR in the Windows output" >&2
        exit 1
    fi
    strip_archive() { sed '1s|^{"archive":[^,]*,|{"archive":ARCHIVE,|' "$1"; }
    same "JSON listing" <(strip_archive "$compare/linux-json/json.out") <(strip_archive "$compare/$side-json/json.out")

    echo "== win$bits: Tessup.exe started with the archive"
    mkdir -p "$compare/$side-tessup"
    cp "$sample" "$compare/$side-tessup/"
    pak_tessup_opens "$build/ui/Tessup.exe" "$(pak_wine_run winepath -w "$compare/$side-tessup/${sample##*/}")" \
        "$compare/$side-tessup/Scan_log.txt" "$compare"
    same "Tessup.exe's report" <(sed "4s|.*|Name:ARCHIVE|" "$compare/$side-scan/report.txt") \
        <(sed "4s|.*|Name:ARCHIVE|" "$compare/$side-tessup/Scan_log.txt")

    echo "== win$bits: the zipped program"
    name="corvane-unpaker-$version-win$bits"
    check="$build/zip-check"
    rm -rf "$check"
    mkdir -p "$check"
    unzip -q "$build/$name.zip" -d "$check"
    got=$(pak_wine_run "$check/$name/pakunpack.exe" --version | tr -d '\r')
    [ "$got" = "pakunpack $version" ] || { echo "the zipped pakunpack.exe says '$got'" >&2; exit 1; }
    rm -rf "$check"
    ran+=("win$bits")
done
echo "Windows tests under Wine: ${ran[*]}: the suites pass, the output matches Linux, the zipped program runs."
