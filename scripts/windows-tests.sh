#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64 and runs the 64-bit tests under Wine.
#   build-win32: i686 release build (the shipped PE32 programs); nothing 32-bit runs on
#                this machine, so it is only built and checked.
#   build-win64: x86_64 build whose tests ctest runs under Wine in a throwaway prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
start=$(date +%s)

section() { printf '\n==== %s ====\n' "$*"; }

section "Windows build, 32-bit release (build-win32)"
scripts/build.sh build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release

# Every program of the release build must be a 32-bit PE that needs no DLL of the
# toolchain (the runtime is linked statically).
check_release_program() {
  local exe=$1 description imports
  description=$(file -b "$exe")
  case "$description" in
    "PE32 executable"*) ;;
    *) echo "not a 32-bit Windows program: $exe ($description)" >&2; return 1 ;;
  esac
  imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  if grep -qiE 'libstdc|libgcc|libwinpthread' <<<"$imports"; then
    echo "$exe needs toolchain DLLs:" $imports >&2
    return 1
  fi
}
mapfile -t programs < <(find build-win32 -name '*.exe' -not -path '*/CMakeFiles/*' | sort)
if [ ${#programs[@]} -eq 0 ]; then
  echo "build-win32 holds no program" >&2
  exit 1
fi
if [ -f tool/CMakeLists.txt ] && ! printf '%s\n' "${programs[@]}" | grep -q '/vtprereqhandler\.exe$'; then
  echo "build-win32 lacks vtprereqhandler.exe" >&2
  exit 1
fi
for exe in "${programs[@]}"; do
  check_release_program "$exe"
done
echo "PE32, runtime linked statically: ${programs[*]}"

section "Windows build, 64-bit (build-win64)"
# The launcher ctest runs each test program with. The program's output goes through files:
# when a test terminates a console program, Wine at times leaves that program's console
# host running, and the host keeps whatever the test program's output was open; were it
# ctest's pipe, ctest would wait for it until the test's time-out.
mkdir -p build-win64
launcher="$root/build-win64/wine-launcher.sh"
cat >"$launcher" <<'LAUNCHER'
#!/bin/sh
out=$(mktemp) && err=$(mktemp) || exit 1
wine "$@" </dev/null >"$out" 2>"$err"
rc=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $rc
LAUNCHER
chmod +x "$launcher"
scripts/build.sh build-win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CROSSCOMPILING_EMULATOR="$launcher"

section "64-bit tests under Wine"
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all
WINEPREFIX=$(mktemp -d)
export WINEPREFIX
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wine wineboot -i >/dev/null 2>&1
wineserver -w
# One server for all test runs: each program start then costs a fraction of a second.
wineserver -p
# Start Wine's own services now rather than inside the first test.
wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
ctest --test-dir build-win64 --output-on-failure -j 2 --timeout 300

section "undo tool end to end under Wine"
# The scenarios and their expected logs come from the Linux build's undo_log_check.
[ -x build/tool/undo_log_check ] || scripts/build.sh build
scripts/wine-undo-e2e.sh build-win64 build

echo "Windows builds and Wine tests took $(( $(date +%s) - start )) s"
