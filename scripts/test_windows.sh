#!/usr/bin/env bash
# The Windows stage of the tests: builds Qt for Windows (or takes it from
# its cache, scripts/build_qt_windows.sh), cross-builds every target with
# MinGW-w64 into build-win/ (or the folder given as $1), runs the suites
# and the demo comparison under Wine, headless, and then the windows under
# Wine on an X server of its own (Xvfb): the Win32 host test, test_ui and
# test_keys.
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
# The windows (transdae.exe, its installer and their tests under Wine)
# need Qt for Windows, static, built from Debian's source with the same
# toolchain (or taken from its cache). TRANSDAE_WINDOWS_UI=0 leaves them
# out (the stage says so) and tests the rest.
WINDOWS_UI="${TRANSDAE_WINDOWS_UI:-1}"
UI_OPTIONS=(-DTRANSDAE_BUILD_UI=OFF)
if [ "$WINDOWS_UI" = 1 ]; then
  echo "== Qt para Windows"
  qt_start=$SECONDS
  QT_WIN=$(bash scripts/build_qt_windows.sh | tail -1)
  echo "== Qt para Windows: $QT_WIN ($((SECONDS - qt_start)) s)"
  UI_OPTIONS=(-DTRANSDAE_BUILD_UI=ON -DCMAKE_PREFIX_PATH="$QT_WIN" -DQT_HOST_PATH=/usr
              -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
else
  echo "== Ventanas de Windows: NO se construyen ni se prueban (TRANSDAE_WINDOWS_UI=0)"
fi
# GoogleTest is built inside this tree from Debian's sources, so ccache
# keeps its objects too.
# Release, optimised as the Linux build (-O2) but without debugging
# information, and stripped: what a school installs, and a third of the
# build and link time of the same with -g.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  "${UI_OPTIONS[@]}" -DTRANSDAE_BUILD_BENCH=OFF "${LAUNCHER[@]}" >/dev/null
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
(cd "$BUILD_DIR" && ctest --output-on-failure -j"$(nproc)" --timeout 1800 -LE ventanas) 2>&1 |
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

# The windows: Wine draws them on an X server of this stage's own. The
# headless server is stopped first, so that Wine's own services start
# again with the display.
windows=0
if [ "$WINDOWS_UI" = 1 ]; then
  echo "== Las ventanas bajo Wine, en un servidor X propio"
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  unset QT_QPA_PLATFORM
  # Xvfb picks a free display itself and writes its number when ready.
  xvfb_display="$PWD/$BUILD_DIR/xvfb-display"
  rm -f "$xvfb_display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$xvfb_display" </dev/null >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'wineserver -k </dev/null >/dev/null 2>&1 || true; kill "$xvfb_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 300); do
    [ -s "$xvfb_display" ] && break
    sleep 0.1
  done
  [ -s "$xvfb_display" ] || { echo "Xvfb no arrancó"; exit 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$xvfb_display")"
  wineserver -p </dev/null >/dev/null 2>&1
  # Wine's own desktop, the size of the screen: Wine draws the frames and
  # captions and moves the keyboard focus between windows as Windows does
  # (with no window manager on the X server it would do neither). Keys and
  # clicks sent through the X server reach the window Windows has active.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f </dev/null >/dev/null 2>&1
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1
  set +e
  # The whole export typed on Windows is compared with the file that the
  # Linux build's batch front end writes (the stage's demo comparison
  # already needs that build).
  export TRANSDAE_LINUX_CLI="$PWD/build/transdae-cli"
  (cd "$BUILD_DIR" && ctest --output-on-failure --timeout 1800 -L ventanas) 2>&1 |
    tee "$BUILD_DIR/ctest-ventanas.log"
  windows=${PIPESTATUS[0]}
  # The prefix's next headless run has no desktop of its own.
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f </dev/null >/dev/null 2>&1
  set -e
  if ! grep -qE '^100% tests passed, 0 tests failed out of [1-9]' "$BUILD_DIR/ctest-ventanas.log"; then
    windows=1
  fi
  # The installer's test runs with the headless suites; it must have run.
  grep -qE 'installer \.+ +Passed' "$BUILD_DIR/ctest.log" || { echo "== La prueba del instalador no pasó"; windows=1; }
fi

echo "== Bajo Wine: $(grep -E 'tests passed|tests failed' "$BUILD_DIR/ctest.log" | tail -1)"
if [ "$WINDOWS_UI" = 1 ]; then
  echo "== Ventanas bajo Wine: $(grep -E 'tests passed|tests failed' "$BUILD_DIR/ctest-ventanas.log" | tail -1)"
fi
echo "== Demostración comparada: $([ "$demo" = 0 ] && echo iguales || echo DIFERENTES)"
if [ "$suites" != 0 ] || [ "$windows" != 0 ]; then
  echo "== Pruebas fallidas bajo Wine"
  bash scripts/failures_summary.sh "$BUILD_DIR/ctest.log" \
    $([ "$WINDOWS_UI" = 1 ] && echo "$BUILD_DIR/ctest-ventanas.log")
fi
[ "$suites" = 0 ] && [ "$demo" = 0 ] && [ "$console" = 0 ] && [ "$windows" = 0 ]
