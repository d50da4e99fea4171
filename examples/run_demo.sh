#!/usr/bin/env bash
# The demo: imports the fictional school of examples/dae into a fresh work
# folder and shows the tables it made.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
CLI="$BUILD_DIR/transdae-cli"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
echo "== Importación desde examples/dae (carpeta de trabajo: $WORK)"
"$CLI" import --dae examples/dae --work "$WORK" --lang EUSKERA || true
for t in daeTIPTAR daeNIVIMP; do
  echo "== $t"
  "$CLI" show "$t" --work "$WORK" || true
done
