#!/usr/bin/env bash
# The scenario benchmark with its peer: installs playwright-core from npm into bench/peer
# (it drives Debian's Chromium, no browser is downloaded), builds quillfen and the
# benchmark, and runs it. Usage: bench/scenario.sh [BUILD_DIR] [benchmark options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build=$1
  shift
fi
"$root/bench/peer/install.sh"
cmake --build "$build" --target quillfen_scenario_bench >/dev/null
exec "$build/bench/quillfen_scenario_bench" "$@"
