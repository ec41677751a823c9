#!/usr/bin/env bash
# The Windows build under Wine against the simulator:
#   scripts/test_windows.sh [WINDOWS_DIR] [LINUX_DIR]   (default build/windows, build/normal)
# COM1 of a throwaway Wine prefix leads to a link that each run of ostrel-sim points at its
# pseudo-terminal. ostrel-cli.exe programs, verifies and reads flash and EEPROM with both
# programmer types; its exit statuses, output and files must be those of the Linux
# ostrel-cli against the same simulator. Then the failures (a verify mismatch, no
# programmer, a missing port, Ctrl-C during a read) and the platform layer's own tests
# (test_win32.exe). The last line is "N passed, M failed"; the status is 0 only with none
# failed. Every wait is bounded.
set -uo pipefail
cd "$(dirname "$0")/.."
win="$(realpath "${1:-build/windows}")"
lin="$(realpath "${2:-build/normal}")"
exe="$win/ostrel-cli.exe"
testy_win="$win/tests/win32/test_win32.exe"
sim="$lin/ostrel-sim"
cli="$lin/ostrel-cli"
for f in "$exe" "$testy_win" "$sim" "$cli"; do
  [ -x "$f" ] || { echo "brak $f (scripts/build_windows.sh, scripts/build.sh)"; echo "0 passed, 1 failed"; exit 1; }
done
wine="$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"

tmp="$(mktemp -d /tmp/ostrel-wine-XXXXXX)"
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sim_pid=""
zatrzymaj_sim() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2> /dev/null
    timeout 20 tail --pid="$sim_pid" -f /dev/null 2> /dev/null || kill -KILL "$sim_pid" 2> /dev/null
    wait "$sim_pid" 2> /dev/null
    sim_pid=""
  fi
}
sprzatnij() {
  zatrzymaj_sim
  timeout 30 "$wineserver" -k 2> /dev/null
  rm -rf "$tmp"
}
trap sprzatnij EXIT

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok   $1"; }
zle() { failed=$((failed + 1)); echo "ZLE  $1"; }
sprawdz() { # NAZWA OCZEKIWANE OTRZYMANE
  if [ "$2" == "$3" ]; then ok "$1"; else zle "$1 (oczekiwano '$2', jest '$3')"; fi
}

# One prefix for the whole run: creating it is the slow part.
start=$(date +%s%N)
timeout 300 "$wine" wineboot -i > /dev/null 2>&1
timeout 120 "$wineserver" -w
echo "wineboot: $(( ($(date +%s%N) - start) / 1000000 )) ms"
ln -sfn /dev/null "$tmp/com1"
timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$tmp/com1" /f > /dev/null 2>&1
# The mapping is read when the server starts.
timeout 60 "$wineserver" -k
timeout 60 "$wineserver" -w

# Starts the simulator with ARGS; COM1 of both programs then leads to it.
uruchom_sim() {
  zatrzymaj_sim
  : > "$tmp/sim.out"
  "$sim" "$@" > "$tmp/sim.out" 2> "$tmp/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^PTY ' "$tmp/sim.out" && break
    sleep 0.1
  done
  local pty
  pty="$(sed -n 's/^PTY //p' "$tmp/sim.out")"
  if [ -z "$pty" ]; then
    echo "ostrel-sim nie wystartował: $(cat "$tmp/sim.err")"
    return 1
  fi
  ln -sfn "$pty" "$tmp/com1"
  mkdir -p "$tmp/xdg/ostrel"
  ln -sfn "$pty" "$tmp/xdg/ostrel/com1"
}

# Runs the Windows program: wyjscie, blad, kod. Output with Windows line ends, compared
# without them.
uruchom_win() {
  (cd "$tmp/praca" && timeout 300 "$wine" "$exe" "$@" > "$tmp/win.out" 2> "$tmp/win.err")
  kod_win=$?
  tr -d '\r' < "$tmp/win.out" > "$tmp/win.txt"
}
uruchom_lin() {
  (cd "$tmp/praca" && XDG_CONFIG_HOME="$tmp/xdg" timeout 300 "$cli" "$@" > "$tmp/lin.txt" 2> "$tmp/lin.err")
  kod_lin=$?
}

mkdir -p "$tmp/praca"
cp samples/miganie.hex "$tmp/praca/flash.hex"
head -c 200 /dev/urandom > "$tmp/eeprom.bin"
"$cli" bin2hex "$tmp/eeprom.bin" "$tmp/praca/eeprom.eep" > /dev/null
head -c 300 /dev/urandom > "$tmp/inny.bin"
"$cli" bin2hex "$tmp/inny.bin" "$tmp/praca/inny.hex" > /dev/null

