#!/usr/bin/env bash
# Screenshots of the timetable template window and the DAE coding window,
# taken on a virtual X server, into docs/screenshots/.
# Usage: scripts/screenshots_dialogs.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
if [ ! -x "$BUILD_DIR/test_ui" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
  cmake --build "$BUILD_DIR" --target test_ui -j2
fi
DISPLAY_NUMBER=97
Xvfb ":$DISPLAY_NUMBER" -screen 0 1400x1000x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] && break
  sleep 0.1
done
DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=xcb \
  TRANSDAE_SCREENSHOT_DIR="$PWD/docs/screenshots" \
  "$BUILD_DIR/test_ui" --gtest_filter='WindowLayout.*'
ls -l docs/screenshots/control_plantilla.png docs/screenshots/ajusta_dae.png
