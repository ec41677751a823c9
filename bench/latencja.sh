#!/usr/bin/env bash
# What a USB adapter's latency costs: a 2 KB flash program + verify (AT90S2313) through
# ostrel-cli against ostrel-sim at 19200 baud with `--latency` 1 ms (an FTDI adapter in
# low-latency mode, which the serial layer asks for on open) and 16 ms (its default
# latency timer). Prints wall time, time on the line and the wire limit per latency.
#   bash bench/latencja.sh [build folder, default build/bench] [latencies in ms, default 1 16]
set -euo pipefail
cd "$(dirname "$0")/.."
budowa="${1:-build/bench}"
shift || true
if [ $# -gt 0 ]; then opoznienia=("$@"); else opoznienia=(1 16); fi

cmake -G Ninja -S . -B "$budowa" -DCMAKE_BUILD_TYPE=Release -DOSTREL_GUI=OFF \
  -DOSTREL_TESTS=OFF -DOSTREL_SANITIZE=OFF >/dev/null
ninja -C "$budowa" -j2 ostrel-cli ostrel-sim >/dev/null

tmp="$(mktemp -d /tmp/ostrel-latencja-XXXXXX)"
trap 'rm -rf "$tmp"' EXIT
export XDG_CONFIG_HOME="$tmp/konfiguracja"
mkdir -p "$XDG_CONFIG_HOME"
head -c 2048 /dev/urandom >"$tmp/dane.bin"
"$budowa/ostrel-cli" bin2hex "$tmp/dane.bin" "$tmp/dane.hex"

echo "== $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| latency ms | wall s | line s | wire s | ratio | answers | latency share of the line |"
echo "|---:|---:|---:|---:|---:|---:|---:|"
for lat in "${opoznienia[@]}"; do
  "$budowa/ostrel-sim" --device AT90S2313 --com 1 --baud 19200 --latency "$lat" \
    --log "$tmp/wire.log" >"$tmp/sim.out" &
  sim=$!
  until grep -q '^PTY ' "$tmp/sim.out" 2>/dev/null; do sleep 0.05; done
  start=$(date +%s.%N)
  "$budowa/ostrel-cli" --port 1 --device AT90S2313 program-flash "$tmp/dane.hex" >"$tmp/cli.out" 2>/dev/null
  koniec=$(date +%s.%N)
  kill "$sim"
  wait "$sim" || true
  grep -q 'Weryfikacja OK!' "$tmp/cli.out" || { echo "program + verify failed at $lat ms" >&2; exit 1; }
  # The session is what follows the host's last opening of the port; every run of
  # answer characters paid the latency once.
  awk -v lat="$lat" -v start="$start" -v koniec="$koniec" '
    /^# / { if (index($0, "host opened the port")) { n = 0; od = 0; do_ = 0; odp = 0; prev = "" } next }
    NF >= 3 { if (n == 0) pierwszy = $1; ostatni = $1; n++
              if ($2 == "<") od++; else { do_++; if (prev != ">") odp++ }
              prev = $2 }
    END { linia = (ostatni - pierwszy) / 1000 + 10 / 19200
          drut = (od + do_) * 10 / 19200 + odp * lat / 1000
          printf "| %d | %.2f | %.2f | %.2f | %.3f | %d | %.0f %% |\n", lat, koniec - start, linia,
                 drut, linia / drut, odp, 100 * odp * lat / 1000 / linia }' "$tmp/wire.log"
done
