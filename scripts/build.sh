#!/usr/bin/env bash
# Configures and builds into build/ (warnings are errors). Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DQUILLFEN_WERROR=ON "$@" >/dev/null
cmake --build build -j "$(nproc)"
