#!/usr/bin/env bash
# Tries the real program as an operator would: under Xvfb, with ostrel-sim pacing a
# 19200-baud line as COM1 (AT89C2051), it programs and verifies 2 KB of flash with the
# mouse, pings the main window as a desktop does (_NET_WM_PING, every 250 ms) while the
# operation runs, clicks "&Programuj" and "&Weryfikuj" during it, takes pictures of the
# screen, then counts the operations on the wire and ends the program with "Koniec".
#   bash bench/okno/proba.sh [build folder, default build/release] [pictures folder]
# Fails when a ping was answered late or not at all, or when the wire holds anything
# but one operation.
set -euo pipefail
cd "$(dirname "$0")/../.."
budowa="$(cd "${1:-build/release}" && pwd)"
tmp="$(mktemp -d)"
obrazy="${2:-$tmp/obrazy}"
mkdir -p "$obrazy"
pidy=()
sprzatanie() {
  for p in "${pidy[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pidy[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$tmp/config"
}
trap sprzatanie EXIT

cc -O2 -o "$tmp/ping_okna" bench/okno/ping_okna.c -lX11

ekran=$((90 + $$ % 100))
Xvfb ":$ekran" -screen 0 1024x768x24 -nolisten tcp > "$tmp/xvfb.out" 2>&1 &
pidy+=($!)
export DISPLAY=":$ekran"
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done

export XDG_CONFIG_HOME="$tmp/config"
mkdir -p "$XDG_CONFIG_HOME/ostrel"
for n in 2 3 4; do ln -s /nonexistent/ostrel-no-port "$XDG_CONFIG_HOME/ostrel/com$n"; done
"$budowa/ostrel-sim" --com 1 --device AT89C2051 --baud 19200 --log "$tmp/wire.log" > "$tmp/sim.out" 2>&1 &
pidy+=($!)
for _ in $(seq 100); do [ -L "$XDG_CONFIG_HOME/ostrel/com1" ] && break; sleep 0.1; done

# 2048 bytes of HEX; the settings of an earlier run name it (AT89C2051 is entry 4).
python3 - "$tmp/dane.hex" <<'PY'
import sys
out = []
for a in range(0, 2048, 16):
    d = [(a + i) * 7 & 255 for i in range(16)]
    rec = [16, a >> 8, a & 255, 0] + d
    out.append(':' + ''.join('%02X' % b for b in rec) + '%02X' % (-sum(rec) & 255))
out.append(':00000001FF')
open(sys.argv[1], 'w', newline='').write('\r\n'.join(out) + '\r\n')
PY
printf '\004\000%s' "$tmp/dane.hex" > "$XDG_CONFIG_HOME/ostrel/Ostrel.cf"

"$budowa/ostrel" > "$tmp/ostrel.out" 2>&1 &
ostrel_pid=$!
pidy+=($ostrel_pid)
glowne=$(xdotool search --sync --name '^Ostrel prog$' | head -1)
status=$(xdotool search --sync --name '^Ostrel prog $' | head -1)
sleep 3.5  # the start-up: 2000 ms, then the search
import -window root "$obrazy/1_start.png"
xdotool mousemove --window "$status" 181 44 click 1  # OK

# "&Programuj" in " Flash ": the operation starts 2000 ms later.
xdotool mousemove --window "$glowne" 53 179 click 1
sleep 2.3
"$tmp/ping_okna" "$glowne" 24 250 > "$tmp/ping.txt" &
ping_pid=$!
sleep 1
import -window root "$obrazy/2_programowanie.png"
xdotool mousemove --window "$glowne" 53 179 click 1 click 1   # "&Programuj" twice
xdotool mousemove --window "$glowne" 141 179 click 1          # "&Weryfikuj"
xdotool key --window "$glowne" alt+w
wait "$ping_pid" && ping_ok=1 || ping_ok=0
import -window root "$obrazy/3_weryfikacja.png"
# The end (the wire falls silent once the operation and its closing 'L' are done), then
# long enough for a deferred click to have armed and run an operation.
for _ in $(seq 120); do
  sleep 0.5
  [ $(( $(date +%s) - $(stat -c %Y "$tmp/wire.log") )) -ge 2 ] && break
done
sleep 4.5
import -window root "$obrazy/4_koniec.png"
xdotool mousemove --window "$glowne" 228 70 click 1  # "Koniec"
for _ in $(seq 50); do kill -0 "$ostrel_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$ostrel_pid" 2>/dev/null && { echo "ostrel did not end"; exit 1; }
kill "${pidy[1]}"; wait "${pidy[1]}" 2>/dev/null || true

cat "$tmp/ping.txt"
# The host's commands on the wire after the search, argument bytes skipped.
python3 - "$tmp/wire.log" <<'PY' > "$tmp/polecenia.txt"
import sys, collections
args = {'A': 2, 'C': 1, 'D': 1, 'T': 1, 'c': 1, 'f': 1, 'l': 1}
host = []
for line in open(sys.argv[1]):
    if line.startswith('#'):
        if 'host opened the port' in line: host = []
        continue
    p = line.split()
    if len(p) >= 3 and p[1] == '<': host.append(chr(int(p[2], 16)))
n = collections.Counter(); i = 0
while i < len(host):
    n[host[i]] += 1; i += 1 + args.get(host[i], 0)
print(' '.join('%s=%d' % (k, n[k]) for k in 'TePcCRL'))
PY
echo "commands after the search: $(cat "$tmp/polecenia.txt")"
echo "pictures in $obrazy"
grep -q '^T=1 e=1 ' "$tmp/polecenia.txt" && [ "$ping_ok" = 1 ]
