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
TMP_DISPLAY=$(mktemp)
# The server picks a free display and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1400x1000x24 -nolisten tcp 3>"$TMP_DISPLAY" >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill "$XVFB_PID" 2>/dev/null || true; rm -f "$TMP_DISPLAY"' EXIT
for _ in $(seq 150); do [ -s "$TMP_DISPLAY" ] && break; sleep 0.1; done
DISPLAY_NUMBER=$(tr -d '[:space:]' <"$TMP_DISPLAY")
[ -n "$DISPLAY_NUMBER" ] || { echo "Xvfb no ha arrancado" >&2; exit 1; }
DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=xcb \
  TRANSDAE_SCREENSHOT_DIR="$PWD/docs/screenshots" \
  "$BUILD_DIR/test_ui" --gtest_filter='WindowLayout.*'
ls -l docs/screenshots/control_plantilla.png docs/screenshots/ajusta_dae.png
