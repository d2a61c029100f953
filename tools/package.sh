#!/usr/bin/env bash
# Builds the Debian package corvane-unpaker_<version>_<arch>.deb in build-package/
# and checks it with lintian, failing on any error or warning it reports.
# Install it with: sudo apt install ./build-package/corvane-unpaker_*.deb
# With SOURCE_DATE_EPOCH set (tools/release.sh sets it from the commit) the
# package is the same bytes from every checkout: its files' times are that
# time (CPack takes it) and the programs hold no build folder.
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"

tools/deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DPAK_BUILD_TESTS=OFF \
    -DPAK_REPRODUCIBLE="$(pak_reproducible)"
cmake --build build-package -j2
rm -f build-package/*.deb
# The package's folders are made with the umask's modes (CMake's folder
# permissions don't override it), so with 022 whoever packages.
(cd build-package && umask 022 && cpack -G DEB)
deb="$(ls build-package/*.deb)"
# lintian prints nothing when it finds nothing to report.
lintian --fail-on error,warning "$deb"
echo "$deb"
