#!/usr/bin/env bash
# Installs what is missing (socat among it), builds the release preset, and runs the benchmarks.
# Results go to bench/results/: micro.txt (Google Benchmark), relay.txt (the relay table) and
# safety.txt (idle cost, relay loops, bursts, the desktop program with its logs shown) and
# sleeping_host.txt (the cost of reaching sleeping hosts and watching them wake).
#   scripts/bench.sh soak [MINUTES]   instead: the soak run of both programs under a booted
#                                     systemd, 10 minutes unless told (bench/results/soak.txt)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test bench
cmake --preset release >/dev/null
cmake --build --preset release
mkdir -p bench/results
if [ "${1:-}" = soak ]; then
  exec bench/soak.sh build/release "${2:-10}"
fi
build/release/bench/corvane_micro_bench | tee bench/results/micro.txt
build/release/bench/corvane_relay_bench bench/results/relay.txt
build/release/bench/corvane_relay_safety_bench build/release/apps/Corvane bench/results/safety.txt
# Sends to links of its own: only ever inside a network namespace made for it.
CORVANE_BENCH_NETNS=1 unshare --net -- build/release/bench/corvane_sleeping_host_bench \
  bench/results/sleeping_host.txt
