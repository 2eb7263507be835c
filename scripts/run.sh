#!/usr/bin/env bash
# make run: the window on the demo image when there is a display and the GUI is built, else the
# command-line overview of the demo image.
set -euo pipefail
BUILD="${1:-build}"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$BUILD/quillon" ]; then
  exec "$BUILD/quillon"
fi
echo "== Profiles of the demo image"
"$BUILD/quillon-cli" profiles
echo
echo "== Detection log"
"$BUILD/quillon-cli" log
echo
if [ -x "$BUILD/quillon" ]; then
  echo "No display: to see the window, run 'make run' in a desktop session, or"
  echo "  xvfb-run -a $BUILD/quillon"
else
  echo "The window is not built yet; this is the command-line overview (see README: quillon-cli --help)."
fi
