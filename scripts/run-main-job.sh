#!/usr/bin/env bash
# The main job: runs the undo tool once against a fresh copy of the sample machine
# (tool/sample-machine) and shows what it did. Usage: scripts/run-main-job.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
machine=$(mktemp -d /tmp/vt-machine.XXXXXX)
trap 'rm -rf "$machine"' EXIT
cp -a "$root/tool/sample-machine/." "$machine/"

echo "Simulated machine: $machine"
SIMWIN_ROOT="$machine" "$build/tool/vtprereqhandler"
echo "vtprereqhandler exited with $?"

echo
echo "---- C:\\Program Files\\Vantory\\Agent\\logs\\vtprereqhandler.log ----"
cat "$machine/C/Program Files/Vantory/Agent/logs/vtprereqhandler.log"
echo
echo "---- registry afterwards ----"
cat "$machine/registry.reg"
echo
echo "---- system directories afterwards ----"
ls -l "$machine/C/Windows/system32" "$machine/C/Windows/sysWOW64"
echo
echo "---- icacls.exe calls ----"
cat "$machine/icacls-calls.log"
