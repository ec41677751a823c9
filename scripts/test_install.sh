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
  usr/share/man/man1/ostrel.1.gz usr/share/man/man1/ostrel-cli.1.gz \
  usr/share/man/man1/ostrel-sim.1.gz \
  usr/share/doc/ostrel/README.md usr/share/doc/ostrel/miganie.hex usr/share/doc/ostrel/cli.md \
  usr/share/doc/ostrel/copyright usr/share/doc/ostrel/changelog.gz; do
  [ -s "$etap/$plik" ] || zle "brak pliku /$plik"
done

dok="$etap/usr/share/doc/ostrel"
# Developers' pages and the source tree's README stay out of the package.
for plik in bench.md fuzz.md; do
  [ ! -e "$dok/$plik" ] || zle "strona dla programistów /usr/share/doc/ostrel/$plik w pakiecie"
done
grep -q "scripts/" "$dok/README.md" && zle "zainstalowany README.md odsyła do skryptów drzewa źródeł"

# Every relative link of the installed pages leads to an installed file.
for strona in "$dok"/*.md; do
  while IFS= read -r cel; do
    cel="${cel%%#*}"
    [ -n "$cel" ] || continue
    [ -e "$(dirname "$strona")/$cel" ] || zle "$(basename "$strona"): odnośnik $cel prowadzi donikąd"
  done < <(grep -o '](\([^)]*\))' "$strona" | sed 's/^](//; s/)$//' | grep -v -E '^(https?|mailto):')
done

# Man pages and the changelog compressed with gzip -9n: no file name, no time stamp inside.
for plik in "$etap"/usr/share/man/man1/*.gz "$dok/changelog.gz"; do
  gzip -t "$plik" 2>/dev/null || zle "$(basename "$plik") nie jest poprawnym plikiem gzip"
  naglowek=$(od -An -tx1 -N8 "$plik" | tr -d ' \n')
  [ "${naglowek:6:2}" = "00" ] && [ "${naglowek:8:8}" = "00000000" ] ||
    zle "$(basename "$plik"): nagłówek gzip z nazwą albo czasem ($naglowek), oczekiwano gzip -9n"
done
[ -z "$(find "$etap/usr/share/man" -name '*.1')" ] || zle "nieskompresowane strony man"

head -n 1 "$dok/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  zle "copyright nie jest w formacie czytelnym maszynowo"
for pole in Upstream-Name Files Copyright License; do
  grep -q "^$pole: " "$dok/copyright" || zle "copyright bez pola $pole"
done
zmiany_wersja=$(zcat "$dok/changelog.gz" | sed -n '1s/^ostrel (\([^)]*\)).*/\1/p')
[ "$zmiany_wersja" = "$wersja" ] || zle "changelog: wersja $zmiany_wersja, program $wersja"

# The desktop entry: untranslated keys in English (the C locale's), Polish under [pl].
wpis="$etap/usr/share/applications/ostrel.desktop"
for klucz in Name GenericName Comment; do
  wartosc=$(sed -n "s/^$klucz=//p" "$wpis")
  [ -n "$wartosc" ] || zle "wpis pulpitu bez $klucz"
  LC_ALL=C grep -q '[^ -~]' <<< "$wartosc" && zle "wpis pulpitu: $klucz nie po angielsku: $wartosc"
  grep -q "^$klucz\[pl\]=" "$wpis" || zle "wpis pulpitu bez $klucz[pl]"
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

for strona in "$etap"/usr/share/man/man1/*.1.gz; do
  ostrzezenia=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$strona" 2>&1 > /dev/null)
  [ -z "$ostrzezenia" ] || zle "man --warnings $(basename "$strona"): $ostrzezenia"
done

(cd "$drzewo" && cpack -G DEB > /dev/null) || zle "cpack -G DEB"
paczka="$drzewo/ostrel_${wersja}_$(dpkg --print-architecture).deb"
if [ -f "$paczka" ]; then
  zalezne=$(dpkg-deb -f "$paczka" Depends)
  for lib in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libelf1; do
    grep -q "$lib" <<< "$zalezne" || zle "Depends bez $lib: $zalezne"
  done
  for pole in Maintainer Section Description; do
    [ -n "$(dpkg-deb -f "$paczka" "$pole")" ] || zle "pakiet bez pola $pole"
  done
  zawartosc=$(dpkg-deb -c "$paczka" | awk '{print $NF}')
  for plik in ./usr/bin/ostrel ./usr/bin/ostrel-cli ./usr/bin/ostrel-sim \
    ./usr/share/applications/ostrel.desktop ./usr/share/man/man1/ostrel-cli.1.gz \
    ./usr/share/doc/ostrel/copyright ./usr/share/icons/hicolor/scalable/apps/ostrel.svg; do
    grep -qx -- "$plik" <<< "$zawartosc" || zle "pakiet bez $plik"
  done
  echo "pakiet: $paczka"
  echo "Depends: $zalezne"
  # Debian's policy checker: no errors; the warnings left are listed with their reasons
  # in docs/package.md.
  if command -v lintian > /dev/null; then
    if ! lintian --fail-on error --tag-display-limit 0 "$paczka"; then
      zle "lintian zgłosił błędy"
    fi
  else
    zle "brak lintian (scripts/setup.sh go instaluje)"
  fi
else
  zle "cpack nie zrobił $paczka"
fi

if [ "$bledy" -ne 0 ]; then
  echo "instalacja: $bledy błędów"
  exit 1
fi
echo "instalacja: drzewo, programy, strony man, dokumentacja, wpis pulpitu i pakiet w porządku"
