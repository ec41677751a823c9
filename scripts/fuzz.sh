#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a set time.
#   bash scripts/fuzz.sh [seconds per target, default 60] [build folder, default build/fuzz]
# New inputs that widen coverage go to build/fuzz/corpus/<target> (the seeds in
# fuzz/corpus/<target> are only read); a failing input is saved as
# build/fuzz/crash-<target>-*. Copy such inputs into fuzz/corpus/<target> once mended,
# so that the tests replay them.
set -euo pipefail
cd "$(dirname "$0")/.."
sekundy="${1:-60}"
budowa="${2:-build/fuzz}"

CC=clang CXX=clang++ cmake -G Ninja -S . -B "$budowa" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSTREL_FUZZ=ON -DOSTREL_GUI=OFF -DOSTREL_TESTS=OFF >/dev/null
ninja -C "$budowa" -j2 fuzz_konwertuj_hex fuzz_ustawienia

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for cel in konwertuj_hex ustawienia; do
  roboczy="$budowa/corpus/$cel"
  mkdir -p "$roboczy"
  echo "== fuzz_$cel for $sekundy s"
  log="$budowa/fuzz_$cel.log"
  # Inputs up to 64 KB: enough for whole device images and long garbage.
  if "$budowa/fuzz/fuzz_$cel" -max_total_time="$sekundy" -max_len=65536 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$budowa/crash-$cel-" "$roboczy" "fuzz/corpus/$cel" >"$log" 2>&1; then
    wynik=clean
  else
    wynik=FAILED
    status=1
  fi
  # The last status line carries the coverage (cov: edges, ft: features) and corpus size.
  grep -E '^#[0-9]+' "$log" | tail -1 || true
  grep -E 'stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
  if [ "$wynik" = FAILED ]; then
    grep -E "^$cel: |ERROR: |SUMMARY: |Test unit written" "$log" | head -5 || true
  fi
  echo "fuzz_$cel: $wynik"
done
exit $status
