#!/usr/bin/env bash
# End-to-end runs of the Windows build of vtprereqhandler under Wine, one per scenario
# of the Linux end-to-end test (the expectations come from the Linux helper
# undo_log_check, so both platforms are judged alike).
# Usage: scripts/wine-undo-e2e.sh WIN64_BUILD_DIR LINUX_BUILD_DIR
# Needs WINEPREFIX (a throwaway prefix, already booted) and a running wineserver.
set -euo pipefail
win_build=$(cd "$1" && pwd)
check=$(cd "$2" && pwd)/tool/undo_log_check
: "${WINEPREFIX:?set WINEPREFIX to a throwaway prefix}"
export WINEDEBUG=-all

drive=$WINEPREFIX/drive_c
agent_key='HKLM\Software\Quillon\Vantory\VTAgent'
service_key='HKLM\System\CurrentControlSet\Services\WebClient'
env_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
explorer_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Advanced'

w() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
reg_value() { w reg query "$1" /v "$2" | awk -v n="$2" '$1 == n { print $3 }'; }
service_exists() { w reg query "$service_key" >/dev/null 2>&1 && [ -n "$(reg_value "$service_key" Start)" ]; }

# The program and the icacls.exe stand-in side by side: Windows looks for a program
# in the caller's own directory first, so the stand-in wins over Wine's dummy icacls.
mkdir -p "$drive/vt"
cp "$win_build/tool/vtprereqhandler.exe" "$drive/vt/"
cp "$win_build/tool/icacls_standin.exe" "$drive/vt/icacls.exe"

failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }

prepare() {
  if [ "$agentKey" = 1 ]; then
    w reg add "$agent_key" /v VTAgentInstallDir /t REG_SZ /d 'C:\vtagent\' /f >/dev/null
    w reg add "$agent_key" /v VTAgentLogLevel /t REG_DWORD /d 3 /f >/dev/null
  else
    w reg delete "$agent_key" /f >/dev/null || true
  fi
  rm -rf "$drive/vtagent"
  mkdir -p "$drive/vtagent"
  if [ "$serviceKey" = 1 ]; then
    service_exists || w sc create WebClient 'binPath=' 'C:\windows\system32\notepad.exe' 'start=' demand >/dev/null
    w reg add "$service_key" /v Start /t REG_DWORD /d 4 /f >/dev/null
  else
    w sc delete WebClient >/dev/null || true
    w reg delete "$service_key" /f >/dev/null || true
  fi
  w reg add "$env_key" /v PROCESSOR_ARCHITECTURE /t REG_SZ /d "$architecture" /f >/dev/null
  if [ "$explorerKey" = 1 ]; then
    w reg add "$explorer_key" /v IconsOnly /t REG_DWORD /d 1 /f >/dev/null
  else
    w reg delete "$explorer_key" /f >/dev/null || true
  fi
  for d in system32 syswow64; do
    rm -f "$drive/windows/$d/atmfd.dll" "$drive/windows/$d/x-atmfd.dll"
    [ "$driverPresent" = 1 ] && echo "driver of $d" > "$drive/windows/$d/x-atmfd.dll"
    echo acl > "$drive/windows/$d/atmfd.dll.acl"
  done
  rm -f "$drive/vt/icacls-calls.txt"
}

verify() {
  local name=$1 rc=$2
  [ "$rc" = 0 ] || fail "exit code $rc"
  if [ "$serviceKey" = 1 ]; then
    [ "$(reg_value "$service_key" Start)" = 0x2 ] || fail "WebClient Start is $(reg_value "$service_key" Start)"
  fi
  if [ "$explorerKey" = 1 ]; then
    [ "$(reg_value "$explorer_key" IconsOnly)" = 0x0 ] || fail "IconsOnly is $(reg_value "$explorer_key" IconsOnly)"
  fi
  local dirs=(system32) expected="" d
  [ "$is64" = 1 ] && dirs+=(syswow64)
  for d in "${dirs[@]}"; do
    [ -e "$drive/windows/$d/x-atmfd.dll" ] && fail "$d/x-atmfd.dll still there"
    if [ "$driverPresent" = 1 ] && [ ! -e "$drive/windows/$d/atmfd.dll" ]; then fail "$d/atmfd.dll missing"; fi
    expected+="c:\\windows\\$d|atmfd.dll|/setowner|NT SERVICE\\TrustedInstaller"$'\n'
    expected+="c:\\windows\\$d|.|/restore|atmfd.dll.acl"$'\n'
  done
  if [ "$is64" = 0 ] && [ "$driverPresent" = 1 ] && [ ! -e "$drive/windows/syswow64/x-atmfd.dll" ]; then
    fail "32-bit machine: syswow64 must stay untouched"
  fi
  local calls
  calls=$(tr -d '\r' < "$drive/vt/icacls-calls.txt" 2>/dev/null | sed 's/^[^|]*/\L&/')$'\n'
  [ "$calls" = "$expected" ] || fail "icacls calls:"$'\n'"$calls"$'\n'"expected:"$'\n'"$expected"
  local log="$drive/vtagent/logs/vtprereqhandler.log"
  if [ "$agentKey" = 1 ]; then
    "$check" "$name" 'C:\windows' "$log" || fail "log lines differ"
  else
    [ -e "$drive/vtagent/logs" ] && fail "no agent key, yet a log folder"
  fi
  # A fake service left on automatic start stalls every later Wine start.
  if service_exists; then w reg add "$service_key" /v Start /t REG_DWORD /d 3 /f >/dev/null; fi
}

while read -r name; do
  eval "$("$check" --describe "$name")"
  echo "scenario $name"
  prepare
  set +e
  (cd "$drive/vt" && VT_ICACLS_LOG='C:\vt\icacls-calls.txt' VT_ICACLS_EXIT=$icaclsExit \
     wine 'C:\vt\vtprereqhandler.exe' </dev/null >/dev/null 2>&1)
  rc=$?
  set -e
  verify "$name" "$rc"
done < <("$check" --list)

scenarios=$("$check" --list | wc -l)
echo "undo tool under Wine: $((scenarios)) scenarios, $failures failed checks"
[ "$failures" = 0 ]
