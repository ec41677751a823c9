#!/usr/bin/env bash
# Sets up the machine, builds the normal and the sanitizer trees and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
# Qt and fontconfig keep process-lifetime caches that LeakSanitizer would report.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== build (normal)"
bash scripts/build.sh build/normal -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_WERROR=ON
echo "== build (ASan + UBSan)"
bash scripts/build.sh build/sanitize -DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON -DOSTREL_WERROR=ON

status=0
echo "== the real program under Xvfb: a picture of each window"
zrzuty="$(mktemp -d)"
bash scripts/screenshots.sh build/normal "$zrzuty" || status=1
rm -rf "$zrzuty"

echo "== installed tree and Debian package"
bash scripts/test_install.sh build/release || status=1

echo "== tests (normal)"
ctest --test-dir build/normal --output-on-failure --timeout 600 || status=1
echo "== tests (ASan + UBSan)"
ctest --test-dir build/sanitize --output-on-failure --timeout 900 || status=1
echo "== Windows build (mingw-w64) under Wine against the simulator"
if bash scripts/build_windows.sh build/windows; then
  timeout 900 bash scripts/test_windows.sh build/windows build/normal || status=1
else
  status=1
fi
exit $status
