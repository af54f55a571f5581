#!/usr/bin/env bash
# Saves PNGs of every page of the main window under Xvfb, for a person to look at.
# Usage: scripts/screenshots.sh [folder]   (default build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:-build/screenshots}"
scripts/deps.sh test screenshots
cmake --preset debug >/dev/null
cmake --build --preset debug --target corvane_screenshots
xvfb-run -a -s "-screen 0 1024x768x24" build/debug/tools/corvane_screenshots "$folder"
# Twice the scale on a full-HD screen: the window must still fit and cut no text.
QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 1920x1080x24" \
  build/debug/tools/corvane_screenshots "$folder/scale-2"
