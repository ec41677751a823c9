#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"; shift
# Warnings are errors here and in CI (a later -DOSTREL_WERROR=OFF overrides it).
# ccache, where installed, makes the second build tree and later builds cheap.
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DOSTREL_WERROR=ON "${launcher[@]}" "$@" > /dev/null
ninja -C "$dir" -j "$(nproc)"
