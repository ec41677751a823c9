#!/usr/bin/env bash
# Sets up the machine, builds, and runs Ostrel prog.
# With a programmer configured (a comN link in ~/.config/ostrel/, or a real /dev/ttyS0..3)
# the program uses it. Otherwise the simulator plays an AT89C2051 programmer on COM1, in a
# configuration folder of its own, so the search finds "com1", and the program starts with
# samples/miganie.hex chosen: "&Programuj" programs and verifies it at once.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DOSTREL_TESTS=OFF

konfig="${XDG_CONFIG_HOME:-$HOME/.config}/ostrel"
ma_programator=0
for n in 1 2 3 4; do
  if [ -e "$konfig/com$n" ]; then ma_programator=1; fi
done

sim_pid=""
sprzatanie() { if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi; }
trap sprzatanie EXIT

if [ "$ma_programator" -eq 0 ] && [ "${OSTREL_BEZ_SYMULATORA:-0}" != 1 ]; then
  export XDG_CONFIG_HOME="${XDG_STATE_HOME:-$HOME/.local/state}/ostrel-demo"
  mkdir -p "$XDG_CONFIG_HOME/ostrel"
  # The demo's own settings file chooses the sample: byte 0 the device (AT89C2051 is the
  # 5th in the list), byte 1 the lock mode, then the file name in code page 1250.
  przyklad="$PWD/samples/miganie.hex"
  ustawienia="$XDG_CONFIG_HOME/ostrel/Ostrel.cf"
  wybrany=""
  if nazwa_1250=$(printf '%s' "$przyklad" | iconv -f UTF-8 -t CP1250 2>/dev/null) &&
    [ "$(printf '%s' "$nazwa_1250" | wc -c)" -le 255 ] &&
    { printf '\004\000'; printf '%s' "$nazwa_1250"; } > "$ustawienia.nowy" &&
    mv -f "$ustawienia.nowy" "$ustawienia"; then
    wybrany=1
  fi
  ./build/release/ostrel-sim --com 1 --device AT89C2051 > "$XDG_CONFIG_HOME/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$XDG_CONFIG_HOME/ostrel/com1" ] && break; sleep 0.1; done
  echo "Symulator programatora (AT89C2051) działa jako COM1."
  if [ -n "$wybrany" ]; then
    echo "Wybrany plik: $przyklad (układ AT89C2051); naciśnij \"Programuj\" w grupie Flash."
  else
    echo "Przykładowy plik (wybierz go przyciskiem \"Przeglądaj\"): $przyklad"
  fi
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  ./build/release/ostrel
else
  echo "Brak ekranu (DISPLAY): pokaz w trybie tekstowym przez ostrel-cli."
  ./build/release/ostrel-cli --device AT89C2051 program-flash samples/miganie.hex
  ./build/release/ostrel-cli --device AT89C2051 verify-flash samples/miganie.hex
  ./build/release/ostrel-cli --device AT89C2051 read-flash /tmp/ostrel-odczyt.hex
  echo "Odczyt zapisany w /tmp/ostrel-odczyt.hex"
fi
