#!/usr/bin/env bash
# Whole `quillfen run` processes with a launched browser against a running one reached
# through --browser-endpoint, taking turns; prints each round, the medians and their
# ratio. Builds quillfen and the benchmark first.
# Usage: bench/remote.sh [BUILD_DIR] [--rounds N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build=$1
  shift
fi
cmake --build "$build" --target quillfen_remote_bench >/dev/null
exec "$build/bench/quillfen_remote_bench" "$@"
