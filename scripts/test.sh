#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (display tests under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
cd build
xvfb-run -a -s "-screen 0 1280x720x24" ctest --output-on-failure -j "$(nproc)"
