#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev
  clang libclang-rt-14-dev
  libxml2-dev libapr1-dev bison flex
  unixodbc unixodbc-dev odbcinst libsqliteodbc odbc-postgresql odbc-mariadb
  libsqlite3-dev mariadb-server
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
)
# Wine without recommends: wine32 would break wine on a machine that runs no 32-bit code.
wine_packages=(wine wine64)

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || echo "$p"
  done
}


need=($(missing "${packages[@]}"))
need_wine=($(missing "${wine_packages[@]}"))
if [ ${#need[@]} -eq 0 ] && [ ${#need_wine[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 update -qq
if [ ${#need[@]} -gt 0 ]; then
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq "${need[@]}"
fi
if [ ${#need_wine[@]} -gt 0 ]; then
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${need_wine[@]}"
fi
