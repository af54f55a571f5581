#!/usr/bin/env bash
# Installs what is missing, builds Corvane, and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test bench
cmake --preset release >/dev/null
cmake --build --preset release

desktop=build/release/apps/Corvane
if [ -x "$desktop" ]; then
  exec "$desktop" "$@"
fi
cat <<'TXT'
Built. The desktop program Corvane does not exist yet; what exists:
  - the relay engine (magic packets, proxy server threads for the desktop and the service),
    the settings record and table, and the platform layer, as libraries under build/release/
  - the tests:            scripts/test.sh
  - micro-benchmarks:     build/release/bench/corvane_micro_bench
TXT
