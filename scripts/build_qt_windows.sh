#!/usr/bin/env bash
# Builds the Qt that the Windows windows are linked with: Debian's own
# qt6-base source (the same 6.4.2 the Linux build uses), cross-built with
# the project's MinGW-w64 toolchain into a static, release Qt holding only
# Core, Gui, Widgets, Test and the Windows platform plugin.
#
# The result goes to a cache folder outside the tree, named by the Qt
# version, the toolchain and the hash of this script and the toolchain
# file, and is reused when present. It is built in a working folder of the
# same name beside it (.build-...) and renamed into place only once
# installed whole, so an interrupted build never passes for a cache; an
# interrupted build is taken up again where it stopped by the next run
# (Ninja rebuilds whatever it had not finished), and ccache, when present,
# keeps every object compiled.
#
# Prints the folder of the installed Qt on its last line of output.
#
#   TRANSDAE_QT_CACHE   where the caches live (/var/cache/transdae)
#   TRANSDAE_QT_JOBS    parallel compile jobs (the number of cores)
set -euo pipefail
cd "$(dirname "$0")/.."
REPO="$PWD"
QT_VERSION=6.4.2
TOOLCHAIN_FILE="$REPO/cmake/mingw-w64-x86_64.cmake"
CACHE_ROOT="${TRANSDAE_QT_CACHE:-/var/cache/transdae}"
JOBS="${TRANSDAE_QT_JOBS:-$(nproc)}"

TOOLCHAIN_ID="mingw-w64-x86_64-gcc$(x86_64-w64-mingw32-g++-posix -dumpversion)"
HASH=$(cat "$0" "$TOOLCHAIN_FILE" | sha256sum | cut -c1-12)
PREFIX="$CACHE_ROOT/qt-$QT_VERSION-$TOOLCHAIN_ID-$HASH"

if [ -f "$PREFIX/.complete" ]; then
  echo "== Qt $QT_VERSION para Windows ya construido en $PREFIX" >&2
  echo "$PREFIX"
  exit 0
fi

need() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

# The host tools (moc, rcc, uic...) come from Debian's Qt of the same
# version: a Qt cross build runs them, it does not build them.
for p in dpkg-dev qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix cmake ninja-build perl; do
  if ! need "$p"; then
    echo "Falta el paquete $p: ejecute scripts/install_deps.sh" >&2
    exit 1
  fi
done
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case "$host_version" in
  "$QT_VERSION"*) ;;
  *) echo "El Qt de Debian es $host_version y no $QT_VERSION" >&2; exit 1 ;;
esac

# Debian's source packages: a deb-src entry for the same archive and suite
# the binary packages come from.
SRC_LIST=/etc/apt/sources.list.d/transdae-debian-src.sources
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  echo "== Añadiendo las fuentes de Debian a apt ($SRC_LIST)" >&2
  printf '%s\n' \
    "Types: deb-src" \
    "URIs: http://deb.debian.org/debian" \
    "Suites: bookworm bookworm-updates" \
    "Components: main" \
    "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
    $SUDO tee "$SRC_LIST.tmp" >/dev/null
  $SUDO mv "$SRC_LIST.tmp" "$SRC_LIST"
  $SUDO apt-get update >&2
fi

mkdir -p "$CACHE_ROOT"
WORK="$CACHE_ROOT/.build-$(basename "$PREFIX")"
# Working folders of other versions of this script are dropped, unless a
# build is running in them.
for old in "$CACHE_ROOT"/.build-qt-*; do
  [ -d "$old" ] && [ "$old" != "$WORK" ] || continue
  (flock -n 9 && rm -rf "$old" && rm -f "$old.lock") 9>"$old.lock" || true
done
mkdir -p "$WORK"
# One build at a time in that folder (two test runs side by side wait).
exec {lock}>"$WORK.lock"
flock "$lock"
if [ -f "$PREFIX/.complete" ]; then
  echo "$PREFIX"
  exit 0
fi
start=$(date +%s)

