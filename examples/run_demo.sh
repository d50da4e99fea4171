#!/usr/bin/env bash
# The demo: the fictional school of examples/ taken through both directions
# in a fresh work folder, with the batch front end.
#   1. import: examples/dae -> code tables, ASIGNOMT, PROFT, GRUPOST,
#      daeCENTRO; the level abbreviations typed from examples/levels.csv;
#   2. export: the timetable solution examples/solution/SOLUC.DBF (written by
#      python3-dbf, as the timetabling product would) -> CUADROH2/CUADROH3,
#      the missing teacher's document typed from examples/documents.csv,
#      and fCUADROS.txt written into a copy of the DAE folder;
#   3. a second import (Castellano) undone with transdae-cli restore.
#
# run_demo.sh [BUILD_DIR [DAE_FOLDER WORK_FOLDER]]
# With the two folders given (made here; they must not exist yet), the
# demo works there and leaves them; otherwise in a temporary folder.
# With TRANSDAE_DEMO_WINE=1 the Windows build's transdae-cli.exe runs under
# Wine, and the paths it is given are Windows paths (Z:\...).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
if [ "${TRANSDAE_DEMO_WINE:-0}" = 1 ]; then
  CLI=(wine "$BUILD_DIR/transdae-cli.exe")
  # Wine shows the root folder as the drive Z:.
  P() { local p; p="$(realpath -m "$1")"; printf 'Z:%s' "${p//\//\\}"; }
else
  CLI=("$BUILD_DIR/transdae-cli")
  P() { printf '%s' "$1"; }
fi
cli() { "${CLI[@]}" "$@"; }
if [ $# -ge 3 ]; then
  DAE="$2"
  WORK="$3"
else
  TMP="$(mktemp -d)"
  trap 'rm -rf "$TMP"' EXIT
  WORK="$TMP/QTEMP"
  DAE="$TMP/DAE"
fi
mkdir -p "$DAE"
cp examples/dae/*.txt "$DAE/"
LEVELS="$(P examples/levels.csv)"
DOCUMENTS="$(P examples/documents.csv)"
D="$(P "$DAE")"
W="$(P "$WORK")"

echo "================ Importación (DAE -> Dolvarin)"
echo "\$ transdae-cli import --dae $D --work $W --lang EUSKERA --levels $LEVELS"
cli import --dae "$D" --work "$W" --lang EUSKERA --levels "$LEVELS"
for t in daeCENTRO ASIGNOMT PROFT GRUPOST daeNIVIMP; do
  echo "---------------- $t"
  if [ "$t" = PROFT ]; then
    cli show "$t" --work "$W" --tag ABREV
  else
    cli show "$t" --work "$W"
  fi
done

echo
echo "================ Exportación (Dolvarin -> DAE)"
cp examples/solution/SOLUC.DBF "$WORK/"
echo "\$ transdae-cli export --dae $D --work $W --documents $DOCUMENTS"
cli export --dae "$D" --work "$W" --documents "$DOCUMENTS"
echo "---------------- CUADROH2 (orden PROF_DIA_SES), primeras filas"
# Whole outputs are cut here, never a pipe closed under the tool's feet.
out="$(cli show CUADROH2 --work "$W" --tag PROF_DIA_SES)"
head -8 <<<"$out"
echo "---------------- fCUADROS.txt ($(wc -l < "$DAE/fCUADROS.txt") líneas; bytes en página de códigos 1252, aquí en UTF-8)"
iconv -f CP1252 -t UTF-8 "$DAE/fCUADROS.txt" | tr -d '\r'

echo
echo "================ Deshacer una importación (transdae-cli restore)"
echo "\$ transdae-cli import --dae $D --work $W --lang CASTELLANO --levels $LEVELS"
out="$(cli import --dae "$D" --work "$W" --lang CASTELLANO --levels "$LEVELS")"
tail -1 <<<"$out"
echo "\$ transdae-cli restore --list --work $W"
cli restore --list --work "$W"
echo "\$ transdae-cli restore --work $W      (vuelven las tablas de antes de la segunda importación)"
cli restore --work "$W"
echo "---------------- ASIGNOMT, primeras filas"
out="$(cli show ASIGNOMT --work "$W")"
head -4 <<<"$out"
