#!/usr/bin/env bash
# Installs what is missing (socat among it), builds the release preset, and runs the benchmarks.
# Results go to bench/results/: micro.txt (Google Benchmark), relay.txt (the relay table) and
# safety.txt (idle cost, relay loops, bursts, the desktop program with its logs shown).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test bench
cmake --preset release >/dev/null
cmake --build --preset release
mkdir -p bench/results
build/release/bench/corvane_micro_bench | tee bench/results/micro.txt
build/release/bench/corvane_relay_bench bench/results/relay.txt
build/release/bench/corvane_relay_safety_bench build/release/apps/Corvane bench/results/safety.txt
