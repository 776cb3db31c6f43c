#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the plots need, when
# any is missing. Sourced by run.sh and test.sh; needs root on a fresh machine.
set -euo pipefail

KV_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6-dev
  libboost-dev libcli11-dev nlohmann-json3-dev libcgal-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3-ezdxf poppler-utils
  fonts-dejavu-core
  xvfb xauth ccache locales
  xdotool imagemagick tesseract-ocr tesseract-ocr-rus qt6-translations-l10n
  nodejs
)
# Debian's nodejs leaves npm to a package of its own; a nodejs that brings its
# own npm (and conflicts with that package) needs nothing more.
command -v npm >/dev/null 2>&1 || KV_PACKAGES+=(npm)

kv_install_deps() {
  local missing=()
  for p in "${KV_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Устанавливаю пакеты: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
  kv_install_dwg_converter
}

# The DWG converter (tools/dwg): LibreDWG as WebAssembly from npm, at the
# version and checksum its package-lock.json pins. Runs whenever the installed
# copy is missing or differs from the lock.
kv_install_dwg_converter() {
  local dir
  dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tools/dwg"
  if ! cmp -s "$dir/package-lock.json" "$dir/node_modules/.package-lock.json.kv" 2>/dev/null; then
    echo "Устанавливаю конвертер DWG (npm ci в tools/dwg)"
    (cd "$dir" && npm ci --no-audit --no-fund --ignore-scripts)
    cp "$dir/package-lock.json" "$dir/node_modules/.package-lock.json.kv"
  fi
}
