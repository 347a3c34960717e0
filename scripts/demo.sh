#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs the demo scripts of examples/
# headless against the bundled demo shop (examples/site/). Every step is printed as it
# finishes; the HTML report goes to data/reports/report.html and JUnit XML beside it.
# Exits with quillfen's code: 0 when every step passed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
started=$(date +%s%N)
status=0
build/runner/quillfen run examples/*.test --junit data/reports/junit.xml || status=$?
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
echo
echo "demo: ran examples/*.test in $((elapsed_ms / 1000)).$(printf '%03d' $((elapsed_ms % 1000))) s;" \
     "open $(pwd)/data/reports/report.html"
exit "$status"
