#!/usr/bin/env bash
# The demo (examples/run_demo.sh) run twice, with the Linux build's
# transdae-cli and with the Windows build's transdae-cli.exe under Wine,
# and the two runs' tables and "fCUADROS.txt" compared byte for byte
# (scripts/compare_demo.py). The Wine run works in folders with Unicode
# names, a DAE folder "DAE Año ñ" and a work folder "Curso 2024-25/Año",
# handed to it as Windows paths.
#   compare_demo.sh [LINUX_BUILD_DIR [WINDOWS_BUILD_DIR]]
# Wine must be set up already (WINEPREFIX; scripts/test_windows.sh does it).
set -euo pipefail
cd "$(dirname "$0")/.."
LINUX_BUILD="${1:-build}"
WINDOWS_BUILD="${2:-build-win}"
OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT
mkdir -p "$OUT/wine/Curso 2024-25"
bash examples/run_demo.sh "$LINUX_BUILD" "$OUT/linux/DAE" "$OUT/linux/QTEMP" >"$OUT/linux.log" 2>&1 ||
  { cat "$OUT/linux.log"; echo "La demostración falló en Linux"; exit 1; }
TRANSDAE_DEMO_WINE=1 bash examples/run_demo.sh "$WINDOWS_BUILD" \
  "$OUT/wine/DAE Año ñ" "$OUT/wine/Curso 2024-25/Año" >"$OUT/wine.log" 2>&1 ||
  { cat "$OUT/wine.log"; echo "La demostración falló bajo Wine"; exit 1; }
python3 scripts/compare_demo.py "$OUT/linux/DAE" "$OUT/linux/QTEMP" \
  "$OUT/wine/DAE Año ñ" "$OUT/wine/Curso 2024-25/Año"
