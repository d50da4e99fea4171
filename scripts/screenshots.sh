#!/usr/bin/env bash
# Screenshots of the main window, taken on a virtual X server with the sample
# school of examples/dae, into docs/screenshots/:
#   ventana_principal.png  the window as it starts, both directions offered
#   panel_centro.png       the centre panel after the import button
#   panel_niveles.png      the level panel with abbreviations typed in
#   ventana_embebida.png   the window inside a foreign window ("importar")
#   ayuda.png              the tool's own help (F1 without a help viewer)
# The tool runs from a copy in a temporary folder, with a temporary work
# folder; it is driven with xdotool as a user would drive it.
# Usage: scripts/screenshots.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR="${1:-build}"
OUT="$ROOT/docs/screenshots"
if [ ! -x "$BUILD_DIR/transdae" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
  cmake --build "$BUILD_DIR" --target transdae -j2
fi
for tool in Xvfb xdotool xwininfo xmessage import; do
  command -v "$tool" >/dev/null || { echo "falta $tool" >&2; exit 1; }
done
mkdir -p "$OUT"

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# The server picks a free display and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 150); do [ -s "$WORK/display" ] && break; sleep 0.1; done
N=$(tr -d '[:space:]' <"$WORK/display")
[ -n "$N" ] || { echo "Xvfb no ha arrancado" >&2; exit 1; }
export DISPLAY=":$N" QT_QPA_PLATFORM=xcb QTEMP="$WORK/QTEMP"

mkdir -p "$WORK/dae" "$WORK/bin"
cp examples/dae/* "$WORK/dae/"
cp "$BUILD_DIR/transdae" "$WORK/bin/transdae"

# shellcheck source=scripts/screenshot_windows_found.sh
. "$ROOT/scripts/screenshot_windows_found.sh"
keys() {  # window, keys...
  local w=$1
  shift
  xdotool windowfocus --sync "$w" key --delay 60 "$@"
  sleep 0.3
}
typed() {  # window, text: typed into the current grid cell, then Return
  xdotool windowfocus --sync "$1" type --delay 60 "$2"
  xdotool key Return
  sleep 0.2
}

# ---- stand-alone: main window, centre panel, level panel, help
(cd "$WORK/dae" && exec "$WORK/bin/transdae") &
TOOL=$!
PIDS+=($TOOL)
W=$(window_named "$CAPTION")
xdotool mousemove --window "$W" 20 20
shot "$W" ventana_principal.png

# The language box has the focus; Tab leads to the import button.
keys "$W" Tab space
sleep 1
shot "$W" panel_centro.png

# Enter on the centre grid presses its OK: the level panel opens on the
# first abbreviation of the first level.
keys "$W" Return
sleep 0.5
typed "$W" ESO
keys "$W" Right Right
typed "$W" DBH
keys "$W" Down
typed "$W" BATX
keys "$W" Left Left
typed "$W" BACH
keys "$W" Down
typed "$W" FPB
keys "$W" Right Right
typed "$W" OLH
shot "$W" panel_niveles.png

# Back to the main window, then F1 over it: the tool's own help.
keys "$W" Escape
xdotool key Return
sleep 0.5
B=$(window_named '^transPelmarDAE$')
keys "$B" Return
sleep 0.5
keys "$W" F1
H=$(window_named '^Ayuda - transPelmarDAE$')
shot "$H" ayuda.png
kill "$TOOL" 2>/dev/null || true

# ---- embedded in a foreign window, the export direction only
xmessage -name transdae-anfitrion -geometry 640x360+0+0 "Ventana anfitriona" &
PIDS+=($!)
HOST=$(window_named '^transdae-anfitrion$')
(cd "$WORK/dae" && exec "$WORK/bin/transdae" importar "$(printf '%x' "$HOST")") &
TOOL=$!
PIDS+=($TOOL)
window_named "$CAPTION" >/dev/null
shot "$HOST" ventana_embebida.png
kill "$TOOL" 2>/dev/null || true
