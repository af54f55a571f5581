#!/usr/bin/env bash
# The soak run (see soak_bench.cpp): boots the machine's systemd in private namespaces
# (tests/system/systemd_namespace.sh), so that the service runs under its real unit and journal and
# everything stays on the namespace's own loopback, and runs corvane_soak_bench there.
#   bench/soak.sh BUILD_FOLDER MINUTES [RATE]   result in bench/results/soak.txt
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 minutes=$2 rate=${3:-2000}
[ "$(id -u)" -eq 0 ] || { echo "soak.sh: the soak run boots systemd in namespaces: run as root" >&2; exit 1; }
share=$(mktemp -d /tmp/corvane-soak.XXXXXX)
trap 'rm -rf "$share"' EXIT
chmod 755 "$share"
mkdir "$share/bin"
cp "$build/apps/Corvane" "$build/apps/CorvaneService" "$build/bench/corvane_soak_bench" "$share/bin/"
SHARE=$share tests/system/systemd_namespace.sh \
  /share/bin/corvane_soak_bench "$minutes" "$rate" /share/bin /share/soak.txt
mkdir -p bench/results
cp "$share/soak.txt" bench/results/soak.txt