# The same sequence on each system, against a fresh simulator each.
for typ in ostrel avr910; do
  sim_arg=(--device AT90S8515 --firmware "$typ")
  [ "$typ" = avr910 ] && sim_arg+=(--busy-scale 0)
  for system in win lin; do
    uruchom_sim "${sim_arg[@]}" --dump-flash "$tmp/$system-$typ.flash" \
      --dump-eeprom "$tmp/$system-$typ.eeprom" || { zle "symulator ($typ)"; continue; }
    wspolne=(--port 1 --programmer "$typ" --device AT90S8515)
    : > "$tmp/$system-$typ.przebieg"
    for polecenie in "program-flash flash.hex" "verify-flash flash.hex" \
      "program-eeprom eeprom.eep" "verify-eeprom eeprom.eep" \
      "read-flash odczyt.hex" "read-eeprom odczyt.eep" "verify-flash inny.hex"; do
      # shellcheck disable=SC2086
      "uruchom_$system" "${wspolne[@]}" $polecenie
      kod="kod_$system"
      { echo "== $polecenie: ${!kod}"; cat "$tmp/$system.txt"; } >> "$tmp/$system-$typ.przebieg"
    done
    zatrzymaj_sim
    mv "$tmp/praca/odczyt.hex" "$tmp/$system-$typ.odczyt.hex" 2> /dev/null
    mv "$tmp/praca/odczyt.eep" "$tmp/$system-$typ.odczyt.eep" 2> /dev/null
  done
  if diff -u "$tmp/lin-$typ.przebieg" "$tmp/win-$typ.przebieg"; then
    ok "$typ: te same kody wyjścia i teksty co na Linuksie"
  else
    zle "$typ: kody wyjścia albo teksty różne od linuksowych"
  fi
  sprawdz "$typ: weryfikacja innego pliku kończy się kodem 1" "== verify-flash inny.hex: 1" \
    "$(grep '^== verify-flash inny.hex' "$tmp/win-$typ.przebieg")"
  for plik in flash eeprom odczyt.hex odczyt.eep; do
    if [ -s "$tmp/win-$typ.$plik" ] && cmp -s "$tmp/lin-$typ.$plik" "$tmp/win-$typ.$plik"; then
      ok "$typ: $plik taki sam jak na Linuksie"
    else
      zle "$typ: $plik różny od linuksowego albo go nie ma"
    fi
  done
done

# No programmer on the line.
uruchom_sim --device AT90S8515 --silent
uruchom_win --port COM1 --device AT90S8515 read-flash nic.hex
sprawdz "programator milczy: kod 3" 3 "$kod_win"
sprawdz "programator milczy: brak pliku" no "$([ -e "$tmp/praca/nic.hex" ] && echo yes || echo no)"
zatrzymaj_sim

# A port that is not there.
uruchom_win --port COM9 --device AT90S8515 read-flash nic.hex
sprawdz "brak portu COM9: kod 4" 4 "$kod_win"
grep -q 'COM9: nie istnieje' "$tmp/win.err" && ok "brak portu: komunikat" ||
  zle "brak portu: komunikat ($(cat "$tmp/win.err"))"

# An ELF file: this build has no ELF reader and says how to convert it.
printf '\177ELF\001\001\001\000' > "$tmp/praca/program.elf"
uruchom_win --port COM1 --device AT90S8515 program-flash program.elf
sprawdz "plik ELF: kod 2" 2 "$kod_win"
grep -q 'avr-objcopy -O ihex -j .text -j .data' "$tmp/win.txt" && ok "plik ELF: polecenie konwersji" ||
  zle "plik ELF: polecenie konwersji ($(cat "$tmp/win.txt"))"

# Ctrl-C during a read: Wine turns SIGINT into the console's Ctrl-C event. The old file
# stays as it was and no temporary is left.
uruchom_sim --device AT90S8515 --latency 10
echo stary > "$tmp/praca/stary.hex"
(cd "$tmp/praca" && exec timeout 300 "$wine" "$exe" --port COM1 --device AT90S8515 \
  read-flash stary.hex > "$tmp/win.out" 2> "$tmp/win.err") &
pid=$!
# Interrupted once the read is under way: the signature check precedes it (progress
# goes to a file only at the end of a phase).
for _ in $(seq 300); do
  grep -q 'Sygnatura' "$tmp/win.err" 2> /dev/null && break
  sleep 0.1
done
sleep 2
pkill -INT -P "$pid" 2> /dev/null
kill -INT "$pid" 2> /dev/null
timeout 60 tail --pid="$pid" -f /dev/null
wait "$pid"
kod=$?
sprawdz "Ctrl-C: kod 130" 130 "$kod"
sprawdz "Ctrl-C: stary plik nietknięty" stary "$(cat "$tmp/praca/stary.hex")"
sprawdz "Ctrl-C: nie ma pliku tymczasowego" "" "$(ls "$tmp/praca" | grep tmp-)"
grep -q 'przerwano' "$tmp/win.err" && ok "Ctrl-C: komunikat o przerwaniu" ||
  zle "Ctrl-C: komunikat ($(tr -d '\r' < "$tmp/win.err" | tail -2))"

# The platform layer's own tests on COM1.
uruchom_sim --device AT90S8515
OSTREL_TEST_PORT=COM1 timeout 300 "$wine" "$testy_win" > "$tmp/gtest.out" 2>&1
kod=$?
tr -d '\r' < "$tmp/gtest.out" | grep -E '^\[ +(OK|FAILED) +\]|^ReadByte' | grep -v 'tests\?, listed'
przeszly=$(tr -d '\r' < "$tmp/gtest.out" | grep -c '^\[       OK \]')
nieudane=$(tr -d '\r' < "$tmp/gtest.out" | grep -c '^\[  FAILED  \] [A-Za-z0-9_]*\.')
passed=$((passed + przeszly))
failed=$((failed + nieudane))
if [ "$kod" -ne 0 ] && [ "$nieudane" -eq 0 ]; then zle "test_win32.exe: kod $kod"; tail -20 "$tmp/gtest.out"; fi
zatrzymaj_sim

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
