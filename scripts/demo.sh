#!/usr/bin/env bash
# The main job: installs what is needed, builds, and checks the example script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
build/runner/quillfen validate examples/*.test
build/runner/quillfen parse - < <(grep -v -E '^\s*(#|$)' examples/shop.test)
