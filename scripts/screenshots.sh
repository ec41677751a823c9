#!/usr/bin/env bash
# Takes a picture of each of the four windows, and of the advanced dialog with the fuse
# editor, for the documentation:
#   bash scripts/screenshots.sh [build folder, default build/release] [output, default docs/screenshots]
# The real program runs under Xvfb with ostrel-sim (the simulated programmer) linked as
# COM1 in a configuration folder of its own, and with settings naming the sample file.
# The simulated chip is an AT90S8515 in a parallel-mode programmer, so the advanced
# dialog shows the fuse boxes with their captions and enabled.
# The program saves each window with its hidden "--screenshot DIR" option once the
# start-up has found the programmer; the script fails when any picture is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
zrodla="$PWD"
budowa="${1:-build/release}"
wyjscie="${2:-docs/screenshots}"

for program in ostrel ostrel-sim; do
  if [ ! -x "$budowa/$program" ]; then
    echo "brak $budowa/$program: zbuduj najpierw (bash scripts/build.sh $budowa)" >&2
    exit 1
  fi
done
for narzedzie in xvfb-run identify; do
  command -v "$narzedzie" > /dev/null || { echo "brak narzędzia $narzedzie" >&2; exit 1; }
done
budowa="$(cd "$budowa" && pwd)"

tmp="$(mktemp -d)"
sim_pid=""
sprzatanie() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap sprzatanie EXIT

export XDG_CONFIG_HOME="$tmp/config"
mkdir -p "$XDG_CONFIG_HOME/ostrel" "$tmp/praca" "$tmp/zrzuty"
# COM2..COM4 lead nowhere, so the machine's own serial ports are never probed.
for n in 2 3 4; do ln -s /nonexistent/ostrel-no-port "$XDG_CONFIG_HOME/ostrel/com$n"; done

"$budowa/ostrel-sim" --com 1 --device AT90S8515 --mode P > "$tmp/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$XDG_CONFIG_HOME/ostrel/com1" ] && break; sleep 0.1; done
[ -L "$XDG_CONFIG_HOME/ostrel/com1" ] || { echo "symulator nie wystartował:" >&2; cat "$tmp/sim.out" >&2; exit 1; }

# Settings of an earlier run: AT90S8515 (index 11), "Tryb 0", the sample file by a
# relative name so the picture shows a short one.
cp "$zrodla/samples/miganie.hex" "$tmp/praca/"
printf '\013\000miganie.hex' > "$XDG_CONFIG_HOME/ostrel/Ostrel.cf"

cd "$tmp/praca"
timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$budowa/ostrel" --screenshot "$tmp/zrzuty"
cd "$zrodla"

# The advanced dialog once more, with the fuse editor: an ATmega8 behind an AVR910
# programmer, remembered from an earlier run, its fuse bytes read from the chip.
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""
for _ in $(seq 100); do [ -L "$XDG_CONFIG_HOME/ostrel/com1" ] || break; sleep 0.1; done
"$budowa/ostrel-sim" --com 1 --firmware avr910 --device ATmega8 > "$tmp/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$XDG_CONFIG_HOME/ostrel/com1" ] && break; sleep 0.1; done
[ -L "$XDG_CONFIG_HOME/ostrel/com1" ] || { echo "symulator nie wystartował:" >&2; cat "$tmp/sim.out" >&2; exit 1; }
printf 'typ=avr910\npredkosc=19200\nuklad=ATmega8\n' > "$XDG_CONFIG_HOME/ostrel/Programator.cf"
mkdir -p "$tmp/zrzuty2"
cd "$tmp/praca"
timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$budowa/ostrel" --screenshot "$tmp/zrzuty2"
cd "$zrodla"
if [ -s "$tmp/zrzuty2/zaawansowane.png" ]; then cp "$tmp/zrzuty2/zaawansowane.png" "$tmp/zrzuty/bezpieczniki.png"; fi

mkdir -p "$wyjscie"
status=0
for nazwa in glowne status zaawansowane o_programie bezpieczniki; do
  plik="$tmp/zrzuty/$nazwa.png"
  if [ -s "$plik" ] && identify "$plik" > /dev/null 2>&1; then
    cp "$plik" "$wyjscie/$nazwa.png"
    echo "$wyjscie/$nazwa.png: $(identify -format '%wx%h' "$plik")"
  else
    echo "nie udało się zrobić zrzutu okna $nazwa" >&2
    status=1
  fi
done
exit $status
