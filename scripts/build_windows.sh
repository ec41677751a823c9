#!/usr/bin/env bash
# Builds ostrel-cli.exe for 64-bit Windows with mingw-w64 and packs the zip for users:
#   scripts/build_windows.sh [DIR]      (default build/windows)
# The zip (DIR/ostrel-cli-VERSION-win64.zip) holds ostrel-cli.exe, README.txt and
# COPYING.txt, with Windows line ends.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/windows}"
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DOSTREL_GUI=OFF \
  -DOSTREL_WERROR=ON -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" > /dev/null
ninja -C "$dir" -j "$(nproc)" ostrel-cli test_win32

wersja="$(sed -n 's/^project(ostrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
nazwa="ostrel-cli-${wersja}-win64"
paczka="$dir/paczka/$nazwa"
rm -rf "$dir/paczka" "$dir/$nazwa.zip"
mkdir -p "$paczka"
x86_64-w64-mingw32-strip -o "$paczka/ostrel-cli.exe" "$dir/ostrel-cli.exe"
# Notepad of older Windows shows a file only with CR LF.
sed 's/$/\r/' data/README-windows.txt > "$paczka/README.txt"
sed 's/$/\r/' data/copyright > "$paczka/COPYING.txt"
# Fixed times and order: the same sources give the same zip.
touch -d "@${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2> /dev/null || echo 0)}" "$paczka" "$paczka"/*
(cd "$dir/paczka" && TZ=UTC zip -q -X -r "../$nazwa.zip" "$nazwa")
rm -rf "$dir/paczka"
echo "$dir/$nazwa.zip"
