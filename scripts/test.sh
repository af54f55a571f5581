#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
# Usage: scripts/test.sh [preset]   presets: debug (default), asan, tsan, release
# With CI=true, warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-debug}"

scripts/deps.sh test bench
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset "$preset" -DCORVANE_WERROR="$werror" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)"
