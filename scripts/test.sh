#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#  1. the whole suite on a normal build (build/);
#  2. the whole suite again built with AddressSanitizer and
#     UndefinedBehaviorSanitizer (build-asan/);
#  3. the Windows build, cross-built with MinGW-w64 (build-win/), the
#     windows included (Qt for Windows built from Debian's source on the
#     first run, about 27 minutes on 2 idle cores, then taken from its cache):
#     the suites, the demo compared byte for byte with the Linux run's, the
#     installer, and the windows on an X server, under Wine
#     (scripts/test_windows.sh);
#  4. a short run of every libFuzzer target (fuzz/run_fuzz.sh).
# TRANSDAE_QUICK=1 skips stages 2 and 4; TRANSDAE_WINDOWS=0 skips stage 3.
# Each stage ends with the time it took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_deps.sh
export QT_QPA_PLATFORM=offscreen

# CTest in `dir`, its output kept in dir/ctest-all.log; when a test fails,
# the failed checks are printed again at the end, where they are seen.
run_ctest() {
  local dir=$1 rc
  shift
  set +e
  (cd "$dir" && ctest "$@") 2>&1 | tee "$dir/ctest-all.log"
  rc=${PIPESTATUS[0]}
  set -e
  if [ "$rc" != 0 ]; then
    echo "== Pruebas fallidas en $dir"
    bash scripts/failures_summary.sh "$dir/ctest-all.log"
  fi
  return "$rc"
}

stage_done() { echo "== $1: $((SECONDS - STAGE_START)) s"; STAGE_START=$SECONDS; }
STAGE_START=$SECONDS

echo "== Compilación y pruebas"
bash scripts/build.sh build
run_ctest build --output-on-failure -j"$(nproc)" --timeout 600
stage_done "Linux"

if [ "${TRANSDAE_QUICK:-0}" != 1 ]; then
  echo "== Compilación con AddressSanitizer y UndefinedBehaviorSanitizer, y pruebas"
  bash scripts/build.sh build-asan -DTRANSDAE_SANITIZE=ON -DTRANSDAE_BUILD_BENCH=OFF
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  run_ctest build-asan --output-on-failure -j"$(nproc)" --timeout 900
  stage_done "AddressSanitizer y UndefinedBehaviorSanitizer"
fi

if [ "${TRANSDAE_WINDOWS:-1}" != 0 ]; then
  echo "== Compilación para Windows (MinGW-w64) y pruebas bajo Wine"
  bash scripts/test_windows.sh build-win
  stage_done "Windows (Wine)"
fi

if [ "${TRANSDAE_QUICK:-0}" != 1 ]; then
  echo "== Fuzzing breve"
  bash fuzz/run_fuzz.sh "${TRANSDAE_FUZZ_SECONDS:-15}"
  stage_done "Fuzzing"
fi
echo "== Total: $SECONDS s"
