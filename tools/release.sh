#!/usr/bin/env bash
# A release of the commit checked out, in dist/:
#   corvane-unpaker-VERSION.tar.gz                   the source, made from the commit
#   corvane-unpaker_VERSION_ARCH.deb                 the Debian package (tools/package.sh)
#   corvane-unpaker-VERSION-win32.zip, -win64.zip    the Windows programs (tools/windows.sh)
#   corvane-unpaker-VERSION-win32-setup.exe, -win64-setup.exe
#   SHA256SUMS                                       the checksums of all of them
# It refuses a work tree with changes that aren't committed (untracked files
# included), and builds from the source archive itself, unpacked in
# build-release/, with SOURCE_DATE_EPOCH the commit's time: every time stamp
# comes from the commit, nothing from the folder, the clock, the time zone or
# the umask, so another run on the same commit, anywhere, gives the same bytes.
#
# Run from an unpacked source archive (no Git), it builds the same way in that
# folder, with the commit's time that the archive carries
# (tools/source_date_epoch), and writes everything but the source archive:
# `sha256sum -c --ignore-missing SHA256SUMS` against a published release's
# file then says whether this build gives the published bytes.
#   tools/release.sh            everything
#   tools/release.sh --no-deps  without the package check
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"

fail() {
    echo "release: $*" >&2
    exit 1
}

deps=1
case ${1:-} in
    "") ;;
    --no-deps) deps=0 ;;
    *) echo "usage: tools/release.sh [--no-deps]" >&2; exit 64 ;;
esac

version=$(pak_version)
name="corvane-unpaker-$version"
dist="$pak_root/dist"

# The commit's time: from Git in a checkout, from the file git archive wrote
# it into in a source archive.
if [ -d .git ] || [ -f .git ]; then
    changes=$(git status --porcelain --untracked-files=normal)
    [ -z "$changes" ] || fail "the work tree has changes that aren't committed:
$changes"
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
    commit=$(git rev-parse HEAD)
else
    SOURCE_DATE_EPOCH=$(cat tools/source_date_epoch)
    commit=""
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || fail "no commit time: '$SOURCE_DATE_EPOCH'"
export SOURCE_DATE_EPOCH

[ "$deps" = 0 ] || tools/deps.sh g++-mingw-w64-i686-posix=i686-w64-mingw32-g++-posix,i686-w64-mingw32-objdump \
    g++-mingw-w64-x86-64-posix=x86_64-w64-mingw32-g++-posix,x86_64-w64-mingw32-objdump nsis=makensis zip=zip

rm -rf "$dist"
mkdir -p "$dist"
if [ -n "$commit" ]; then
    # The commit's files as Git holds them (no line-end conversion, Git's own
    # fixed modes), each with the commit's time; gzip without a name or time.
    echo "== source archive of $commit"
    git -c core.autocrlf=false -c core.eol=lf -c tar.umask=022 \
        archive --format=tar --prefix="$name/" "$commit" | gzip -9n >"$dist/$name.tar.gz"
    # The build is made from the source archive.
    source_tree="$pak_root/build-release/$name"
    rm -rf "$pak_root/build-release"
    mkdir -p "$pak_root/build-release"
    tar -xzf "$dist/$name.tar.gz" -C "$pak_root/build-release"
    [ "$(cat "$source_tree/tools/source_date_epoch")" = "$SOURCE_DATE_EPOCH" ] \
        || fail "the source archive holds another commit time"
else
    source_tree=$pak_root
fi

echo "== Debian package"
"$source_tree/tools/package.sh"
cp "$source_tree"/build-package/corvane-unpaker_*.deb "$dist/"

echo "== Windows zips and setup programs"
"$source_tree/tools/windows.sh" --no-deps --no-tests
for bits in 32 64; do
    cp "$source_tree/build-win$bits/$name-win$bits.zip" "$source_tree/build-win$bits/$name-win$bits-setup.exe" "$dist/"
done

(cd "$dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort \
    | xargs sha256sum -- >SHA256SUMS)
echo "== $dist (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
cat "$dist/SHA256SUMS"
