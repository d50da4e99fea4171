#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
shift || true
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
