#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $1).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
shift || true
LAUNCHER=()
if command -v ccache >/dev/null; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
