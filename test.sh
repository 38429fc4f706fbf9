#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# Linux (plain, ASan+UBSan, TSan) against SQLite and throwaway PostgreSQL and MariaDB
# servers, the Windows builds with their tests under Wine, and bounded fuzzing.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
jobs=$(nproc)
start=$(date +%s)

section() { printf '\n==== %s (%d s) ====\n' "$*" $(( $(date +%s) - start )); }

section "database servers"
dbdir=$(mktemp -d /tmp/vt-db.XXXXXX)
trap 'scripts/db-servers.sh stop "$dbdir"' EXIT
scripts/db-servers.sh start "$dbdir"
# shellcheck disable=SC1091
source "$dbdir/env"

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

section "Windows builds and tests under Wine"
scripts/windows-tests.sh

section "fuzzing (bounded, seeded)"
scripts/fuzz.sh 20000

section "done"
