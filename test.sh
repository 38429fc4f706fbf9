#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

scripts/deps.sh
jobs=$(nproc)

section() { printf '\n==== %s ====\n' "$*"; }

section "build (RelWithDebInfo)"
scripts/build.sh build
section "tests"
ctest --test-dir build --output-on-failure -j "$jobs"

section "build (ASan + UBSan)"
scripts/build.sh build-asan -DSANITIZE=address -DBUILD_BENCHMARKS=OFF
section "tests under ASan + UBSan"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j "$jobs"

section "build (TSan)"
scripts/build.sh build-tsan -DSANITIZE=thread -DBUILD_BENCHMARKS=OFF
section "tests under TSan"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs"

if [ -x scripts/windows-tests.sh ]; then
  section "Windows builds and tests under Wine"
  scripts/windows-tests.sh
fi
