#!/usr/bin/env bash
# Installs what is missing, builds the test build (warnings as errors, address
# and undefined-behaviour sanitizers) and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
kv_install_deps

jobs=$(nproc)
# The fuzz targets (DXF, project file) need clang's libFuzzer: their own build folder, only those targets.
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_FUZZ=ON -DKV_TESTS=OFF
cmake --build build-fuzz --target dxf_fuzz project_fuzz -j "$jobs"

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKV_SANITIZE=ON -DKV_WERROR=ON -DKV_TESTS=ON \
  -DKV_FUZZ_BINARY="$PWD/build-fuzz/fuzz/dxf_fuzz" \
  -DKV_PROJECT_FUZZ_BINARY="$PWD/build-fuzz/fuzz/project_fuzz"
cmake --build build-test -j "$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
cd build-test
ctest --output-on-failure -j "$jobs" --timeout 600
