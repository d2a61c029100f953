#!/usr/bin/env bash
# The release is reproducible and names one version. tools/release.sh runs
# twice on the commit checked out, each time in a fresh clone of its own (in
# build-release-test/, at different depths), with another time zone and
# umask, and at another time: both SHA256SUMS must be the same. Then every
# artifact of the first run must name the project's version: the file names,
# the source archive's CMakeLists.txt, the package's version, its pakunpack
# --version, AppStream release, changelog and manual pages, the zips'
# README.txt and programs (Tessup.exe's version block), and the setup
# programs' version block.
#   tools/release_test.sh            everything
#   tools/release_test.sh --no-deps  without the package check
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"
work="$pak_root/build-release-test"

fail() {
    echo "release test: $*" >&2
    exit 1
}

[ "${1:-}" = --no-deps ] || tools/deps.sh g++-mingw-w64-i686-posix=i686-w64-mingw32-g++-posix,i686-w64-mingw32-objdump \
    g++-mingw-w64-x86-64-posix=x86_64-w64-mingw32-g++-posix,x86_64-w64-mingw32-objdump nsis=makensis zip=zip unzip=unzip

commit=$(git rev-parse HEAD)
version=$(pak_version)
echo "release test of $commit ($version)"
[ -z "$(git status --porcelain)" ] || echo "release test: note: the work tree has changes; the commit is what is built"
rm -rf "$work"

release() {   # $1 the clone's folder, $2 time zone, $3 umask
    local start status=0
    start=$(date -u '+%F %T')
    mkdir -p "$(dirname "$1")"
    (
        umask "$3"
        git clone -q --no-checkout "$pak_root" "$1"
        git -C "$1" checkout -q --detach "$commit"
        cd "$1" && TZ=$2 tools/release.sh --no-deps
    ) >"$1.log" 2>&1 || status=$?
    if [ "$status" != 0 ]; then
        tail -n 30 "$1.log" >&2
        fail "tools/release.sh in $1 failed with status $status (log: $1.log)"
    fi
    echo "release in $1: TZ=$2, umask $3, from $start to $(date -u '+%T') UTC"
}

first="$work/a/src" second="$work/second/run/corvane"
release "$first" Pacific/Kiritimati 077
release "$second" America/Los_Angeles 022
if ! cmp -s "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS"; then
    diff "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS" >&2 || true
    fail "two releases of $commit differ"
fi
cat "$first/dist/SHA256SUMS"
(cd "$second/dist" && sha256sum --quiet -c SHA256SUMS) || fail "the second run's files don't match its SHA256SUMS"
echo "both releases are the same bytes"

# Every artifact names $version.
dist="$first/dist"
name="corvane-unpaker-$version"
expected=$(printf '%s\n' SHA256SUMS "$name-win32-setup.exe" "$name-win32.zip" "$name-win64-setup.exe" \
    "$name-win64.zip" "$name.tar.gz" "corvane-unpaker_${version}_$(dpkg --print-architecture).deb")
[ "$(cd "$dist" && find . -type f -printf '%f\n' | LC_ALL=C sort)" = "$expected" ] \
    || fail "dist/ holds: $(ls "$dist")"

has() {   # $1 what, $2 the text that must hold the line $3
    grep -qxF -- "$3" <<<"$2" || fail "$1 doesn't name $version (no line '$3')"
}
has "the source archive's CMakeLists.txt" "$(tar -xzOf "$dist/$name.tar.gz" "$name/CMakeLists.txt")" \
    "project(CorvaneUnPaker VERSION $version LANGUAGES CXX)"

deb=$(echo "$dist"/corvane-unpaker_*.deb)
has "the package" "$(dpkg-deb -f "$deb" Version)" "$version"
files="$work/deb"
dpkg-deb -x "$deb" "$files"
has "the package's pakunpack" "$("$files/usr/bin/pakunpack" --version)" "pakunpack $version"
has "the AppStream data" "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$files"/usr/share/metainfo/*.xml)" \
    "$version"
has "the changelog" "$(zcat "$files/usr/share/doc/corvane-unpaker/changelog.gz" | head -n 1 | sed 's/.*(\(.*\)).*/\1/')" \
    "$version"
for page in "$files"/usr/share/man/man1/*.1.gz; do
    has "$(basename "$page")" "$(zcat "$page" | sed -n 's/^\.TH .*"Corvane UnPaker \([^"]*\)".*/\1/p')" "$version"
done

for bits in 32 64; do
    zip="$dist/$name-win$bits.zip"
    has "the win$bits zip's README.txt" "$(unzip -p "$zip" "$name-win$bits/README.txt" | tr -d '\r')" \
        "Corvane UnPaker $version for $bits-bit Windows"
    unzip -q -o "$zip" "$name-win$bits/pakunpack.exe" "$name-win$bits/Tessup.exe" -d "$work"
    has "the win$bits pakunpack.exe" "$(strings -a "$work/$name-win$bits/pakunpack.exe")" "$version"
    has "the win$bits Tessup.exe's version block" "$(strings -a -el "$work/$name-win$bits/Tessup.exe")" \
        "Corvane UnPaker $version"
    has "the win$bits setup program's version block" "$(strings -a -el "$dist/$name-win$bits-setup.exe")" \
        "$(pak_version 4)"
done
echo "every artifact names version $version"
