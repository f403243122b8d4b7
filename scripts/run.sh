#!/usr/bin/env bash
# Installs what is missing, builds, and plays the sample game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release
cd games/sample
exec ../../build/velk2
