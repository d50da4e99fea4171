#!/usr/bin/env bash
# Installs the Debian 12 packages that building, the demo and the tests need.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-dbf strace
  perl libdbd-xbase-perl
  xvfb x11-utils xauth xdotool imagemagick fontconfig fonts-dejavu-core
  # The Windows build: MinGW-w64's cross compiler (POSIX threads flavour),
  # and Wine to run what it builds (wine: /usr/bin/wine and wineserver;
  # wine64: the 64-bit loader).
  g++-mingw-w64-x86-64-posix wine wine64
  # The system fonts a Windows program asks for (Tahoma, MS Sans Serif...):
  # without them Wine draws the windows in whatever font it finds.
  fonts-wine
  # Qt for Windows, built from Debian's own qt6-base source (apt-get
  # source needs dpkg-dev), and the Windows installer (makensis).
  dpkg-dev nsis
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  echo "Instalando: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
