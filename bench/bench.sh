#!/usr/bin/env bash
# Builds a Release tree and measures ostrel-cli (and avrdude, when installed) against
# ostrel-sim at 19200 baud, without and with a USB adapter's 2 ms answer latency, and
# the desktop program's window against ostrel-cli on the same conversation.
#   bash bench/bench.sh [build folder, default build/bench] [bench_predkosc options]
# Takes about 40 minutes: the full AT89C55 alone is minutes of wire time, the AVR910
# comparison (bench_avr910) about 15, the page-mode parts (bench_stronicowy) about 5.
set -euo pipefail
cd "$(dirname "$0")/.."
budowa="${1:-build/bench}"
shift || true

cmake -G Ninja -S . -B "$budowa" -DCMAKE_BUILD_TYPE=Release -DOSTREL_GUI=ON \
  -DOSTREL_TESTS=OFF -DOSTREL_SANITIZE=OFF >/dev/null
ninja -C "$budowa" -j2 ostrel-cli ostrel-sim bench_predkosc bench_readbyte bench_okno bench_avr910 \
  bench_stronicowy bench_rozmowa

echo "== $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
command -v avrdude >/dev/null && avrdude -? 2>&1 | grep -i version | head -1 || echo "avrdude not installed: its rows are left out"
echo "== ReadByte on a silent line (50 ms time-out)"
"$budowa/bench_readbyte" 40
echo "== memory operations"
"$budowa/bench_predkosc" "$@"
echo "== AVR910 programmers: blocks, bytes and avrdude against the firmware's busy times"
"$budowa/bench_avr910"
echo "== page-mode parts through AVR910 programmers: the firmware's floor, ostrel-cli and avrdude"
"$budowa/bench_stronicowy"
echo "== ostrel-cli against a bare client replaying its conversation"
"$budowa/bench_rozmowa"
echo "== desktop program: 2 KB flash program + verify through the main window (offscreen)"
"$budowa/bench_okno" --bytes 2048 --repeat 3
