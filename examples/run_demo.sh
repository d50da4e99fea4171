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
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
CLI="$BUILD_DIR/transdae-cli"
TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT
WORK="$TMP/QTEMP"
DAE="$TMP/DAE"
mkdir -p "$DAE"
cp examples/dae/*.txt "$DAE/"

echo "================ Importación (DAE -> Dolvarin)"
echo "\$ transdae-cli import --dae $DAE --work $WORK --lang EUSKERA --levels examples/levels.csv"
"$CLI" import --dae "$DAE" --work "$WORK" --lang EUSKERA --levels examples/levels.csv
for t in daeCENTRO ASIGNOMT PROFT GRUPOST daeNIVIMP; do
  echo "---------------- $t"
  if [ "$t" = PROFT ]; then
    "$CLI" show "$t" --work "$WORK" --tag ABREV
  else
    "$CLI" show "$t" --work "$WORK"
  fi
done

echo
echo "================ Exportación (Dolvarin -> DAE)"
cp examples/solution/SOLUC.DBF "$WORK/"
echo "\$ transdae-cli export --dae $DAE --work $WORK --documents examples/documents.csv"
"$CLI" export --dae "$DAE" --work "$WORK" --documents examples/documents.csv
echo "---------------- CUADROH2 (orden PROF_DIA_SES), primeras filas"
"$CLI" show CUADROH2 --work "$WORK" --tag PROF_DIA_SES | head -8
echo "---------------- fCUADROS.txt ($(wc -l < "$DAE/fCUADROS.txt") líneas; bytes en página de códigos 1252, aquí en UTF-8)"
iconv -f CP1252 -t UTF-8 "$DAE/fCUADROS.txt" | tr -d '\r'

echo
echo "================ Deshacer una importación (transdae-cli restore)"
echo "\$ transdae-cli import --dae $DAE --work $WORK --lang CASTELLANO --levels examples/levels.csv"
"$CLI" import --dae "$DAE" --work "$WORK" --lang CASTELLANO --levels examples/levels.csv | tail -1
echo "\$ transdae-cli restore --list --work $WORK"
"$CLI" restore --list --work "$WORK"
echo "\$ transdae-cli restore --work $WORK      (vuelven las tablas de antes de la segunda importación)"
"$CLI" restore --work "$WORK"
echo "---------------- ASIGNOMT, primeras filas"
"$CLI" show ASIGNOMT --work "$WORK" | head -4
