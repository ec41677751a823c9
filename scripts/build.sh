#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"; shift
# Warnings are errors here and in CI (a later -DOSTREL_WERROR=OFF overrides it).
cmake -S . -B "$dir" -G Ninja -DOSTREL_WERROR=ON "$@" > /dev/null
ninja -C "$dir" -j "$(nproc)"
