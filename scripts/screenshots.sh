#!/usr/bin/env bash
# Remakes the pictures of the desktop program's window under a virtual X
# screen: docs/window.png (the sample plan open) and the user guide's steps
# in docs/guide/, the last one the printed sheet from the batch run.
#   scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target window-screenshot guide-screenshots kernavisto-cli
mkdir -p docs/guide
shoot() { xvfb-run -a -s '-screen 0 1600x1000x24' "$@"; }
shoot "$build/tools/window-screenshot" examples/plan.dxf docs/window.png
shoot "$build/tools/guide-screenshots" examples/plan.dxf docs/guide
# The same picket and heights as ./run.sh, printed.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$build/src/cli/kernavisto-cli" profile examples/plan.dxf \
  --from 285000,5975000 --to 717344,6012639 \
  --pick-height 1=78 --pick-height 2=7C --edit "3:relief=Авто" --pick-height 4=80 \
  --pick-height 5=82 --pick-height 6=84 --edit "7:relief=Авто" --edit "8:relief=Авто" \
  --pick-height 9=88 --edit "10:relief=Авто" --pick-height 11=8C --pick-height 12=8E \
  --pick-height 13=90 --pick-height 14=94 --edit "15:relief=Авто" --pick-height 16=98 \
  --edit "17:relief=Авто" --edit "18:relief=Авто" --pick-height 19=9C --pick-height 20=9E \
  --pick-height 21=A0 --pick-height 22=A4 --pick-height 23=A8 \
  -o "$tmp/profile.dxf" --png docs/guide/07-page.png
echo "Снимки: docs/window.png, docs/guide/"
