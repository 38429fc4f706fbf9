#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded, seeded number
# of runs on its seed corpus. Usage: scripts/fuzz.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20000}
build=$root/build-fuzz
CC=clang CXX=clang++ "$root/scripts/build.sh" "$build" -DFUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
[ -s "$build/fuzzers.txt" ] || { echo "no fuzz targets"; exit 0; }
while IFS='|' read -r target corpus; do
  [ -n "$target" ] || continue
  binary=$(find "$build" -name "$target" -type f -perm -u+x | head -n 1)
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
  echo "fuzzing $target: $runs runs, seed 1, corpus $(ls "$work" | wc -l) files"
  "$binary" -seed=1 -runs="$runs" -max_len=4096 -timeout=10 "$work" 2>&1 | tail -n 3
  rm -rf "$work"
done < "$build/fuzzers.txt"
