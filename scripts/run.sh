#!/usr/bin/env bash
# Installs what is missing, builds Corvane, and runs it. Without a display it runs a
# demonstration instead: Corvane on Qt's offscreen platform relaying a magic packet on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh run
cmake --preset release >/dev/null
cmake --build --preset release --target Corvane CorvaneService corvane_demo
desktop=build/release/apps/Corvane
# Receiving on ports below 1024 (the default port 9) needs this capability.
setcap cap_net_bind_service=+ep "$desktop" 2>/dev/null || true

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$desktop" "$@"
fi
echo "No display: a demonstration of Corvane on Qt's offscreen platform."
exec build/release/tools/corvane_demo "$desktop"
