#!/usr/bin/env bash
# make test-windows: cross-builds quillon-cli.exe and the Windows test suite with mingw-w64 and
# runs the suite under Wine, in a fresh Wine prefix below the build folder, against Wine's own
# registry, folders and URL cache.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-windows}
jobs=${JOBS:-$(nproc)}
bash scripts/install-deps.sh --windows
bash scripts/sqlite-source.sh "$build/sqlite"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DQUILLON_SQLITE_SOURCE="$PWD/$build/sqlite"
cmake --build "$build" -j"$jobs" --target quillon-cli quillon-tests-windows window-compiles

# No console noise, no display needed, and no offer to install Mono or Gecko (nothing here uses
# .NET or HTML).
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
echo "test-windows: a fresh Wine prefix in $WINEPREFIX"
wineboot --init >/dev/null 2>&1 || true
wineserver -w

# The list file beside the program, enciphered by the program itself.
wine "$build/quillon-cli.exe" listfile encode data/Quillon.ieldat.txt "$build/Quillon.ieldat"

status=0
wine "$build/quillon-tests-windows.exe" "${@:2}" || status=$?
wineserver -w
exit "$status"
