#!/usr/bin/env bash
# Builds the Qt that the Windows windows are linked with: Debian's own
# qt6-base source (the same 6.4.2 the Linux build uses), cross-built with
# the project's MinGW-w64 toolchain into a static, release Qt holding only
# Core, Gui, Widgets, Test and the Windows platform plugin.
#
# The result goes to a cache folder outside the tree, named by the Qt
# version, the toolchain and the hash of this script and the toolchain
# file, and is reused when present. It is built in a temporary folder
# beside it and renamed into place only once complete, so an interrupted
# build never passes for a cache.
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
WORK=$(mktemp -d "$CACHE_ROOT/.qt-build.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
start=$(date +%s)

echo "== Fuentes de qt6-base (Debian) en $WORK" >&2
(cd "$WORK" && apt-get source --only-source "qt6-base=$host_version" >&2)
SRC=$(find "$WORK" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -1)
[ -n "$SRC" ] && [ -f "$SRC/CMakeLists.txt" ] || { echo "No se obtuvieron las fuentes de qt6-base" >&2; exit 1; }

STAGE="$WORK/install"
echo "== Configurando Qt $QT_VERSION para Windows" >&2
# Everything the windows do not use is off: fewer objects to compile on a
# small machine, and a smaller transdae.exe.
cmake -S "$SRC" -B "$WORK/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$STAGE" \
  -DBUILD_SHARED_LIBS=OFF \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF \
  -DQT_GENERATE_SBOM=OFF \
  -DFEATURE_static_runtime=ON \
  -DFEATURE_optimize_size=ON \
  -DFEATURE_pkg_config=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_openssl=OFF -DFEATURE_sessionmanager=OFF \
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_imageformat_jpeg=OFF \
  -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF \
  -DFEATURE_sql_sqlite=OFF -DFEATURE_system_sqlite=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF \
  -DFEATURE_direct2d=OFF \
  -DFEATURE_testlib_selfcover=OFF -DFEATURE_itemmodeltester=OFF \
  -DFEATURE_dbus_linked=OFF \
  -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON >&2

echo "== Compilando Qt ($JOBS trabajos)" >&2
cmake --build "$WORK/build" -j"$JOBS" >&2
cmake --install "$WORK/build" >&2

end=$(date +%s)
echo "qt6-base $host_version de Debian, MinGW-w64 $TOOLCHAIN_ID, $((end - start)) s" >"$STAGE/.complete"
# Renamed into place only when whole; a rival build that finished first
# wins and this one is dropped.
if ! mv -T "$STAGE" "$PREFIX" 2>/dev/null; then
  [ -f "$PREFIX/.complete" ] || { echo "No se pudo instalar Qt en $PREFIX" >&2; exit 1; }
fi
echo "== Qt para Windows construido en $((end - start)) s: $PREFIX" >&2
echo "$PREFIX"
