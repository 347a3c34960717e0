#!/usr/bin/env bash
# Workers side by side: 40 scripts of 10 steps each on the demo shop (examples/site), run
# whole by the quillfen binary with --workers 1, 2 and 4 in turn (browser start-up, every
# step, the reports), timed as a whole process. Prints the seconds of each and the
# speed-up over one worker; then the same suite with a launched browser against a running
# one reached through --browser-endpoint (one worker). Usage: bench/workers.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
rounds=${2:-1}
cmake --build "$build" --target quillfen quillfen_remote_bench >/dev/null
exe=$build/runner/quillfen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Log in, look at the products, and check the sign-up buttons: ten steps of every kind
# (navigation, typing, clicks by text and by place, checks of text and of elements).
mkdir -p "$work/suite"
for i in $(seq -w 1 40); do
  cat >"$work/suite/script_$i.test" <<SCRIPT
navigate $root/examples/site/index.html
verify "Log in" is present
type standard_user into "Username"
type secret_sauce into the "Password"
click "Log in"
verify text Products is visible
hover "Details"
verify text Water resistant, 20 litres is visible
navigate $root/examples/site/orders.html
verify text below "Status" is Delivered
SCRIPT
done

seconds() {
  local started ended
  started=$(date +%s.%N)
  if ! "$exe" run "$work/suite" --workers "$1" --report "$work/report_$1.html" >"$work/out_$1.txt" 2>&1; then
    echo "quillfen run --workers $1 failed; its output is below." >&2
    tail -30 "$work/out_$1.txt" >&2
    exit 1
  fi
  ended=$(date +%s.%N)
  echo "$ended - $started" | bc -l
}

declare -A best
for round in $(seq 1 "$rounds"); do
  for workers in 1 2 4; do
    s=$(seconds "$workers")
    if [ -z "${best[$workers]:-}" ] || [ "$(echo "$s < ${best[$workers]}" | bc -l)" = 1 ]; then best[$workers]=$s; fi
  done
done

echo "40 scripts x 10 steps on the demo shop, $(nproc) cores, best of $rounds round(s), whole process:"
printf '  %-12s %10s %10s\n' workers seconds speed-up
for workers in 1 2 4; do
  printf '  %-12s %10.2f %9.2fx\n' "$workers" "${best[$workers]}" "$(echo "${best[1]} / ${best[$workers]}" | bc -l)"
done

echo
"$build/bench/quillfen_remote_bench" --suite "$work/suite" --workers 1 --rounds "$rounds"
