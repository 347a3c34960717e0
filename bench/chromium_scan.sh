#!/usr/bin/env bash
# The Chromium scan benchmark with its peer: installs playwright-core from npm into
# bench/peer (it drives Debian's Chromium, no browser is downloaded), builds the
# benchmark and runs it. Usage: bench/chromium_scan.sh [BUILD_DIR] [benchmark options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
"$root/bench/peer/install.sh"
cmake --build "$build" --target quillfen_chromium_scan_bench >/dev/null
exec "$build/bench/quillfen_chromium_scan_bench" "$@"
