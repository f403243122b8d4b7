#!/usr/bin/env bash
# Installs what is missing, builds the program (not the tests or benchmarks),
# and plays the sample game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release velk2
cd games/sample
exec ../../build/velk2
