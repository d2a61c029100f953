#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
cmake -S . -B build -G Ninja
cmake --build build
if [ -x build/ui/Tessup ]; then
    exec build/ui/Tessup
fi
echo "Built the archive library and its tests; the dialog program is not part of this build yet."
