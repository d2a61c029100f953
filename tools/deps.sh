#!/usr/bin/env bash
# Installs the Debian packages that the build, the program and the tests need,
# when any of them is missing. Uses sudo when not run as root. Packages named
# on the command line are installed too (tools/fuzz.sh names clang's).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev
    # The dialog program: Qt 6 Widgets with its platform plugins, and a font.
    qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core
    # The resource compiler a test checks res/tessup.rc with.
    binutils-mingw-w64-x86-64
    # The install test checks the menu entry with desktop-file-validate, and
    # the file type, the AppStream data and the manual pages; the package
    # test builds the Debian package and checks it with lintian.
    desktop-file-utils shared-mime-info appstream man-db dpkg-dev file lintian
)

missing=()
for pkg in "${packages[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
