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
# The sample's picket: the whole route, end to end. Relief heights are picked from
# the survey texts at the route's vertices and mid-points ("Указать"); the crossings
# between them are left to interpolation ("Авто").
./build/src/cli/kernavisto-cli profile examples/plan.dxf \
  --from 285000,5975000 --to 717344,6012639 \
  --pick-height 1=78 --pick-height 2=7C --edit "3:relief=Авто" --pick-height 4=80 \
  --pick-height 5=82 --pick-height 6=84 --edit "7:relief=Авто" --edit "8:relief=Авто" \
  --pick-height 9=88 --edit "10:relief=Авто" --pick-height 11=8C --pick-height 12=8E \
  --pick-height 13=90 --pick-height 14=94 --edit "15:relief=Авто" --pick-height 16=98 \
  --edit "17:relief=Авто" --edit "18:relief=Авто" --pick-height 19=9C --pick-height 20=9E \
  --pick-height 21=A0 --pick-height 22=A4 --pick-height 23=A8 \
  -o out/profile.dxf --pdf out/profile.pdf --png out/profile.png --dump out/profile.json
echo "Профиль: out/profile.dxf, лист: out/profile.pdf, out/profile.png"

# Where a screen exists, the result opens in the desktop program; the script
# does not wait for it.
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Открываю out/profile.dxf в программе kernavisto"
  nohup ./build/src/app/kernavisto out/profile.dxf >/dev/null 2>&1 &
fi
