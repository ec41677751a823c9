#!/usr/bin/env bash
# Sets up the machine, builds, and runs Ostrel prog.
# With a programmer configured (a comN link in ~/.config/ostrel/, or a real /dev/ttyS0..3)
# the program uses it. Otherwise the simulator plays an AT89C2051 programmer on COM1, in a
# configuration folder of its own, so the search finds "com1" and samples/miganie.hex can
# be programmed, verified and read.
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
  mkdir -p "$XDG_CONFIG_HOME"
  ./build/release/ostrel-sim --com 1 --device AT89C2051 > "$XDG_CONFIG_HOME/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do [ -e "$XDG_CONFIG_HOME/ostrel/com1" ] && break; sleep 0.1; done
  echo "Symulator programatora (AT89C2051) działa jako COM1; przykładowy plik: $PWD/samples/miganie.hex"
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
