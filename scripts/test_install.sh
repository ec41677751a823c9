#!/usr/bin/env bash
# Builds the release tree, installs it into a staging folder and checks the installed tree,
# then builds the Debian package and checks its fields and files:
#   bash scripts/test_install.sh [build folder, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
drzewo="${1:-build/release}"
bash scripts/build.sh "$drzewo" -DCMAKE_BUILD_TYPE=Release -DOSTREL_TESTS=OFF

wersja=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$drzewo/CMakeCache.txt")
etap="$(mktemp -d)"
trap 'rm -rf "$etap"' EXIT
DESTDIR="$etap" cmake --install "$drzewo" --prefix /usr > /dev/null

bledy=0
zle() { echo "BŁĄD: $*"; bledy=$((bledy + 1)); }

for plik in usr/bin/ostrel usr/bin/ostrel-cli usr/bin/ostrel-sim \
  usr/share/applications/ostrel.desktop \
  usr/share/icons/hicolor/scalable/apps/ostrel.svg \
  usr/share/icons/hicolor/48x48/apps/ostrel.png \
  usr/share/man/man1/ostrel.1 usr/share/man/man1/ostrel-cli.1 usr/share/man/man1/ostrel-sim.1 \
  usr/share/doc/ostrel/README.md usr/share/doc/ostrel/miganie.hex usr/share/doc/ostrel/cli.md; do
  [ -s "$etap/$plik" ] || zle "brak pliku /$plik"
done

# The installed programs run from the staging tree; --version needs no display.
for program in ostrel ostrel-cli ostrel-sim; do
  if ! wyjscie=$(env -u DISPLAY QT_QPA_PLATFORM= "$etap/usr/bin/$program" --version 2>&1); then
    zle "$program --version zakończył się błędem: $wyjscie"
  elif [ "$wyjscie" != "$program $wersja" ]; then
    zle "$program --version wypisał \"$wyjscie\", oczekiwano \"$program $wersja\""
  fi
done

desktop-file-validate "$etap/usr/share/applications/ostrel.desktop" || zle "desktop-file-validate"

for strona in "$etap"/usr/share/man/man1/*.1; do
  ostrzezenia=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$strona" 2>&1 > /dev/null)
  [ -z "$ostrzezenia" ] || zle "man --warnings $(basename "$strona"): $ostrzezenia"
done

(cd "$drzewo" && cpack -G DEB > /dev/null) || zle "cpack -G DEB"
paczka="$drzewo/ostrel_${wersja}_$(dpkg --print-architecture).deb"
if [ -f "$paczka" ]; then
  zalezne=$(dpkg-deb -f "$paczka" Depends)
  for lib in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6; do
    grep -q "$lib" <<< "$zalezne" || zle "Depends bez $lib: $zalezne"
  done
  for pole in Maintainer Section Description; do
    [ -n "$(dpkg-deb -f "$paczka" "$pole")" ] || zle "pakiet bez pola $pole"
  done
  zawartosc=$(dpkg-deb -c "$paczka" | awk '{print $NF}')
  for plik in ./usr/bin/ostrel ./usr/bin/ostrel-cli ./usr/bin/ostrel-sim \
    ./usr/share/applications/ostrel.desktop ./usr/share/man/man1/ostrel-cli.1 \
    ./usr/share/icons/hicolor/scalable/apps/ostrel.svg; do
    grep -qx -- "$plik" <<< "$zawartosc" || zle "pakiet bez $plik"
  done
  echo "pakiet: $paczka"
  echo "Depends: $zalezne"
else
  zle "cpack nie zrobił $paczka"
fi

if [ "$bledy" -ne 0 ]; then
  echo "instalacja: $bledy błędów"
  exit 1
fi
echo "instalacja: drzewo, programy, strony man, wpis pulpitu i pakiet w porządku"
