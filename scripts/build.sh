#!/usr/bin/env bash
# Configures and builds one flavour of the project: everything, or only the
# targets named after the flavour.
#   scripts/build.sh [release|address|thread|fuzz] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
shift || true
targets=()
for t in "$@"; do targets+=(--target "$t"); done
jobs=$(nproc)
case "$flavour" in
  release) dir=build;       args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  address) dir=build-asan;  args=(-DCMAKE_BUILD_TYPE=Debug -DVELK2_SANITIZE=address -DVELK2_BENCH=OFF) ;;
  thread)  dir=build-tsan;  args=(-DCMAKE_BUILD_TYPE=Debug -DVELK2_SANITIZE=thread -DVELK2_BENCH=OFF) ;;
  fuzz)    dir=build-fuzz;  args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK2_FUZZ=ON -DVELK2_TESTS=OFF
                                  -DVELK2_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja -DVELK2_WERROR=ON "${args[@]}" >/dev/null
cmake --build "$dir" -j "$jobs" "${targets[@]}"
