#!/usr/bin/env bash
# Fuzzes the profile readers and the profile tool's JSON import for a bounded time in all (default
# 60 seconds, half each) with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer,
# starting from seeds made by the writer.
# Usage: scripts/fuzz.sh [seconds]. Findings are written to build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
half=$(( (seconds + 1) / 2 ))
scripts/deps.sh fuzz
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_FUZZ=ON \
  -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/fuzz --target corvane_profile_fuzz corvane_profile_json_fuzz corvane_fuzz_seeds
mkdir -p build/fuzz/corpus build/fuzz/json-corpus build/fuzz/findings
build/fuzz/tests/fuzz/corvane_fuzz_seeds build/fuzz/corpus build/fuzz/json-corpus \
  data/corvane-profile.example.json
build/fuzz/tests/fuzz/corvane_profile_fuzz build/fuzz/corpus -max_total_time="$half" \
  -max_len=16384 -artifact_prefix=build/fuzz/findings/ -print_final_stats=1
build/fuzz/tests/fuzz/corvane_profile_json_fuzz build/fuzz/json-corpus -max_total_time="$half" \
  -max_len=16384 -artifact_prefix=build/fuzz/findings/json- -print_final_stats=1
