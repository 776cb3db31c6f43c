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
./build/src/cli/kernavisto-cli profile examples/plan.dxf --from 285000,5975000 --to 717344,6012639 \
  -o out/profile.dxf --pdf out/profile.pdf --png out/profile.png --dump out/profile.json
echo "Профиль: out/profile.dxf, лист: out/profile.pdf, out/profile.png"
