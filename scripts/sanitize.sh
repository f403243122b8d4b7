#!/usr/bin/env bash
# Builds and runs the tests under a sanitizer.
#   scripts/sanitize.sh address   every test under ASan+UBSan, the whole-program
#                                 ones running the sanitized velk2
#   scripts/sanitize.sh thread    the headless (threaded) tests under TSan
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=$1
bash scripts/build.sh "$flavour"
cd "build-$( [ "$flavour" = address ] && echo asan || echo tsan )"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ "$flavour" = address ]; then
  ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$(nproc)" -L headless
  # Mesa keeps allocations of its own until exit.
  ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s "-screen 0 1280x720x24" \
    ctest --output-on-failure -j "$(nproc)" -L 'display|e2e' --no-tests=ignore
else
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure -j "$(nproc)" -L headless
fi
