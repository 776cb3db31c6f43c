#!/usr/bin/env bash
# Remakes the pictures of the desktop program's window under a virtual X
# screen: docs/window.png with the sample plan open.
#   scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target window-screenshot
mkdir -p docs
xvfb-run -a -s '-screen 0 1600x1000x24' \
  "$build/tools/window-screenshot" examples/plan.dxf docs/window.png
echo "Снимок: docs/window.png"
