#!/usr/bin/env bash
# Installs what building, running and testing need on a fresh Debian 12 machine.
set -euo pipefail

PAKIETY=(
  cmake ninja-build g++ pkg-config git
  qt6-base-dev libgl-dev qt6-translations-l10n
  libgtest-dev libgmock-dev
  clang libclang-rt-dev
  libelf-dev
  srecord avrdude gcc-avr avr-libc binutils-avr lintian
  xvfb xauth x11-utils imagemagick fonts-liberation
  desktop-file-utils man-db dpkg-dev file librsvg2-bin
  xdotool libx11-dev ccache
  g++-mingw-w64-x86-64 wine64 zip googletest
)

brakujace=()
for p in "${PAKIETY[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    brakujace+=("$p")
  fi
done

if ((${#brakujace[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Instaluję: ${brakujace[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${brakujace[@]}"
fi
