#!/usr/bin/env bash
# Installs the Debian packages Quillon needs to build and test; installs only what is missing.
# With --windows also what the Windows build and its tests need (make test-windows).
set -euo pipefail

PACKAGES=(
  build-essential cmake g++ pkg-config
  libsqlite3-dev libhivex-dev qt6-base-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth tzdata
  # make package: CPack's Debian generator finds the package's dependencies with these
  dpkg-dev file
  # compiles the native Windows backend's files as a check that its headers coexist with windows.h
  g++-mingw-w64-x86-64-posix
  # independent readers for the cross-checks in the tests
  sqlite3 libregf-utils libhivex-bin libwin-hivex-perl libmsiecf-utils pev
)

if [ "${1:-}" = "--windows" ]; then
  PACKAGES+=(
    # the cross compilers and Windows headers and libraries
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    binutils-mingw-w64-x86-64
    # SQLite's amalgamation is made from Debian's source package (scripts/sqlite-source.sh)
    dpkg-dev tcl make
    # the Windows tests run under Wine, 64-bit only
    wine wine64
  )
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A fresh machine has no package lists yet; an install failing for a stale list retries after update.
if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
