#!/usr/bin/env bash
# Builds the Debian package corvane-unpaker_<version>_<arch>.deb in build-package/.
# Install it with: sudo apt install ./build-package/corvane-unpaker_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh dpkg-dev file
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DPAK_BUILD_TESTS=OFF
cmake --build build-package
(cd build-package && cpack -G DEB)
ls build-package/*.deb
