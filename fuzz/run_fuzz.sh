#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time.
#   bash fuzz/run_fuzz.sh [SECONDS_PER_TARGET]   (default 20)
# Seeds: fuzz/corpus/<target>/ plus the sample files of examples/. New inputs
# found go to a scratch corpus; crashes are kept in fuzz/crashes/ and make the
# script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET="${1:-20}"
BUILD_DIR=build-fuzz
# Every library is built with the fuzzer's coverage marks
# (-fsanitize=fuzzer-no-link), not only the targets' own files: without them
# libFuzzer would see no new paths inside the code under test.
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DTRANSDAE_BUILD_FUZZ=ON -DTRANSDAE_BUILD_UI=OFF -DTRANSDAE_BUILD_TESTS=OFF \
  -DTRANSDAE_BUILD_BENCH=OFF -DTRANSDAE_SANITIZE=ON >/dev/null
targets=()
for src in fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${targets[@]}"
mkdir -p fuzz/crashes
status=0
for t in "${targets[@]}"; do
  name="${t%_fuzz}"
  work="$(mktemp -d)"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
  case "$name" in
    dae_text_reader) cp examples/dae/*.txt "$work/" 2>/dev/null || true ;;
    dbf_reader) find examples -iname '*.dbf' -exec cp {} "$work/" \; 2>/dev/null || true ;;
    mdx_reader) find examples -iname '*.mdx' -exec cp {} "$work/" \; 2>/dev/null || true ;;
  esac
  echo "== $t (${SECONDS_PER_TARGET}s)"
  if ! "$BUILD_DIR/$t" "$work" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 \
       -timeout=10 -rss_limit_mb=2048 -artifact_prefix="fuzz/crashes/$name-" \
       -print_final_stats=1 2>"$work.log"; then
    status=1
    tail -40 "$work.log"
  else
    grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$work.log" | tail -2 || true
  fi
  rm -rf "$work" "$work.log"
done
exit $status
