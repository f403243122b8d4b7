#!/usr/bin/env bash
# The idle program on a static screen: CPU use in per cent of one core (whole
# process and the UI thread alone) and the interval between frame starts.
#   bench/idle_frames.sh [seconds]          (default 5; the first second is warm-up)
# Runs build/velk2 in games/sample under xvfb-run; builds it first if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
[ -x build/velk2 ] || bash scripts/build.sh release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

xvfb-run -a -s "-screen 0 1280x720x24" bash -c '
  set -e
  work=$1; seconds=$2
  cd games/sample
  XDG_DATA_HOME="$work/data" VELK2_DIALOGS=stderr VELK2_FRAME_LOG="$work/frames.txt" \
    ../../build/velk2 2>"$work/stderr.txt" &
  pid=$!
  # CPU nanoseconds from the scheduler: all threads of the process, or one thread.
  cpu_all() { cat /proc/$pid/task/*/schedstat 2>/dev/null | awk "{s += \$1} END {print s}"; }
  cpu_ui() { awk "{print \$1}" /proc/$pid/task/$pid/schedstat; }
  sleep 1
  t0=$(date +%s.%N); all0=$(cpu_all); ui0=$(cpu_ui)
  sleep "$seconds"
  t1=$(date +%s.%N); all1=$(cpu_all); ui1=$(cpu_ui)
  kill -TERM $pid
  set +e; wait $pid; code=$?; set -e
  awk -v a0="$all0" -v a1="$all1" -v u0="$ui0" -v u1="$ui1" -v t0="$t0" -v t1="$t1" -v code="$code" "BEGIN {
    wall = t1 - t0
    printf \"cpu: whole process %.3f %% of one core, UI thread %.4f %% (over %.1f s)\n\", 100 * (a1 - a0) / 1e9 / wall, 100 * (u1 - u0) / 1e9 / wall, wall
    printf \"exit code after SIGTERM: %d\n\", code
  }"
' _ "$work" "$seconds"

# Frame starts after the warm-up second.
awk 'NR == 1 { first = $1 } $1 - first >= 1000000 { t[n++] = $1 }
  END {
    if (n < 3) { print "frames: too few frames logged"; exit 1 }
    for (i = 1; i < n; i++) { d = (t[i] - t[i-1]) / 1000.0; s += d; ss += d * d; dd[i] = d
      if (i == 1 || d < lo) lo = d; if (d > hi) hi = d }
    m = s / (n - 1); sd = sqrt(ss / (n - 1) - m * m)
    for (i = 1; i < n; i++) if (dd[i] - m > 1 || m - dd[i] > 1) off++
    printf "frames: %d intervals, mean %.3f ms, std dev %.3f ms, min %.3f ms, max %.3f ms, %d off by more than 1 ms\n", n - 1, m, sd, lo, hi, off + 0
  }' "$work/frames.txt"
