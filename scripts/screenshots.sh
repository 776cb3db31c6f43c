#!/usr/bin/env bash
# Remakes the pictures of the desktop program's window under a virtual X
# screen: docs/window.png (the sample plan open) and the user guide's steps
# in docs/guide/, the last one the printed sheet from the batch run; and the
# sheet of a sewer whose ground comes from the real survey (docs/survey-sewer.png).
#   scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target window-screenshot guide-screenshots kernavisto-cli
# In a sanitizer build the leak check would count what the X libraries keep
# for the life of the process; the pictures do not depend on it.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
mkdir -p docs/guide
shoot() { xvfb-run -a -s '-screen 0 1600x1000x24' "$@"; }
shoot "$build/tools/window-screenshot" examples/plan.dxf docs/window.png
shoot "$build/tools/guide-screenshots" examples/plan.dxf docs/guide
# The same picket and heights as ./run.sh, printed.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
source scripts/sample_road.sh
"$build/src/cli/kernavisto-cli" profile examples/plan.dxf "${kv_sample_road[@]}" \
  -o "$tmp/profile.dxf" --png docs/guide/07-page.png
# A sewer of the real survey with its ground from the covers of its manholes.
survey=../shared/dxf-corpus/acad2010_ru_topo_survey.dxf
if [[ -f "$survey" ]]; then
  "$build/src/cli/kernavisto-cli" profile "$survey" --units m --route ПЛК \
    --from 3221746.816,540970.568 --to 3221813.152,541068.735 --depth 2 --pipe 300 \
    --ground-layer "61_Отметки высоты поверхности" --ground-layer "_ПЛК крышка колодец" \
    --ground-step 10 --sheet-at 3223300,541300 -o "$tmp/sewer.dxf" --png docs/survey-sewer.png
else
  echo "Нет $survey: docs/survey-sewer.png не обновлён" >&2
fi
echo "Снимки: docs/window.png, docs/guide/, docs/survey-sewer.png"
