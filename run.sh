#!/usr/bin/env bash
# Installs what is missing, builds the program and runs the main job on the
# bundled sample plan.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
kv_install_deps

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF
cmake --build build

./build/src/cli/kernavisto-cli info examples/plan.dxf
mkdir -p out
# The sample's picket and its heights: scripts/sample_road.sh.
source scripts/sample_road.sh
./build/src/cli/kernavisto-cli profile examples/plan.dxf "${kv_sample_road[@]}" \
  -o out/profile.dxf --pdf out/profile.pdf --png out/profile.png --dump out/profile.json
echo "Профиль: out/profile.dxf, лист: out/profile.pdf, out/profile.png"

# Where a screen exists, the result opens in the desktop program; the script
# does not wait for it.
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Открываю out/profile.dxf в программе kernavisto"
  nohup ./build/src/app/kernavisto out/profile.dxf >/dev/null 2>&1 &
fi