SRC="$WORK/src"
if [ ! -f "$SRC/.unpacked" ]; then
  echo "== Fuentes de qt6-base (Debian) en $SRC" >&2
  rm -rf "$SRC" "$WORK/build" "$WORK/fetch"
  mkdir -p "$WORK/fetch"
  (cd "$WORK/fetch" && apt-get source --only-source "qt6-base=$host_version" >&2)
  unpacked=$(find "$WORK/fetch" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
  [ -n "$unpacked" ] && [ -f "$unpacked/CMakeLists.txt" ] ||
    { echo "No se obtuvieron las fuentes de qt6-base" >&2; exit 1; }
  mv "$unpacked" "$SRC"
  rm -rf "$WORK/fetch"
  touch "$SRC/.unpacked"
fi

STAGE="$WORK/install"
rm -rf "$STAGE"
LAUNCH=()
if command -v ccache >/dev/null; then
  LAUNCH=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Qt compiles with precompiled headers: ccache keeps those objects only
  # with these.
  export CCACHE_SLOPPINESS="pch_defines,time_macros,include_file_mtime,include_file_ctime"
  # Paths taken relative to the working folder: a build of another
  # version of this script finds the objects that did not change.
  export CCACHE_BASEDIR="$WORK"
fi
if [ ! -f "$WORK/build/.configured" ]; then
echo "== Configurando Qt $QT_VERSION para Windows" >&2
rm -rf "$WORK/build"
# Everything the windows do not use is off: fewer objects to compile on a
# small machine, and a smaller transdae.exe (no graphics view, MDI, dock
# windows, date and calendar widgets, standard file, font and colour
# dialogs, undo framework, movies, ODF writer). Tablet input is off as
# well: Debian's source leaves out the tablet header (wintab.h) that it
# needs. Fonts come through GDI (Direct2D and DirectWrite off: the Windows
# plugin of 6.4 asks for the DirectWrite font database, which Gui builds
# only with Direct2D).
cmake -S "$SRC" -B "$WORK/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$STAGE" \
  -DBUILD_SHARED_LIBS=OFF "${LAUNCH[@]}" \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF \
  -DFEATURE_static_runtime=ON \
  -DFEATURE_optimize_size=ON \
  -DFEATURE_pkg_config=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_sessionmanager=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF \
  -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_freetype=OFF \
  -DFEATURE_pdf=OFF -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF \
  -DFEATURE_direct2d=OFF -DFEATURE_directwrite=OFF -DFEATURE_directwrite3=OFF \
  -DFEATURE_sharedmemory=OFF -DFEATURE_systemsemaphore=OFF \
  -DFEATURE_movie=OFF -DFEATURE_textodfwriter=OFF -DFEATURE_undocommand=OFF \
  -DFEATURE_graphicsview=OFF -DFEATURE_mdiarea=OFF -DFEATURE_dockwidget=OFF \
  -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF \
  -DFEATURE_filedialog=OFF -DFEATURE_fontdialog=OFF -DFEATURE_colordialog=OFF \
  -DFEATURE_wizard=OFF -DFEATURE_dial=OFF -DFEATURE_lcdnumber=OFF \
  -DFEATURE_keysequenceedit=OFF -DFEATURE_syntaxhighlighter=OFF -DFEATURE_splashscreen=OFF \
  -DFEATURE_testlib_selfcover=OFF -DFEATURE_itemmodeltester=OFF \
  -DFEATURE_dbus_linked=OFF \
  -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON >&2
touch "$WORK/build/.configured"
fi

echo "== Compilando Qt ($JOBS trabajos)" >&2
cmake --build "$WORK/build" -j"$JOBS" >&2
cmake --install "$WORK/build" >&2

end=$(date +%s)
echo "qt6-base $host_version de Debian, MinGW-w64 $TOOLCHAIN_ID, $((end - start)) s" >"$STAGE/.complete"
# Renamed into place only when whole (a folder of that name without the
# mark is what an older, interrupted rename left).
rm -rf "$PREFIX"
mv -T "$STAGE" "$PREFIX"
rm -rf "$WORK"
echo "== Qt para Windows construido en $((end - start)) s: $PREFIX" >&2
echo "$PREFIX"
