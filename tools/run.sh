#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the program, Tessup.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
cmake -S . -B build -G Ninja
cmake --build build
exec build/ui/Tessup
