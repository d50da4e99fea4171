#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo conversion on the
# fictional school in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh
bash scripts/build.sh build
bash examples/run_demo.sh build
