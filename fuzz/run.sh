#!/usr/bin/env bash
# Runs one libFuzzer target with its dictionary and seeds, as one job:
#   fuzz/run.sh TARGET [SECONDS] [BUILD_DIR]
# TARGET is the name of a fuzz/TARGET_fuzz.cpp (step_reader, offline_resolution,
# browser_replies, key_chords); SECONDS defaults to 600, BUILD_DIR to build-fuzz, a tree
# configured with CXX=clang++ -DQUILLFEN_FUZZ=ON. The corpus grows in
# BUILD_DIR/fuzz/corpus/TARGET, seeded from fuzz/seeds/TARGET/; crashes land in
# BUILD_DIR/fuzz/artifacts/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
target="${1:?usage: fuzz/run.sh TARGET [SECONDS] [BUILD_DIR]}"
seconds="${2:-600}"
build="$(cd "${3:-$here/../build-fuzz}" && pwd)"
corpus="$build/fuzz/corpus/$target"
artifacts="$build/fuzz/artifacts"
mkdir -p "$corpus" "$artifacts"
[ -d "$here/seeds/$target" ] && cp -n "$here/seeds/$target"/* "$corpus"/
max_len=4096
case "$target" in
  offline_resolution)
    cp -n "$here/../examples/shop_snapshot.json" "$corpus"/
    max_len=65536 ;;
  browser_replies) max_len=65536 ;;
esac
cd "$build/fuzz"
exec "./${target}_fuzz" -dict="$here/$target.dict" -max_len="$max_len" -max_total_time="$seconds" \
  -jobs=1 -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus"
