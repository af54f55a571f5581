#!/usr/bin/env bash
# Drives the real Corvane window as a user does: under Xvfb, keys typed through xdotool, what a
# screen reader hears read through AT-SPI. The whole session runs in a network namespace of its own
# with only loopback up, so nothing the window starts can reach any real network.
# Usage: tests/ui/drive_window.sh [build/debug/apps/Corvane]
set -euo pipefail
cd "$(dirname "$0")/../.."
program="$(realpath "${1:-build/debug/apps/Corvane}")"
scripts/deps.sh ui
if [ -z "${CORVANE_UI_INSIDE:-}" ]; then
  exec unshare --net env CORVANE_UI_INSIDE=1 "$0" "$program"
fi
ip link set lo up
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home"
export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
exec xvfb-run -a -s "-screen 0 1024x768x24" \
  dbus-run-session -- /usr/bin/python3 tests/ui/drive_window.py "$program"
