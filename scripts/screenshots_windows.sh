#!/usr/bin/env bash
# Screenshots of every window of transdae.exe as Wine draws it, on a
# virtual X server, into docs/screenshots/windows/:
#   ventana_principal.png   the window as it starts, both directions offered
#   panel_centro.png        the centre panel after the import button
#   panel_niveles.png       the level panel with abbreviations typed in
#   ayuda.png               the tool's own help (F1 without a help viewer)
#   control_plantilla.png   the timetable template window
#   ajusta_dae.png          the coding window, a codable cell current
#   ajusta_dae_lista.png    ... with the drop-down list of a code open
#   ajusta_dae_lista_activ.png  ... the list of the activity column
# The first four drive transdae.exe with xdotool as a user would; the
# template and coding windows come from the window layout tests, run with
# TRANSDAE_SCREENSHOT_DIR. The tool inside another program's window has no
# picture: Wine does not paint a child window of another process.
# Usage: scripts/screenshots_windows.sh [Windows build folder]   (build-win,
# made by TRANSDAE_WINDOWS_UI=1 scripts/test_windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR="${1:-build-win}"
OUT="$ROOT/docs/screenshots/windows"
for f in transdae.exe test_ui.exe; do
  [ -f "$BUILD_DIR/$f" ] || { echo "falta $BUILD_DIR/$f: TRANSDAE_WINDOWS_UI=1 bash scripts/test_windows.sh" >&2; exit 1; }
done
for tool in Xvfb xdotool import wine winepath; do
  command -v "$tool" >/dev/null || { echo "falta $tool" >&2; exit 1; }
done
mkdir -p "$OUT"

WORK=$(mktemp -d)
PIDS=()
export WINEPREFIX="$ROOT/$BUILD_DIR/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

wineserver -k 2>/dev/null || true
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 150); do [ -s "$WORK/display" ] && break; sleep 0.1; done
N=$(tr -d '[:space:]' <"$WORK/display")
[ -n "$N" ] || { echo "Xvfb no ha arrancado" >&2; exit 1; }
export DISPLAY=":$N"
unset QT_QPA_PLATFORM
# Wine's own desktop, the size of the screen: Wine draws the frames and
# captions, as Windows does.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1

mkdir -p "$WORK/dae" "$WORK/bin" "$WORK/QTEMP"
cp examples/dae/* "$WORK/dae/"
cp "$BUILD_DIR/transdae.exe" "$WORK/bin/transdae.exe"
QTEMP=$(winepath -w "$WORK/QTEMP")
export QTEMP

# Wine starts programs more slowly than Linux.
WINDOW_WAIT=300 SHOT_PAUSE=1
# shellcheck source=scripts/screenshot_windows_found.sh
. "$ROOT/scripts/screenshot_windows_found.sh"
keys() {
  xdotool key --delay 80 "$@"
  sleep 0.4
}
typed() {  # text typed into the current grid cell, then Return
  xdotool type --delay 80 "$1"
  xdotool key Return
  sleep 0.3
}

(cd "$WORK/dae" && exec wine "$WORK/bin/transdae.exe" </dev/null >/dev/null 2>&1) &
TOOL=$!
PIDS+=($TOOL)
W=$(window_named "$CAPTION")
xdotool mousemove 1000 750
shot "$W" ventana_principal.png

# The language box has the focus; Tab leads to the import button.
keys Tab space
sleep 2
shot "$W" panel_centro.png

# Enter on the centre grid presses its OK: the level panel opens on the
# first abbreviation of the first level.
keys Return
sleep 1
typed ESO
keys Right Right
typed DBH
keys Down
typed BATX
keys Left Left
typed BACH
keys Down
typed FPB
keys Right Right
typed OLH
shot "$W" panel_niveles.png

# Back to the main window, then F1 over it: the tool's own help.
keys Escape
keys Return
sleep 1
B=$(window_named '^transPelmarDAE$')
keys Return
sleep 1
keys F1
H=$(window_named '^Ayuda - transPelmarDAE$')
shot "$H" ayuda.png
kill "$TOOL" 2>/dev/null || true
wineserver -k 2>/dev/null || true
sleep 1

(cd "$BUILD_DIR" && TRANSDAE_SCREENSHOT_DIR="$(winepath -w "$OUT")" \
  wine test_ui.exe --gtest_filter='WindowLayout.*' </dev/null)
ls -l "$OUT"
