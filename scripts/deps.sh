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
)

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
}
