#!/usr/bin/env bash
# Builds the Debian package corvane-unpaker_<version>_<arch>.deb in build-package/
# and checks it with lintian, failing on any error or warning it reports.
# Install it with: sudo apt install ./build-package/corvane-unpaker_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DPAK_BUILD_TESTS=OFF
cmake --build build-package
rm -f build-package/*.deb
(cd build-package && cpack -G DEB)
deb="$(ls build-package/*.deb)"
# lintian prints nothing when it finds nothing to report.
lintian --fail-on error,warning "$deb"
echo "$deb"
