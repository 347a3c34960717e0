#!/usr/bin/env bash
# Installs the benchmark's peer, playwright-core from the npm registry, into
# bench/peer/node_modules. It drives Debian's Chromium; it never downloads a browser.
set -euo pipefail
cd "$(dirname "$0")"
if [ ! -d node_modules/playwright-core ]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --no-save --no-audit --no-fund --loglevel=error playwright-core >&2
fi
