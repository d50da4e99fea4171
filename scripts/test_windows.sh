#!/usr/bin/env bash
# The Windows stage of the tests: cross-builds every non-graphical target
# with MinGW-w64 into build-win/ (or the folder given as $1) and runs the
# suites and the demo comparison under Wine, headless.
#
# Wine runs in a prefix of the project's own (build-win/wine, booted once
# and kept between runs) with no display; one wine server is kept running
# for the whole stage, as it would otherwise stop and start again between
# programs, and is shut down at the end, also when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build-win}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"

LAUNCHER=()
if command -v ccache >/dev/null; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# GoogleTest is built inside this tree from Debian's sources, so ccache
# keeps its objects too.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DTRANSDAE_BUILD_UI=OFF -DTRANSDAE_BUILD_BENCH=OFF "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"

# Wine without a display: no X server is needed and none is tried; no
# dialog offers to install Mono or Gecko.
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX="$PWD/$BUILD_DIR/wine"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Unix file names are UTF-8 to Wine ("Año" stays "Año" on disk).
export LC_ALL=C.UTF-8
# Wine's server and its helpers live on after the command that started
# them: they get no stream of this script, or whatever reads its output
# would wait for them.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== Prefijo de Wine en $WINEPREFIX"
  timeout 600 wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
# A server left by an interrupted run is stopped first: -p starts none
# while one runs.
wineserver -k </dev/null >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
# The first program of a server's life starts Wine's own services
# (services.exe, winedevice.exe...), which stay with the server and keep
# that program's streams: here, not in a test whose output CTest reads to
# its end.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1

echo "== Pruebas bajo Wine"
set +e
(cd "$BUILD_DIR" && ctest --output-on-failure -j"$(nproc)" --timeout 1800) 2>&1 |
  tee "$BUILD_DIR/ctest.log"
suites=${PIPESTATUS[0]}
set -e

# The console: only a process that has one can show text through it, and
# Wine gives a process a console only on a terminal. The console tests run
# again under a pseudo-terminal of script(1) and must run, not be skipped.
echo "== La consola de Windows, bajo un terminal"
console=0
rm -f "$BUILD_DIR/console.xml"
(cd "$BUILD_DIR" && script -qec \
  "wine test_app.exe --gtest_filter=ConsoleBuffer.* --gtest_output=xml:console.xml" \
  /dev/null </dev/null >/dev/null 2>&1) || console=1
if [ ! -f "$BUILD_DIR/console.xml" ] || grep -q 'result="skipped"' "$BUILD_DIR/console.xml" ||
   ! grep -q '<testsuites tests="[1-9][0-9]*" failures="0"' "$BUILD_DIR/console.xml"; then
  console=1
fi
echo "== Consola: $([ "$console" = 0 ] && echo correcta || echo FALLO)"

echo "== Demostración bajo Wine, comparada con la de Linux"
demo=0
bash scripts/compare_demo.sh build "$BUILD_DIR" || demo=$?

echo "== Bajo Wine: $(grep -E 'tests passed|tests failed' "$BUILD_DIR/ctest.log" | tail -1)"
echo "== Demostración comparada: $([ "$demo" = 0 ] && echo iguales || echo DIFERENTES)"
[ "$suites" = 0 ] && [ "$demo" = 0 ] && [ "$console" = 0 ]
