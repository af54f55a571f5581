#!/usr/bin/env bash
# Installs what is missing (socat among it), builds the release preset, and runs the benchmarks.
# Results go to bench/results/: micro.txt (Google Benchmark) and relay.txt (the relay table).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test bench
cmake --preset release >/dev/null
cmake --build --preset release
mkdir -p bench/results
build/release/bench/corvane_micro_bench | tee bench/results/micro.txt
build/release/bench/corvane_relay_bench bench/results/relay.txt
